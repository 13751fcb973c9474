// The global hot key and the lock keys against a real X server: the key
// table, presses sent with xdotool (with the lock keys on and off), a key
// another client holds, releasing the key; and what is left of both where
// there is no X11.
#include "support/GuiTestSupport.h"

#include "platform/gui/GlobalHotKey.h"
#include "platform/gui/LockKeys.h"

#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr unsigned kCtrlShift = CGlobalHotKey::kModControl | CGlobalHotKey::kModShift;
constexpr uint32_t kVkF10 = 0x79, kVkF11 = 0x7A, kVkF12 = 0x7B;

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool Key(const QString& strKeys) {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), strKeys}) == 0;
}

// Sets a keyboard light as `xset led named` does.
bool SetNamedIndicator(const char* pName, bool bOn) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const bool bDone = XkbSetNamedIndicator(d, XInternAtom(d, pName, False), True, bOn, False, nullptr);
    XSync(d, False);
    XCloseDisplay(d);
    return bDone;
}

// A second X client, as another program that wants the same key.
class COtherClient {
public:
    COtherClient() : m_pDisplay(XOpenDisplay(nullptr)) {}
    ~COtherClient() {
        if (m_pDisplay) XCloseDisplay(m_pDisplay);
    }
    bool IsOpen() const { return m_pDisplay != nullptr; }

    // False when the server refuses: someone else holds the combination.
    bool Grab(KeySym sym, unsigned nMods) { return Run(sym, nMods, true); }
    void Ungrab(KeySym sym, unsigned nMods) { Run(sym, nMods, false); }

private:
    bool Run(KeySym sym, unsigned nMods, bool bGrab) {
        static bool s_bRefused;
        s_bRefused = false;
        XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent* e) {
            if (e->error_code == BadAccess) s_bRefused = true;
            return 0;
        });
        const KeyCode code = XKeysymToKeycode(m_pDisplay, sym);
        if (bGrab)
            XGrabKey(m_pDisplay, code, nMods, DefaultRootWindow(m_pDisplay), True, GrabModeAsync, GrabModeAsync);
        else
            XUngrabKey(m_pDisplay, code, nMods, DefaultRootWindow(m_pDisplay));
        XSync(m_pDisplay, False);
        XSetErrorHandler(old);
        return !s_bRefused;
    }
    Display* m_pDisplay;
};

}  // namespace

class GlobalHotKeyTest : public QObject {
    Q_OBJECT
private slots:
    void virtualKeysMapToKeySyms_data();
    void virtualKeysMapToKeySyms();
    void pressFiresWithAndWithoutLockKeys();
    void keyHeldElsewhereFailsAndHoldsNothing();
    void unregisterAndDestructionReleaseTheKey();
    void keyWithoutSymbolFails();
    void lockKeysFollowTheKeyboard();
    void withoutX11NothingIsAvailable();
};

void GlobalHotKeyTest::virtualKeysMapToKeySyms_data() {
    QTest::addColumn<uint>("vk");
    QTest::addColumn<uint>("sym");
    QTest::newRow("A") << 0x41u << uint(XK_a);
    QTest::newRow("0") << 0x30u << uint(XK_0);
    QTest::newRow("F1") << 0x70u << uint(XK_F1);
    QTest::newRow("F24") << 0x87u << uint(XK_F24);
    QTest::newRow("numpad 0") << 0x60u << uint(XK_KP_0);
    QTest::newRow("numpad /") << 0x6Fu << uint(XK_KP_Divide);
    QTest::newRow("page up") << 0x21u << uint(XK_Prior);
    QTest::newRow("home") << 0x24u << uint(XK_Home);
    QTest::newRow("down") << 0x28u << uint(XK_Down);
    QTest::newRow("insert") << 0x2Du << uint(XK_Insert);
    QTest::newRow("space") << 0x20u << uint(XK_space);
    QTest::newRow("back") << 0x08u << uint(XK_BackSpace);
    QTest::newRow("print screen") << 0x2Cu << uint(XK_Print);
    QTest::newRow(";") << 0xBAu << uint(XK_semicolon);
    QTest::newRow("`") << 0xC0u << uint(XK_grave);
    QTest::newRow("102nd key") << 0xE2u << uint(XK_less);
    QTest::newRow("volume up") << 0xAFu << uint(XF86XK_AudioRaiseVolume);
    // Codes without a key: unassigned ones and those beyond the table.
    QTest::newRow("none") << 0x00u << 0u;
    QTest::newRow("after F24") << 0x88u << 0u;
    QTest::newRow("0xFF") << 0xFFu << 0u;
    QTest::newRow("beyond a byte") << 0x141u << 0u;
}

void GlobalHotKeyTest::virtualKeysMapToKeySyms() {
    QFETCH(uint, vk);
    QFETCH(uint, sym);
    QCOMPARE(uint(CGlobalHotKey::KeySymOfVirtualKey(vk)), sym);
}

void GlobalHotKeyTest::pressFiresWithAndWithoutLockKeys() {
    if (!OnX11()) QSKIP("needs an X display");
    int nF11 = 0, nF12 = 0;
    CGlobalHotKey f11, f12;
    QCOMPARE(f11.Register(kCtrlShift, kVkF11, [&] { ++nF11; }), CGlobalHotKey::Result::Registered);
    QVERIFY(f11.IsRegistered());
    // The second key marks the end of what went before: presses arrive in
    // order.
    QCOMPARE(f12.Register(kCtrlShift, kVkF12, [&] { ++nF12; }), CGlobalHotKey::Result::Registered);

    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(nF11, 1, 10000);
    // The key alone, or with other modifiers, is not the hot key.
    QVERIFY(Key(QStringLiteral("F11")));
    QVERIFY(Key(QStringLiteral("ctrl+F11")));
    QVERIFY(Key(QStringLiteral("ctrl+shift+alt+F11")));
    QVERIFY(Key(QStringLiteral("ctrl+shift+F12")));
    QTRY_COMPARE_WITH_TIMEOUT(nF12, 1, 10000);
    QCOMPARE(nF11, 1);

    CLockKeys locks;
    QVERIFY(locks.IsAvailable());
    const auto turn = [&](const char* pKey, unsigned nLock, bool bOn) {
        if (((locks.State() & nLock) != 0) != bOn) Key(QString::fromLatin1(pKey));
        return QTest::qWaitFor([&] { return ((locks.State() & nLock) != 0) == bOn; }, 10000);
    };
    QVERIFY(turn("Num_Lock", CLockKeys::kNumLock, true));
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(nF11, 2, 10000);
    QVERIFY(turn("Caps_Lock", CLockKeys::kCapsLock, true));
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(nF11, 3, 10000);
    QVERIFY(turn("Num_Lock", CLockKeys::kNumLock, false));
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(nF11, 4, 10000);
    QVERIFY(turn("Caps_Lock", CLockKeys::kCapsLock, false));
}

void GlobalHotKeyTest::keyHeldElsewhereFailsAndHoldsNothing() {
    if (!OnX11()) QSKIP("needs an X display");
    COtherClient other;
    QVERIFY(other.IsOpen());
    QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask));
    CGlobalHotKey key;
    QCOMPARE(key.Register(kCtrlShift, kVkF10, [] {}), CGlobalHotKey::Result::KeyTaken);
    QVERIFY(!key.IsRegistered());
    other.Ungrab(XK_F10, ControlMask | ShiftMask);

    // Held only with Num Lock on: the other three combinations were ours
    // for a moment and must have been let go again.
    QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask | Mod2Mask));
    QCOMPARE(key.Register(kCtrlShift, kVkF10, [] {}), CGlobalHotKey::Result::KeyTaken);
    QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask));
    QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask | LockMask));
    QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask | LockMask | Mod2Mask));
}

void GlobalHotKeyTest::unregisterAndDestructionReleaseTheKey() {
    if (!OnX11()) QSKIP("needs an X display");
    COtherClient other;
    QVERIFY(other.IsOpen());
    int nFired = 0;
    {
        CGlobalHotKey key;
        QCOMPARE(key.Register(kCtrlShift | CGlobalHotKey::kModAlt, kVkF10, [&] { ++nFired; }),
                 CGlobalHotKey::Result::Registered);
        QVERIFY(!other.Grab(XK_F10, ControlMask | ShiftMask | Mod1Mask));
        QVERIFY(!other.Grab(XK_F10, ControlMask | ShiftMask | Mod1Mask | LockMask | Mod2Mask));
        key.Unregister();
        QVERIFY(!key.IsRegistered());
        QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask | Mod1Mask));
        QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask | Mod1Mask | LockMask | Mod2Mask));
        other.Ungrab(XK_F10, ControlMask | ShiftMask | Mod1Mask);
        other.Ungrab(XK_F10, ControlMask | ShiftMask | Mod1Mask | LockMask | Mod2Mask);

        // A second registration replaces the first.
        QCOMPARE(key.Register(kCtrlShift, kVkF10, [&] { ++nFired; }), CGlobalHotKey::Result::Registered);
        QCOMPARE(key.Register(kCtrlShift, kVkF12, [&] { nFired += 10; }), CGlobalHotKey::Result::Registered);
        QVERIFY(other.Grab(XK_F10, ControlMask | ShiftMask));
        other.Ungrab(XK_F10, ControlMask | ShiftMask);
        QVERIFY(Key(QStringLiteral("ctrl+shift+F12")));
        QTRY_COMPARE_WITH_TIMEOUT(nFired, 10, 10000);
    }
    for (unsigned extra : {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        QVERIFY(other.Grab(XK_F12, ControlMask | ShiftMask | extra));
}

void GlobalHotKeyTest::keyWithoutSymbolFails() {
    CGlobalHotKey key;
    if (!OnX11()) QSKIP("needs an X display");
    QCOMPARE(key.Register(kCtrlShift, 0xFF, [] {}), CGlobalHotKey::Result::UnknownKey);
    // F24 has a symbol but the test server's keyboard no key for it.
    QCOMPARE(key.Register(kCtrlShift, 0x87, [] {}), CGlobalHotKey::Result::UnknownKey);
    QVERIFY(!key.IsRegistered());
}

void GlobalHotKeyTest::lockKeysFollowTheKeyboard() {
    if (!OnX11()) QSKIP("needs an X display");
    CLockKeys locks;
    QVERIFY(locks.IsAvailable());
    QSignalSpy changed(&locks, &CLockKeys::Changed);
    const unsigned before = locks.State();
    QVERIFY(Key(QStringLiteral("Caps_Lock")));
    QTRY_COMPARE_WITH_TIMEOUT(locks.State() & CLockKeys::kCapsLock, ~before & CLockKeys::kCapsLock, 10000);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toUInt(), locks.State());
    // The other locks were not touched.
    QCOMPARE(locks.State() & ~unsigned(CLockKeys::kCapsLock), before & ~unsigned(CLockKeys::kCapsLock));
    QVERIFY(Key(QStringLiteral("Caps_Lock")));
    QTRY_COMPARE_WITH_TIMEOUT(locks.State(), before, 10000);

    // The usual keyboard descriptions give Scroll Lock no modifier, so the
    // key leaves its light alone; another program may still set the light.
    QVERIFY(SetNamedIndicator("Scroll Lock", true));
    QTRY_COMPARE_WITH_TIMEOUT(locks.State(), before | CLockKeys::kScrollLock, 10000);
    QVERIFY(SetNamedIndicator("Scroll Lock", false));
    QTRY_COMPARE_WITH_TIMEOUT(locks.State(), before, 10000);
    // A fresh reader sees the same as the one that followed the events.
    CLockKeys again;
    QCOMPARE(again.State(), locks.State());
}

void GlobalHotKeyTest::withoutX11NothingIsAvailable() {
    if (OnX11()) QSKIP("runs where there is no X display");
    CGlobalHotKey key;
    QCOMPARE(key.Register(kCtrlShift, kVkF11, [] {}), CGlobalHotKey::Result::NoGlobalKeys);
    QVERIFY(!key.IsRegistered());
    key.Unregister();
    CLockKeys locks;
    QVERIFY(!locks.IsAvailable());
    QCOMPARE(locks.State(), 0u);
    locks.Refresh();
    QCOMPARE(locks.State(), 0u);
}

CLIPVAULT_GUI_TEST_MAIN(GlobalHotKeyTest)
#include "GlobalHotKeyTest.moc"
