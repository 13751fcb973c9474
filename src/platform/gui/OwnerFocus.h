// Gives the keyboard back to a main window when a window it owns goes.
//
// A window manager hands the focus on by rules of its own when a dialog
// closes, and some hand it to no window at all (openbox does so for the
// docked main window, kept above the others and off the taskbar): the
// user's next keys would go nowhere. When a dialog owned by the main window
// closes with the keys and no other window of the program is up to take
// them, the main window is activated; the keys go to the widget in it that
// had them, or, when none had, to the one `fnFocusWidget` names.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class COwnerFocus : public QObject {
    Q_OBJECT
public:
    COwnerFocus(QWidget* pOwner, std::function<QWidget*()> fnFocusWidget);

    // Whether `pWindow` is a window that `pOwner` owns, directly or through
    // other windows.
    static bool IsOwnedBy(const QWidget* pWindow, const QWidget* pOwner);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void GiveBack();

    QPointer<QWidget> m_pOwner;
    std::function<QWidget*()> m_fnFocusWidget;
    bool m_bPending = false;
};
