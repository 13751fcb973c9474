// One instance per session bus: a second start hands its notebook to the
// first (or brings it forward) and ends, as the desktop's Open call does;
// without a bus the program runs alone.
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
    void secondStartHandsItsNotebookToTheFirstAndExits();
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

void SingleInstanceTest::secondStartHandsItsNotebookToTheFirstAndExits() {
    CGuiTestFixture fx;
    CInstanceGuard first;
    QVERIFY(!first.ActivateRunningInstance());
    QVERIFY(first.OwnsName());
    int activations = 0;
    QList<QStringList> opened;
    first.m_fnActivate = [&] { ++activations; };
    first.m_fnOpen = [&](const QStringList& paths) { opened << paths; };

    // Named from the second start's own working folder, blanks and all.
    const QString notebook = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    QVERIFY(QDir(fx.WorkFolder()).mkdir(QStringLiteral("sub")));
    for (const QStringList& args : {QStringList{QStringLiteral("../Getting Started.vlt")}, QStringList{}}) {
        QProcess second;
        second.setProcessEnvironment(ProgramEnvironment(fx));
        second.setWorkingDirectory(fx.WorkFolder() + QStringLiteral("/sub"));
        second.start(QStringLiteral(CLIPVAULT_PROGRAM), args);
        QVERIFY(second.waitForStarted(10000));
        AnswerUntilItEnds(second);
        QCOMPARE(second.state(), QProcess::NotRunning);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }
    QCOMPARE(opened, QList<QStringList>({QStringList{QFileInfo(notebook).absoluteFilePath()}}));
    // The plain start only brings the first forward.
    QCOMPARE(activations, 1);
    // The second start ended before it read its profile, let alone opened
    // the notebook and listed it as recent.
    QVERIFY(!QFile::exists(fx.ConfigFolder() + QStringLiteral("/Clipvault/Clipvault.ini")));
}

namespace {

// org.freedesktop.Application.Open as the desktop calls it; the error's
// message, empty when it was taken.
QString CallOpen(const QStringList& uris) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(CInstanceGuard::kServiceName), QString::fromLatin1(CInstanceGuard::kObjectPath),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
    call << uris << QVariantMap();
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, 5000);
    QElapsedTimer t;
    t.start();
    while (!pending.isFinished() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!pending.isFinished()) return QStringLiteral("no answer");
    return pending.isError() ? pending.error().message() : QString();
}

}  // namespace

void SingleInstanceTest::openTakesOnlyLocalFiles() {
    QStringList refused;
    const QStringList paths = CInstanceGuard::LocalPaths(
        {QStringLiteral("file:///home/u/My%20Notes.vlt"), QStringLiteral("file://localhost/tmp/a.vlt"),
         QStringLiteral("FILE:///tmp/%E7%AC%94%E8%AE%B0.vlt"), QStringLiteral("https://example.org/a.vlt"),
         QStringLiteral("file://otherhost/share/a.vlt"), QStringLiteral("file:relative.vlt"),
         QStringLiteral("/tmp/not-a-uri.vlt"), QStringLiteral("sftp://host/a.vlt")},
        refused);
    QCOMPARE(paths, QStringList({QStringLiteral("/home/u/My Notes.vlt"), QStringLiteral("/tmp/a.vlt"),
                                 QStringLiteral("/tmp/笔记.vlt")}));
    QCOMPARE(refused.size(), 5);
    QCOMPARE(CInstanceGuard::LocalPaths({CInstanceGuard::FileUri(QStringLiteral("/tmp/a b#%.vlt"))}, refused),
             QStringList({QStringLiteral("/tmp/a b#%.vlt")}));

    // Over the bus: the local files are opened, the rest named in the error.
    CInstanceGuard first;
    QVERIFY(!first.ActivateRunningInstance());
    QList<QStringList> opened;
    first.m_fnOpen = [&](const QStringList& p) { opened << p; };
    QCOMPARE(CallOpen({QStringLiteral("file:///tmp/x.vlt")}), QString());
    const QString error = CallOpen({QStringLiteral("http://127.0.0.1/y.vlt"), QStringLiteral("file:///tmp/z.vlt")});
    QVERIFY2(error.contains(QStringLiteral("http://127.0.0.1/y.vlt")), qPrintable(error));
    QVERIFY(!CallOpen({QStringLiteral("http://127.0.0.1/y.vlt")}).isEmpty());
    QCOMPARE(opened, QList<QStringList>({{QStringLiteral("/tmp/x.vlt")}, {QStringLiteral("/tmp/z.vlt")}}));
}

void SingleInstanceTest::runningWindowOpensWhatTheFileManagerHands() {
    CGuiTestFixture fx;
    const QString first = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString second = fx.WorkFolder() + QStringLiteral("/Second.vlt");
    const QString third = fx.WorkFolder() + QStringLiteral("/Third one.vlt");
    QVERIFY(QFile::copy(first, second) && QFile::copy(first, third));
    CAppEnvironment env = fx.Environment();
    env.m_bSingleInstance = true;
    CClipVaultApp app(env);
    app.m_nSplashMinMs = 0;
    app.m_fnShowTip = nullptr;
    QVERIFY(app.InitInstance({QStringLiteral("clipvault"), first}));
    QCOMPARE(app.DocTemplate()->Documents().size(), size_t(1));

    // A double-click on a notebook starts the program again with its path.
    QProcess start;
    start.setProcessEnvironment(ProgramEnvironment(fx));
    start.setWorkingDirectory(fx.WorkFolder());
    start.start(QStringLiteral(CLIPVAULT_PROGRAM), {QStringLiteral("Second.vlt")});
    QVERIFY(start.waitForStarted(10000));
    AnswerUntilItEnds(start);
    QCOMPARE(start.exitCode(), 0);
    // A launcher that talks to the bus calls Open; a file that is gone gets
    // the usual message in the running window, and the rest still open.
    const QString gone = fx.WorkFolder() + QStringLiteral("/gone.vlt");
    QCOMPARE(CallOpen({CInstanceGuard::FileUri(third), CInstanceGuard::FileUri(gone)}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(app.DocTemplate()->Documents().size(), size_t(3), 10000);

    QStringList shown;
    for (CChildFrame* child : app.MainFrame()->ChildFrames())
        shown << QFileInfo(QString::fromStdString(child->Document().GetPathName())).fileName();
    shown.sort();
    QCOMPARE(shown, QStringList({QStringLiteral("Getting Started.vlt"), QStringLiteral("Second.vlt"),
                                 QStringLiteral("Third one.vlt")}));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QVERIFY2(fx.m_messages[0].m_strText.contains(gone), qPrintable(fx.m_messages[0].m_strText));
    QVERIFY(app.MainFrame()->isVisible());
    // Opened from outside as from the File menu: listed as recent.
    QVERIFY(app.RecentFiles().contains(QFileInfo(third).absoluteFilePath()));
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
