#include "platform/gui/GlobalHotKey.h"
#include "platform/gui/XcbSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

// Which keys the keyboard has and which modifiers they set, read once per
// registration: a keyboard may be swapped between two of them.
class CKeyboardMap {
public:
    explicit CKeyboardMap(xcb_connection_t* c) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        m_nMinKey = setup->min_keycode;
        const int nCount = setup->max_keycode - setup->min_keycode + 1;
        auto mapCookie = xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<uint8_t>(nCount));
        auto modCookie = xcb_get_modifier_mapping(c);
        m_map.reset(xcb_get_keyboard_mapping_reply(c, mapCookie, nullptr));
        m_mods.reset(xcb_get_modifier_mapping_reply(c, modCookie, nullptr));
        if (m_map) {
            m_nPerKey = m_map->keysyms_per_keycode;
            m_pSyms = xcb_get_keyboard_mapping_keysyms(m_map.get());
            m_nKeys = m_nPerKey ? xcb_get_keyboard_mapping_keysyms_length(m_map.get()) / m_nPerKey : 0;
        }
    }

    // The key that makes `sym`, looking at every key's plain symbol before
    // any shifted one (as XKeysymToKeycode does); 0 when none does.
    uint8_t KeyCodeOf(uint32_t sym) const {
        for (int col = 0; col < m_nPerKey; ++col)
            for (int k = 0; k < m_nKeys; ++k)
                if (m_pSyms[k * m_nPerKey + col] == sym) return static_cast<uint8_t>(m_nMinKey + k);
        return 0;
    }

    // The modifier bit that a key making `sym` sets; `fallback` when the
    // keyboard has no such key on any modifier.
    uint16_t ModifierOf(uint32_t sym, uint16_t fallback) const {
        if (!m_mods || !m_map) return fallback;
        const int nPerMod = m_mods->keycodes_per_modifier;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(m_mods.get());
        for (int mod = 0; mod < 8; ++mod) {
            for (int i = 0; i < nPerMod; ++i) {
                const int k = codes[mod * nPerMod + i] - m_nMinKey;
                if (codes[mod * nPerMod + i] == 0 || k < 0 || k >= m_nKeys) continue;
                for (int col = 0; col < m_nPerKey; ++col)
                    if (m_pSyms[k * m_nPerKey + col] == sym) return static_cast<uint16_t>(1u << mod);
            }
        }
        return fallback;
    }

private:
    XcbReply<xcb_get_keyboard_mapping_reply_t> m_map;
    XcbReply<xcb_get_modifier_mapping_reply_t> m_mods;
    const xcb_keysym_t* m_pSyms = nullptr;
    int m_nPerKey = 0;
    int m_nKeys = 0;
    int m_nMinKey = 0;
};

struct CKeyPair {
    uint32_t m_nVirtualKey;
    uint32_t m_nKeySym;
};

// The keys that have no run of consecutive codes on both sides.
constexpr CKeyPair kKeys[] = {
    {0x03, XK_Cancel},
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    // What the keypad's 5 sends with Num Lock off.
    {0x0C, XK_KP_Begin},
    {0x0D, XK_Return},
    {0x10, XK_Shift_L},
    {0x11, XK_Control_L},
    {0x12, XK_Alt_L},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x19, XK_Kanji},
    {0x1B, XK_Escape},
    {0x1C, XK_Henkan},
    {0x1D, XK_Muhenkan},
    {0x20, XK_space},
    {0x21, XK_Prior},
    {0x22, XK_Next},
    {0x23, XK_End},
    {0x24, XK_Home},
    {0x25, XK_Left},
    {0x26, XK_Up},
    {0x27, XK_Right},
    {0x28, XK_Down},
    {0x29, XK_Select},
    {0x2A, XK_Print},
    {0x2B, XK_Execute},
    {0x2C, XK_Print},  // the Print Screen key
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x2F, XK_Help},
    {0x5B, XK_Super_L},
    {0x5C, XK_Super_R},
    {0x5D, XK_Menu},
    {0x5F, XF86XK_Sleep},
    {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator},
    {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    {0xA0, XK_Shift_L},
    {0xA1, XK_Shift_R},
    {0xA2, XK_Control_L},
    {0xA3, XK_Control_R},
    {0xA4, XK_Alt_L},
    {0xA5, XK_Alt_R},
    {0xA6, XF86XK_Back},
    {0xA7, XF86XK_Forward},
    {0xA8, XF86XK_Refresh},
    {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search},
    {0xAB, XF86XK_Favorites},
    {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail},
    {0xB5, XF86XK_AudioMedia},
    {0xB6, XF86XK_MyComputer},
    {0xB7, XF86XK_Calculator},
    // The punctuation keys, named by what they make on a US keyboard.
    {0xBA, XK_semicolon},
    {0xBB, XK_equal},
    {0xBC, XK_comma},
    {0xBD, XK_minus},
    {0xBE, XK_period},
    {0xBF, XK_slash},
    {0xC0, XK_grave},
    {0xDB, XK_bracketleft},
    {0xDC, XK_backslash},
    {0xDD, XK_bracketright},
    {0xDE, XK_apostrophe},
    {0xE2, XK_less},  // the extra key beside left Shift on 102-key boards
};

constexpr uint16_t kAnyModifier = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2 |
                                  XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5 | XCB_MOD_MASK_LOCK;

// Waits until the server has let the keys go: another program may grab
// them the moment this returns.
void Ungrab(xcb_connection_t* c, uint8_t nKeyCode, const std::vector<CGlobalHotKey::CGrab>& grabs) {
    std::vector<xcb_void_cookie_t> cookies;
    for (const CGlobalHotKey::CGrab& g : grabs)
        cookies.push_back(xcb_ungrab_key_checked(c, nKeyCode, g.m_root, g.m_nModifiers));
    for (xcb_void_cookie_t cookie : cookies) std::free(xcb_request_check(c, cookie));
}

}  // namespace

uint32_t CGlobalHotKey::KeySymOfVirtualKey(uint32_t nVK) {
    if (nVK >= '0' && nVK <= '9') return XK_0 + (nVK - '0');
    if (nVK >= 'A' && nVK <= 'Z') return XK_a + (nVK - 'A');
    if (nVK >= 0x60 && nVK <= 0x69) return XK_KP_0 + (nVK - 0x60);
    if (nVK >= 0x70 && nVK <= 0x87) return XK_F1 + (nVK - 0x70);
    for (const CKeyPair& k : kKeys)
        if (k.m_nVirtualKey == nVK) return k.m_nKeySym;
    return 0;
}

CGlobalHotKey::CGlobalHotKey(QObject* pParent) : QObject(pParent) {}

CGlobalHotKey::~CGlobalHotKey() {
    Unregister();
    if (m_bFilterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

CGlobalHotKey::Result CGlobalHotKey::Register(unsigned nModifiers, uint32_t nVirtualKey,
                                              std::function<void()> fnPressed) {
    Unregister();
    xcb_connection_t* c = X11Connection();
    if (!c) return Result::NoGlobalKeys;
    const uint32_t sym = KeySymOfVirtualKey(nVirtualKey);
    if (!sym) return Result::UnknownKey;
    const CKeyboardMap keyboard(c);
    const uint8_t code = keyboard.KeyCodeOf(sym);
    if (!code) return Result::UnknownKey;

    uint16_t mods = 0;
    if (nModifiers & kModShift) mods |= XCB_MOD_MASK_SHIFT;
    if (nModifiers & kModControl) mods |= XCB_MOD_MASK_CONTROL;
    if (nModifiers & kModAlt) mods |= keyboard.ModifierOf(XK_Alt_L, XCB_MOD_MASK_1);
    if (nModifiers & kModWin) mods |= keyboard.ModifierOf(XK_Super_L, XCB_MOD_MASK_4);
    const uint16_t numLock = keyboard.ModifierOf(XK_Num_Lock, XCB_MOD_MASK_2);
    // A grab matches the modifiers exactly: the key has to work with the
    // lock keys on as well as off.
    const uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, numLock, static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLock)};

    // Every root (one per X screen) gets the key, so that it works on
    // whichever screen the pointer is.
    std::vector<uint32_t> roots;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        roots.push_back(it.data->root);

    std::vector<std::pair<CGrab, xcb_void_cookie_t>> pending;
    for (uint32_t root : roots)
        for (uint16_t v : variants) {
            const uint16_t m = mods | v;
            pending.push_back({{root, m}, xcb_grab_key_checked(c, 1, root, m, code, XCB_GRAB_MODE_ASYNC,
                                                                XCB_GRAB_MODE_ASYNC)});
        }
    // A combination another client holds answers BadAccess; then none of
    // ours may stay, or the key would half work and block the other client.
    bool bTaken = false;
    std::vector<CGrab> held;
    for (auto& [grab, cookie] : pending) {
        if (xcb_generic_error_t* err = xcb_request_check(c, cookie)) {
            bTaken = true;
            std::free(err);
        } else {
            held.push_back(grab);
        }
    }
    m_nKeyCode = code;
    if (bTaken) {
        Ungrab(c, code, held);
        return Result::KeyTaken;
    }
    m_grabs = std::move(held);
    m_nModifiers = mods;
    m_nIgnoredMods = static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLock);
    m_fnPressed = std::move(fnPressed);
    if (!m_bFilterInstalled) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_bFilterInstalled = true;
    }
    return Result::Registered;
}

void CGlobalHotKey::Unregister() {
    if (m_grabs.empty()) return;
    if (xcb_connection_t* c = X11Connection()) Ungrab(c, m_nKeyCode, m_grabs);
    m_grabs.clear();
    m_fnPressed = nullptr;
}

bool CGlobalHotKey::nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr*) {
    if (m_grabs.empty() || eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(pMessage);
    if ((ev->response_type & 0x7f) != XCB_KEY_PRESS) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(ev);
    if (key->detail != m_nKeyCode) return false;
    if ((key->state & kAnyModifier & ~m_nIgnoredMods) != m_nModifiers) return false;
    bool bOurs = false;
    for (const CGrab& g : m_grabs) bOurs = bOurs || g.m_root == key->event;
    if (!bOurs) return false;
    // The press is left to the toolkit too, which takes its time stamp from
    // it: a window raised in answer may then take the focus. Nothing else
    // sees a press on the root window.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_fnPressed) {
                auto fn = m_fnPressed;  // the callback may unregister
                fn();
            }
        },
        Qt::QueuedConnection);
    return false;
}
