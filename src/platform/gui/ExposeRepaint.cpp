#include "platform/gui/ExposeRepaint.h"

#include <QApplication>
#include <QEvent>
#include <QExposeEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

QWidget* WidgetOfWindow(const QWindow* pWindow) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowHandle() == pWindow) return w;
    return nullptr;
}

QRegion ExposedRegion(const QExposeEvent* e) {
    // The region is the only thing the event says; Qt 6 keeps the accessor
    // for just that, marked as old.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return e->region();
    QT_WARNING_POP
}

}  // namespace

void CExposeRepaint::Install() {
    static QPointer<CExposeRepaint> s_pFilter;
    if (s_pFilter || !qApp) return;
    s_pFilter = new CExposeRepaint(qApp);
    qApp->installEventFilter(s_pFilter);
}

bool CExposeRepaint::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() != QEvent::Expose || !pWatched->isWindowType()) return false;
    auto* pWindow = static_cast<QWindow*>(pWatched);
    if (!pWindow->isExposed()) return false;
    const QRegion region = ExposedRegion(static_cast<QExposeEvent*>(pEvent));
    if (region.isEmpty()) return false;
    // Seen before the window's own handling, which then paints and shows
    // the area in the same pass.
    if (QWidget* w = WidgetOfWindow(pWindow); w && w->isVisible() && w->updatesEnabled()) w->update(region);
    return false;
}
