// The application-bar service a docked window registers with: space
// reserved at a screen edge, at most one auto-hide window per edge, and the
// notifications a bar answers.
//
// On X11 the space is reserved with _NET_WM_STRUT_PARTIAL (and the older
// _NET_WM_STRUT) on the bar's window, which the window manager takes out of
// the work area. The auto-hide window of an edge is whoever owns the X
// selection CLIPVAULT_APPBAR_AUTOHIDE_<EDGE> (LEFT, TOP, RIGHT, BOTTOM):
// the selection is the display's, so the rule holds across processes and
// users, and the server gives it up when its owner's connection ends.
// Without X11 nothing is reserved and the auto-hide rule holds within this
// process only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <cstdint>
#include <memory>

class QWidget;
class QWindow;

namespace appbar {
// Notifications, the shell's ABN_ codes.
constexpr int kStateChange = 0;    // a registration of ours was taken away
constexpr int kPosChanged = 1;     // another bar changed the space it reserves
constexpr int kFullScreenApp = 2;  // lParam: a full-screen window is active (1) or no longer (0)
constexpr int kWindowArrange = 3;  // never raised here: nothing tiles the desktop's windows
}  // namespace appbar

class CAppBar : public QObject {
    Q_OBJECT
public:
    // The bar is `pWindow`, a top-level window.
    explicit CAppBar(QWidget* pWindow);
    // Removes the bar: its reservation and its auto-hide registrations.
    ~CAppBar() override;

    // Registers the window as a bar; false when it already is one.
    bool New();
    // Ends the registration: nothing stays reserved or registered.
    void Remove();
    bool IsRegistered() const { return m_bRegistered; }

    // The place the service grants `rc` at `nEdge`: clipped along the edge
    // to the screen, and moved inward past the space that other windows
    // reserve at the same edge where it overlaps theirs (windows that became
    // bars of this kind after this one do not count: they yield to it). The
    // size across the edge is kept.
    QRect QueryPos(int nEdge, const QRect& rc) const;
    // Reserves what QueryPos grants and answers it; an empty rectangle
    // reserves nothing.
    QRect SetPos(int nEdge, const QRect& rc);
    // What is reserved now (empty when nothing is).
    QRect Reserved() const { return m_rcReserved; }

    // Registers the window as the auto-hide window of `nEdge` (false when
    // another window holds the edge), or gives the edge up (false when it
    // was not this window's). While it holds an edge and reserves nothing
    // else, the strip a hidden window leaves on the screen (SetAutoHideStrip
    // pixels along the whole edge, 2 unless set) stays reserved: window
    // managers keep a window that reserves nothing on a side at least partly
    // on the screen there, and nothing should cover the strip.
    bool SetAutoHideBar(int nEdge, bool bOn);
    void SetAutoHideStrip(int nPixels) { m_nAutoHideStrip = nPixels; }
    // Who holds `nEdge`: 0 for nobody, Id() for this bar, else another
    // window's number.
    quintptr GetAutoHideBar(int nEdge) const;
    quintptr Id() const { return m_nId; }

    // The window was activated or moved. Stacking is left to the window
    // manager and the window's own stays-on-top hint; what these do is put
    // the reservation back on the window when its native window was made
    // anew (a reservation lives on the native window).
    void Activate();
    void WindowPosChanged();

    // True when the service talks to an X server.
    bool HasX11() const;

    // The primary pointer button is down, wherever the pointer is (a window
    // manager's move grabs the pointer, so the window never sees the
    // release).
    static bool IsPrimaryButtonDown();
    // Keeps a top-level window out of the taskbar and pagers' lists, or puts
    // it back (_NET_WM_STATE_SKIP_TASKBAR); false without X11.
    static bool SetSkipTaskbar(QWidget* pWindow, bool bSkip);

signals:
    // One of the appbar:: notifications, delivered from the event loop.
    void Notify(int nCode, qintptr lParam);

private:
    class CX11;
    friend class CX11;
    QRect ScreenRect() const;
    // Puts what is reserved on the window: the reserved rectangle, else the
    // strip of an auto-hide edge, else nothing.
    void UpdateStrut();
    void OnRootProperty(unsigned nAtom);
    void OnActiveWindowState();

    QPointer<QWidget> m_pWindow;
    std::unique_ptr<CX11> m_pX11;
    quintptr m_nId = 0;
    bool m_bRegistered = false;
    int m_nReservedEdge = -1;
    QRect m_rcReserved;
    quintptr m_nStrutWindow = 0;  // the native window that carries the reservation
    bool m_bAutoHide[4] = {false, false, false, false};
    int m_nAutoHideStrip = 2;
    uint64_t m_nSince = 0;  // when it became a bar: later bars yield to it
    bool m_bFullScreenApp = false;
};
