// One QAction per command id, shared by the menus, toolbars and
// accelerators that name it. Triggering an action sends its id along the
// command route; before a menu opens, and on an idle timer for the toolbars,
// the route's update handlers set what each action shows. Context menus
// have actions of their own, asked about and run on one fixed target.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QHash>
#include <QIcon>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CCoolMenuManager;
class CLanguageModule;
struct CToolbarResource;
class QAction;
class QComboBox;
class QMenu;
class QMenuBar;
class QToolBar;
class QToolButton;
class QWidget;

class CCommandActions : public QObject {
    Q_OBJECT
public:
    using Router = std::function<bool(unsigned nID, CCmdUI* pUI)>;

    // Commands, updates and the controls' notifications go along `route`.
    CCommandActions(QWidget* pOwner, const CLanguageModule& lang, CCmdTarget& route);
    // Commands and updates go to `router`; notifications find nobody.
    CCommandActions(QWidget* pOwner, const CLanguageModule& lang, Router router);
    ~CCommandActions() override;

    // Toolbars whose images the menus show too, in the order they are
    // searched for a command's picture.
    void SetImageToolbars(const std::vector<unsigned>& ids);
    // Accelerator tables whose keys are given to the actions.
    void AddAccelerators(unsigned nTableID);
    // Popups are converted by this manager as they open: its pictures and
    // key texts, its look. Its pictures then serve the actions too.
    void SetMenuManager(CCoolMenuManager* pManager) { m_pMenus = pManager; }

    QAction* Action(unsigned nID);
    unsigned IdOf(const QAction* pAction) const;
    // A command's picture: the first image toolbar that shows it gives it.
    QIcon Image(unsigned nID);

    // Runs a command along the route (nothing when nobody handles it or it
    // is disabled).
    void Execute(unsigned nID);
    // A control's notification along the route; true when handled.
    bool Notify(unsigned nID, const CCmdNotify& notify);
    // Asks the route about each action and applies the answer; an action
    // nobody handles is disabled and loses its mark.
    void Update(const QList<QAction*>& actions, CCmdUI::Kind kind = CCmdUI::kindMenu);
    void UpdateAll();
    // The idle refresh of a toolbar's buttons (the boxes belong to their
    // handlers, see ComboBox).
    void UpdateToolBar(QToolBar* pBar);

    // Each popup is laid out from the module's items every time it opens:
    // an entry's update handler may turn it into a popup or into items of
    // its own (CCmdUI::SetPopup, SetItems); a popup marked windowList gets
    // the entry kCmdFirstWindow at its end, which only its replacement shows.
    void FillMenuBar(QMenuBar* pBar, unsigned nMenuID);
    // Popup `nIndex` of menu `nMenuID` as a menu of its own (null when the
    // module has none).
    QMenu* BuildPopup(unsigned nMenuID, int nIndex, QWidget* pParent);
    // The same as a context menu: its actions are its own, asked about and
    // run on `target` alone, which the idle refresh of the shared actions
    // never reaches. Null when the module has no such popup.
    QMenu* BuildContextMenu(unsigned nMenuID, int nIndex, CCmdTarget& target, QWidget* pParent);

    QToolBar* BuildToolBar(unsigned nToolbarID, QWidget* pParent);
    // The button at `nIndex` of the bar gets a drop-down part: the button
    // runs its command, the arrow sends CCmdNotify::kDropDown with the
    // button's rectangle along the route. The new button; null when the
    // place holds no command.
    QToolButton* SetDropDown(QToolBar* pBar, int nIndex);
    // A box in a bar that stands for command `nID`: choosing an item sends
    // CCmdNotify::kSelEndOk with its text and index along the route. The
    // handler of the id (the view that formats text) also keeps the box's
    // state; nobody else changes it.
    void SetComboBox(unsigned nID, QComboBox* pBox);
    QComboBox* ComboBox(unsigned nID) const;

private:
    using Route = std::function<bool(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify)>;

    void ExecuteOn(const Route& route, unsigned nID);
    CCmdUI Query(const Route& route, unsigned nID, CCmdUI::Kind kind);
    static void Apply(QAction* pAction, const CCmdUI& ui);

    // Lays the popup out now and each time it is about to open.
    void WatchPopup(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared);
    void LayOut(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared);
    void AddEntry(QMenu* pMenu, unsigned nID, const QString& strText, const Route& route, bool bShared, bool bOnlyReplaced);
    void AddSubmenu(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared);
    // The filler's actions: those with ids run them on the route.
    void TakeFilled(QMenu* pMenu, const CCmdUI::Filler& fnFill, const Route& route);
    void UpdateItems(QMenu* pMenu, const Route& route);
    static void Clear(QMenu* pMenu);
    void Convert(QMenu* pMenu);

    const CToolbarResource& Toolbar(unsigned nID);

    QWidget* m_pOwner;
    const CLanguageModule& m_lang;
    Route m_route;
    QHash<unsigned, QAction*> m_actions;
    std::vector<unsigned> m_imageToolbars;
    QHash<unsigned, QList<QKeySequence>> m_keys;
    // Each toolbar resource is read once; the pictures by command id.
    std::map<unsigned, std::unique_ptr<CToolbarResource>> m_toolbars;
    QHash<unsigned, QIcon> m_images;
    bool m_bImagesMapped = false;
    QHash<unsigned, QPointer<QComboBox>> m_boxes;
    CCoolMenuManager* m_pMenus = nullptr;
};
