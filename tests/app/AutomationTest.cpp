// The automation service as outside callers reach it: over the session bus,
// from a connection of their own, into a started program. What the calls
// hand the main frame is caught before the frame's import flow sees it.
// Runs under a private session bus (dbus-run-session).
#include "support/GuiTestSupport.h"

#include "app/AutomationService.h"
#include "capture/ImportItem.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/gui/AppGlobals.h"
#include "views/ImportNotice.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Posted {
    bool bStartImport = false;
    bool bCarrier = true;  // false: posted without any array
    std::vector<CImportItem> items;
};

// Records every import batch posted to the frame and keeps it from the
// frame, so the calls are seen as they arrive.
class ImportCatcher : public QObject {
public:
    std::vector<Posted> m_posted;
    bool m_bPassOn = false;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != CImportItemsEvent::kType) return false;
        auto* p = static_cast<CImportItemsEvent*>(e);
        Posted rec;
        rec.bStartImport = p->LParam() == 1;
        if (m_bPassOn) {
            m_posted.push_back(rec);
            return false;
        }
        auto items = p->Take();
        rec.bCarrier = items != nullptr;
        if (items)
            for (auto& item : *items) rec.items.push_back(*item);
        m_posted.push_back(std::move(rec));
        return true;
    }
};

const QString kService = QStringLiteral("org.clipvault.Clipvault");
const QString kPath = QStringLiteral("/org/clipvault/Clipvault");
const QString kInterface = QStringLiteral("org.clipvault.Automation");

}  // namespace

class AutomationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addressesBecomeItemsOnlyWhenStarted();
    void fileAddressesInAnyCaseBecomeLocalFiles();
    void startImportAloneOrTwicePostsNothingMore();
    void filesArriveAsOneBatchWithTheirTitles();
    void onlyAnArrayOfVariantsIsRead();
    void arrayOfNonStringsPostsAnEmptyBatchThatOpensNothing();
    void longPathsAreCutAtWholeCharacters();
    void filesBeforeTheMainWindowWaitForIt();
    void badCallsAreRefusedAndTheServiceGoesOn();
    void largeCallsArriveWhole();
    void introspectionShowsTheInterface();
    void firstStartWritesTheActivationFile();
    void capturedPageReachesTheTreeAndTheFile();
    void threeLocalFilesAreFiledAtOnce();
    void shownPageIsCapturedAsSeen();
    void eachCallerStartsOnlyItsOwnBatch();

private:
    // A loopback server over `site`; its address, or empty.
    QString StartSite(QProcess& server, const QString& site);
    // Until the note's download has ended, at most a minute.
    static void WaitForDownload(const CNote& note) {
        QElapsedTimer t;
        t.start();
        while (note.m_nStatus.load() != kStatusDone && note.m_nStatus.load() != kStatusFailed && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // The note named `name` in the dump of the notebook at `path`.
    QJsonObject DumpedNote(const QString& path, const QString& name);
    // A call from a connection of the caller's own, waited for while this
    // thread serves it.
    QDBusMessage Call(const QString& method, const QVariantList& args, const QString& iface = kInterface,
                      const QString& connection = QStringLiteral("caller"));
    void Settle() { QTest::qWait(50); }

    std::unique_ptr<CGuiTestFixture> m_fx;
    std::unique_ptr<CClipVaultApp> m_app;
    ImportCatcher m_catcher;
};

void AutomationTest::initTestCase() {
    if (!QDBusConnection::sessionBus().isConnected()) QSKIP("no session bus (run under dbus-run-session)");
}

void AutomationTest::init() {
    m_fx = std::make_unique<CGuiTestFixture>();
    CAppEnvironment env = m_fx->Environment();
    env.m_bSingleInstance = true;  // the guard owns the bus name and the object
    m_app = std::make_unique<CClipVaultApp>(env);
    m_app->m_nSplashMinMs = 0;
    m_app->m_fnStartDialog = [] { QFAIL("an automation start shows no start dialog"); };
    QVERIFY(m_app->InitInstance({QStringLiteral("clipvault"), QStringLiteral("--automation")}));
    QVERIFY(!m_app->m_bStartDialogShown);
    QVERIFY(m_app->Automation());
    m_catcher.m_posted.clear();
    m_catcher.m_bPassOn = false;
    m_app->MainFrame()->installEventFilter(&m_catcher);
}

void AutomationTest::cleanup() {
    if (m_app && m_app->MainFrame()) m_app->MainFrame()->removeEventFilter(&m_catcher);
    m_app.reset();
    m_fx.reset();
}

QDBusMessage AutomationTest::Call(const QString& method, const QVariantList& args, const QString& iface,
                                  const QString& connection) {
    QDBusConnection caller = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
    QDBusMessage msg = QDBusMessage::createMethodCall(kService, kPath, iface, method);
    msg.setArguments(args);
    QDBusPendingCall pending = caller.asyncCall(msg, 60000);
    QElapsedTimer t;
    t.start();
    while (!pending.isFinished() && t.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!pending.isFinished()) return QDBusMessage::createError(QStringLiteral("test.Timeout"), method);
    Settle();  // what the call posted arrives
    return pending.reply();
}

namespace {

QVariant FileArray(const QStringList& paths) {
    QVariantList list;
    // Each element goes on the bus as a variant holding the text.
    for (const QString& p : paths) list << QVariant(p);
    return QVariant::fromValue(QDBusVariant(list));
}

}  // namespace

void AutomationTest::addressesBecomeItemsOnlyWhenStarted() {
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 0);
    QDBusMessage r = Call(QStringLiteral("AddNoteFromIE"),
                          {QStringLiteral("http://127.0.0.1/my%20page%20one.html"), QStringLiteral("Mine"), 0});
    QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(r.arguments().value(0).toInt(), 0);
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 1);
    r = Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("http://127.0.0.1/a.zip"), QString(), 2});
    QCOMPARE(r.arguments().value(0).toInt(), 0);
    // Nothing reaches the frame until the batch is started.
    QVERIFY(m_catcher.m_posted.empty());

    QCOMPARE(Call(QStringLiteral("StartImport"), {}).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    const Posted& p = m_catcher.m_posted[0];
    QVERIFY(p.bStartImport);
    QCOMPARE(p.items.size(), size_t(2));
    QCOMPARE(p.items[0].m_strSource, std::string("http://127.0.0.1/my page one.html"));
    QCOMPARE(p.items[0].m_strTitle, std::string("Mine"));
    QCOMPARE(p.items[0].m_nImportKind, 0);
    QCOMPARE(p.items[0].m_nContentMode, 2);
    QCOMPARE(p.items[0].m_bStartNow, 1);
    QCOMPARE(p.items[1].m_nImportKind, 1);  // type 2: one web file
    QVERIFY(p.items[1].m_strTitle.empty());
    QVERIFY(m_app->Automation()->m_pendingImports.empty());
}

void AutomationTest::fileAddressesInAnyCaseBecomeLocalFiles() {
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("FILE:///D:/a.htm"), QString(), 0});
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("file:///home/u/My%20Page.htm"), QString(), 2});
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("File:"), QString(), 0});
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("file:/tmp/x.txt"), QString(), 0});
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("file://c:/x.htm"), QString(), 0});
    Call(QStringLiteral("StartImport"), {});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    const auto& items = m_catcher.m_posted[0].items;
    QCOMPARE(items.size(), size_t(5));
    QCOMPARE(items[0].m_strSource, std::string("D:/a.htm"));
    QCOMPARE(items[0].m_nImportKind, 2);
    // A path without a drive stays absolute.
    QCOMPARE(items[1].m_strSource, std::string("/home/u/My Page.htm"));
    QCOMPARE(items[1].m_nImportKind, 2);
    QCOMPARE(items[2].m_strSource, std::string());
    QCOMPARE(items[2].m_nImportKind, 2);
    QCOMPARE(items[3].m_strSource, std::string("/tmp/x.txt"));
    QCOMPARE(items[4].m_strSource, std::string("c:/x.htm"));
}

void AutomationTest::startImportAloneOrTwicePostsNothingMore() {
    QCOMPARE(Call(QStringLiteral("StartImport"), {}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_catcher.m_posted.empty());
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 0);
    Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("http://127.0.0.1/"), QString(), 0});
    Call(QStringLiteral("StartImport"), {});
    Call(QStringLiteral("StartImport"), {});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
}

void AutomationTest::filesArriveAsOneBatchWithTheirTitles() {
    const QString page = m_fx->WorkFolder() + QStringLiteral("/page.htm");
    QFile f(page);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html><head><title>The Page</title></head><body>x</body></html>");
    f.close();
    const QString missing = m_fx->WorkFolder() + QStringLiteral("/gone/notes.txt");
    QCOMPARE(Call(QStringLiteral("AddNotesFromFiles"), {FileArray({page, missing})}).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 1);
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    const Posted& p = m_catcher.m_posted[0];
    QVERIFY(!p.bStartImport);
    QCOMPARE(p.items.size(), size_t(2));
    QCOMPARE(p.items[0].m_strSource, page.toStdString());
    // A page is named by its title, not its file name.
    QCOMPARE(p.items[0].m_strTitle, TitleForSource(page.toStdString()));
    QVERIFY(QString::fromStdString(p.items[0].m_strTitle).contains(QStringLiteral("page"), Qt::CaseInsensitive));
    QVERIFY(p.items[0].m_strTitle != "page.htm");
    QCOMPARE(p.items[0].m_nImportKind, 2);
    // A file that is not there still travels; making the note refuses it.
    QCOMPARE(p.items[1].m_strTitle, std::string("notes.txt"));
    // Files do not wait for StartImport, and leave the addresses alone.
    QVERIFY(m_app->Automation()->m_pendingImports.empty());
}

void AutomationTest::onlyAnArrayOfVariantsIsRead() {
    const QString path = QStringLiteral("/tmp/x.txt");
    Call(QStringLiteral("AddNotesFromFiles"), {QVariant::fromValue(QDBusVariant(path))});
    Call(QStringLiteral("AddNotesFromFiles"), {QVariant::fromValue(QDBusVariant(QStringList{path}))});
    Call(QStringLiteral("AddNotesFromFiles"), {QVariant::fromValue(QDBusVariant(42))});
    QVERIFY(m_catcher.m_posted.empty());
    // Still an automation caller, even when nothing came of it.
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 1);
    Call(QStringLiteral("AddNotesFromFiles"), {FileArray({path})});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(m_catcher.m_posted[0].items.size(), size_t(1));
}

void AutomationTest::arrayOfNonStringsPostsAnEmptyBatchThatOpensNothing() {
    m_catcher.m_bPassOn = true;  // the frame itself takes it
    QVariantList list;
    list << QVariant(7) << QVariant(QByteArray("\xff\xfe/x.htm")) << QVariant(QStringList{QStringLiteral("/a")})
         << QVariant::fromValue(QDBusVariant(QStringLiteral("/a")));  // a variant in the variant
    const unsigned before = m_app->MainFrame()->m_nImportBatches;
    QCOMPARE(Call(QStringLiteral("AddNotesFromFiles"), {QVariant::fromValue(QDBusVariant(list))}).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(m_app->MainFrame()->m_nImportBatches, before + 1);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_fx->m_messages.empty());
}

void AutomationTest::longPathsAreCutAtWholeCharacters() {
    // 258 ASCII bytes, then a three-byte character across the limit.
    const QString longPath = QStringLiteral("/") + QString(257, QLatin1Char('a')) + QStringLiteral("\u4e2d.txt");
    const QString fits = QStringLiteral("/") + QString(255, QLatin1Char('b')) + QStringLiteral("\u4e2d");
    Call(QStringLiteral("AddNotesFromFiles"), {FileArray({longPath, fits})});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    const auto& items = m_catcher.m_posted[0].items;
    QCOMPARE(items[0].m_strSource, std::string("/") + std::string(257, 'a'));
    QCOMPARE(items[1].m_strSource.size(), size_t(259));
    QCOMPARE(items[1].m_strSource, fits.toStdString());
    QCOMPARE(automation::CutUtf8("abc", 2), std::string("ab"));
    QCOMPARE(automation::CutUtf8("\xe4\xb8\xad", 2), std::string());
}

void AutomationTest::filesBeforeTheMainWindowWaitForIt() {
    CAutomationServer server;
    QObject* pMain = nullptr;
    server.m_fnMainWindow = [&] { return pMain; };
    server.AddNotesFromFiles(FileArray({QStringLiteral("/a.txt")}).value<QDBusVariant>().variant());
    server.StartImport();  // nothing pending: nothing
    QObject window;
    window.installEventFilter(&m_catcher);
    server.MainWindowReady();  // still none: kept
    QCoreApplication::processEvents();
    QVERIFY(m_catcher.m_posted.empty());
    pMain = &window;
    server.MainWindowReady();
    QCoreApplication::processEvents();
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(m_catcher.m_posted[0].items.size(), size_t(1));
    server.MainWindowReady();  // once only
    QCoreApplication::processEvents();
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
}

void AutomationTest::badCallsAreRefusedAndTheServiceGoesOn() {
    // Wrong argument types and counts: the bus caller hears a refusal.
    QDBusMessage r = Call(QStringLiteral("AddNoteFromIE"), {7, QStringLiteral("t"), QStringLiteral("x")});
    QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
    r = Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("http://127.0.0.1/")});
    QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
    r = Call(QStringLiteral("AddNotesFromFiles"), {QStringList{QStringLiteral("/a")}});
    QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
    r = Call(QStringLiteral("StartImport"), {1});
    QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
    r = Call(QStringLiteral("NoSuchMethod"), {});
    QCOMPARE(r.type(), QDBusMessage::ErrorMessage);
    QVERIFY(m_catcher.m_posted.empty());
    QVERIFY(m_app->Automation()->m_pendingImports.empty());
    QCOMPARE(m_app->Automation()->m_bAutomationInstance, 0);
    QVERIFY(m_fx->m_messages.empty());
    // Invalid UTF-8 cannot be sent as text at all: the bus refuses it.
    QProcess gdbus;
    gdbus.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral("exec gdbus call --session --dest %1 --object-path %2 --method "
                                                      "%3.AddNoteFromIE $'\\'\\xff\\xfe\\'' \"''\" 0")
                                           .arg(kService, kPath, kInterface)});
    QElapsedTimer t;
    t.start();
    while (gdbus.state() != QProcess::NotRunning && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        gdbus.waitForFinished(20);
    }
    if (gdbus.state() != QProcess::NotRunning) gdbus.kill();
    QVERIFY(gdbus.exitCode() != 0);
    Settle();
    // And afterwards the service still answers.
    r = Call(QStringLiteral("AddNoteFromIE"), {QStringLiteral("http://127.0.0.1/ok"), QString(), 0});
    QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
    Call(QStringLiteral("StartImport"), {});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(m_catcher.m_posted[0].items.size(), size_t(1));
    QCOMPARE(m_catcher.m_posted[0].items[0].m_strSource, std::string("http://127.0.0.1/ok"));
}

void AutomationTest::largeCallsArriveWhole() {
    const QString url = QStringLiteral("http://127.0.0.1/") + QString(1024 * 1024, QLatin1Char('x'));
    QCOMPARE(Call(QStringLiteral("AddNoteFromIE"), {url, QString(), 0}).type(), QDBusMessage::ReplyMessage);
    Call(QStringLiteral("StartImport"), {});
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(m_catcher.m_posted[0].items[0].m_strSource.size(), size_t(url.size()));

    QStringList paths;
    for (int i = 0; i < 10000; ++i) paths << QStringLiteral("/nowhere/file%1.htm").arg(i);
    QElapsedTimer t;
    t.start();
    QCOMPARE(Call(QStringLiteral("AddNotesFromFiles"), {FileArray(paths)}).type(), QDBusMessage::ReplyMessage);
    QVERIFY2(t.elapsed() < 30000, "10,000 paths took too long");
    QCOMPARE(m_catcher.m_posted.size(), size_t(2));
    const auto& items = m_catcher.m_posted[1].items;
    QCOMPARE(items.size(), size_t(10000));
    QCOMPARE(items[9999].m_strSource, std::string("/nowhere/file9999.htm"));
    QCOMPARE(items[9999].m_strTitle, std::string("file9999.htm"));
    QVERIFY(m_fx->m_messages.empty());
}

void AutomationTest::introspectionShowsTheInterface() {
    const QDBusMessage r = Call(QStringLiteral("Introspect"), {}, QStringLiteral("org.freedesktop.DBus.Introspectable"));
    QCOMPARE(r.type(), QDBusMessage::ReplyMessage);
    const QString xml = r.arguments().value(0).toString();
    QVERIFY2(xml.contains(QStringLiteral("<interface name=\"org.clipvault.Automation\">")), qPrintable(xml));
    QVERIFY(xml.contains(QStringLiteral("<method name=\"AddNotesFromFiles\">")));
    QVERIFY(xml.contains(QStringLiteral("<arg direction=\"out\" type=\"i\" name=\"result\"/>")));
    QVERIFY(xml.contains(QStringLiteral("<method name=\"StartImport\"/>")));
    // The shown-page member is documented where callers look for it.
    const qsizetype page = xml.indexOf(QStringLiteral("<method name=\"AddNoteFromPage\">"));
    QVERIFY(page >= 0);
    QVERIFY(xml.indexOf(QStringLiteral("org.gtk.GDBus.DocString"), page) > page);
    QVERIFY(xml.indexOf(QStringLiteral("<arg direction=\"in\" type=\"s\" name=\"html\"/>"), page) > page);
    // The single-instance interface is still there beside it.
    QVERIFY(xml.contains(QStringLiteral("org.freedesktop.Application")));
}

void AutomationTest::firstStartWritesTheActivationFile() {
    const QString path = automation::ActivationFilePath();
    // The fixture's own data folder, never the user's.
    QVERIFY2(path.startsWith(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QLatin1Char('/')), qPrintable(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    f.close();
    QVERIFY(text.contains("Name=org.clipvault.Clipvault\n"));
    QVERIFY(text.contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\" --automation\n"));

    // Another copy's file that names a program still there is kept; a
    // stale one is written anew.
    m_app.reset();
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[D-BUS Service]\nName=org.clipvault.Clipvault\nExec=\"/bin/sh\" --automation\n");
    f.close();
    QVERIFY(automation::InstallActivationFile(QStringLiteral("/opt/my \"clip\" $vault/clipvault")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("Exec=\"/bin/sh\""));
    f.close();
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[D-BUS Service]\nName=org.clipvault.Clipvault\nExec=/gone/clipvault --automation\n");
    f.close();
    QVERIFY(automation::InstallActivationFile(QStringLiteral("/opt/my \"clip\" $vault/clipvault")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("Exec=\"/opt/my \\\"clip\\\" \\$vault/clipvault\" --automation\n"));
}

QString AutomationTest::StartSite(QProcess& server, const QString& site) {
    qputenv("no_proxy", "127.0.0.1");
    qputenv("NO_PROXY", "127.0.0.1");
    server.start(QStringLiteral("python3"), {QStringLiteral(CLIPVAULT_TEST_SERVER), QStringLiteral("--root"), site,
                                              QStringLiteral("--lifetime"), QStringLiteral("120")});
    if (!server.waitForStarted(10000) || !server.waitForReadyRead(20000)) return QString();
    const QString port = QString::fromLatin1(server.readLine()).split(QLatin1Char(' ')).value(0).trimmed();
    if (port.isEmpty()) return QString();
    return QStringLiteral("http://127.0.0.1:%1/files/").arg(port);
}

QJsonObject AutomationTest::DumpedNote(const QString& path, const QString& name) {
    QProcess dump;
    dump.start(QStringLiteral(CLIPVAULT_CLI), {QStringLiteral("dump"), path});
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0) {
        qWarning("dump failed: %s", dump.readAllStandardError().constData());
        return QJsonObject();
    }
    const QJsonObject root = QJsonDocument::fromJson(dump.readAllStandardOutput()).object();
    std::function<QJsonObject(const QJsonObject&)> find = [&](const QJsonObject& cata) -> QJsonObject {
        for (const QJsonValue& n : cata.value(QStringLiteral("notes")).toArray())
            if (n.toObject().value(QStringLiteral("name")).toString() == name) return n.toObject();
        for (const QJsonValue& c : cata.value(QStringLiteral("categories")).toArray()) {
            const QJsonObject hit = find(c.toObject());
            if (!hit.isEmpty()) return hit;
        }
        return QJsonObject();
    };
    return find(root.value(QStringLiteral("root")).toObject());
}

// The whole road: a page on a loopback site, handed over the bus with direct
// import on, is filed into the open notebook's selected category, captured
// with its picture, shown in the tree and saved.
void AutomationTest::capturedPageReachesTheTreeAndTheFile() {
    const QString site = m_fx->WorkFolder() + QStringLiteral("/site");
    QVERIFY(QDir().mkpath(site));
    QFile page(site + QStringLiteral("/index.html"));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Loopback</title></head><body><p>Hello</p><img src=\"logo.gif\"></body></html>");
    page.close();
    QFile pic(site + QStringLiteral("/logo.gif"));
    QVERIFY(pic.open(QIODevice::WriteOnly));
    pic.write("GIF89a-logo");
    pic.close();

    QProcess server;
    const QString base = StartSite(server, site);
    QVERIFY(!base.isEmpty());
    const QString url = base + QStringLiteral("index.html");

    const QString path = m_fx->CopySample(QStringLiteral("Getting Started.vlt"));
    CClipVaultDoc* pDoc = m_app->OpenDocumentFile(path);
    QVERIFY(pDoc);
    CChildFrame* child = m_app->MainFrame()->ActiveChildFrame();
    QVERIFY(child && child->TreeView());
    m_catcher.m_bPassOn = true;
    g_bDirectImport = true;
    struct Reset {
        ~Reset() { g_bDirectImport = false; }
    } reset;

    QCOMPARE(Call(QStringLiteral("AddNoteFromIE"), {url, QStringLiteral("Loopback page"), 0}).type(),
             QDBusMessage::ReplyMessage);
    QCOMPARE(Call(QStringLiteral("StartImport"), {}).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QVERIFY(!QApplication::activeModalWidget());  // filed directly, no dialog
    QVERIFY(CImportNotice::Current());

    CNoteCata* pCata = child->TreeView()->CurrentCategory();
    if (!pCata) pCata = &pDoc->m_rootCata;
    CNote* pNote = pCata->GetNote("Loopback page");
    QVERIFY(pNote);
    QVERIFY(child->TreeView()->ItemOf(pNote));
    WaitForDownload(*pNote);
    QCOMPARE(pNote->m_nStatus.load(), int(kStatusDone));
    QVERIFY(!pNote->m_attachNames.empty());

    m_app->MainFrame()->ExecuteCommand(cmd::kCmdSave);
    QVERIFY(!pDoc->IsModified());
    const QJsonObject note = DumpedNote(path, QStringLiteral("Loopback page"));
    QVERIFY(!note.isEmpty());
    QCOMPARE(note.value(QStringLiteral("status")).toInt(), 0);
    QCOMPARE(note.value(QStringLiteral("source")).toString(), url);
    QCOMPARE(note.value(QStringLiteral("source_kind")).toInt(), 0);
    QVERIFY(note.value(QStringLiteral("content_size")).toInt() > 0);
    QCOMPARE(note.value(QStringLiteral("attachments")).toArray(), QJsonArray{QStringLiteral("vltlogo.gif")});
    server.closeWriteChannel();
    if (!server.waitForFinished(5000)) server.kill();
}

// Files from a file manager's menu: one batch, filed directly without
// StartImport, each named by its title or file name; a path that is gone
// is refused by name and changes nothing.
void AutomationTest::threeLocalFilesAreFiledAtOnce() {
    QStringList paths;
    for (const char* name : {"one.htm", "two.txt", "three.htm"}) {
        QFile f(m_fx->WorkFolder() + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("<html><head><title>T ") + name + "</title></head><body>x</body></html>");
        paths << f.fileName();
    }
    const QString path = m_fx->CopySample(QStringLiteral("Getting Started.vlt"));
    CClipVaultDoc* pDoc = m_app->OpenDocumentFile(path);
    QVERIFY(pDoc);
    CChildFrame* child = m_app->MainFrame()->ActiveChildFrame();
    QVERIFY(child && child->TreeView());
    CNoteCata* pCata = child->TreeView()->CurrentCategory();
    if (!pCata) pCata = &pDoc->m_rootCata;
    const size_t before = pCata->m_notes.GetCount();
    m_catcher.m_bPassOn = true;
    g_bDirectImport = true;
    struct Reset {
        ~Reset() { g_bDirectImport = false; }
    } reset;

    QCOMPARE(Call(QStringLiteral("AddNotesFromFiles"), {FileArray(paths)}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(pCata->m_notes.GetCount(), before + 3);
    // Pages by their title, the text file by its name.
    QCOMPARE(TitleForSource(paths[1].toStdString()), std::string("two.txt"));
    for (const QString& p : paths) {
        CNote* pNote = pCata->GetNote(TitleForSource(p.toStdString()));
        QVERIFY2(pNote, qPrintable(p));
        QCOMPARE(pNote->m_nSourceKind, 2);
        QVERIFY(child->TreeView()->ItemOf(pNote));
    }
    QVERIFY(m_fx->m_messages.empty());

    // A path that no longer exists: the message, and no note.
    Call(QStringLiteral("AddNotesFromFiles"), {FileArray({m_fx->WorkFolder() + QStringLiteral("/gone.htm")})});
    QCOMPARE(pCata->m_notes.GetCount(), before + 3);
    QVERIFY(m_fx->Shown(33059));
}

// A page as the user's browser showed it: the note holds that text, not what
// a fetch of the address gives, in UTF-8 whatever the page's own mark said,
// with its pictures fetched from the site. An address on disk stays a file.
void AutomationTest::shownPageIsCapturedAsSeen() {
    const QString site = m_fx->WorkFolder() + QStringLiteral("/site");
    QVERIFY(QDir().mkpath(site));
    for (const auto& [name, body] : std::vector<std::pair<QString, QByteArray>>{
             {QStringLiteral("index.html"), "<html><head><title>Fetched</title></head><body>Before log-in</body></html>"},
             {QStringLiteral("logo.gif"), "GIF89a-logo"},
             {QStringLiteral("late.gif"), "GIF89a-late"}}) {
        QFile f(site + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
    }
    QProcess server;
    const QString base = StartSite(server, site);
    QVERIFY(!base.isEmpty());
    const QString url = base + QStringLiteral("index.html");
    const QString shown = QStringLiteral(
        "<!DOCTYPE html><html><head><meta charset=\"windows-1252\"><title>Seen</title></head><body>"
        "<p>After log-in: Gr\u00FC\u00DFe \u4F60\u597D</p><img src=\"logo.gif\"><img src=\"/files/late.gif\">"
        "</body></html>");

    const QString path = m_fx->CopySample(QStringLiteral("Getting Started.vlt"));
    CClipVaultDoc* pDoc = m_app->OpenDocumentFile(path);
    QVERIFY(pDoc);
    CChildFrame* child = m_app->MainFrame()->ActiveChildFrame();
    QVERIFY(child && child->TreeView());
    m_catcher.m_bPassOn = true;
    g_bDirectImport = true;
    struct Reset {
        ~Reset() { g_bDirectImport = false; }
    } reset;
    QCOMPARE(Call(QStringLiteral("AddNoteFromPage"), {url, QStringLiteral("Shown page"), shown}).type(),
             QDBusMessage::ReplyMessage);
    QVERIFY(m_catcher.m_posted.empty());  // pending until StartImport
    QCOMPARE(Call(QStringLiteral("StartImport"), {}).type(), QDBusMessage::ReplyMessage);
    CNoteCata* pCata = child->TreeView()->CurrentCategory();
    if (!pCata) pCata = &pDoc->m_rootCata;
    CNote* pNote = pCata->GetNote("Shown page");
    QVERIFY(pNote);
    WaitForDownload(*pNote);
    QCOMPARE(pNote->m_nStatus.load(), int(kStatusDone));
    QVERIFY(pNote->m_strShownPage.empty());
    const std::string content(pNote->Content().begin(), pNote->Content().end());
    QVERIFY2(content.find("After log-in: Gr\xC3\xBC\xC3\x9F" "e \xE4\xBD\xA0\xE5\xA5\xBD") != std::string::npos,
             content.c_str());
    QVERIFY(content.find("Before log-in") == std::string::npos);
    // The text's own encoding is marked ahead of the page's stale one: a
    // byte order mark, which browsers take before any meta.
    QVERIFY2(content.compare(0, 3, "\xEF\xBB\xBF") == 0, content.c_str());
    QCOMPARE(pNote->m_strExt, std::string("htm"));

    m_app->MainFrame()->ExecuteCommand(cmd::kCmdSave);
    const QJsonObject note = DumpedNote(path, QStringLiteral("Shown page"));
    QVERIFY(!note.isEmpty());
    QCOMPARE(note.value(QStringLiteral("source")).toString(), url);
    QCOMPARE(note.value(QStringLiteral("source_kind")).toInt(), 0);
    QStringList attachments;
    for (const QJsonValue& a : note.value(QStringLiteral("attachments")).toArray()) attachments << a.toString();
    attachments.sort();
    QCOMPARE(attachments, (QStringList{QStringLiteral("vltlate.gif"), QStringLiteral("vltlogo.gif")}));

    // A page on disk is imported from its file; the text is not used.
    QFile local(m_fx->WorkFolder() + QStringLiteral("/saved.htm"));
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("<html><head><title>On disk</title></head><body>disk</body></html>");
    local.close();
    m_catcher.m_bPassOn = false;
    Call(QStringLiteral("AddNoteFromPage"), {QUrl::fromLocalFile(local.fileName()).toString(), QString(), shown});
    Call(QStringLiteral("StartImport"), {});
    QCOMPARE(m_catcher.m_posted.size(), size_t(2));
    QCOMPARE(m_catcher.m_posted.back().items.size(), size_t(1));
    const CImportItem& item = m_catcher.m_posted.back().items[0];
    QCOMPARE(item.m_nImportKind, 2);
    QCOMPARE(QString::fromStdString(item.m_strSource), local.fileName());
    QVERIFY(item.m_strShownPage.empty());
    server.closeWriteChannel();
    if (!server.waitForFinished(5000)) server.kill();
}

// Two callers fill their batches side by side: each StartImport hands over
// its own caller's items only, and a caller that leaves without starting
// takes its batch with it.
void AutomationTest::eachCallerStartsOnlyItsOwnBatch() {
    const QString a = QStringLiteral("callerA"), b = QStringLiteral("callerB");
    auto add = [&](const QString& conn, const char* url) {
        return Call(QStringLiteral("AddNoteFromIE"), {QString::fromLatin1(url), QString(), 0}, kInterface, conn);
    };
    auto sources = [](const Posted& p) {
        std::vector<std::string> out;
        for (const CImportItem& item : p.items) out.push_back(item.m_strSource);
        return out;
    };
    add(a, "http://127.0.0.1/a1");
    add(b, "http://127.0.0.1/b1");
    Call(QStringLiteral("AddNoteFromPage"), {QStringLiteral("http://127.0.0.1/b2"), QString(), QStringLiteral("<p>")},
         kInterface, b);
    add(a, "http://127.0.0.1/a2");
    Call(QStringLiteral("StartImport"), {}, kInterface, a);
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    QCOMPARE(sources(m_catcher.m_posted[0]), (std::vector<std::string>{"http://127.0.0.1/a1", "http://127.0.0.1/a2"}));
    Call(QStringLiteral("StartImport"), {}, kInterface, a);  // A has nothing more
    QCOMPARE(m_catcher.m_posted.size(), size_t(1));
    Call(QStringLiteral("StartImport"), {}, kInterface, b);
    QCOMPARE(m_catcher.m_posted.size(), size_t(2));
    QCOMPARE(sources(m_catcher.m_posted[1]), (std::vector<std::string>{"http://127.0.0.1/b1", "http://127.0.0.1/b2"}));

    // B collects again and leaves the bus before starting: gone with it.
    add(b, "http://127.0.0.1/b3");
    QDBusConnection::disconnectFromBus(b);
    QTRY_VERIFY_WITH_TIMEOUT(m_app->Automation()->m_pendingImports.empty(), 10000);
    // A new caller under the old connection's name starts nothing of B's,
    // and A's next batch holds only its own.
    Call(QStringLiteral("StartImport"), {}, kInterface, b);
    add(a, "http://127.0.0.1/a3");
    Call(QStringLiteral("StartImport"), {}, kInterface, a);
    QCOMPARE(m_catcher.m_posted.size(), size_t(3));
    QCOMPARE(sources(m_catcher.m_posted[2]), std::vector<std::string>{"http://127.0.0.1/a3"});
    QDBusConnection::disconnectFromBus(a);
    QVERIFY(m_app->Automation()->m_pendingImports.empty());
}

CLIPVAULT_GUI_TEST_MAIN(AutomationTest)
#include "AutomationTest.moc"
