#include "platform/gui/OwnerFocus.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

COwnerFocus::COwnerFocus(QWidget* pOwner, std::function<QWidget*()> fnFocusWidget)
    : QObject(pOwner), m_pOwner(pOwner), m_fnFocusWidget(std::move(fnFocusWidget)) {
    qApp->installEventFilter(this);
}

bool COwnerFocus::IsOwnedBy(const QWidget* pWindow, const QWidget* pOwner) {
    if (!pWindow || !pOwner || pWindow == pOwner) return false;
    for (const QWidget* p = pWindow->parentWidget(); p; p = p->parentWidget())
        if (p == pOwner) return true;
    return false;
}

bool COwnerFocus::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() != QEvent::Hide || !pWatched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(pWatched);
    // Dialogs and other framed windows; a menu or a tooltip never took the
    // keys from the window under it.
    const Qt::WindowType type = w->windowType();
    if (!w->isWindow() || (type != Qt::Dialog && type != Qt::Window && type != Qt::Sheet)) return false;
    if (!IsOwnedBy(w, m_pOwner) || m_bPending) return false;
    // Only a dialog that had the keys gives them back: one that goes while
    // the user works in another program leaves them there.
    const QWindow* focus = QGuiApplication::focusWindow();
    if (!w->isActiveWindow() && !(focus && focus == w->windowHandle())) return false;
    // Once the dialog's own close has run its course: a dialog that opens
    // another on its way out, or the next dialog of a sequence, keeps them.
    m_bPending = true;
    QTimer::singleShot(0, this, &COwnerFocus::GiveBack);
    return false;
}

void COwnerFocus::GiveBack() {
    m_bPending = false;
    if (!m_pOwner || !m_pOwner->isVisible() || m_pOwner->isMinimized()) return;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return;
    // Another window of the program that is up has the keys already.
    const QWindow* focus = QGuiApplication::focusWindow();
    if (focus && focus->isVisible() && focus != m_pOwner->windowHandle()) return;
    // The widget that had the keys gets them back with the window; a window
    // that never had them gives them to the one named.
    QWidget* had = m_pOwner->focusWidget();
    if (!had || !had->isVisible()) {
        QWidget* target = m_fnFocusWidget ? m_fnFocusWidget() : nullptr;
        if (target && target->isVisible() && target->window() == m_pOwner) target->setFocus(Qt::ActiveWindowFocusReason);
    }
    if (!m_pOwner->isActiveWindow()) m_pOwner->activateWindow();
}
