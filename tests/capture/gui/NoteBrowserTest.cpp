// The note browser in its notebook window: what it shows for a note in each
// download state, the links it turns into commands, its own commands, and
// what its pages may read.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/NotePanes.h"
#include "platform/gui/TemplateDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <atomic>
#include <thread>
#include <tuple>

namespace {

QVariant Js(QWebEngineView* view, const QString& script) { return RunPageScript(view, script); }

QString BodyText(QWebEngineView* view) {
    return Js(view, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

// A real click in the middle of the element the selector finds. The page may
// still be on its way in (a new view reports the blank page as complete), so
// the element is looked for again for a while before giving up.
bool Click(QWebEngineView* view, const QString& selector) {
    QVariantList r;
    for (int i = 0; i < 100 && r.size() != 2; ++i) {
        if (i) QTest::qWait(50);
        r = Js(view, QStringLiteral("(function(){var e=document.querySelector('%1');if(!e)return [];"
                                    "var b=e.getBoundingClientRect();if(!b.width&&!b.height)return [];"
                                    "return [b.left+b.width/2,b.top+b.height/2];})()")
                         .arg(selector))
                .toList();
    }
    if (r.size() != 2) return false;
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    const QPoint at(qRound(r[0].toDouble() * view->zoomFactor()), qRound(r[1].toDouble() * view->zoomFactor()));
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

bool Enabled(CMainFrame* frame, unsigned nID, int* pCheck = nullptr) {
    CCmdUI ui(nID);
    const bool handled = frame->OnCmdMsg(nID, &ui);
    if (pCheck) *pCheck = ui.m_nCheck;
    return handled && ui.m_bEnabled;
}

// A download that waits until it is let go or stopped, then fills its note.
struct CHeldDownloads {
    std::atomic<bool> release{false};
    std::atomic<bool> succeed{true};
    std::string content = "<html><body><p>Captured words from the web</p></body></html>";
    CClipVaultDoc::DownloadBody old = CClipVaultDoc::GetDownloadBody();
    CHeldDownloads() {
        CClipVaultDoc::SetDownloadBody([this](CNote& note, const CDownloadSettings&) {
            while (!release && !note.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (note.StopRequested() || !succeed) return false;
            CNoteUpdate update(note);
            if (!update) return false;
            note.SetContent(std::vector<uint8_t>(content.begin(), content.end()));
            note.m_strExt = "htm";
            note.m_nContentType = kContentHeld;
            return true;
        });
    }
    ~CHeldDownloads() {
        release = true;
        CClipVaultDoc::SetDownloadBody(old);
    }
};

// An editor that only says what it was given.
class CStubEditor : public QWidget, public CCmdTarget, public INoteEditorPane {
public:
    explicit CStubEditor(QWidget* pParent) : QWidget(pParent) {}
    QWidget* Widget() override { return this; }
    CCmdTarget* Target() override { return this; }
    bool LoadNote(CNote* pNote, bool, int) override {
        m_pNote = pNote;
        return true;
    }
    bool SaveNote() override { return true; }
    CNote* EditedNote() const override { return m_pNote; }
    void CloseWindow() override {}
    CNote* m_pNote = nullptr;
};

}  // namespace

class NoteBrowserTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void statusPagesSayWhatTheDownloadDoes();
    void aDownloadingNoteShowsItsPageOnceFetched();
    void commandLinksRunAndStay();
    void noteLinksShowThatNote();
    void otherLinksNavigateOrLeaveForTheDesktop();
    void everyCommandOnce();
    void theViewsOwnCommands();
    void printingToPdfKeepsTheNote();
    void leavingADocumentTakesItBack();
    void statusPagesShowSourceAndErrorAsText();
    void pagesReadFilesOnlyInTheWorkFolder();
    void picturesOfTheStatusPages();

private:
    struct CNotebook {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
        CChildFrame* child = nullptr;
        CClipVaultDoc* doc = nullptr;
        CNote* Add(const std::string& name, int status = kStatusDone, const std::string& html = std::string()) {
            CNote* p = doc->m_rootCata.AddNewNote(name);
            p->m_nID = doc->NextNoteID();
            p->m_strExt = "htm";
            p->m_nContentType = kContentHeld;
            p->m_strSource = "http://127.0.0.1:9/" + name + ".htm";
            p->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
            child->TreeView()->InsertNote(p);
            if (status != kStatusDone) {
                doc->ListForDownload(p, status == kStatusRunning);
                if (status == kStatusFailed) doc->FailNote(p);
                if (status == kStatusQueued) p->m_nStatus = kStatusQueued;
            }
            return p;
        }
        CNoteBrowserView* View() const { return child->BrowserView(); }
        // Shows the note and waits for its page (or status page) to be there.
        bool Show(CNote* p) {
            child->ShowNote(p);
            return Loaded();
        }
        bool Loaded() {
            CNoteBrowserView* v = View();
            if (!v) return false;
            for (int i = 0; i < 100; ++i) {
                QTest::qWait(50);
                if (Js(v, QStringLiteral("document.readyState")).toString() != QLatin1String("complete")) continue;
                // A view just made reports its blank page complete before the note's page starts.
                if (Js(v, QStringLiteral("location.href")).toString() == QLatin1String("about:blank")) continue;
                if (v->ShownStatusKind() >= 0 && v->ShownStatusKind() != CNoteBrowserView::kStatusEmpty &&
                    BodyText(v).isEmpty())
                    continue;
                return true;
            }
            return false;
        }
    };
    bool Open(CNotebook& nb);
};

void NoteBrowserTest::init() {
    CChildFrame::s_fnMakeEditor = nullptr;
    CChildFrame::s_fnMakeList = nullptr;
}

void NoteBrowserTest::cleanup() {}

bool NoteBrowserTest::Open(CNotebook& nb) {
    nb.fx = std::make_unique<CGuiTestFixture>();
    nb.app = nb.fx->StartApp();
    if (!nb.app) return false;
    nb.frame = nb.app->MainFrame();
    nb.frame->resize(900, 700);
    nb.frame->show();
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    nb.child = nb.frame->ActiveChildFrame();
    if (!nb.child) return false;
    nb.child->showMaximized();
    nb.doc = &nb.child->Document();
    return true;
}

void NoteBrowserTest::statusPagesSayWhatTheDownloadDoes() {
    CHeldDownloads downloads;
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* running = nb.Add("Running", kStatusRunning);
    CNote* failed = nb.Add("Failed", kStatusFailed);
    CNote* queued = nb.Add("Queued", kStatusQueued);
    CNote* held = nb.Add("Held", kStatusHeld);
    failed->m_strError = "The server said no";
    QCOMPARE(running->m_nStatus.load(), int(kStatusRunning));

    const struct {
        CNote* note;
        int kind;
        const char* heading;
    } cases[] = {{running, CNoteBrowserView::kStatusRunningNote, "Downloading"},
                 {queued, CNoteBrowserView::kStatusQueuedNote, "Queued"},
                 {held, CNoteBrowserView::kStatusHeldNote, "Waiting"},
                 {failed, CNoteBrowserView::kStatusFailedNote, "Download failed"}};
    for (const auto& c : cases) {
        QVERIFY(nb.Show(c.note));
        CNoteBrowserView* v = nb.View();
        QCOMPARE(v->ShownNote(), c.note);
        QCOMPARE(v->ShownStatusKind(), c.kind);
        QCOMPARE(v->url(), CNoteBrowserView::TemplateUrl());
        const QString text = BodyText(v);
        QVERIFY2(text.contains(QLatin1String(c.heading)), qPrintable(text));
        QVERIFY2(text.contains(QString::fromStdString(c.note->m_strSource)), qPrintable(text));
        // The source is a link to itself.
        QCOMPARE(Js(v, QStringLiteral("document.querySelector('a').href")).toString(),
                 QString::fromStdString(c.note->m_strSource));
        QCOMPARE(Js(v, QStringLiteral("getComputedStyle(document.body).backgroundColor")).toString(),
                 QStringLiteral("rgb(255, 255, 232)"));
    }
    QVERIFY(BodyText(nb.View()).contains(QLatin1String("The server said no")));
    // The command links resolve beside the template page.
    QCOMPARE(Js(nb.View(), QStringLiteral("document.querySelector('a[href=\"ImporteNow\"]').href")).toString(),
             QStringLiteral("qrc:/browser/ImporteNow"));

    // The download groups' pages.
    const char* groups[] = {"Running downloads", "Queued downloads", "Waiting downloads", "Failed downloads"};
    for (int kind = 4; kind <= 7; ++kind) {
        nb.View()->ShowStatusPage(kind);
        QVERIFY(nb.Loaded());
        QVERIFY2(BodyText(nb.View()).contains(QLatin1String(groups[kind - 4])), qPrintable(BodyText(nb.View())));
    }
    // A note told to stop, and no note at all, show the empty page.
    queued->m_nStatus = kStatusStopRequested;
    QVERIFY(nb.Show(queued));
    QCOMPARE(nb.View()->ShownStatusKind(), int(CNoteBrowserView::kStatusEmpty));
    QVERIFY(BodyText(nb.View()).trimmed().isEmpty());
    queued->m_nStatus = kStatusQueued;
    nb.View()->ShowNothing();
    QVERIFY(nb.Loaded());
    QVERIFY(!nb.View()->ShownNote());
    QVERIFY(BodyText(nb.View()).trimmed().isEmpty());
    downloads.release = true;
}

void NoteBrowserTest::aDownloadingNoteShowsItsPageOnceFetched() {
    CHeldDownloads downloads;
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* note = nb.Add("Later", kStatusHeld);
    QVERIFY(nb.Show(note));
    QCOMPARE(nb.View()->ShownStatusKind(), int(CNoteBrowserView::kStatusHeldNote));
    // "Download now" on the waiting page, clicked.
    QVERIFY(Click(nb.View(), QStringLiteral("a[href=\"ImporteNow\"]")));
    QTRY_COMPARE(note->m_nStatus.load(), int(kStatusRunning));
    QTRY_COMPARE(nb.View()->ShownStatusKind(), int(CNoteBrowserView::kStatusRunningNote));
    QVERIFY(nb.Loaded());
    QVERIFY(BodyText(nb.View()).contains(QLatin1String("Downloading")));
    // The worker ends: the page it fetched replaces the status page.
    downloads.release = true;
    QTRY_COMPARE(note->m_nStatus.load(), int(kStatusDone));
    QTRY_COMPARE(nb.View()->ShownStatusKind(), -1);
    QVERIFY(nb.Loaded());
    QTRY_VERIFY(BodyText(nb.View()).contains(QLatin1String("Captured words from the web")));
    // Served from the working copy under the note's own origin.
    QCOMPARE(nb.View()->url().scheme(), QStringLiteral("cvpage"));
    QCOMPARE(nb.View()->ShownUrl().toLocalFile(), QString::fromStdString(note->GetWorkPath()));

    // Shown again, the page is refreshed from the file on show; the note's
    // working copy is not written anew.
    QFile file(nb.View()->ShownUrl().toLocalFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<html><body>Changed on disk</body></html>");
    file.close();
    QSignalSpy started(nb.View(), &QWebEngineView::loadStarted);
    nb.View()->ShowNote(note);
    QTRY_VERIFY(started.count() >= 1);
    QVERIFY(nb.Loaded());
    QTRY_VERIFY(BodyText(nb.View()).contains(QLatin1String("Changed on disk")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("Changed on disk"));
}

void NoteBrowserTest::commandLinksRunAndStay() {
    CHeldDownloads downloads;
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* note = nb.Add("Page", kStatusDone,
                         "<html><body><p><a id=\"go\" href=\"some/path/iMPORTEnOW\">fetch again</a></p></body></html>");
    QVERIFY(nb.Show(note));
    const QUrl page = nb.View()->url();
    QCOMPARE(page.scheme(), QStringLiteral("cvpage"));
    // A kept page naming a command runs nothing, even clicked: only the
    // program's own status page does.
    QVERIFY(Click(nb.View(), QStringLiteral("#go")));
    QTest::qWait(300);
    QCOMPARE(note->m_nStatus.load(), int(kStatusDone));
    QCOMPARE(nb.View()->ShownNote(), note);
    QCOMPARE(nb.View()->url(), page);
}

void NoteBrowserTest::noteLinksShowThatNote() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* target = nb.Add("Target", kStatusDone, "<html><body>The target note</body></html>");
    target->m_nID = 12;
    nb.child->TreeView()->RemoveRecord(target);
    nb.child->TreeView()->InsertNote(target);
    CNote* from = nb.Add("From", kStatusDone,
                         "<html><body><a id=\"named\" href=\"clipvault:12 = Target\">named</a> "
                         "<a id=\"bare\" href=\"clipvault:12\">bare</a></body></html>");
    for (const char* link : {"#named", "#bare"}) {
        QVERIFY(nb.Show(from));
        QCOMPARE(nb.child->CurrentNote(), from);
        QVERIFY(Click(nb.View(), QLatin1String(link)));
        QTRY_COMPARE(nb.child->CurrentNote(), target);
        QCOMPARE(nb.View()->ShownNote(), target);
        QVERIFY(nb.Loaded());
        QTRY_VERIFY(BodyText(nb.View()).contains(QLatin1String("The target note")));
    }
    // A note that opens in the editor replaces the browser the link was in.
    QVERIFY(nb.Show(from));
    CChildFrame::s_fnMakeEditor = [](INoteFrame&, CClipVaultDoc&, QWidget* pParent) { return new CStubEditor(pParent); };
    const uint32_t oldView = AppOptions().m_nDefaultView;
    AppOptions().m_nDefaultView = 0;
    QVERIFY(Click(nb.View(), QStringLiteral("#bare")));
    QTRY_COMPARE(nb.child->CurrentNote(), target);
    QVERIFY(!nb.View());
    QVERIFY(nb.child->EditorView());
    QCOMPARE(nb.child->EditorView()->EditedNote(), target);
    AppOptions().m_nDefaultView = oldView;
    CChildFrame::s_fnMakeEditor = nullptr;
}

namespace {
struct CRecordingOpener : IDesktopOpener {
    QList<QUrl> opened;
    void OpenOnDesktop(const QUrl& url) override { opened << url; }
};
}  // namespace

void NoteBrowserTest::otherLinksNavigateOrLeaveForTheDesktop() {
    CNotebook nb;
    QVERIFY(Open(nb));
    const QString folder = QString::fromStdString(nb.doc->GetWorkFolder(true));
    QFile other(QDir(folder).filePath(QStringLiteral("vltother.htm")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("<html><body>The other page</body></html>");
    other.close();
    CNote* note = nb.Add("Links", kStatusDone,
                         "<html><body><a id=\"out\" href=\"vlthttp://127.0.0.1:9/far.htm\">out</a> "
                         "<a id=\"mail\" href=\"vltMAILTO:someone@127.0.0.1\">mail</a> "
                         "<a id=\"file\" href=\"vltfile:///tmp/launch-me.sh\">file</a> "
                         "<a id=\"smb\" href=\"vltsmb://127.0.0.1/share\">share</a> "
                         "<a id=\"next\" href=\"vltother.htm\">next</a> "
                         "<a id=\"web\" href=\"http://127.0.0.1:9/web.htm\">web</a></body></html>");
    {
        // A view of its own, whose desktop opener only records.
        CRecordingOpener opener;
        CNoteBrowserView view(*nb.child, *nb.doc, nullptr, &opener);
        view.resize(600, 400);
        view.show();
        view.ShowNote(note);
        QVERIFY(Click(&view, QStringLiteral("#out")));
        QTRY_COMPARE(opener.opened.size(), 1);
        QCOMPARE(opener.opened.first(), QUrl(QStringLiteral("http://127.0.0.1:9/far.htm")));
        QVERIFY(Click(&view, QStringLiteral("#mail")));
        QTRY_COMPARE(opener.opened.size(), 2);
        QCOMPARE(opener.opened.last().scheme(), QStringLiteral("mailto"));
        const QUrl page = view.url();
        // A file or a share is the desktop's to run, not a page's to ask for:
        // refused with a word, and nothing opens.
        for (const char* link : {"#file", "#smb"}) {
            nb.fx->Clear();
            QVERIFY(Click(&view, QLatin1String(link)));
            QTRY_VERIFY(nb.fx->Shown(ids::IDS_LINK_NOT_OPENED));
            QCOMPARE(nb.fx->m_messages.back().m_nType, host::MB_OK | host::MB_ICONEXCLAMATION);
            QVERIFY(nb.fx->m_messages.back().m_strText.contains(QLatin1String(link + 1)));
        }
        QTest::qWait(200);
        QCOMPARE(opener.opened.size(), 2);
        QCOMPARE(view.url(), page);
    }
    QVERIFY(nb.Show(note));
    const QUrl page = nb.View()->url();
    // A web link leaves the notebook for the live page.
    QVERIFY(Click(nb.View(), QStringLiteral("#web")));
    QTRY_COMPARE(nb.View()->url(), QUrl(QStringLiteral("http://127.0.0.1:9/web.htm")));
    // Showing the note again loads its own page, not the one the link led to
    // (under a new origin).
    nb.View()->ShowNote(note);
    QTRY_COMPARE(nb.View()->url().path(), page.path());
    QCOMPARE(nb.View()->url().scheme(), page.scheme());
    QVERIFY(nb.Loaded());
    // Another file of the working folder is not the note's: the page cannot
    // open it.
    QVERIFY(Click(nb.View(), QStringLiteral("#next")));
    QTest::qWait(500);
    QVERIFY(!BodyText(nb.View()).contains(QLatin1String("The other page")));
}

void NoteBrowserTest::everyCommandOnce() {
    CHeldDownloads downloads;
    CNotebook nb;
    QVERIFY(Open(nb));
    CNoteBrowserView* v = nb.View();
    QVERIFY(v);
    auto run = [&](const char* name, CNote* pNote, uint32_t number = 0) {
        QCoreApplication::postEvent(nb.View(), new CBrowserCommand(nb.doc, QLatin1String(name), pNote, number));
        QTest::qWait(50);
    };
    auto has = [&](CNote* p) {
        std::vector<CNote*> notes;
        for (auto it = nb.doc->m_rootCata.m_notes.begin(); it != nb.doc->m_rootCata.m_notes.end(); ++it)
            notes.push_back(it.value());
        return std::find(notes.begin(), notes.end(), p) != notes.end();
    };
    auto status = [](CNote* p) { return p->m_nStatus.load(); };

    CNote* r = nb.Add("R", kStatusRunning);
    QCOMPARE(status(r), int(kStatusRunning));
    run("ImportAllICancel", nullptr);
    QTRY_COMPARE(status(r), int(kStatusDone));

    CNote* q = nb.Add("Q", kStatusQueued);
    run("QueueAllImporteLater", nullptr);
    QCOMPARE(status(q), int(kStatusHeld));
    run("SheduleAllImporteNow", nullptr);
    QVERIFY(status(q) == kStatusRunning || status(q) == kStatusQueued);
    QTRY_COMPARE(status(q), int(kStatusRunning));
    run("CancelImporting", q);
    QTRY_COMPARE(status(q), int(kStatusDone));

    CNote* f = nb.Add("F", kStatusFailed);
    run("FailAllImporteLater", nullptr);
    QCOMPARE(status(f), int(kStatusHeld));
    nb.doc->FailNote(f);
    run("FailAllImporteNow", nullptr);
    QTRY_COMPARE(status(f), int(kStatusRunning));
    run("ImporteLater", f);
    QCOMPARE(status(f), int(kStatusHeld));
    run("importenow", f);  // any case; waits while the first worker ends
    QVERIFY(status(f) == kStatusRunning || status(f) == kStatusQueued);

    // The deleting ones take exactly the notes of their state.
    downloads.release = true;
    QTRY_COMPARE(nb.doc->m_nRunning, 0);
    QTRY_VERIFY(!nb.doc->HasWorker(f));
    downloads.release = false;
    f = nb.Add("R2", kStatusRunning);
    QCOMPARE(status(f), int(kStatusRunning));
    CNote* keep = nb.Add("Keep");
    CNote* h = nb.Add("H", kStatusHeld);
    CNote* f2 = nb.Add("F2", kStatusFailed);
    run("ImportAllDeleteNotes", nullptr);
    QVERIFY(!has(f));
    QVERIFY(has(h) && has(f2) && has(keep));
    // (Queued only now: the stopped download would have started it.)
    CNote* q2 = nb.Add("Q2", kStatusQueued);
    run("QueueAllDeleteNotes", nullptr);
    QVERIFY(!has(q2));
    run("SheduleAllDeleteNotes", nullptr);
    QVERIFY(!has(h));
    run("FailAllDeleteNotes", nullptr);
    QVERIFY(!has(f2));
    QVERIFY(has(keep) && has(r) && has(q));
    QVERIFY(nb.Show(keep));
    run("DeleteTheNote", keep);
    QVERIFY(!has(keep));
    QVERIFY(!nb.child->CurrentNote());

    // A note that went between the click and the command is left alone.
    CNote* gone = nb.Add("Gone", kStatusHeld);
    QCoreApplication::postEvent(nb.View(), new CBrowserCommand(nb.doc, QStringLiteral("ImporteNow"), gone));
    nb.doc->DeleteItem(gone);
    QTest::qWait(50);
    QCOMPARE(nb.doc->m_nRunning, 0);

    // A locked notebook deletes nothing.
    nb.doc->SetPassword("secret");
    QVERIFY(nb.doc->IsLocked());
    nb.fx->Clear();
    run("DeleteTheNote", r);
    QVERIFY(has(r));
    QVERIFY(nb.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    nb.doc->Unlock("secret");

    run("GoItemID", nullptr, q->m_nID);
    QTRY_COMPARE(nb.child->CurrentNote(), q);
    QCOMPARE(nb.View()->ShownNote(), q);
}

void NoteBrowserTest::theViewsOwnCommands() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* note = nb.Add("Words", kStatusDone, "<html><body><p>Plain words to copy</p></body></html>");
    QVERIFY(nb.Show(note));
    CNoteBrowserView* v = nb.View();
    // A click in the page makes the browser the view commands go to.
    QVERIFY(Click(v, QStringLiteral("p")));
    QTRY_COMPARE(nb.child->ActiveView(), static_cast<CCmdTarget*>(v));
    // Find has no place here.
    QVERIFY(!Enabled(nb.frame, cmd::kCmdFind));
    QVERIFY(Enabled(nb.frame, cmd::kCmdCopy));
    QVERIFY(Enabled(nb.frame, cmd::kCmdSelectAll));
    QVERIFY(Enabled(nb.frame, cmd::kCmdPrint));

    // Text sizes, largest to smallest, one check mark at a time.
    const double zooms[] = {1.5, 1.25, 1.0, 0.85, 0.7};
    for (unsigned id = cmd::kCmdTextSizeLargest; id <= cmd::kCmdTextSizeSmallest; ++id) {
        nb.frame->ExecuteCommand(id);
        QCOMPARE(v->zoomFactor(), zooms[id - cmd::kCmdTextSizeLargest]);
        for (unsigned other = cmd::kCmdTextSizeLargest; other <= cmd::kCmdTextSizeSmallest; ++other) {
            int check = -1;
            QVERIFY(Enabled(nb.frame, other, &check));
            QCOMPARE(check, other == id ? 1 : 0);
        }
    }
    nb.frame->ExecuteCommand(cmd::kCmdTextSizeMedium);

    QCOMPARE(nb.child->ActiveView(), static_cast<CCmdTarget*>(v));
    nb.frame->ExecuteCommand(cmd::kCmdSelectAll);
    QTRY_VERIFY(Js(v, QStringLiteral("window.getSelection().toString()")).toString().contains(QLatin1String("Plain words")));
    QGuiApplication::clipboard()->clear();
    nb.frame->ExecuteCommand(cmd::kCmdCopy);
    QTRY_VERIFY(QGuiApplication::clipboard()->text().contains(QLatin1String("Plain words to copy")));

    QSignalSpy started(v, &QWebEngineView::loadStarted);
    nb.frame->ExecuteCommand(cmd::kCmdBrowserRefresh);
    QTRY_VERIFY(started.count() >= 1);
    nb.frame->ExecuteCommand(cmd::kCmdBrowserStop);
    QVERIFY(nb.Loaded() || true);

    int context = 0;
    const HelpHandler old = SetHelpHandler([&](int n) { context = n; });
    v->setFocus();
    QTest::keyClick(v->focusProxy() ? v->focusProxy() : v, Qt::Key_F1);
    QTRY_COMPARE(context, 4004);
    SetHelpHandler(old);
}

void NoteBrowserTest::printingToPdfKeepsTheNote() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) QSKIP("pdftotext is not installed");
    CNotebook nb;
    QVERIFY(Open(nb));
    const std::string html = "<html><body><h1>Printable heading</h1><p>Words on paper</p></body></html>";
    CNote* note = nb.Add("Print", kStatusDone, html);
    QVERIFY(nb.Show(note));
    // Whatever the working copy has come to hold since, printing takes
    // nothing from it.
    {
        QFile copy(QString::fromStdString(note->GetWorkPath()));
        QVERIFY(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        copy.write("<html><body>not the note</body></html>");
    }
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("note.pdf"));
    int asked = 0;
    const auto old = CNoteBrowserView::s_fnAskPrinter;
    CNoteBrowserView::s_fnAskPrinter = [&](QPrinter& printer, QWidget*) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    QSignalSpy done(nb.View(), &CNoteBrowserView::PrintDone);
    nb.frame->ExecuteCommand(cmd::kCmdPrint);
    QCOMPARE(asked, 1);
    // One job at a time.
    QVERIFY(!Enabled(nb.frame, cmd::kCmdPrint));
    QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 20000);
    QVERIFY(done.first().first().toBool());
    CNoteBrowserView::s_fnAskPrinter = old;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(text.contains(QLatin1String("Printable heading")) && text.contains(QLatin1String("Words on paper")),
             qPrintable(text));
    QCOMPARE(std::string(note->Content().begin(), note->Content().end()), html);
    QVERIFY(Enabled(nb.frame, cmd::kCmdPrint));
    // A cancelled dialog prints nothing.
    CNoteBrowserView::s_fnAskPrinter = [](QPrinter&, QWidget*) { return false; };
    nb.frame->ExecuteCommand(cmd::kCmdPrint);
    QVERIFY(Enabled(nb.frame, cmd::kCmdPrint));
    CNoteBrowserView::s_fnAskPrinter = old;
    // The printed file kept as a note shows in the engine's viewer, not as
    // an empty page.
    QFile printed(pdf);
    QVERIFY(printed.open(QIODevice::ReadOnly));
    const QByteArray bytes = printed.readAll();
    CNote* kept = nb.Add("Printed", kStatusDone, std::string(bytes.constData(), size_t(bytes.size())));
    kept->m_strExt = "pdf";
    QVERIFY(nb.Show(kept));
    QTRY_VERIFY_WITH_TIMEOUT(Js(nb.View(), QStringLiteral("!!document.querySelector('embed[type=\"application/pdf\"]')")).toBool(),
                             10000);
}

void NoteBrowserTest::leavingADocumentTakesItBack() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* text = nb.Add("Text", kStatusDone, "first words");
    text->m_strExt = "txt";
    text->m_nSourceKind = kSourceLocalFile;
    CNote* page = nb.Add("Page", kStatusDone, "<html><body>a page</body></html>");
    page->m_nSourceKind = kSourceLocalFile;
    CNote* other = nb.Add("Other", kStatusDone, "<html><body>other</body></html>");
    auto contentOf = [](CNote* p) { return std::string(p->Content().begin(), p->Content().end()); };
    auto overwrite = [&](CNote* p, const char* bytes) {
        QFile f(QString::fromStdString(p->GetWorkPath()));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    // A document shown as what it is goes back into its note when the
    // window leaves it.
    QVERIFY(nb.Show(text));
    QVERIFY(BodyText(nb.View()).contains(QLatin1String("first words")));
    overwrite(text, "second words");
    nb.doc->SetModifiedFlag(false);
    QVERIFY(nb.Show(other));
    QCOMPARE(contentOf(text), std::string("second words"));
    QVERIFY(nb.doc->IsModified());
    // A page stays as the notebook has it.
    QVERIFY(nb.Show(page));
    overwrite(page, "<html><body>changed</body></html>");
    nb.doc->SetModifiedFlag(false);
    QVERIFY(nb.Show(other));
    QCOMPARE(contentOf(page), std::string("<html><body>a page</body></html>"));
    QVERIFY(!nb.doc->IsModified());
    // A locked notebook says so and keeps what it holds.
    QVERIFY(nb.Show(text));
    overwrite(text, "third words");
    nb.doc->SetPassword("secret");
    nb.fx->Clear();
    nb.View()->SaveShownPage();
    QVERIFY(nb.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(contentOf(text), std::string("second words"));
    nb.doc->Unlock("secret");
}

void NoteBrowserTest::statusPagesShowSourceAndErrorAsText() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* note = nb.Add("Hostile", kStatusFailed);
    note->m_strSource = "http://127.0.0.1:9/a?<img src=x onerror=\"document.title='owned'\">";
    note->m_strError = "<b id=\"inj\">bad</b> & worse";
    QVERIFY(nb.Show(note));
    CNoteBrowserView* v = nb.View();
    const QString text = BodyText(v);
    QVERIFY2(text.contains(QLatin1String("<b id=\"inj\">bad</b> & worse")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("<img src=x")), qPrintable(text));
    QCOMPARE(Js(v, QStringLiteral("document.querySelectorAll('img, #inj').length")).toInt(), 0);
    QTest::qWait(200);
    QVERIFY(Js(v, QStringLiteral("document.title")).toString() != QLatin1String("owned"));
    // A source that is script is shown but not linked.
    note->m_strSource = "javascript:document.title='owned'";
    v->ShowNote(note);
    QVERIFY(nb.Loaded());
    QVERIFY(BodyText(v).contains(QLatin1String("javascript:document.title")));
    QCOMPARE(Js(v, QStringLiteral("document.querySelector('a').getAttribute('href')")).toString(),
             QStringLiteral("about:blank"));
}

void NoteBrowserTest::pagesReadFilesOnlyInTheWorkFolder() {
    CNotebook nb;
    QVERIFY(Open(nb));
    QTemporaryDir outside;
    QFile secret(outside.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET-OUTSIDE");
    secret.close();
    const QString folder = QString::fromStdString(nb.doc->GetWorkFolder(true));
    QFile inside(QDir(folder).filePath(QStringLiteral("vltinside.txt")));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.write("INSIDE-FOLDER");
    inside.close();
    // A link in the working folder that leads out is outside too.
    QVERIFY(QFile::link(secret.fileName(), QDir(folder).filePath(QStringLiteral("vltlink.txt"))));
    const QString script = QStringLiteral(
        "<script>function get(u){try{var x=new XMLHttpRequest();x.open('GET',u,false);x.send();return x.responseText;}"
        "catch(e){return 'blocked';}}"
        "document.documentElement.setAttribute('data-r',JSON.stringify([get('%1'),get('vltinside.txt'),"
        "get('vltlink.txt')]));</script>")
                               .arg(QUrl::fromLocalFile(secret.fileName()).toString());
    CNote* note = nb.Add("Reader", kStatusDone, ("<html><head>" + script + "</head><body>reader</body></html>").toStdString());
    // With the notebook's page scripts on, which the view remembers.
    nb.frame->ExecuteCommand(cmd::kCmdPageScripts);
    QVERIFY(nb.View()->PageScriptsOn());
    QVERIFY(nb.Show(note));
    const QVariantList results =
        Js(nb.View(), QStringLiteral("JSON.parse(document.documentElement.getAttribute('data-r')||'[]')")).toList();
    QCOMPARE(results.size(), 3);
    QVERIFY2(!results[0].toString().contains(QLatin1String("SECRET")), qPrintable(results[0].toString()));
    // Another file of the working folder is no file of this note's.
    QVERIFY2(!results[1].toString().contains(QLatin1String("INSIDE")), qPrintable(results[1].toString()));
    QVERIFY2(!results[2].toString().contains(QLatin1String("SECRET")), qPrintable(results[2].toString()));
    QVERIFY(!CNoteBrowserView::FileAccessAllowed(QUrl::fromLocalFile(secret.fileName())));
    QVERIFY(CNoteBrowserView::FileAccessAllowed(QUrl::fromLocalFile(inside.fileName())));
    QVERIFY(CNoteBrowserView::FileAccessAllowed(CNoteBrowserView::TemplateUrl()));
    // A folder whose name begins like the working folder's is another one.
    QVERIFY(!CNoteBrowserView::FileAccessAllowed(QUrl::fromLocalFile(folder + QStringLiteral("x/a.htm"))));
    // Another notebook's browser does not reach into this folder.
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* second = nb.frame->ActiveChildFrame();
    QVERIFY(second && second != nb.child && second->BrowserView());
    QVERIFY(CNoteBrowserView::FileAccessAllowed(QUrl::fromLocalFile(inside.fileName()), nb.View()));
    QVERIFY(!CNoteBrowserView::FileAccessAllowed(QUrl::fromLocalFile(inside.fileName()), second->BrowserView()));
}

void NoteBrowserTest::picturesOfTheStatusPages() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    auto snap = [&](const QString& name) {
        QTest::qWait(700);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(name + QStringLiteral(".png"))});
    };
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, lang] : langs) {
        CHeldDownloads downloads;
        CGuiTestFixture fx;
        auto app = fx.MakeApp(locale);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
        CMainFrame* frame = app->MainFrame();
        frame->showMaximized();
        frame->ExecuteCommand(cmd::kCmdNew);
        CNotebook nb;
        nb.frame = frame;
        nb.child = frame->ActiveChildFrame();
        QVERIFY(nb.child);
        nb.child->showMaximized();
        nb.doc = &nb.child->Document();
        CNote* running = nb.Add("Running page", kStatusRunning);
        running->m_strSource = "http://127.0.0.1:9/news/today.htm";
        CNote* failed = nb.Add("Failed page", kStatusFailed);
        failed->m_strSource = "http://127.0.0.1:9/gone.htm";
        failed->m_strError = "HTTP 404 Not Found";
        CNoteCataView* tree = nb.child->TreeView();
        tree->expandAll();
        // Each note picked in its download group, as the user would.
        for (auto [group, note, name] : {std::make_tuple(int(CNoteCataView::kGroupRunning), running, "running"),
                                         std::make_tuple(int(CNoteCataView::kGroupFailed), failed, "failed")}) {
            QTreeWidgetItem* item = tree->GroupItem(group);
            QVERIFY(item && item->childCount() == 1);
            tree->setCurrentItem(item->child(0));
            QTRY_COMPARE(nb.child->CurrentNote(), note);
            QVERIFY(nb.Loaded());
            snap(QStringLiteral("browser-%1-").arg(QLatin1String(name)) + lang);
        }
        {
            const QSignalBlocker quiet(tree);
            tree->setCurrentItem(tree->GroupItem(CNoteCataView::kGroupRunning));
        }
        nb.View()->ShowStatusPage(CNoteBrowserView::kStatusRunningGroup);
        QVERIFY(nb.Loaded());
        snap(QStringLiteral("browser-running-group-") + lang);
        downloads.release = true;
        QTRY_COMPARE(running->m_nStatus.load(), int(kStatusDone));
        nb.doc->StopAllDownloads();
        for (CChildFrame* c : frame->ChildFrames()) c->Document().MarkModified(false);
    }
}

CLIPVAULT_GUI_TEST_MAIN(NoteBrowserTest)
#include "NoteBrowserTest.moc"
