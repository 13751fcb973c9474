// Edge docking of the main window on a real display with a window manager:
// the window hides when another window takes the focus and comes back when
// the pointer touches its strip, reserves space when it may not hide, and
// floats again when dragged into the middle. Its dialogs and popups give
// it back the keys and the paint of what they covered.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "app/StartDlg.h"
#include "frame/DockGeometry.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/gui/AppBar.h"
#include "platform/MessageHost.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/PropertySheet.h"
#include "platform/CommandIds.h"
#include "views/OptionsPages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QImage>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QProcess>
#include <QScreen>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace {

const char kRefusedText[] =
    "There is already an auto hidden window on this edge.\nOnly one auto hidden window is allowed on each edge.";

bool Run(const QString& program, const QStringList& args, QString* pOut = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(20000)) return false;
    if (pOut) *pOut = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool Xdo(const QStringList& args) { return Run(QStringLiteral("xdotool"), args); }

// A property of a top-level widget's native window as xprop prints it.
QString Property(QWidget* w, const char* name) {
    QString out;
    Run(QStringLiteral("xprop"),
        {QStringLiteral("-id"), QString::number(w->windowHandle()->winId()), QString::fromLatin1(name)}, &out);
    return out.trimmed();
}

// Counts the mouse buttons pressed in a window.
struct CPressCounter : QObject {
    explicit CPressCounter(QWidget* w) : m_pWindow(w->windowHandle()) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        m_nPresses += o == m_pWindow && e->type() == QEvent::MouseButtonPress;
        return false;
    }
    QObject* m_pWindow;
    int m_nPresses = 0;
};

QString Strut(QWidget* w) { return Property(w, "_NET_WM_STRUT_PARTIAL"); }

// Where the window really is on the display (decorations included), which
// the window manager decides, not what Qt was last asked for.
QRect OnDisplay(QWidget* w) {
    QString out;
    Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(w->windowHandle()->winId())}, &out);
    const auto field = [&](const char* name) {
        const qsizetype at = out.indexOf(QLatin1String(name));
        if (at < 0) return -100000;
        return out.mid(at + qsizetype(std::strlen(name))).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
    };
    const QRect fg = w->frameGeometry();
    const QRect g = w->geometry();
    return QRect(field("Absolute upper-left X:") - (g.x() - fg.x()), field("Absolute upper-left Y:") - (g.y() - fg.y()),
                 fg.width(), fg.height());
}

QRect Screen() { return QGuiApplication::primaryScreen()->geometry(); }

// Another program, this test program started again: one that holds an
// edge as its auto-hide window (--hold-edge N), a window of a panel
// (--panel, answering its window's number), one that shows a full-screen
// window (--fullscreen).
int OtherProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    const QByteArray mode = argv[1];
    QWidget w;
    w.setWindowTitle(QString::fromLatin1(mode));
    CAppBar bar(&w);
    bar.New();
    bool bOk = true;
    if (mode == "--hold-edge") {
        w.winId();
        bOk = bar.SetAutoHideBar(std::atoi(argv[2]), true);
    } else if (mode == "--panel") {
        // A panel of the desktop's own, which knows nothing of application
        // bars: the test sets its reservation from outside.
        w.setGeometry(900, 300, 200, 100);
        w.show();
        bOk = QTest::qWaitForWindowExposed(&w);
        std::printf("%llu\n", static_cast<unsigned long long>(w.windowHandle()->winId()));
    } else if (mode == "--fullscreen") {
        w.showFullScreen();
        bOk = QTest::qWaitForWindowExposed(&w);
        w.activateWindow();
    }
    std::printf("%s\n", bOk ? "ready" : "failed");
    std::fflush(stdout);
    return app.exec();
}

// Starts one of those and waits until it is ready.
bool StartOther(QProcess& p, const QStringList& args) {
    p.start(QCoreApplication::applicationFilePath(), args);
    return p.waitForReadyRead(20000) && p.readLine().trimmed() == "ready";
}

}  // namespace

class DockTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void dockingOnWithTheOptionOffChangesNothing();
    void autoHiddenWindowSlidesAwayAndBack();
    void secondAutoHideWindowOnAnEdgeReservesSpaceInstead();
    void draggingDocksAndFloats();
    void otherProgramsMoveAndLowerTheDockedWindow();
    void firstDeactivationAfterStartHidesToTheConfiguredEdge();
    void hotKeyHidesAVisibleDockedWindowAndRevealsAHiddenOne();
    void aClickWhileTheWindowSlidesReachesNothingInIt();
    void dialogsAndPopupsGiveBackTheKeysAndThePaint();
    void dockingSwitchedOnInTheOptionsHidesAsAfterAStart();
    void leavingFullScreenHidesAsAfterAStart();

private:
    // A started program with docking on, its window shown and floating.
    std::unique_ptr<CClipVaultApp> Start(CGuiTestFixture& fx);
    void ActivateOther(QWidget& other);
};

void DockTest::init() { QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs the WM display"); }

std::unique_ptr<CClipVaultApp> DockTest::Start(CGuiTestFixture& fx) {
    auto app = fx.StartApp();
    if (!app) return nullptr;
    CMainFrame* frame = app->MainFrame();
    if (!QTest::qWaitForWindowExposed(frame)) return nullptr;
    // Smaller than half the screen, title bar and all on it. Start-up's own
    // placement may still be on its way to the window manager: ask until
    // the window is there.
    const bool bPlaced = QTest::qWaitFor(
        [&] {
            if (frame->size() != QSize(700, 450)) frame->resize(700, 450);
            if (frame->frameGeometry().topLeft() != QPoint(150, 80)) frame->move(150, 80);
            QTest::qWait(100);
            return frame->size() == QSize(700, 450) && frame->frameGeometry().topLeft() == QPoint(150, 80);
        },
        10000);
    if (!bPlaced) return nullptr;
    // Start-up's own first hide is not what these tests look at.
    frame->m_bRevealPending = false;
    QTest::qWait(200);
    return app;
}

void DockTest::ActivateOther(QWidget& other) {
    other.setWindowTitle(QStringLiteral("Other"));
    other.setGeometry(400, 500, 300, 200);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QVERIFY(Xdo({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(other.winId())}));
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeWindow() == &other, 5000);
}

void DockTest::dockingOnWithTheOptionOffChangesNothing() {
    CGuiTestFixture fx;
    AppOptions().m_bDockEnabled = false;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(!frame->IsDockingOn());
    const QRect before = frame->frameGeometry();
    const Qt::WindowFlags flags = frame->windowFlags();
    frame->SetAutoHideDocking(true);
    QVERIFY(!frame->IsDockingOn());
    QCOMPARE(frame->DockState().m_nEdge, kDockNone);
    QCOMPARE(frame->frameGeometry(), before);
    QCOMPARE(frame->windowFlags(), flags);
    QVERIFY(!frame->AppBar());
    QVERIFY(!Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_SKIP_TASKBAR")));
    // Command 33007 still brings the window back from the taskbar.
    frame->showMinimized();
    QTRY_VERIFY(frame->isMinimized());
    frame->ExecuteCommand(33007);
    QTRY_VERIFY_WITH_TIMEOUT(!frame->isMinimized() && frame->isActiveWindow(), 5000);
}

void DockTest::autoHiddenWindowSlidesAwayAndBack() {
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(frame->IsDockingOn());
    QCOMPARE(frame->DockState().m_nEdge, kDockFloating);
    QVERIFY(frame->windowFlags() & Qt::WindowStaysOnTopHint);
    // Above the others and out of the taskbar, as the window manager sees it.
    QTRY_VERIFY(Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")));
    QTRY_VERIFY(Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_SKIP_TASKBAR")));
    const int x = frame->frameGeometry().x();

    frame->ApplyDockEdge(kDockTop);
    QTRY_COMPARE(OnDisplay(frame).top(), 0);
    // Snap to corner is off: the window keeps its horizontal place.
    QCOMPARE(OnDisplay(frame).x(), x);
    QVERIFY(frame->AppBar()->GetAutoHideBar(kDockTop) == frame->AppBar()->Id());
    // An auto-hide window reserves only the strip it leaves when hidden.
    QCOMPARE(Strut(frame), QStringLiteral("_NET_WM_STRUT_PARTIAL(CARDINAL) = 0, 0, 2, 0, 0, 0, 0, 0, 0, %1, 0, 0")
                               .arg(Screen().width() - 1));
    // Docked, it cannot be resized.
    QCOMPARE(frame->minimumSize(), frame->maximumSize());
    if (qEnvironmentVariableIsSet("CLIPVAULT_DOCK_SHOTS"))
        Run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("/tmp/dock_top_shown.png")});

    // Another window takes the focus: the frame slides away, two borders
    // left on the screen. The pointer goes there as a user's would: left on
    // the frame (where the display starts it), it would keep the frame shown
    // whenever the frame was not the active window to begin with.
    QWidget other;
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("550"), QStringLiteral("600")}));
    ActivateOther(other);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);
    QVERIFY(!frame->IsDockShown());
    QCOMPARE(OnDisplay(frame).x(), x);
    QCOMPARE(OnDisplay(frame).size(), frame->frameGeometry().size());
    if (qEnvironmentVariableIsSet("CLIPVAULT_DOCK_SHOTS"))
        Run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("/tmp/dock_top_hidden.png")});

    // The pointer touches the strip: it comes back, without the focus.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(x + 100), QStringLiteral("0")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
    QVERIFY(frame->IsDockShown());
    QCOMPARE(QApplication::activeWindow(), &other);
    // Leaving it again hides it again.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("600"), QStringLiteral("700")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);

    // While a message box is up nothing slides away.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(x + 100), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
    {
        CAutoHideBlock block;
        QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("600"), QStringLiteral("700")}));
        QTest::qWait(1200);
        QCOMPARE(OnDisplay(frame).top(), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);

    // Docking off: back in view, no longer registered nor on top.
    frame->SetAutoHideDocking(false);
    QVERIFY(!frame->IsDockingOn());
    QTRY_COMPARE(OnDisplay(frame).top(), 0);
    QCOMPARE(frame->AppBar()->GetAutoHideBar(kDockTop), quintptr(0));
    QVERIFY(!(frame->windowFlags() & Qt::WindowStaysOnTopHint));
    QTRY_VERIFY(!Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")));
    QTRY_VERIFY(!Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_SKIP_TASKBAR")));
    QVERIFY(frame->minimumSize() != frame->maximumSize());
}

void DockTest::secondAutoHideWindowOnAnEdgeReservesSpaceInstead() {
    // Another program holds the top edge.
    QProcess holder;
    QVERIFY(StartOther(holder, {QStringLiteral("--hold-edge"), QStringLiteral("1")}));

    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(frame->AppBar()->GetAutoHideBar(kDockTop) != 0);
    QVERIFY(frame->AppBar()->GetAutoHideBar(kDockTop) != frame->AppBar()->Id());
    // Less than half the screen high: the window manager grants no more.
    frame->resize(600, 250);
    QTRY_COMPARE(frame->size(), QSize(600, 250));
    fx.Clear();
    frame->ApplyDockEdge(kDockTop);
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QCOMPARE(fx.m_messages[0].m_strText, QString::fromLatin1(kRefusedText));
    QCOMPARE(fx.m_messages[0].m_nType & host::MB_ICONMASK, unsigned(host::MB_ICONERROR));
    QVERIFY(!frame->DockState().m_bAutoHide);
    QCOMPARE(frame->DockState().m_nEdge, kDockTop);
    // It docks reserving its height at the top.
    QTRY_COMPARE(frame->frameGeometry().top(), 0);
    const QRect g = frame->frameGeometry();
    QTRY_VERIFY(Strut(frame).contains(QLatin1Char('=')));
    const QString want = QStringLiteral("_NET_WM_STRUT_PARTIAL(CARDINAL) = 0, 0, %1, 0, 0, 0, 0, 0, %2, %3, 0, 0")
                             .arg(g.bottom() + 1)
                             .arg(g.left())
                             .arg(g.right());
    QCOMPARE(Strut(frame), want);
    // The window manager takes it out of the work area.
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->availableGeometry().top(), g.bottom() + 1, 5000);
    // And it stays in view when another window takes the focus.
    QWidget other;
    ActivateOther(other);
    QTest::qWait(1200);
    QCOMPARE(frame->frameGeometry().top(), 0);

    // The holder ends: the edge is free for the next one.
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QTRY_COMPARE(frame->AppBar()->GetAutoHideBar(kDockTop), quintptr(0));

    // Docking ends: nothing is reserved any more.
    frame->SetAutoHideDocking(false);
    QTRY_VERIFY(!Strut(frame).contains(QLatin1Char('=')));
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->availableGeometry(), Screen(), 5000);
}

void DockTest::draggingDocksAndFloats() {
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QStatusBar* bar = frame->statusBar();
    // A failed step must not leave the button down for the tests after it.
    struct CRelease {
        ~CRelease() { Xdo({QStringLiteral("mouseup"), QStringLiteral("1")}); }
    } release;
    const auto dragFrom = [&](const QPoint& to) {
        const QPoint from = bar->mapToGlobal(QPoint(30, bar->height() / 2));
        QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y())}));
        QVERIFY(Xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
        QTRY_VERIFY(frame->ProposedDockEdge() != kDockNone);
        for (int i = 1; i <= 8; ++i) {
            const QPoint p = from + (to - from) * i / 8;
            QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}));
            QTest::qWait(60);
        }
        QVERIFY(Xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTRY_COMPARE(frame->ProposedDockEdge(), kDockNone);
    };
    // Out of the window to the left edge: docked there.
    dragFrom(QPoint(2, Screen().height() / 2));
    QCOMPARE(frame->DockState().m_nEdge, kDockLeft);
    QTRY_COMPARE(frame->frameGeometry().left(), 0);

    // Back into the middle: it floats where it was dropped.
    const QRect before = frame->frameGeometry();
    const QPoint middle = Screen().center();
    const QPoint from = bar->mapToGlobal(QPoint(30, bar->height() / 2));
    dragFrom(middle);
    QCOMPARE(frame->DockState().m_nEdge, kDockFloating);
    // Leaving the edge on the first step, the window starts over from where
    // it stood docked: that step does not count.
    const QPoint firstStep = (middle - from) / 8;
    QTRY_COMPARE(frame->frameGeometry().topLeft(), before.topLeft() + (middle - from) - firstStep);
    QCOMPARE(frame->DockState().m_rcFloat, frame->frameGeometry());
    QVERIFY(frame->AppBar()->GetAutoHideBar(kDockLeft) == 0);
    // A floating window may be resized again.
    QVERIFY(frame->minimumSize() != frame->maximumSize());

    // Dragged by the window manager's title bar to the top edge: docked
    // there once the button is released.
    frame->move(300, 200);
    QTRY_COMPARE(frame->frameGeometry().topLeft(), QPoint(300, 200));
    const QRect fg = frame->frameGeometry();
    const QPoint title(fg.center().x(), fg.top() + (frame->geometry().top() - fg.top()) / 2);
    QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(title.x()), QString::number(title.y())}));
    QVERIFY(Xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
    for (int i = 1; i <= 8; ++i) {
        const QPoint p = title + (QPoint(title.x(), 1) - title) * i / 8;
        QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}));
        QTest::qWait(80);
    }
    QVERIFY(Xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(frame->DockState().m_nEdge, kDockTop, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
    QCOMPARE(frame->ProposedDockEdge(), kDockNone);
}

void DockTest::otherProgramsMoveAndLowerTheDockedWindow() {
    // Another program holds the top edge: this window reserves space there.
    QProcess holder;
    QVERIFY(StartOther(holder, {QStringLiteral("--hold-edge"), QStringLiteral("1")}));
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    frame->resize(600, 250);
    QTRY_COMPARE(frame->size(), QSize(600, 250));
    frame->ApplyDockEdge(kDockTop);
    QVERIFY(!frame->DockState().m_bAutoHide);
    QTRY_COMPARE(OnDisplay(frame).top(), 0);

    // A third one reserves a band of 40 pixels across the top: the window
    // moves below it and reserves down to its new bottom.
    QProcess band;
    band.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--panel")});
    QVERIFY(band.waitForReadyRead(20000));
    const QString bandWindow = QString::fromLatin1(band.readLine().trimmed());
    QVERIFY(Run(QStringLiteral("xprop"), {QStringLiteral("-id"), bandWindow, QStringLiteral("-f"),
                                         QStringLiteral("_NET_WM_STRUT_PARTIAL"), QStringLiteral("32c"),
                                         QStringLiteral("-set"), QStringLiteral("_NET_WM_STRUT_PARTIAL"),
                                         QStringLiteral("0,0,40,0,0,0,0,0,0,%1,0,0").arg(Screen().width() - 1)}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 40, 5000);
    QTRY_VERIFY(Strut(frame).contains(QStringLiteral("= 0, 0, %1,").arg(40 + frame->frameGeometry().height())));
    band.kill();
    QVERIFY(band.waitForFinished(10000));

    // A full-screen window comes up: the docked window goes below the
    // others, and on top again when it is gone.
    QVERIFY(Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")));
    QProcess full;
    QVERIFY(StartOther(full, {QStringLiteral("--fullscreen")}));
    QTRY_VERIFY_WITH_TIMEOUT(frame->windowFlags() & Qt::WindowStaysOnBottomHint, 5000);
    QTRY_VERIFY(Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_BELOW")));
    QVERIFY(!Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")));
    full.kill();
    QVERIFY(full.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(frame->windowFlags() & Qt::WindowStaysOnTopHint, 5000);
    QTRY_VERIFY(Property(frame, "_NET_WM_STATE").contains(QLatin1String("_NET_WM_STATE_ABOVE")));
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
}

void DockTest::firstDeactivationAfterStartHidesToTheConfiguredEdge() {
    CGuiTestFixture fx;
    AppOptions().m_nDockEdge = kDockLeft;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QCOMPARE(frame->DockState().m_nEdge, kDockFloating);
    frame->m_bRevealPending = true;
    QWidget other;
    ActivateOther(other);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).right() + 1, 2, 5000);
    QVERIFY(!frame->m_bRevealPending);
    QCOMPARE(frame->DockState().m_nEdge, kDockLeft);
    QCOMPARE(frame->AppBar()->GetAutoHideBar(kDockLeft), frame->AppBar()->Id());
    // The pointer at the left edge brings it back.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("0"), QString::number(OnDisplay(frame).center().y())}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).left(), 0, 5000);

    // Closed while out of view, it is remembered in view: the next start
    // must not put it off the screen.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("600"), QStringLiteral("700")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).right() + 1, 2, 5000);
    QVERIFY(frame->close());
    QCOMPARE(frame->frameGeometry().left(), 0);
    QCOMPARE(AppOptions().m_rcMainWindow.m_nLeft, frame->geometry().left());
}

void DockTest::hotKeyHidesAVisibleDockedWindowAndRevealsAHiddenOne() {
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(frame->IsHotKeyRegistered());
    frame->ApplyDockEdge(kDockTop);
    QTRY_COMPARE(OnDisplay(frame).top(), 0);
    QVERIFY(frame->IsDockShown());
    // The stored key, Ctrl+Shift+F11: fully on the screen, it slides away,
    // its strip left on the screen even though it stays the active window.
    QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("ctrl+shift+F11")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);
    QVERIFY(!frame->IsDockShown());
    // Partly off the screen: it comes back, in front.
    QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("ctrl+shift+F11")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
    QVERIFY(frame->IsDockShown());
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 5000);
}

void DockTest::aClickWhileTheWindowSlidesReachesNothingInIt() {
    CGuiTestFixture fx;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    frame->ApplyDockEdge(kDockTop);
    QTRY_COMPARE(OnDisplay(frame).top(), 0);
    QMenuBar* bar = frame->menuBar();
    const QPoint file = bar->mapToGlobal(bar->actionGeometry(bar->actions().first()).center());
    QWidget other;
    ActivateOther(other);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);
    // A click on where File will be while the window comes down, and one
    // once it is there: only the second reaches the window.
    CPressCounter presses(frame);
    const QString clickEarly = QStringLiteral("mousemove %1 0 sleep 0.3 mousemove %1 %2 click 1");
    QVERIFY(QProcess::startDetached(QStringLiteral("xdotool"), clickEarly.arg(file.x()).arg(file.y()).split(' ')));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
    QTest::qWait(500);
    QVERIFY(Xdo({QStringLiteral("click"), QStringLiteral("1")}));
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::qWait(300);
    QCOMPARE(presses.m_nPresses, 1);
    QApplication::activePopupWidget()->close();
}

void DockTest::dialogsAndPopupsGiveBackTheKeysAndThePaint() {
    CGuiTestFixture fx;
    fx.m_bTipOfTheDay = true;
    auto app = fx.MakeApp();
    CClipVaultApp* pApp = app.get();
    // The first start's dialog opens the first sample; the tip is sent away.
    app->m_fnStartDialog = [pApp] {
        CStartDlg dlg(*pApp, pApp->MainFrame());
        QTimer::singleShot(200, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Return); });
        dlg.exec();
    };
    QTimer closeTip;
    connect(&closeTip, &QTimer::timeout, [] {
        QWidget* tip = QApplication::activeModalWidget();
        if (tip && tip->objectName() == QLatin1String("105") && tip->isActiveWindow()) QTest::keyClick(tip, Qt::Key_Escape);
    });
    closeTip.start(100);
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    closeTip.stop();
    CMainFrame* frame = app->MainFrame();
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    QTRY_VERIFY(frame->isActiveWindow());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child->TreeView()));

    // The bar between the panes, which nothing else paints again, under a
    // dialog and then under a popup as a menu is. (Docking off: a docked
    // window slides away when the dialog takes the keys.)
    frame->SetAutoHideDocking(false);
    auto coverLeft = [](const QRect& rc) {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, rc.x(), rc.y(), rc.width(), rc.height()).toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == QColor(Qt::magenta);
        return n;
    };
    QWidget* bar = child->findChild<QSplitterHandle*>();
    QVERIFY(bar);
    QDialog dlg(frame, Qt::Dialog | Qt::FramelessWindowHint);
    QWidget popup(frame, Qt::Popup);
    for (QWidget* cover : {static_cast<QWidget*>(&dlg), &popup}) {
        QTRY_VERIFY(frame->isActiveWindow());
        cover->setPalette(QPalette(Qt::magenta));
        cover->setAutoFillBackground(true);
        cover->setGeometry(QRect(bar->mapToGlobal(QPoint(-40, 100)), QSize(80 + bar->width(), 200)));
        cover->show();
        QTRY_VERIFY(coverLeft(cover->geometry()) > 0);
        cover->hide();
        QTRY_COMPARE(coverLeft(cover->geometry()), 0);
    }
}

void DockTest::dockingSwitchedOnInTheOptionsHidesAsAfterAStart() {
    CGuiTestFixture fx;
    AppOptions().m_bDockEnabled = false;
    AppOptions().m_nDockEdge = kDockTop;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(!frame->IsDockingOn());
    frame->BringToForeground();
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 5000);
    // Docking ticked on the general page, then OK.
    bool bTicked = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        auto* page = dynamic_cast<CPgeOptGenral*>(sheet->Page(0));
        QVERIFY(page);
        auto* box = page->Control<QAbstractButton>(CPgeOptGenral::IDC_DOCKING);
        QVERIFY(box && !box->isChecked());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        bTicked = box->isChecked();
        sheet->Buttons()->button(QDialogButtonBox::Ok)->click();
    });
    frame->ExecuteCommand(cmd::kCmdOptions);
    QVERIFY(bTicked);
    QVERIFY(AppOptions().m_bDockEnabled);
    QVERIFY(frame->IsDockingOn());
    QCOMPARE(frame->DockState().m_nEdge, kDockFloating);
    const QRect floating = OnDisplay(frame);
    QCOMPARE(floating.top(), 80);
    // The pointer leaves and another window takes the focus: it hides at
    // the configured edge, as it would after a start.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("1100"), QStringLiteral("800")}));
    QWidget other;
    ActivateOther(other);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);
    QCOMPARE(frame->DockState().m_nEdge, kDockTop);
    QVERIFY(!frame->IsDockShown());
    // The pointer at the top edge brings it back.
    QVERIFY(Xdo({QStringLiteral("mousemove"), QString::number(OnDisplay(frame).center().x()), QStringLiteral("0")}));
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).top(), 0, 5000);
}

void DockTest::leavingFullScreenHidesAsAfterAStart() {
    CGuiTestFixture fx;
    AppOptions().m_bDockEnabled = true;
    AppOptions().m_nDockEdge = kDockTop;
    auto app = Start(fx);
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(app->OpenDocumentFile(fx.CopySample(QStringLiteral("Getting Started.vlt"))));
    frame->ExecuteCommand(cmd::kCmdFullScreen);
    QVERIFY(frame->IsFullScreen());
    QVERIFY(!frame->IsDockingOn());
    frame->ExecuteCommand(cmd::kCmdFullScreen);
    QVERIFY(!frame->IsFullScreen());
    QVERIFY(frame->IsDockingOn());
    frame->BringToForeground();
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 5000);
    QVERIFY(Xdo({QStringLiteral("mousemove"), QStringLiteral("1100"), QStringLiteral("800")}));
    QWidget other;
    ActivateOther(other);
    QTRY_COMPARE_WITH_TIMEOUT(OnDisplay(frame).bottom() + 1, 2, 5000);
    QCOMPARE(frame->DockState().m_nEdge, kDockTop);
    for (CChildFrame* c : frame->ChildFrames()) c->Document().SetModifiedFlag(false);
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::strncmp(argv[1], "--", 2) == 0 &&
        (!std::strcmp(argv[1], "--hold-edge") || !std::strcmp(argv[1], "--panel") ||
         !std::strcmp(argv[1], "--fullscreen")))
        return OtherProgram(argc, argv);
    RegisterStoredPageScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    DockTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "DockTest.moc"
