#include "platform/gui/LockKeys.h"
#include "platform/gui/XcbSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>
// The C header names a field after a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

namespace {

// The indicator names the keyboard descriptions give the three lock lights.
const char* const kIndicatorNames[3] = {"Caps Lock", "Num Lock", "Scroll Lock"};
const unsigned kLockFlags[3] = {CLockKeys::kCapsLock, CLockKeys::kNumLock, CLockKeys::kScrollLock};

}  // namespace

CLockKeys::CLockKeys(QObject* pParent) : QObject(pParent) {
    xcb_connection_t* c = X11Connection();
    if (!c) return;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xkb_id);
    if (!ext || !ext->present) return;
    XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!use || !use->supported) return;
    m_nFirstEvent = ext->first_event;
    // Only the indicator events are changed: the toolkit keeps its own
    // selection of the others on this connection.
    xcb_generic_error_t* err = xcb_request_check(
        c, xcb_xkb_select_events_checked(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY, 0,
                                         XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY, 0, 0, nullptr));
    if (err) {
        std::free(err);
        return;
    }
    m_bAvailable = true;
    ReadIndicatorNames();
    QCoreApplication::instance()->installNativeEventFilter(this);
    Refresh();
}

CLockKeys::~CLockKeys() {
    if (m_bAvailable && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CLockKeys::ReadIndicatorNames() {
    xcb_connection_t* c = X11Connection();
    if (!c) return;
    // The usual order, for a server that names no indicators.
    m_masks[0] = 0x1;
    m_masks[1] = 0x2;
    m_masks[2] = 0x4;
    xcb_intern_atom_cookie_t atomCookies[3];
    for (int i = 0; i < 3; ++i)
        atomCookies[i] = xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(kIndicatorNames[i])), kIndicatorNames[i]);
    auto namesCookie = xcb_xkb_get_names(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_NAME_DETAIL_INDICATOR_NAMES);
    xcb_atom_t atoms[3];
    for (int i = 0; i < 3; ++i) {
        XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, atomCookies[i], nullptr));
        atoms[i] = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    XcbReply<xcb_xkb_get_names_reply_t> names(xcb_xkb_get_names_reply(c, namesCookie, nullptr));
    if (!names) return;
    xcb_xkb_get_names_value_list_t list;
    std::memset(&list, 0, sizeof list);
    xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(names.get()), names->nTypes, names->indicators,
                                        names->virtualMods, names->groupNames, names->nKeys, names->nKeyAliases,
                                        names->nRadioGroups, names->which, &list);
    if (!list.indicatorNames) return;
    uint32_t found[3] = {0, 0, 0};
    bool bAnyNamed = false;
    int n = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (!(names->indicators & (1u << bit))) continue;
        const xcb_atom_t atom = list.indicatorNames[n++];
        for (int i = 0; i < 3; ++i) {
            if (atom != XCB_ATOM_NONE && atom == atoms[i]) {
                found[i] = 1u << bit;
                bAnyNamed = true;
            }
        }
    }
    // A keyboard with named lights but without one of these has no such
    // light: its lock shows as off.
    if (bAnyNamed)
        for (int i = 0; i < 3; ++i) m_masks[i] = found[i];
}

void CLockKeys::Refresh() {
    xcb_connection_t* c = m_bAvailable ? X11Connection() : nullptr;
    if (!c) return;
    XcbReply<xcb_xkb_get_indicator_state_reply_t> r(
        xcb_xkb_get_indicator_state_reply(c, xcb_xkb_get_indicator_state(c, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (r) SetIndicators(r->state);
}

void CLockKeys::SetIndicators(uint32_t nIndicators) {
    unsigned nState = 0;
    for (int i = 0; i < 3; ++i)
        if (m_masks[i] & nIndicators) nState |= kLockFlags[i];
    if (nState == m_nState) return;
    m_nState = nState;
    emit Changed(nState);
}

bool CLockKeys::nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(pMessage);
    if ((ev->response_type & 0x7f) != m_nFirstEvent) return false;
    // Every keyboard event of the extension shares one code; the second
    // byte tells them apart.
    const uint8_t xkbType = reinterpret_cast<const uint8_t*>(ev)[1];
    if (xkbType == XCB_XKB_INDICATOR_STATE_NOTIFY) {
        SetIndicators(reinterpret_cast<xcb_xkb_indicator_state_notify_event_t*>(ev)->state);
    } else if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY) {
        // Another keyboard may name its lights differently.
        ReadIndicatorNames();
        Refresh();
    }
    // The toolkit follows the keyboard through the same events.
    return false;
}
