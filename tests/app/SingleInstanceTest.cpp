// One instance per session bus: a second start hands its notebook to the
// first (or only brings it forward) and ends; without a bus the program
// runs alone.
// Runs under a private session bus (dbus-run-session).
#include "support/GuiTestSupport.h"

#include "app/SingleInstance.h"
#include "app/DocTemplate.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondStartActivatesTheFirstAndExits();
    void openTakesOnlyLocalFiles();
    void runningWindowOpensWhatTheFileManagerHands();
    void launcherActionGoesToTheFirst();
    void programWithoutSessionBusRunsAlone();
    void nameIsFreeAgainWhenTheFirstEnds();
};

namespace {

QProcessEnvironment ProgramEnvironment(const CGuiTestFixture& fx) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), fx.ConfigFolder());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// The first instance answers on this thread while the second start waits
// for it; at most 30 s.
void AnswerUntilItEnds(QProcess& second) {
    QElapsedTimer t;
    t.start();
    while (second.state() != QProcess::NotRunning && t.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        second.waitForFinished(50);
    }
}

}  // namespace

void SingleInstanceTest::initTestCase() {
    if (!QDBusConnection::sessionBus().isConnected()) QSKIP("no session bus (run under dbus-run-session)");
}

void SingleInstanceTest::secondStartActivatesTheFirstAndExits() {
    CGuiTestFixture fx;
    CInstanceGuard first;
    QVERIFY(!first.ActivateRunningInstance());
    QVERIFY(first.OwnsName());
    int activations = 0;
    first.m_fnActivate = [&] { ++activations; };

    const QString notebook = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment(fx));
    second.start(QStringLiteral(CLIPVAULT_PROGRAM), {notebook});
    QVERIFY(second.waitForStarted(10000));
    AnswerUntilItEnds(second);
    QCOMPARE(second.state(), QProcess::NotRunning);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(activations, 1);
    // The second start ended before it read its profile, let alone opened
    // the notebook and listed it as recent.
    QVERIFY(!QFile::exists(fx.ConfigFolder() + QStringLiteral("/Clipvault/Clipvault.ini")));
}

void SingleInstanceTest::openTakesOnlyLocalFiles() {
    QStringList refused;
    const QStringList paths = CInstanceGuard::LocalPaths(
        {QStringLiteral("file:///home/u/My%20Notes.vlt"), QStringLiteral("file://localhost/tmp/a.vlt"),
         QStringLiteral("FILE:///tmp/%E7%AC%94.vlt"), CInstanceGuard::FileUri(QStringLiteral("/tmp/a b#%.vlt")),
         QStringLiteral("https://example.org/a.vlt"), QStringLiteral("file://otherhost/share/a.vlt"),
         QStringLiteral("file:relative.vlt"), QStringLiteral("/tmp/not-a-uri.vlt")},
        refused);
    QCOMPARE(paths, QStringList({QStringLiteral("/home/u/My Notes.vlt"), QStringLiteral("/tmp/a.vlt"),
                                 QStringLiteral("/tmp/笔.vlt"), QStringLiteral("/tmp/a b#%.vlt")}));
    QCOMPARE(refused.size(), 4);
}

void SingleInstanceTest::runningWindowOpensWhatTheFileManagerHands() {
    CGuiTestFixture fx;
    const QString first = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString dir = fx.WorkFolder() + QLatin1Char('/');
    QVERIFY(QFile::copy(first, dir + QStringLiteral("Second.vlt")) && QFile::copy(first, dir + QStringLiteral("Third one.vlt")));
    QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
    CAppEnvironment env = fx.Environment();
    env.m_bSingleInstance = true;
    CClipVaultApp app(env);
    app.m_nSplashMinMs = 0;
    app.m_fnShowTip = nullptr;
    QVERIFY(app.InitInstance({QStringLiteral("clipvault"), first}));

    // A double-click starts the program again with the path, named from
    // where that start runs.
    QProcess start;
    start.setProcessEnvironment(ProgramEnvironment(fx));
    start.setWorkingDirectory(dir + QStringLiteral("sub"));
    start.start(QStringLiteral(CLIPVAULT_PROGRAM), {QStringLiteral("../Second.vlt")});
    QVERIFY(start.waitForStarted(10000));
    AnswerUntilItEnds(start);
    QCOMPARE(start.exitCode(), 0);
    // A launcher on the bus calls Open: a file that is gone gets the usual
    // message and the rest still open; a web address is refused by name.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(CInstanceGuard::kServiceName), QString::fromLatin1(CInstanceGuard::kObjectPath),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
    call << QStringList{CInstanceGuard::FileUri(dir + QStringLiteral("Third one.vlt")),
                        CInstanceGuard::FileUri(dir + QStringLiteral("gone.vlt")), QStringLiteral("http://127.0.0.1/w.vlt")}
         << QVariantMap();
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 10000);
    QVERIFY(pending.error().message().contains(QStringLiteral("http://127.0.0.1/w.vlt")));
    QTRY_COMPARE_WITH_TIMEOUT(app.DocTemplate()->Documents().size(), size_t(3), 10000);
    QStringList shown;
    for (CChildFrame* child : app.MainFrame()->ChildFrames())
        shown << QFileInfo(QString::fromStdString(child->Document().GetPathName())).absoluteFilePath();
    shown.sort();
    QCOMPARE(shown, QStringList({first, dir + QStringLiteral("Second.vlt"), dir + QStringLiteral("Third one.vlt")}));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QVERIFY(fx.m_messages[0].m_strText.contains(dir + QStringLiteral("gone.vlt")));
    app.CloseAllDocuments();
}

void SingleInstanceTest::launcherActionGoesToTheFirst() {
    CGuiTestFixture fx;
    CInstanceGuard first;
    QVERIFY(!first.ActivateRunningInstance());
    int activations = 0;
    QStringList actions;
    first.m_fnActivate = [&] { ++activations; };
    first.m_fnAction = [&](const QString& strAction) { actions << strAction; };

    for (const QString& flag : {QStringLiteral("--open-notebook"), QStringLiteral("--new-notebook")}) {
        QProcess second;
        second.setProcessEnvironment(ProgramEnvironment(fx));
        second.start(QStringLiteral(CLIPVAULT_PROGRAM), {flag});
        QVERIFY(second.waitForStarted(10000));
        AnswerUntilItEnds(second);
        QCOMPARE(second.state(), QProcess::NotRunning);
        QCOMPARE(second.exitCode(), 0);
    }
    QCOMPARE(actions, QStringList({QStringLiteral("open-notebook"), QStringLiteral("new-notebook")}));
    QCOMPARE(activations, 0);

    // The desktop's own call for an action (org.freedesktop.Application), as
    // a launcher that starts programs over the bus makes it.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(CInstanceGuard::kServiceName), QString::fromLatin1(CInstanceGuard::kObjectPath),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("ActivateAction"));
    call << QStringLiteral("new-notebook") << QVariant::fromValue(QVariantList()) << QVariantMap();
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 10000);
    QVERIFY2(!pending.isError(), qPrintable(pending.error().message()));
    QCOMPARE(actions.size(), 3);
}

void SingleInstanceTest::programWithoutSessionBusRunsAlone() {
    CGuiTestFixture fx;
    CInstanceGuard first;
    QVERIFY(!first.ActivateRunningInstance());
    QProcess alone;
    QProcessEnvironment env = ProgramEnvironment(fx);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    alone.setProcessEnvironment(env);
    // An automation start shows no start dialog, so it just runs.
    alone.start(QStringLiteral(CLIPVAULT_PROGRAM), {QStringLiteral("--automation")});
    QVERIFY(alone.waitForStarted(10000));
    QVERIFY(!alone.waitForFinished(4000));
    QCOMPARE(alone.state(), QProcess::Running);
    alone.kill();
    alone.waitForFinished(5000);
}

void SingleInstanceTest::nameIsFreeAgainWhenTheFirstEnds() {
    {
        CInstanceGuard first;
        QVERIFY(!first.ActivateRunningInstance());
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(CInstanceGuard::kServiceName)));
    }
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QString::fromLatin1(CInstanceGuard::kServiceName)));
    CInstanceGuard again;
    QVERIFY(!again.ActivateRunningInstance());
    QVERIFY(again.OwnsName());
}

CLIPVAULT_GUI_TEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
