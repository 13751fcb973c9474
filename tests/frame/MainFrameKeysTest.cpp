// The main window's hot key and lock-key panes in the running program: the
// key of the options is grabbed at start, pressing it reveals a window that
// lies partly off the screen and hides one that is fully on it, and brings
// it to the front; a key another program holds gives message 33031 and the
// program goes on; closing lets the key go. The panes follow Caps Lock.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "frame/MainFrame.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/PropertySheet.h"
#include "platform/gui/QtText.h"
#include "platform/CommandIds.h"
#include "views/OptionsPages.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool Key(const QString& strKeys) {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), strKeys}) == 0;
}

// Another program on the same display, holding a key.
class CKeyHolder {
public:
    CKeyHolder(KeySym sym, unsigned nMods) : m_pDisplay(XOpenDisplay(nullptr)) {
        static bool s_bRefused;
        s_bRefused = false;
        XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent* e) {
            if (e->error_code == BadAccess) s_bRefused = true;
            return 0;
        });
        if (m_pDisplay) {
            XGrabKey(m_pDisplay, XKeysymToKeycode(m_pDisplay, sym), nMods, DefaultRootWindow(m_pDisplay), True,
                     GrabModeAsync, GrabModeAsync);
            XSync(m_pDisplay, False);
        }
        XSetErrorHandler(old);
        m_bHeld = m_pDisplay && !s_bRefused;
    }
    ~CKeyHolder() {
        if (m_pDisplay) XCloseDisplay(m_pDisplay);
    }
    bool IsHeld() const { return m_bHeld; }

private:
    Display* m_pDisplay;
    bool m_bHeld = false;
};

// The program started on a fresh options file with this hot key. The window
// floats: whether it lies on the screen is up to the test alone.
std::unique_ptr<CClipVaultApp> Start(CGuiTestFixture& fx, const CHotKeyOptions& hotKey = CHotKeyOptions()) {
    CAppOptions opt;
    opt.m_bDockEnabled = false;
    opt.m_hotKey = hotKey;
    if (!opt.SaveOptions(FromQ(fx.OptionsPath()))) return nullptr;
    return fx.StartApp();
}

QLabel* Pane(CMainFrame* pFrame, unsigned nStringID) {
    const QString name = CurrentLanguage().String(nStringID);
    for (QLabel* label : pFrame->statusBar()->findChildren<QLabel*>())
        if (label->accessibleName() == name) return label;
    return nullptr;
}

}  // namespace

class MainFrameKeysTest : public QObject {
    Q_OBJECT
private slots:
    void offScreenMeansAnySideBeyondTheScreen();
    void hotKeyRevealsOrHidesAndBringsTheWindowToTheFront();
    void optionsChooseTheKey();
    void optionsSheetMovesTheGrabToTheKeyPressedInIt();
    void keyHeldElsewhereShows33031AndTheProgramGoesOn();
    void closingLetsTheKeyGo();
    void lockPanesFollowTheKeyboard();
    void withoutX11NoKeyNoMessageAndGreyPanes();
};

void MainFrameKeysTest::offScreenMeansAnySideBeyondTheScreen() {
    const QRect screen(0, 0, 1280, 860);
    QVERIFY(!CMainFrame::LiesOffScreen(QRect(0, 0, 1280, 860), screen));
    // Touching the right and bottom edges is still on the screen; one pixel
    // further is not.
    QVERIFY(!CMainFrame::LiesOffScreen(QRect(680, 460, 600, 400), screen));
    QVERIFY(CMainFrame::LiesOffScreen(QRect(681, 100, 600, 400), screen));
    QVERIFY(CMainFrame::LiesOffScreen(QRect(100, 461, 600, 400), screen));
    QVERIFY(CMainFrame::LiesOffScreen(QRect(-1, 100, 600, 400), screen));
    QVERIFY(CMainFrame::LiesOffScreen(QRect(100, -1, 600, 400), screen));
    // A window hidden at the top edge but for its strip.
    QVERIFY(CMainFrame::LiesOffScreen(QRect(100, 2 - 400, 600, 400), screen));
}

void MainFrameKeysTest::hotKeyRevealsOrHidesAndBringsTheWindowToTheFront() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(frame->IsHotKeyRegistered());
    QVERIFY(fx.m_messages.empty());
    QList<bool> choices;
    frame->m_fnHotKeyChose = [&](bool bShow) { choices << bShow; };
    frame->setGeometry(100, 100, 600, 400);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QTRY_COMPARE_WITH_TIMEOUT(frame->geometry(), QRect(100, 100, 600, 400), 10000);
    const QRect screen = frame->screen()->geometry();
    QTRY_VERIFY_WITH_TIMEOUT(!CMainFrame::LiesOffScreen(frame->frameGeometry(), screen), 10000);

    // Another window has the focus; the key brings the frame back.
    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.setGeometry(300, 300, 200, 150);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(choices, QList<bool>{false}, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 10000);

    // Partly beyond the left edge: revealed.
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    frame->move(-150, 100);
    QTRY_VERIFY_WITH_TIMEOUT(frame->frameGeometry().left() < 0, 10000);
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(choices, (QList<bool>{false, true}), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 10000);

    // Beyond the bottom edge.
    frame->move(100, screen.height() - 100);
    QTRY_VERIFY_WITH_TIMEOUT(frame->frameGeometry().bottom() >= screen.height(), 10000);
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(choices, (QList<bool>{false, true, true}), 10000);

    // A minimized window comes back too.
    frame->move(100, 100);
    QTRY_VERIFY_WITH_TIMEOUT(!CMainFrame::LiesOffScreen(frame->frameGeometry(), screen), 10000);
    frame->showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(frame->isMinimized(), 10000);
    QVERIFY(Key(QStringLiteral("ctrl+shift+F11")));
    QTRY_COMPARE_WITH_TIMEOUT(choices.size(), 4, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!frame->isMinimized() && frame->isActiveWindow(), 10000);
}

void MainFrameKeysTest::optionsChooseTheKey() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    {
        CHotKeyOptions hk;
        hk.m_bCtrl = true;
        hk.m_bShift = false;
        hk.m_bAlt = true;
        hk.m_nVirtualKey = 'K';
        auto app = Start(fx, hk);
        QVERIFY(app);
        int n = 0;
        app->MainFrame()->m_fnHotKeyChose = [&](bool) { ++n; };
        QVERIFY(app->MainFrame()->IsHotKeyRegistered());
        // Shift is not part of it; the default key is not grabbed at all.
        QVERIFY(CKeyHolder(XK_k, ControlMask | ShiftMask | Mod1Mask).IsHeld());
        QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask).IsHeld());
        QVERIFY(!CKeyHolder(XK_k, ControlMask | Mod1Mask).IsHeld());
        QVERIFY(Key(QStringLiteral("ctrl+alt+k")));
        QTRY_COMPARE_WITH_TIMEOUT(n, 1, 10000);
    }
    {
        CHotKeyOptions off;
        off.m_bEnabled = false;
        auto app = Start(fx, off);
        QVERIFY(app);
        QVERIFY(!app->MainFrame()->IsHotKeyRegistered());
        QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask).IsHeld());
        // A key code without a key is refused like a taken one.
        fx.Clear();
        AppOptions().m_hotKey.m_bEnabled = true;
        AppOptions().m_hotKey.m_nVirtualKey = 0x07;
        app->MainFrame()->RegisterHotKey();
        QVERIFY(!app->MainFrame()->IsHotKeyRegistered());
        QVERIFY(fx.Shown(ids::IDS_HOTKEY_NOT_REGISTERED));
    }
}

void MainFrameKeysTest::optionsSheetMovesTheGrabToTheKeyPressedInIt() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(frame->IsHotKeyRegistered());
    // The sheet as the user meets it: the key typed into the general page's
    // box, then OK.
    auto choose = [&](Qt::Key key) {
        bool bSeen = false;
        QTimer::singleShot(0, [&] {
            auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            auto* page = dynamic_cast<CPgeOptGenral*>(sheet->Page(0));
            QVERIFY(page);
            auto* box = page->Control<QLineEdit>(CPgeOptGenral::IDC_HOTKEY);
            QTest::keyClick(box, key, Qt::ControlModifier | Qt::ShiftModifier);
            bSeen = true;
            sheet->Buttons()->button(QDialogButtonBox::Ok)->click();
        });
        frame->ExecuteCommand(cmd::kCmdOptions);
        return bSeen;
    };
    QVERIFY(choose(Qt::Key_F9));
    QVERIFY(fx.m_messages.empty());
    QCOMPARE(AppOptions().m_hotKey.m_nVirtualKey, 120u);
    QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask).IsHeld());
    QVERIFY(!CKeyHolder(XK_F9, ControlMask | ShiftMask).IsHeld());
    int n = 0;
    frame->m_fnHotKeyChose = [&](bool) { ++n; };
    QVERIFY(Key(QStringLiteral("ctrl+shift+F9")));
    QTRY_COMPARE_WITH_TIMEOUT(n, 1, 10000);

    // A key another program holds: said, the sheet closes, and the choice
    // is kept.
    CKeyHolder holder(XK_F8, ControlMask | ShiftMask);
    QVERIFY(holder.IsHeld());
    QVERIFY(choose(Qt::Key_F8));
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(fx.Shown(ids::IDS_HOTKEY_NOT_REGISTERED));
    QCOMPARE(AppOptions().m_hotKey.m_nVirtualKey, 119u);
    QVERIFY(AppOptions().m_hotKey.m_bEnabled);
    QVERIFY(!frame->IsHotKeyRegistered());
    QVERIFY(CKeyHolder(XK_F9, ControlMask | ShiftMask).IsHeld());
}

void MainFrameKeysTest::keyHeldElsewhereShows33031AndTheProgramGoesOn() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    std::unique_ptr<CClipVaultApp> app;
    {
        CKeyHolder holder(XK_F11, ControlMask | ShiftMask);
        QVERIFY(holder.IsHeld());
        app = Start(fx);
        QVERIFY(app);
        QVERIFY(!app->MainFrame()->IsHotKeyRegistered());
        QCOMPARE(fx.m_messages.size(), size_t(1));
        QCOMPARE(fx.m_messages[0].m_nID, ids::IDS_HOTKEY_NOT_REGISTERED);
        QCOMPARE(fx.m_messages[0].m_nType & host::MB_ICONMASK, unsigned(host::MB_ICONEXCLAMATION));
        QVERIFY(fx.m_messages[0].m_strText.contains(QStringLiteral("hot key")));
        QVERIFY(app->m_bStartupDone);
    }
    // Nothing of the failed attempt stays behind: the key is free for
    // another program, and for this one when it asks again.
    QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask | Mod2Mask).IsHeld());
    fx.Clear();
    app->MainFrame()->RegisterHotKey();
    QVERIFY(app->MainFrame()->IsHotKeyRegistered());
    QVERIFY(fx.m_messages.empty());
}

void MainFrameKeysTest::closingLetsTheKeyGo() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    QVERIFY(!CKeyHolder(XK_F11, ControlMask | ShiftMask).IsHeld());
    QVERIFY(app->MainFrame()->close());
    QVERIFY(!app->MainFrame()->IsHotKeyRegistered());
    QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask).IsHeld());
    QVERIFY(CKeyHolder(XK_F11, ControlMask | ShiftMask | LockMask | Mod2Mask).IsHeld());
}

void MainFrameKeysTest::lockPanesFollowTheKeyboard() {
    if (!OnX11()) QSKIP("needs an X display");
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    QLabel* caps = Pane(app->MainFrame(), ids::IDS_INDICATOR_CAPS);
    QLabel* num = Pane(app->MainFrame(), ids::IDS_INDICATOR_NUM);
    QLabel* scrl = Pane(app->MainFrame(), ids::IDS_INDICATOR_SCRL);
    QVERIFY(caps && num && scrl);
    QVERIFY(caps != num && num != scrl);
    // The test display starts with every lock off.
    QVERIFY(!caps->isEnabled() && !num->isEnabled() && !scrl->isEnabled());
    QVERIFY(Key(QStringLiteral("Caps_Lock")));
    QTRY_VERIFY_WITH_TIMEOUT(caps->isEnabled(), 10000);
    QVERIFY(!num->isEnabled() && !scrl->isEnabled());
    QVERIFY(Key(QStringLiteral("Num_Lock")));
    QTRY_VERIFY_WITH_TIMEOUT(num->isEnabled(), 10000);
    QVERIFY(Key(QStringLiteral("Caps_Lock")));
    QTRY_VERIFY_WITH_TIMEOUT(!caps->isEnabled(), 10000);
    QVERIFY(num->isEnabled());
    QVERIFY(Key(QStringLiteral("Num_Lock")));
    QTRY_VERIFY_WITH_TIMEOUT(!num->isEnabled(), 10000);
    // The panes keep their names whatever their state.
    QCOMPARE(caps->accessibleName(), caps->text());
}

void MainFrameKeysTest::withoutX11NoKeyNoMessageAndGreyPanes() {
    if (OnX11()) QSKIP("runs where there is no X display");
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(!frame->IsHotKeyRegistered());
    // Nobody could press the key or read the box here.
    QVERIFY(!fx.Shown(ids::IDS_HOTKEY_NOT_REGISTERED));
    for (unsigned id : {ids::IDS_INDICATOR_CAPS, ids::IDS_INDICATOR_NUM, ids::IDS_INDICATOR_SCRL}) {
        QLabel* pane = Pane(frame, id);
        QVERIFY(pane);
        QVERIFY(!pane->isEnabled());
        QVERIFY(!pane->text().isEmpty());
    }
    // The handler itself still works: the window comes to the front.
    bool bChose = false;
    frame->m_fnHotKeyChose = [&](bool) { bChose = true; };
    frame->OnHotKey();
    QVERIFY(bChose);
}

CLIPVAULT_GUI_TEST_MAIN(MainFrameKeysTest)
#include "MainFrameKeysTest.moc"
