// The tray icon under a real tray host: it appears there, a click on it
// brings the window back, the right button opens the tray menu.
#include "support/GuiTestSupport.h"

#include "frame/MainFrame.h"
#include "platform/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

// The window the tray host embeds for our icon.
QWidget* TrayIconWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys" && w->isVisible()) return w;
    return nullptr;
}

bool XdoTool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The host has taken the icon's window in: only the X server knows where
// it is now.
bool ClickOn(QWidget* pIcon, int nButton) {
    const QString wid = QString::number(pIcon->winId());
    return XdoTool({QStringLiteral("mousemove"), QStringLiteral("--window"), wid, QString::number(pIcon->width() / 2),
                    QString::number(pIcon->height() / 2)}) &&
           XdoTool({QStringLiteral("click"), QString::number(nButton)});
}

}  // namespace

class TrayTest : public QObject {
    Q_OBJECT
private slots:
    void clickRevealsAndRightClickOpensTheMenu();
};

void TrayTest::clickRevealsAndRightClickOpensTheMenu() {
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    // Docking would slide the window instead of showing it: not this test's
    // matter.
    frame->SetAutoHideDocking(false);
    QVERIFY(frame->TrayIcon());
    QTRY_VERIFY_WITH_TIMEOUT(TrayIconWindow() != nullptr, 10000);
    QWidget* icon = TrayIconWindow();
    QTRY_VERIFY(icon->width() > 0 && icon->height() > 0);

    int nClicks = 0;
    QObject::connect(frame->TrayIcon(), &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) ++nClicks;
    });
    frame->showMinimized();
    QTRY_VERIFY(frame->isMinimized());
    QVERIFY(ClickOn(icon, 1));
    QTRY_COMPARE_WITH_TIMEOUT(nClicks, 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!frame->isMinimized() && frame->isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(frame->isActiveWindow(), 10000);

    QMenu* menu = frame->TrayMenu();
    QVERIFY(menu);
    QVERIFY(ClickOn(icon, 3));
    QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 10000);
    QVERIFY(menu->defaultAction());
    QCOMPARE(menu->defaultAction()->data().toUInt(), cmd::kCmdShowWindow);
    if (!qEnvironmentVariableIsEmpty("CLIPVAULT_SCREENSHOT")) {
        QTest::qWait(300);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     qEnvironmentVariable("CLIPVAULT_SCREENSHOT")});
    }
    menu->hide();
    QVERIFY(frame->close());
}

CLIPVAULT_GUI_TEST_MAIN(TrayTest)
#include "TrayTest.moc"
