// Edge docking of the main window: the window registers with the
// application-bar service, reserves space at a screen edge or hides there
// and slides back into view, and can be dragged by its client area.
#include "frame/MainFrame.h"

#include "app/AppOptions.h"
#include "frame/DockGeometry.h"
#include "platform/MessageHost.h"
#include "platform/gui/AppBar.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/MessageBox.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QLayout>
#include <QMdiArea>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleHints>
#include <QThread>
#include <QWindow>

namespace {
// The auto-hide poll.
constexpr int kAutoHidePollMs = 400;
// How often a hidden window looks for the pointer on its strip, and a move
// by the window manager for the pointer's release.
constexpr int kRevealPollMs = 100;
constexpr int kWmMovePollMs = 50;
// For so long after the frame moved itself, the window manager may still
// report the steps of that move.
constexpr qint64 kOwnMoveEchoMs = 500;
// A border's width: a hidden window leaves two of them on the screen.
constexpr int kBorder = 1;

// The window system holds the user's input back while the window slides,
// each click with the place in the window it had when it was made: on a
// window coming into view, the New button passes under a pointer aimed at
// the File menu. Such clicks are dropped before any widget sees them; keys
// go on to the widget that has the focus.
class CHeldClickDrop : public QObject {
public:
    CHeldClickDrop() { qApp->installEventFilter(this); }
    // Delivers what was held back, and with it the clicks to nowhere.
    void Flush() {
        // Held input waits for the next word from the window system,
        // which may be the user's next click, and would go before it.
        for (int i = 0; i < 3; ++i) {
            if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance()) d->wakeUp();
            QCoreApplication::processEvents();
        }
    }

protected:
    bool eventFilter(QObject* pWatched, QEvent* e) override {
        if (!pWatched->isWindowType()) return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
};

const char kAutoHideRefusedText[] =
    "There is already an auto hidden window on this edge.\nOnly one auto hidden window is allowed on each edge.";
}  // namespace

// ---- switching on and off

void CMainFrame::SetAutoHideDocking(bool bOn) {
    if (bOn) {
        if (m_bDockingOn || !AppOptions().m_bDockEnabled) return;
        m_bDockingOn = true;
        if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
        if (!m_bDockFiltersInstalled) {
            m_bDockFiltersInstalled = true;
            m_autoHideTimer.setInterval(kAutoHidePollMs);
            connect(&m_autoHideTimer, &QTimer::timeout, this, &CMainFrame::OnAutoHideTimer);
            m_revealTimer.setInterval(kRevealPollMs);
            connect(&m_revealTimer, &QTimer::timeout, this, &CMainFrame::OnRevealPoll);
            m_wmMoveTimer.setInterval(kWmMovePollMs);
            connect(&m_wmMoveTimer, &QTimer::timeout, this, &CMainFrame::OnWmMovePoll);
            // The frame's own client area, the empty background of the
            // notebook area and the status bar drag the window.
            installEventFilter(this);
            if (m_pMdi) m_pMdi->viewport()->installEventFilter(this);
            statusBar()->installEventFilter(this);
        }
        m_autoHideTimer.start();
        if (!m_pAppBar) {
            m_pAppBar = std::make_shared<CAppBar>(this);
            connect(m_pAppBar.get(), &CAppBar::Notify, this, &CMainFrame::OnAppBarNotify);
            m_pAppBar->SetAutoHideStrip(2 * kBorder);
        }
        m_pAppBar->New();
        m_dockState.m_rcFloat = WindowRect();
        ApplyDockEdge(kDockFloating);
        ShowInTaskbar(false);
    } else {
        if (!m_bDockingOn) return;
        m_autoHideTimer.stop();
        m_revealTimer.stop();
        // A window that stops docking while out of view would stay there,
        // with nothing left to bring it back.
        if (!m_bShown) ShowDockedWindow(true);
        ApplyDockEdge(kDockNone);
        m_bDockingOn = false;
        ShowInTaskbar(true);
        SetFrameFlags(windowFlags() & ~(Qt::WindowStaysOnTopHint | Qt::WindowStaysOnBottomHint));
        if (layout()) layout()->activate();
        update();
    }
}

void CMainFrame::DockOptionChanged(bool bOn) {
    SetAutoHideDocking(bOn);
    // Switched on, the window floats where it is; without this it would
    // float until the next start and never slide away.
    m_bRevealPending = bOn && m_bDockingOn;
}

void CMainFrame::ShowInTaskbar(bool bNormal) {
    // Full screen keeps the window as it is.
    if (m_bFullScreen) return;
    // A window that leaves the taskbar stays a normal, decorated and
    // focusable window: only the taskbar's list forgets it.
    CAppBar::SetSkipTaskbar(this, !bNormal);
    update();
}

// ---- docking at an edge

int CMainFrame::FindAutoHideEdge() const {
    if (!m_pAppBar) return -1;
    for (int e = kDockLeft; e <= kDockBottom; ++e)
        if (m_pAppBar->GetAutoHideBar(e) == m_pAppBar->Id()) return e;
    return -1;
}

void CMainFrame::ApplyDockEdge(int nEdge) {
    if (!m_pAppBar) return;
    const int nOld = FindAutoHideEdge();
    if (nOld >= 0) m_pAppBar->SetAutoHideBar(nOld, false);
    m_dockState.m_nEdge = nEdge;
    if (nEdge == kDockFloating) {
        m_pAppBar->SetPos(kDockTop, QRect());
        FixSizeWhileDocked(false);
        SetWindowRect(m_dockState.m_rcFloat);
    } else if (nEdge == kDockNone) {
        m_pAppBar->Remove();
        FixSizeWhileDocked(false);
    } else if (IsDockEdge(nEdge)) {
        if (m_dockState.m_bAutoHide) {
            const int nHideAt = m_nProposedEdge != kDockNone ? m_nProposedEdge : nEdge;
            if (!m_pAppBar->SetAutoHideBar(nHideAt, true)) {
                m_dockState.m_bAutoHide = false;
                OnAutoHideRefused();
            }
        }
        // Only an auto-hide window is ever out of view.
        if (!m_dockState.m_bAutoHide) m_bShown = true;
        FixSizeWhileDocked(false);
        QRect rc = GetDockedRect(nEdge, WindowRect());
        if (m_dockState.m_bAutoHide) m_pAppBar->SetPos(nEdge, QRect());
        else rc = m_pAppBar->SetPos(nEdge, rc);
        GetSlideRect(m_bShown, rc);
        SlideWindowTo(rc);
        FixSizeWhileDocked(true);
    }
    ApplyDockZOrder();
    m_pAppBar->Activate();
    OnDockStateChanged();
}

void CMainFrame::ApplyDockZOrder() {
    Qt::WindowFlags flags = windowFlags() & ~(Qt::WindowStaysOnTopHint | Qt::WindowStaysOnBottomHint);
    // Below everything while a full-screen program is up, so as not to
    // cover it.
    if (m_dockState.m_bAlwaysOnTop)
        flags |= m_bFullScreenAppOpen ? Qt::WindowStaysOnBottomHint : Qt::WindowStaysOnTopHint;
    SetFrameFlags(flags);
}

void CMainFrame::SetFrameFlags(Qt::WindowFlags flags) {
    if (flags == windowFlags()) return;
    // The native window takes the new stacking hints as it is: changing
    // the widget's flags would hide the window and make it anew.
    overrideWindowFlags(flags);
    if (QWindow* w = windowHandle()) w->setFlags(flags);
}

void CMainFrame::FixSizeWhileDocked(bool bFixed) {
    if (bFixed == m_bSizeFixed) return;
    if (bFixed) {
        // A docked window cannot be resized.
        m_sizeMinFree = minimumSize();
        m_sizeMaxFree = maximumSize();
        setFixedSize(size());
    } else {
        setMinimumSize(m_sizeMinFree);
        setMaximumSize(m_sizeMaxFree);
    }
    m_bSizeFixed = bFixed;
}

QRect CMainFrame::DockScreenRect() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

QRect CMainFrame::GetDockedRect(int nEdge, const QRect& rc) const {
    if (!IsDockEdge(nEdge)) return rc;
    QRect r = ::GetDockedRect(nEdge, rc, DockScreenRect(), AppOptions().m_bSnapToCorner);
    if (!m_dockState.m_bAutoHide && m_pAppBar) r = m_pAppBar->QueryPos(nEdge, r);
    return r;
}

bool CMainFrame::GetSlideRect(bool bShown, QRect& rc) const {
    const int nState = m_nProposedEdge != kDockNone ? m_nProposedEdge : m_dockState.m_nEdge;
    if (!IsDockEdge(nState) || !m_dockState.m_bAutoHide) return false;
    const QRect r =
        ::GetSlideRect(nState, bShown, rc, DockScreenRect(), AppOptions().m_bSnapToCorner, kBorder, kBorder);
    const bool bMoved = r != rc;
    rc = r;
    return bMoved;
}

// ---- the window's rectangle, decorations included

QRect CMainFrame::WindowRect() const { return frameGeometry(); }

void CMainFrame::SetWindowRect(const QRect& rc) {
    if (!rc.isValid()) return;
    // The decorations' widths, taken while the window stands still: during
    // a slide the client's place is known at once and the frame's only when
    // the window manager answers, and their difference would drift.
    if (!m_bSliding) {
        const QRect fg = frameGeometry();
        const QRect g = geometry();
        m_frameMargins = QMargins(g.left() - fg.left(), g.top() - fg.top(), fg.right() - g.right(),
                                  fg.bottom() - g.bottom());
    }
    m_rcLastSet = rc;
    m_ownMoveClock.start();
    setGeometry(rc - m_frameMargins);
}

void CMainFrame::SlideWindowTo(const QRect& rcTarget) {
    const QRect rcFrom = frameGeometry();
    if (rcFrom == rcTarget || m_bSliding) return;
    {
        const QRect g = geometry();
        m_frameMargins = QMargins(g.left() - rcFrom.left(), g.top() - rcFrom.top(), rcFrom.right() - g.right(),
                                  rcFrom.bottom() - g.bottom());
    }
    m_bSliding = true;
    QElapsedTimer clock;
    clock.start();
    for (qint64 ms = 0; ms < kSlideMs; ms = clock.elapsed()) {
        SetWindowRect(SlideRectAt(rcFrom, rcTarget, ms));
        repaint();
        // The moves reach the window manager and come back as the window's
        // geometry; input waits until the slide is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(10);
    }
    SetWindowRect(rcTarget);
    repaint();
    // Whoever asks next sees where the window is, not where it was: the
    // manager's reports of the steps arrive after the last one was asked for.
    QElapsedTimer settle;
    settle.start();
    int nSteady = 0;
    while (settle.elapsed() < 300 && nSteady < 5) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
        nSteady = frameGeometry() == rcTarget ? nSteady + 1 : 0;
    }
    CHeldClickDrop().Flush();
    m_bSliding = false;
}

// ---- into view and out of it

void CMainFrame::ShowDockedWindow(bool bShow) {
    if (!m_bDockingOn) {
        if (bShow) BringToForeground();
        return;
    }
    if (m_bSliding) return;
    QRect rc = WindowRect();
    m_bShown = true;
    const int nState = m_nProposedEdge != kDockNone ? m_nProposedEdge : m_dockState.m_nEdge;
    // The flag follows the window's place also when it is there already, so
    // that a later re-docking does not pull a hidden window into view.
    if (IsDockEdge(nState) && m_dockState.m_bAutoHide) m_bShown = bShow;
    if (GetSlideRect(bShow, rc)) {
        SlideWindowTo(rc);
        m_bRevealPending = false;
    }
    if (m_bShown) m_revealTimer.stop();
    else m_revealTimer.start();
}

void CMainFrame::BringToForeground() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

bool CMainFrame::CanAutoHide() const {
    if (!m_bDockingOn || !g_bAutoHideAllowed) return false;
    // The active window of this program stands for the foreground window:
    // another program's window leaves none active here, which allows it.
    for (QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget())
        if (w == this) return false;
    return true;
}

void CMainFrame::OnAutoHideTimer() {
    if (m_bSliding || m_bDragging || m_bWmMove) return;
    const QPoint pt = QCursor::pos();
    if (!m_bShown && (WindowRect() & DockScreenRect()).contains(pt)) {
        ShowDockedWindow(true);
        return;
    }
    // The window manager may change the decorations after a slide (a window
    // that cannot be resized loses its grip): a hidden window whose strip
    // went off the screen that way would never be found by the pointer.
    if (!m_bShown) {
        QRect rc = WindowRect();
        if (GetSlideRect(false, rc)) SetWindowRect(rc);
    }
    if (!CanAutoHide()) return;
    const int d = 2 * QGuiApplication::styleHints()->mouseDoubleClickDistance();
    if (!WindowRect().adjusted(-d, -d, d, d).contains(pt)) ShowDockedWindow(false);
}

void CMainFrame::OnRevealPoll() {
    // The strip a hidden window leaves is the window manager's border, which
    // tells the window nothing when the pointer comes: look for it.
    if (m_bShown || m_bSliding || !m_bDockingOn) return;
    if ((WindowRect() & DockScreenRect()).contains(QCursor::pos())) ShowDockedWindow(true);
}

void CMainFrame::OnDeactivated() {
    if (!m_bDockingOn) return;
    if (CanAutoHide()) {
        if (m_bRevealPending) {
            // Right after start-up the window hides to the configured edge,
            // even while it floats. It docks there as any window hidden at an
            // edge must: registered as that edge's auto-hide window (or, when
            // the edge is taken, reserving space instead). A window hidden
            // without the registration would share the edge with another
            // one, and the window manager would not let it leave the screen.
            const uint32_t nEdge = AppOptions().m_nDockEdge;
            m_bRevealPending = false;
            m_bShown = false;
            ApplyDockEdge(nEdge <= kDockBottom ? static_cast<int>(nEdge) : kDockTop);
            if (!m_bShown) m_revealTimer.start();
        } else {
            ShowDockedWindow(false);
        }
    }
    if (m_pAppBar) m_pAppBar->Activate();
}

// ---- dragging

int CMainFrame::ProposeDockEdge(const QPoint& pt) const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect work = s ? s->availableGeometry() : DockScreenRect();
    const int nScroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const bool bCtrl = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    return ::ProposeDockEdge(pt, bCtrl, work, DockScreenRect(), QSize(nScroll, nScroll));
}

void CMainFrame::BeginDrag(const QPoint& ptGlobal) {
    m_bDragging = true;
    m_nProposedEdge = m_dockState.m_nEdge;
    m_ptDragLast = ptGlobal;
    m_rcDrag = WindowRect();
    m_rcLastSet = m_rcDrag;
    FixSizeWhileDocked(false);
    grabMouse();
}

void CMainFrame::DragTo(const QPoint& ptGlobal) {
    m_rcDrag.translate(ptGlobal - m_ptDragLast);
    m_ptDragLast = ptGlobal;
    const int nProposal = ProposeDockEdge(ptGlobal);
    // Leaving an edge, the window starts from where it was shown docked.
    if (nProposal == kDockFloating && m_nProposedEdge != kDockFloating) m_rcDrag = m_rcLastSet;
    m_nProposedEdge = nProposal;
    m_rcDrag = GetDockedRect(nProposal, m_rcDrag);
    SetWindowRect(m_rcDrag);
}

void CMainFrame::EndDrag() {
    releaseMouse();
    m_bDragging = false;
    const int nProposal = m_nProposedEdge;
    m_nProposedEdge = kDockNone;
    if (nProposal == kDockFloating) m_dockState.m_rcFloat = m_rcLastSet.isValid() ? m_rcLastSet : WindowRect();
    // A drag always starts from a visible window.
    m_bShown = true;
    ApplyDockEdge(nProposal);
}

void CMainFrame::OnWmMovePoll() {
    // The window manager moves the window by its title bar and keeps the
    // pointer to itself; the proposal follows the pointer, and the release
    // of the button ends the drag.
    if (CAppBar::IsPrimaryButtonDown()) {
        m_nProposedEdge = ProposeDockEdge(QCursor::pos());
        return;
    }
    if (!m_bWmMove) return;
    m_wmMoveTimer.stop();
    m_bWmMove = false;
    const int nProposal = m_nProposedEdge;
    m_nProposedEdge = kDockNone;
    if (!m_bDockingOn || nProposal == kDockNone) return;
    if (nProposal == kDockFloating) m_dockState.m_rcFloat = frameGeometry();
    m_bShown = true;
    ApplyDockEdge(nProposal);
}

// ---- events

bool CMainFrame::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (!m_bDockingOn) return QMainWindow::eventFilter(pWatched, pEvent);
    const bool bSelf = pWatched == this;
    switch (pEvent->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(pEvent);
        if (me->button() == Qt::LeftButton && !m_bDragging && !m_bSliding) {
            BeginDrag(me->globalPosition().toPoint());
            return true;
        }
        break;
    }
    case QEvent::MouseMove:
        if (m_bDragging) {
            DragTo(static_cast<QMouseEvent*>(pEvent)->globalPosition().toPoint());
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (m_bDragging && static_cast<QMouseEvent*>(pEvent)->button() == Qt::LeftButton) {
            EndDrag();
            return true;
        }
        break;
    case QEvent::Enter:
        // The pointer over the window (the strip of a hidden one included).
        if (bSelf && !m_bShown) QMetaObject::invokeMethod(this, [this] { ShowDockedWindow(true); }, Qt::QueuedConnection);
        break;
    case QEvent::WindowDeactivate:
        if (bSelf) QMetaObject::invokeMethod(this, &CMainFrame::OnDeactivated, Qt::QueuedConnection);
        break;
    case QEvent::WindowActivate:
        if (bSelf && m_pAppBar) m_pAppBar->Activate();
        break;
    case QEvent::Move:
        if (bSelf) {
            if (m_pAppBar) m_pAppBar->WindowPosChanged();
            // A move this frame did not make, with the button down: the
            // window manager is dragging the window.
            // A move this frame did not make, with the pointer on the title
            // bar: the window manager is dragging the window by it. Managers
            // tell the window where it went during the drag or only once the
            // button is up; either way the drag's end docks it.
            const QPoint pt = QCursor::pos();
            const bool bOwnMove = m_bSliding || m_bDragging ||
                                  (m_ownMoveClock.isValid() && m_ownMoveClock.elapsed() < kOwnMoveEchoMs) ||
                                  frameGeometry().topLeft() == m_rcLastSet.topLeft();
            if (!bOwnMove && !m_bWmMove && isVisible() && frameGeometry().contains(pt) && !geometry().contains(pt)) {
                m_bWmMove = true;
                m_nProposedEdge = m_dockState.m_nEdge;
                if (CAppBar::IsPrimaryButtonDown()) {
                    m_wmMoveTimer.start();
                } else {
                    m_nProposedEdge = ProposeDockEdge(pt);
                    QMetaObject::invokeMethod(this, &CMainFrame::OnWmMovePoll, Qt::QueuedConnection);
                }
            }
        }
        break;
    case QEvent::Resize:
        if (bSelf && m_pAppBar) m_pAppBar->WindowPosChanged();
        break;
    case QEvent::Show:
        // Once it is mapped: the window manager forgets a window's taskbar
        // state when it is unmapped, and the native window may have been made
        // anew on the way, without the reservation.
        if (bSelf)
            QMetaObject::invokeMethod(this, [this] {
                if (!m_bDockingOn) return;
                ShowInTaskbar(false);
                if (m_pAppBar) m_pAppBar->WindowPosChanged();
            }, Qt::QueuedConnection);
        break;
    case QEvent::Close:
        // A hidden window would be remembered off the screen and come back
        // there at the next start.
        if (bSelf && !m_bShown) {
            QRect rc = WindowRect();
            if (GetSlideRect(true, rc)) SetWindowRect(rc);
            m_bShown = true;
        }
        break;
    default: break;
    }
    return QMainWindow::eventFilter(pWatched, pEvent);
}

// ---- what the service tells

void CMainFrame::OnAppBarNotify(int nCode, qintptr lParam) {
    if (!m_bDockingOn) return;
    switch (nCode) {
    case appbar::kStateChange: OnTaskbarStateChanged(); break;
    case appbar::kPosChanged: OnTaskbarPosChanged(); break;
    case appbar::kFullScreenApp: OnFullScreenAppChanged(lParam != 0); break;
    case appbar::kWindowArrange: OnWindowsArranged(); break;
    default: break;
    }
}

void CMainFrame::OnTaskbarPosChanged() {
    // Another bar moved: a window that reserves space takes its place anew.
    if (IsDockEdge(m_dockState.m_nEdge) && !m_dockState.m_bAutoHide) ApplyDockEdge(m_dockState.m_nEdge);
}

void CMainFrame::OnFullScreenAppChanged(bool bOpen) {
    m_bFullScreenAppOpen = bOpen;
    // Re-docking puts the window above or below the others again.
    ApplyDockEdge(m_dockState.m_nEdge);
}

void CMainFrame::OnAutoHideRefused() {
    AfxMessageBoxText(QString::fromLatin1(kAutoHideRefusedText), host::MB_OK | host::MB_ICONERROR, windowTitle());
}
