// One system-wide key combination that reaches the program whichever
// window has the focus. On X11 the key is grabbed on the root window; the
// options store the key as a Windows virtual-key code, which is mapped to
// an X key symbol here.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

class CGlobalHotKey : public QObject, private QAbstractNativeEventFilter {
public:
    // The modifier flags, valued as RegisterHotKey's.
    enum : unsigned { kModAlt = 0x1, kModControl = 0x2, kModShift = 0x4, kModWin = 0x8 };

    enum class Result {
        Registered,
        KeyTaken,       // another client holds the combination
        UnknownKey,     // no X key symbol for the code, or no key on this keyboard makes it
        NoGlobalKeys,   // the window system offers no global keys (Wayland, offscreen)
    };

    explicit CGlobalHotKey(QObject* pParent = nullptr);
    ~CGlobalHotKey() override;

    // Grabs the combination, replacing one held before; `fnPressed` runs on
    // the user-interface thread, after the key press has been dispatched.
    // On failure nothing stays grabbed.
    Result Register(unsigned nModifiers, uint32_t nVirtualKey, std::function<void()> fnPressed);
    void Unregister();
    bool IsRegistered() const { return !m_grabs.empty(); }

    // The X key symbol of a Windows virtual-key code; 0 when there is none.
    static uint32_t KeySymOfVirtualKey(uint32_t nVirtualKey);

    // One combination held on one root window.
    struct CGrab {
        uint32_t m_root;
        uint16_t m_nModifiers;
    };

private:
    bool nativeEventFilter(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;

    std::vector<CGrab> m_grabs;
    uint8_t m_nKeyCode = 0;
    uint16_t m_nModifiers = 0;    // the X modifiers of the combination
    uint16_t m_nIgnoredMods = 0;  // Caps Lock and Num Lock, which may be on or off
    std::function<void()> m_fnPressed;
    bool m_bFilterInstalled = false;
};
