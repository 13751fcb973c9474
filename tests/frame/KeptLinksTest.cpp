// An offline web of kept pages: three pages of a loopback site that link to
// each other, captured into one notebook, are read with the server gone. A
// link between them opens the kept note at its place, Back and Forward step
// through those visits, and the pages keep every byte they were captured
// with.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "capture/TestServer.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "views/NoteEditView.h"
#include "views/WebEditEngine.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QTest>

#include <map>

namespace {

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::map<std::string, std::vector<uint8_t>> Pages(CClipVaultDoc& doc) {
    std::map<std::string, std::vector<uint8_t>> pages;
    for (auto it = doc.m_rootCata.m_notes.begin(); it != doc.m_rootCata.m_notes.end(); ++it)
        pages[it.key()] = it.value()->Content();
    return pages;
}

// Where the middle of the element is in the view, once the page has it,
// scrolled to where it can be seen.
QPoint PlaceOf(QWebEngineView* view, const QString& selector) {
    for (int i = 0; i < 100; ++i) {
        if (i) QTest::qWait(50);
        const QVariantList r = RunPageScript(view, QStringLiteral("(function(){var e=document.querySelector('%1');"
                                                                 "if(!e)return [];e.scrollIntoView({block:'center'});"
                                                                 "var b=e.getBoundingClientRect();"
                                                                 "return [b.left+b.width/2,b.top+b.height/2];})()")
                                                       .arg(selector))
                                   .toList();
        if (r.size() == 2)
            return QPoint(qRound(r[0].toDouble() * view->zoomFactor()), qRound(r[1].toDouble() * view->zoomFactor()));
    }
    return QPoint(-1, -1);
}

QWidget* Surface(QWebEngineView* view) { return view->focusProxy() ? view->focusProxy() : view; }

bool Click(QWebEngineView* view, const QString& selector) {
    const QPoint at = PlaceOf(view, selector);
    if (at.x() < 0) return false;
    QTest::mouseClick(Surface(view), Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

}  // namespace

class KeptLinksTest : public QObject {
    Q_OBJECT
private slots:
    void linksBetweenKeptPagesOpenTheNotesOffline();

private:
    // The browser shows `pNote`'s own page (no live page), its tree row
    // is selected and the page has come in.
    bool Shows(CNote* pNote, const QString& title) {
        return QTest::qWaitFor(
            [&] {
                CNoteBrowserView* b = m_pChild->BrowserView();
                QTreeWidgetItem* row = m_pChild->TreeView()->currentItem();
                return b && m_pChild->CurrentNote() == pNote && b->ShownNote() == pNote && !b->LeftNote() &&
                       b->url().scheme() == QLatin1String("cvpage") && b->title() == title && row &&
                       m_pChild->TreeView()->RecordOf(row) == pNote;
            },
            30000);
    }
    // The editor holds `pNote` and its engine answers.
    QWebEngineView* EditorOn(CNote* pNote) {
        QWebEngineView* view = nullptr;
        QTest::qWaitFor(
            [&] {
                auto* editor = m_pChild->EditorView() ? dynamic_cast<CNoteEditView*>(m_pChild->EditorView()) : nullptr;
                auto* engine = editor ? static_cast<CWebEditEngine*>(editor->Engine()) : nullptr;
                view = engine && editor->CurrentNote() == pNote && engine->IsReady() ? engine->View() : nullptr;
                return view && m_pChild->CurrentNote() == pNote;
            },
            30000);
        return view;
    }
    int ScrollY() { return RunPageScript(m_pChild->BrowserView(), QStringLiteral("window.scrollY")).toInt(); }
    QString StatusText() { return m_pFrame->statusBar()->currentMessage(); }

    std::unique_ptr<CClipVaultApp> m_pApp;
    CMainFrame* m_pFrame = nullptr;
    CChildFrame* m_pChild = nullptr;
};

void KeptLinksTest::linksBetweenKeptPagesOpenTheNotesOffline() {
    QTemporaryDir site;
    const QString root = site.path();
    const QByteArray tall = "<div style=\"height:4000px\"></div>";
    Put(root + "/ch1.htm", "<html><head><title>Chapter 1</title></head><body><p><a id=\"to2\" href=\"ch2.htm#part\">Part "
                           "of two</a> <a id=\"to3\" href=\"sub/ch3.htm\">Three</a> <a id=\"away\" href=\"gone.htm\">Not "
                           "kept</a> <a id=\"self\" href=\"ch1.htm#end\">The end</a></p>" +
                               tall + "<p id=\"end\">End of one</p></body></html>");
    Put(root + "/ch2.htm", "<html><head><title>Chapter 2</title></head><body>" + tall +
                               "<h2 id=\"part\">Part</h2><p><a id=\"to1\" href=\"ch1.htm\">One</a></p>" + tall +
                               "</body></html>");
    Put(root + "/sub/ch3.htm", "<html><head><title>Chapter 3</title></head><body><p><a id=\"up\" "
                               "href=\"../ch2.htm\">Two</a></p></body></html>");
    testserver::Child server;
    QVERIFY(server.Spawn({"/usr/bin/python3", CLIPVAULT_TEST_SERVER, "--root", root.toStdString()}));
    int port = 0;
    std::istringstream(server.ReadLine(20000)) >> port;
    QVERIFY(port > 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/files/";

    CGuiTestFixture fx;
    m_pApp = fx.StartApp();
    QVERIFY(m_pApp);
    m_pFrame = m_pApp->MainFrame();
    AppOptions().m_nDefaultView = 1;
    m_pFrame->ExecuteCommand(cmd::kCmdNew);
    m_pChild = m_pFrame->ActiveChildFrame();
    QVERIFY(m_pChild);
    CClipVaultDoc& doc = m_pChild->Document();
    CNoteCataView* tree = m_pChild->TreeView();

    std::vector<CNote*> notes;
    for (const char* page : {"ch1.htm", "ch2.htm", "sub/ch3.htm"}) {
        CNote* note = doc.m_rootCata.AddNewNote("Chapter " + std::to_string(notes.size() + 1));
        note->m_strSource = base + page;
        note->m_nSourceKind = kSourceWebPage;
        note->m_nContentType = kContentHeld;
        tree->InsertNote(note, tree->RootItem());
        doc.ListForDownload(note, true);
        QVERIFY(QTest::qWaitFor([&] { return !doc.IsDownloading() && note->m_nStatus.load() == kStatusDone; }, 60000));
        QVERIFY2(!note->Content().empty(), note->m_strError.c_str());
        notes.push_back(note);
    }
    CNote* one = notes[0];
    CNote* two = notes[1];
    CNote* three = notes[2];
    // A page written with links relative to its own address (as a page
    // imported from disk keeps them) finds the kept pages all the same.
    CNote* written = doc.m_rootCata.AddNewNote("Contents");
    const std::string contents = "<html><head><title>Contents</title></head><body><a id=\"rel\" "
                                 "href=\"sub/ch3.htm\">Three</a></body></html>";
    written->SetContent(std::vector<uint8_t>(contents.begin(), contents.end()));
    written->m_strExt = "htm";
    written->m_strSource = base + "contents.htm";
    tree->InsertNote(written, tree->RootItem());

    const QString path = fx.WorkFolder() + QStringLiteral("/web.vlt");
    QVERIFY(doc.OnSaveDocument(path.toStdString()));
    doc.SetPathName(path.toStdString());
    doc.SetModifiedFlag(false);
    const QByteArray fileBytes = ReadFile(path);
    const auto pages = Pages(doc);
    // The capture made the links absolute; they stay so.
    const std::string kept(pages.at("Chapter 1").begin(), pages.at("Chapter 1").end());
    QVERIFY(kept.find(base + "ch2.htm#part") != std::string::npos);
    server.Stop();

    QVERIFY(tree->SelectRecord(one, false));
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));
    CNoteBrowserView* view = m_pChild->BrowserView();

    // The hovered link says where it leads; a link to the web says nothing.
    QTest::mouseMove(Surface(view), PlaceOf(view, QStringLiteral("#to2")));
    QTRY_COMPARE(StatusText(), QStringLiteral("Kept note: Chapter 2"));
    QTest::mouseMove(Surface(view), PlaceOf(view, QStringLiteral("#away")));
    QTRY_VERIFY(!StatusText().startsWith(QLatin1String("Kept note")));

    // Chapter 1 to the middle of chapter 2, as a note link goes there.
    QVERIFY(Click(view, QStringLiteral("#to2")));
    QVERIFY(Shows(two, QStringLiteral("Chapter 2")));
    QTRY_VERIFY(ScrollY() > 3000);
    QCOMPARE(m_pChild->BackList(), std::vector<CNote*>{one});
    // Back and Forward step through the visit.
    m_pFrame->ExecuteCommand(cmd::kCmdBack);
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));
    QVERIFY(m_pChild->BackList().empty());
    m_pFrame->ExecuteCommand(cmd::kCmdForward);
    QVERIFY(Shows(two, QStringLiteral("Chapter 2")));
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#to1")));
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));

    // Into the subfolder and up again.
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#to3")));
    QVERIFY(Shows(three, QStringLiteral("Chapter 3")));
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#up")));
    QVERIFY(Shows(two, QStringLiteral("Chapter 2")));
    QCOMPARE(m_pChild->BackList(), (std::vector<CNote*>{one, two, one, three}));
    m_pFrame->ExecuteCommand(cmd::kCmdBack);
    QVERIFY(Shows(three, QStringLiteral("Chapter 3")));
    m_pFrame->ExecuteCommand(cmd::kCmdBack);
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));

    // A link to a place in the page on show only moves there.
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#self")));
    QTRY_VERIFY(ScrollY() > 3000);
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));
    QCOMPARE(m_pChild->BackList(), (std::vector<CNote*>{one, two}));

    // A link to a page the notebook does not keep leaves for the web, which
    // is not there; Back returns to the page the link was on, not to the
    // note before it.
    RunPageScript(m_pChild->BrowserView(), QStringLiteral("window.scrollTo(0, 0)"));
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#away")));
    QTRY_VERIFY(m_pChild->BrowserView()->LeftNote());
    m_pFrame->ExecuteCommand(cmd::kCmdBack);
    QVERIFY(Shows(one, QStringLiteral("Chapter 1")));
    QCOMPARE(m_pChild->BackList(), (std::vector<CNote*>{one, two}));

    // A relative link of a written page.
    QVERIFY(tree->SelectRecord(written, false));
    QVERIFY(Shows(written, QStringLiteral("Contents")));
    QVERIFY(Click(m_pChild->BrowserView(), QStringLiteral("#rel")));
    QVERIFY(Shows(three, QStringLiteral("Chapter 3")));

    // In the editor a hovered link says the same, and Ctrl+click follows it;
    // a plain click only puts the caret in it.
    AppOptions().m_nDefaultView = 0;
    QVERIFY(tree->SelectRecord(one, false));
    QWebEngineView* editor = EditorOn(one);
    QVERIFY(editor);
    QTest::mouseMove(Surface(editor), PlaceOf(editor, QStringLiteral("#to2")));
    QTRY_COMPARE(StatusText(), QStringLiteral("Kept note: Chapter 2"));
    QTest::mouseClick(Surface(editor), Qt::LeftButton, Qt::NoModifier, PlaceOf(editor, QStringLiteral("#to2")));
    QTest::qWait(300);
    QCOMPARE(m_pChild->CurrentNote(), one);
    QTest::mouseClick(Surface(editor), Qt::LeftButton, Qt::ControlModifier, PlaceOf(editor, QStringLiteral("#to2")));
    editor = EditorOn(two);
    QVERIFY(editor);
    QTRY_VERIFY(RunPageScript(editor, QStringLiteral("window.scrollY")).toInt() > 3000);
    QCOMPARE(m_pChild->BackList().back(), one);

    // Nothing was rewritten: not a page, not the notebook's file.
    QVERIFY(Pages(doc) == pages);
    QVERIFY(!doc.IsModified());
    fx.Clear();
    m_pFrame->ExecuteCommand(cmd::kCmdClose);
    QTRY_VERIFY(m_pFrame->ActiveChildFrame() == nullptr);
    QVERIFY(fx.m_messages.empty());
    QCOMPARE(ReadFile(path), fileBytes);
    m_pApp.reset();
}

CLIPVAULT_GUI_TEST_MAIN(KeptLinksTest)
#include "KeptLinksTest.moc"
