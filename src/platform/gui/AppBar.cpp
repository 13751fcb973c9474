#include "platform/gui/AppBar.h"
#include "platform/gui/XcbSupport.h"

#include <QAbstractNativeEventFilter>
#include <QDateTime>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

xcb_screen_t* DefaultScreen(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data; }

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    static std::map<std::string, xcb_atom_t> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr)) {
        atom = r->atom;
        std::free(r);
    }
    cache.emplace(name, atom);
    return atom;
}

std::vector<uint32_t> ReadWords(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
    std::vector<uint32_t> out;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 1024), nullptr);
    if (!r) return out;
    if (r->format == 32 && r->type == type) {
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(r));
        out.assign(data, data + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return out;
}

xcb_atom_t AutoHideAtom(xcb_connection_t* c, int nEdge) {
    static const char* const kNames[4] = {"CLIPVAULT_APPBAR_AUTOHIDE_LEFT", "CLIPVAULT_APPBAR_AUTOHIDE_TOP",
                                          "CLIPVAULT_APPBAR_AUTOHIDE_RIGHT", "CLIPVAULT_APPBAR_AUTOHIDE_BOTTOM"};
    return Atom(c, kNames[nEdge]);
}

bool ValidEdge(int nEdge) { return nEdge >= 0 && nEdge <= 3; }

// Without an X server the auto-hide windows of this process.
std::map<int, quintptr>& LocalAutoHide() {
    static std::map<int, quintptr> bars;
    return bars;
}

// What another window reserves, in the order of _NET_WM_STRUT_PARTIAL:
// left, right, top, bottom thickness, then each edge's start and end.
struct CStrut {
    uint32_t v[12] = {};
};

// The native window of a top-level widget as it is now: the platform may
// make it anew (a change of stacking hints does), and only the QWindow
// knows the new one.
xcb_window_t NativeWindow(QWidget* w) {
    if (!w) return XCB_NONE;
    w->winId();
    QWindow* h = w->windowHandle();
    return h ? static_cast<xcb_window_t>(h->winId()) : static_cast<xcb_window_t>(w->winId());
}

bool IsOwnWindow(xcb_window_t w) {
    for (QWindow* win : QGuiApplication::allWindows())
        if (win->handle() && win->winId() == w) return true;
    return false;
}

}  // namespace

// The connection's side: the helper window that owns the auto-hide
// selections, and the events the notifications come from.
class CAppBar::CX11 : public QAbstractNativeEventFilter {
public:
    CX11(CAppBar& bar, xcb_connection_t* c) : m_bar(bar), m_c(c) {
        xcb_screen_t* s = DefaultScreen(c);
        m_root = s->root;
        m_helper = xcb_generate_id(c);
        // Never mapped: it only owns selections.
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_helper, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        // The work area and the active window are properties of the root;
        // add their changes to what this connection already hears there.
        if (xcb_get_window_attributes_reply_t* a =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_root), nullptr)) {
            const uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
            std::free(a);
            xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &mask);
        }
        xcb_flush(c);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~CX11() override {
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
        xcb_destroy_window(m_c, m_helper);
        xcb_flush(m_c);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        switch (ev->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            auto* p = reinterpret_cast<xcb_property_notify_event_t*>(ev);
            if (p->window == m_root) m_bar.OnRootProperty(p->atom);
            else if (p->window == m_watched && p->atom == Atom(m_c, "_NET_WM_STATE")) m_bar.OnActiveWindowState();
            break;
        }
        case XCB_UNMAP_NOTIFY:
        case XCB_DESTROY_NOTIFY: {
            // The active window went away before the manager named another.
            const xcb_window_t w = (ev->response_type & 0x7f) == XCB_UNMAP_NOTIFY
                                       ? reinterpret_cast<xcb_unmap_notify_event_t*>(ev)->window
                                       : reinterpret_cast<xcb_destroy_notify_event_t*>(ev)->window;
            if (w == m_watched && w != XCB_NONE) {
                m_watched = XCB_NONE;
                m_bar.OnActiveWindowState();
            }
            break;
        }
        case XCB_SELECTION_CLEAR: {
            auto* s = reinterpret_cast<xcb_selection_clear_event_t*>(ev);
            if (s->owner != m_helper) break;
            for (int e = 0; e < 4; ++e) {
                if (s->selection == AutoHideAtom(m_c, e) && m_bar.m_bAutoHide[e]) {
                    m_bar.m_bAutoHide[e] = false;
                    m_bar.UpdateStrut();
                    QMetaObject::invokeMethod(&m_bar, [bar = &m_bar] { emit bar->Notify(appbar::kStateChange, 0); },
                                              Qt::QueuedConnection);
                }
            }
            break;
        }
        default: break;
        }
        return false;
    }

    // Every reservation of the display's managed windows but `own`; with
    // `bSeniorsOnly`, only those of windows that were bars before `own`
    // (registered earlier, or not bars of this kind at all: panels).
    std::vector<CStrut> OtherStruts(xcb_window_t own, bool bSeniorsOnly = false, uint64_t nSince = 0) const {
        std::vector<CStrut> out;
        const xcb_atom_t since = Atom(m_c, "_CLIPVAULT_APPBAR_SINCE");
        const xcb_atom_t partial = Atom(m_c, "_NET_WM_STRUT_PARTIAL");
        const xcb_atom_t plain = Atom(m_c, "_NET_WM_STRUT");
        xcb_screen_t* s = DefaultScreen(m_c);
        for (uint32_t w : ReadWords(m_c, m_root, Atom(m_c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW)) {
            if (w == own) continue;
            if (bSeniorsOnly) {
                const std::vector<uint32_t> t = ReadWords(m_c, w, since, XCB_ATOM_CARDINAL);
                if (t.size() >= 2) {
                    const uint64_t nTheirs = (uint64_t(t[0]) << 32) | t[1];
                    if (nTheirs > nSince || (nTheirs == nSince && w > own)) continue;
                }
            }
            CStrut strut;
            std::vector<uint32_t> v = ReadWords(m_c, w, partial, XCB_ATOM_CARDINAL);
            if (v.size() >= 12) {
                std::copy(v.begin(), v.begin() + 12, strut.v);
            } else {
                v = ReadWords(m_c, w, plain, XCB_ATOM_CARDINAL);
                if (v.size() < 4) continue;
                // The older form reserves along the whole edge.
                std::copy(v.begin(), v.begin() + 4, strut.v);
                strut.v[5] = strut.v[7] = s->height_in_pixels - 1u;
                strut.v[9] = strut.v[11] = s->width_in_pixels - 1u;
            }
            out.push_back(strut);
        }
        return out;
    }

    CAppBar& m_bar;
    xcb_connection_t* m_c;
    xcb_window_t m_root = 0;
    xcb_window_t m_helper = 0;
    xcb_window_t m_watched = 0;  // the active window whose state is heard
    std::vector<uint32_t> m_othersSeen;
};

CAppBar::CAppBar(QWidget* pWindow) : m_pWindow(pWindow) {
    if (xcb_connection_t* c = X11Connection()) {
        m_pX11 = std::make_unique<CX11>(*this, c);
        m_nId = m_pX11->m_helper;
    } else {
        // Numbers of our own that cannot be mistaken for a window.
        static quintptr nNext = 0x7f000000;
        m_nId = ++nNext;
    }
}

CAppBar::~CAppBar() { Remove(); }

bool CAppBar::HasX11() const { return m_pX11 != nullptr; }

bool CAppBar::New() {
    if (m_bRegistered) return false;
    m_bRegistered = true;
    m_nSince = static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch());
    if (m_pX11) {
        // What the others reserve now is the base against which a change is
        // noticed.
        m_pX11->m_othersSeen.clear();
        for (const CStrut& s : m_pX11->OtherStruts(NativeWindow(m_pWindow)))
            m_pX11->m_othersSeen.insert(m_pX11->m_othersSeen.end(), s.v, s.v + 12);
        OnRootProperty(Atom(m_pX11->m_c, "_NET_ACTIVE_WINDOW"));
    }
    return true;
}

void CAppBar::Remove() {
    for (int e = 0; e < 4; ++e)
        if (m_bAutoHide[e]) SetAutoHideBar(e, false);
    SetPos(-1, QRect());
    m_bRegistered = false;
    m_bFullScreenApp = false;
}

QRect CAppBar::ScreenRect() const {
    QScreen* screen = m_pWindow && m_pWindow->screen() ? m_pWindow->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

QRect CAppBar::QueryPos(int nEdge, const QRect& rc) const {
    if (!ValidEdge(nEdge) || rc.isEmpty()) return rc;
    const QRect screen = ScreenRect();
    QRect r = rc;
    // Along the edge the bar stays on the screen.
    if (nEdge == 1 || nEdge == 3) {
        r.setLeft(qMax(r.left(), screen.left()));
        r.setRight(qMin(r.right(), screen.right()));
    } else {
        r.setTop(qMax(r.top(), screen.top()));
        r.setBottom(qMin(r.bottom(), screen.bottom()));
    }
    if (!m_pX11) return r;
    // Across it, the bar moves inward past the others that reserve the same
    // edge where their ranges meet its own (coordinates of the root window).
    const xcb_screen_t* s = DefaultScreen(m_pX11->m_c);
    const int rootW = s->width_in_pixels;
    const int rootH = s->height_in_pixels;
    // Bars that came later yield to this one, not this one to them: two
    // bars would otherwise push each other off the screen.
    for (const CStrut& o : m_pX11->OtherStruts(NativeWindow(m_pWindow), true, m_nSince)) {
        const auto overlaps = [](int a0, int a1, uint32_t b0, uint32_t b1) {
            return b1 >= b0 && a0 <= static_cast<int>(b1) && a1 >= static_cast<int>(b0);
        };
        switch (nEdge) {
        case 0:
            if (o.v[0] && overlaps(r.top(), r.bottom(), o.v[4], o.v[5]) && r.left() < static_cast<int>(o.v[0]))
                r.moveLeft(static_cast<int>(o.v[0]));
            break;
        case 2:
            if (o.v[1] && overlaps(r.top(), r.bottom(), o.v[6], o.v[7]) && r.right() >= rootW - static_cast<int>(o.v[1]))
                r.moveRight(rootW - static_cast<int>(o.v[1]) - 1);
            break;
        case 1:
            if (o.v[2] && overlaps(r.left(), r.right(), o.v[8], o.v[9]) && r.top() < static_cast<int>(o.v[2]))
                r.moveTop(static_cast<int>(o.v[2]));
            break;
        case 3:
            if (o.v[3] && overlaps(r.left(), r.right(), o.v[10], o.v[11]) && r.bottom() >= rootH - static_cast<int>(o.v[3]))
                r.moveBottom(rootH - static_cast<int>(o.v[3]) - 1);
            break;
        }
    }
    return r;
}

QRect CAppBar::SetPos(int nEdge, const QRect& rc) {
    if (rc.isEmpty() || !ValidEdge(nEdge)) {
        m_nReservedEdge = -1;
        m_rcReserved = QRect();
    } else {
        m_nReservedEdge = nEdge;
        m_rcReserved = QueryPos(nEdge, rc);
    }
    UpdateStrut();
    return m_rcReserved;
}

void CAppBar::UpdateStrut() {
    if (!m_pX11 || !m_pWindow) return;
    xcb_connection_t* c = m_pX11->m_c;
    const xcb_screen_t* s = DefaultScreen(c);
    const int rootW = s->width_in_pixels;
    const int rootH = s->height_in_pixels;
    int nEdge = m_nReservedEdge;
    QRect rc = m_rcReserved;
    if (rc.isEmpty()) {
        // An auto-hide window keeps the strip it leaves on the screen: window
        // managers keep a window that reserves nothing on a side at least
        // partly in view there, and nothing is to cover the strip.
        nEdge = -1;
        for (int e = 0; e < 4 && nEdge < 0; ++e)
            if (m_bAutoHide[e]) nEdge = e;
        const int t = m_nAutoHideStrip;
        switch (nEdge) {
        case 0: rc = QRect(0, 0, t, rootH); break;
        case 1: rc = QRect(0, 0, rootW, t); break;
        case 2: rc = QRect(rootW - t, 0, t, rootH); break;
        case 3: rc = QRect(0, rootH - t, rootW, t); break;
        default: break;
        }
    }
    const xcb_atom_t partial = Atom(c, "_NET_WM_STRUT_PARTIAL");
    const xcb_atom_t plain = Atom(c, "_NET_WM_STRUT");
    const xcb_atom_t since = Atom(c, "_CLIPVAULT_APPBAR_SINCE");
    const xcb_window_t w = NativeWindow(m_pWindow);
    if (nEdge < 0 || rc.isEmpty()) {
        if (m_nStrutWindow) {
            xcb_delete_property(c, m_nStrutWindow, partial);
            xcb_delete_property(c, m_nStrutWindow, plain);
            xcb_delete_property(c, m_nStrutWindow, since);
            xcb_flush(c);
        }
        m_nStrutWindow = 0;
        return;
    }
    uint32_t v[12] = {};
    const auto clamp = [](int n) { return static_cast<uint32_t>(qMax(0, n)); };
    switch (nEdge) {
    case 0: v[0] = clamp(rc.right() + 1); v[4] = clamp(rc.top()); v[5] = clamp(rc.bottom()); break;
    case 2: v[1] = clamp(rootW - rc.left()); v[6] = clamp(rc.top()); v[7] = clamp(rc.bottom()); break;
    case 1: v[2] = clamp(rc.bottom() + 1); v[8] = clamp(rc.left()); v[9] = clamp(rc.right()); break;
    case 3: v[3] = clamp(rootH - rc.top()); v[10] = clamp(rc.left()); v[11] = clamp(rc.right()); break;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, partial, XCB_ATOM_CARDINAL, 32, 12, v);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, plain, XCB_ATOM_CARDINAL, 32, 4, v);
    const uint32_t t[2] = {static_cast<uint32_t>(m_nSince >> 32), static_cast<uint32_t>(m_nSince)};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, since, XCB_ATOM_CARDINAL, 32, 2, t);
    xcb_flush(c);
    m_nStrutWindow = w;
}

bool CAppBar::SetAutoHideBar(int nEdge, bool bOn) {
    if (!ValidEdge(nEdge)) return false;
    if (!m_pX11) {
        auto& bars = LocalAutoHide();
        auto it = bars.find(nEdge);
        if (bOn) {
            if (it != bars.end() && it->second != m_nId) return false;
            bars[nEdge] = m_nId;
            m_bAutoHide[nEdge] = true;
            return true;
        }
        m_bAutoHide[nEdge] = false;
        if (it == bars.end() || it->second != m_nId) return false;
        bars.erase(it);
        return true;
    }
    xcb_connection_t* c = m_pX11->m_c;
    const xcb_atom_t atom = AutoHideAtom(c, nEdge);
    // Looking and taking are one step for the server: nobody can take the
    // edge in between.
    xcb_grab_server(c);
    xcb_window_t owner = XCB_NONE;
    if (xcb_get_selection_owner_reply_t* r = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr)) {
        owner = r->owner;
        std::free(r);
    }
    bool bDone = false;
    if (bOn) {
        if (owner == XCB_NONE || owner == m_pX11->m_helper) {
            xcb_set_selection_owner(c, m_pX11->m_helper, atom, XCB_CURRENT_TIME);
            bDone = true;
        }
    } else if (owner == m_pX11->m_helper) {
        xcb_set_selection_owner(c, XCB_NONE, atom, XCB_CURRENT_TIME);
        bDone = true;
    }
    xcb_ungrab_server(c);
    xcb_flush(c);
    if (bOn && bDone) {
        // The server has the last word.
        bDone = GetAutoHideBar(nEdge) == m_nId;
    }
    if (bOn) m_bAutoHide[nEdge] = bDone;
    else m_bAutoHide[nEdge] = false;
    UpdateStrut();
    return bDone;
}

quintptr CAppBar::GetAutoHideBar(int nEdge) const {
    if (!ValidEdge(nEdge)) return 0;
    if (!m_pX11) {
        const auto& bars = LocalAutoHide();
        auto it = bars.find(nEdge);
        return it == bars.end() ? 0 : it->second;
    }
    xcb_connection_t* c = m_pX11->m_c;
    xcb_window_t owner = XCB_NONE;
    if (xcb_get_selection_owner_reply_t* r =
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, AutoHideAtom(c, nEdge)), nullptr)) {
        owner = r->owner;
        std::free(r);
    }
    return owner;
}

void CAppBar::Activate() { WindowPosChanged(); }

void CAppBar::WindowPosChanged() {
    if (m_pX11 && m_pWindow && m_nStrutWindow && NativeWindow(m_pWindow) != m_nStrutWindow) {
        // The old window is gone and its properties with it.
        m_nStrutWindow = 0;
        UpdateStrut();
    }
}

void CAppBar::OnRootProperty(unsigned nAtom) {
    if (!m_pX11 || !m_bRegistered) return;
    xcb_connection_t* c = m_pX11->m_c;
    if (nAtom == Atom(c, "_NET_WORKAREA")) {
        // The work area changes with our own reservation too; only another
        // window's change is news.
        std::vector<uint32_t> now;
        for (const CStrut& s : m_pX11->OtherStruts(NativeWindow(m_pWindow)))
            now.insert(now.end(), s.v, s.v + 12);
        if (now != m_pX11->m_othersSeen) {
            m_pX11->m_othersSeen = now;
            QMetaObject::invokeMethod(this, [this] { emit Notify(appbar::kPosChanged, 0); }, Qt::QueuedConnection);
        }
    } else if (nAtom == Atom(c, "_NET_ACTIVE_WINDOW")) {
        const std::vector<uint32_t> v = ReadWords(c, m_pX11->m_root, nAtom, XCB_ATOM_WINDOW);
        const xcb_window_t active = v.empty() ? XCB_NONE : v[0];
        if (active != m_pX11->m_watched) {
            m_pX11->m_watched = XCB_NONE;
            // Our own windows' event masks are Qt's; a foreign window's is
            // ours to extend (each client has its own).
            if (active != XCB_NONE && !IsOwnWindow(active)) {
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(c, active, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(c);
                m_pX11->m_watched = active;
            }
        }
        OnActiveWindowState();
    }
}

void CAppBar::OnActiveWindowState() {
    if (!m_pX11) return;
    xcb_connection_t* c = m_pX11->m_c;
    bool bFull = false;
    if (m_pX11->m_watched) {
        const xcb_atom_t full = Atom(c, "_NET_WM_STATE_FULLSCREEN");
        for (uint32_t a : ReadWords(c, m_pX11->m_watched, Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM))
            if (a == full) bFull = true;
    }
    if (bFull == m_bFullScreenApp) return;
    m_bFullScreenApp = bFull;
    QMetaObject::invokeMethod(this, [this, bFull] { emit Notify(appbar::kFullScreenApp, bFull ? 1 : 0); },
                              Qt::QueuedConnection);
}

bool CAppBar::IsPrimaryButtonDown() {
    xcb_connection_t* c = X11Connection();
    if (!c) return QGuiApplication::mouseButtons() & Qt::LeftButton;
    bool bDown = false;
    if (xcb_query_pointer_reply_t* r =
            xcb_query_pointer_reply(c, xcb_query_pointer(c, DefaultScreen(c)->root), nullptr)) {
        // Button 1 is the primary one after the server's button mapping.
        bDown = r->mask & XCB_BUTTON_MASK_1;
        std::free(r);
    }
    return bDown;
}

bool CAppBar::SetSkipTaskbar(QWidget* pWindow, bool bSkip) {
    xcb_connection_t* c = X11Connection();
    if (!c || !pWindow) return false;
    const xcb_window_t w = NativeWindow(pWindow);
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    const xcb_atom_t skip = Atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    // The property is the window's own while it is not mapped, and what the
    // window manager reads when it maps it ...
    std::vector<uint32_t> atoms = ReadWords(c, w, state, XCB_ATOM_ATOM);
    std::vector<uint32_t> kept;
    for (uint32_t a : atoms)
        if (a != skip) kept.push_back(a);
    if (bSkip) kept.push_back(skip);
    if (kept != atoms)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, state, XCB_ATOM_ATOM, 32, static_cast<uint32_t>(kept.size()),
                            kept.data());
    // ... and a mapped window asks the manager to change it.
    if (pWindow->isVisible()) {
        xcb_client_message_event_t ev;
        std::memset(&ev, 0, sizeof ev);
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = state;
        ev.data.data32[0] = bSkip ? 1 : 0;  // _NET_WM_STATE_ADD, _REMOVE
        ev.data.data32[1] = skip;
        ev.data.data32[3] = 1;  // from an application
        xcb_send_event(c, 0, DefaultScreen(c)->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
    }
    xcb_flush(c);
    return true;
}
