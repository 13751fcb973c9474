// One QAction per command id, shared by the menus, toolbars and
// accelerators that name it. Triggering an action sends its id along the
// command route; before a menu opens, and on an idle timer for the toolbars,
// the route's update handlers set what each action shows.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

class CLanguageModule;
class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

class CCommandActions : public QObject {
    Q_OBJECT
public:
    using Router = std::function<bool(unsigned nID, CCmdUI* pUI)>;
    // Fills a popup that the program builds itself (the recent files, the
    // window list) each time it is about to open.
    using SpecialFiller = std::function<void(QMenu* pMenu)>;

    CCommandActions(QWidget* pOwner, const CLanguageModule& lang, Router router);

    // Toolbars whose images the menus show too, in the order they are
    // searched for a command's picture.
    void SetImageToolbars(const std::vector<unsigned>& ids) { m_imageToolbars = ids; }
    // Accelerator tables whose keys are given to the actions.
    void AddAccelerators(unsigned nTableID);

    QAction* Action(unsigned nID);
    unsigned IdOf(const QAction* pAction) const;
    // Runs a command along the route (nothing when nobody handles it).
    void Execute(unsigned nID);
    // Asks the route about each action and applies the answer; an action
    // nobody handles is disabled.
    void Update(const QList<QAction*>& actions);
    void UpdateAll();

    void FillMenuBar(QMenuBar* pBar, unsigned nMenuID);
    // Popup `nIndex` of menu `nMenuID` as a menu of its own (null when the
    // module has none).
    QMenu* BuildPopup(unsigned nMenuID, int nIndex, QWidget* pParent);
    QToolBar* BuildToolBar(unsigned nToolbarID, QWidget* pParent);

    SpecialFiller m_fnRecentFiles;  // replaces the 57616 placeholder
    SpecialFiller m_fnWindowList;   // appended to a popup marked windowList

    static constexpr unsigned kRecentFilePlaceholder = 57616;

private:
    void FillMenu(QMenu* pMenu, const QJsonArray& items);
    // A popup's items, its window list when it has one, and its updates.
    void FillPopup(QMenu* pMenu, const QJsonObject& popup);
    void WatchMenu(QMenu* pMenu);

    QWidget* m_pOwner;
    const CLanguageModule& m_lang;
    Router m_router;
    QHash<unsigned, QAction*> m_actions;
    std::vector<unsigned> m_imageToolbars;
    QHash<unsigned, QList<QKeySequence>> m_keys;
};
