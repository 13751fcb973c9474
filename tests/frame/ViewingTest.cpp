// Looking is not changing: pages captured from the loopback, looked at in
// the note list, the browser and the editor, saved, closed and opened
// again, keep every byte and every attachment, and the window never calls
// the notebook modified for it.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "capture/TestServer.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/CataListView.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "views/NoteEditView.h"
#include "views/WebEditEngine.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

#include <map>

namespace {

// What must come through unchanged: every attachment with its bytes, every
// note's page and list.
struct CNotebookState {
    std::map<std::string, std::vector<uint8_t>> m_attachments;
    std::map<std::string, std::vector<uint8_t>> m_pages;
    std::map<std::string, std::vector<std::string>> m_lists;
    bool operator==(const CNotebookState& o) const {
        return m_attachments == o.m_attachments && m_pages == o.m_pages && m_lists == o.m_lists;
    }
};

CNotebookState StateOf(CClipVaultDoc& doc) {
    CNotebookState s;
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it)
        s.m_attachments[it.key()] = it.value()->Data();
    for (auto it = doc.m_rootCata.m_notes.begin(); it != doc.m_rootCata.m_notes.end(); ++it) {
        s.m_pages[it.key()] = it.value()->Content();
        s.m_lists[it.key()] = it.value()->m_attachNames;
    }
    return s;
}

QByteArray Names(const CNotebookState& s) {
    QByteArray out;
    for (const auto& [name, bytes] : s.m_attachments) out += QByteArray::fromStdString(name) + ' ';
    return out;
}

void Put(const QString& folder, const char* name, const QByteArray& bytes) {
    QFile f(QDir(folder).filePath(QLatin1String(name)));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Png(Qt::GlobalColor color) { return PngPicture(color, 6, 4); }

}  // namespace

class ViewingTest : public QObject {
    Q_OBJECT
private slots:
    void lookingAtCapturedPagesChangesNothing();

private:
    // The child frame's title and the notebook's flag, after `step`.
    void ExpectUnmodified(const char* step) {
        QVERIFY2(!m_pDoc->IsModified(), step);
        QVERIFY2(!m_pChild->windowTitle().contains(QLatin1Char('*')), step);
        QVERIFY2(!m_pFrame->windowTitle().contains(QLatin1Char('*')), step);
    }
    // The editor holds `pNote` and its engine answers.
    bool EditorReady(CNote* pNote) {
        return QTest::qWaitFor(
            [&] {
                auto* editor = m_pChild->EditorView() ? dynamic_cast<CNoteEditView*>(m_pChild->EditorView()) : nullptr;
                auto* engine = editor ? static_cast<CWebEditEngine*>(editor->Engine()) : nullptr;
                return editor && editor->CurrentNote() == pNote && engine && engine->IsReady() && editor->IsEditable();
            },
            30000);
    }
    // The browser shows `pNote`'s page, whose title is `title`.
    bool BrowserShows(CNote* pNote, const QString& title) {
        return QTest::qWaitFor(
            [&] {
                CNoteBrowserView* b = m_pChild->BrowserView();
                return b && b->ShownNote() == pNote && b->ShownUrl().isLocalFile() && b->title() == title;
            },
            30000);
    }
    bool OpenWindow(const QString& path) {
        m_pDoc = m_pApp->OpenDocumentFile(path);
        m_pChild = m_pFrame->ActiveChildFrame();
        return m_pDoc && m_pChild && &m_pChild->Document() == m_pDoc;
    }

    std::unique_ptr<CClipVaultApp> m_pApp;
    CMainFrame* m_pFrame = nullptr;
    CChildFrame* m_pChild = nullptr;
    CClipVaultDoc* m_pDoc = nullptr;
};

void ViewingTest::lookingAtCapturedPagesChangesNothing() {
    // Two pages of one site: a stylesheet that imports another, with a
    // picture and a font; a frame page with a picture of its own.
    QTemporaryDir site;
    const QString root = site.path();
    Put(root, "a.htm",
        "<html><head><title>A page</title><link rel=\"stylesheet\" href=\"site.css\"></head>"
        "<body><h1>Page A</h1><img src=\"logo.png\"><iframe src=\"frame.htm\"></iframe>"
        "<a href=\"b.htm\">to B</a></body></html>");
    Put(root, "b.htm",
        "<html><head><title>B page</title><link rel=\"stylesheet\" href=\"site.css\"></head>"
        "<body><h1>Page B</h1><p>Second <b>page</b>.</p><img src=\"photo.png\"></body></html>");
    Put(root, "site.css", "@import url(\"base.css\");\nbody { background: url(bg.png) }\n");
    Put(root, "base.css",
        "@font-face { font-family: Kept; src: url(kept.woff2) format(\"woff2\") }\nh1 { font-family: Kept }\n");
    Put(root, "frame.htm", "<html><body><img src=\"inner.png\"></body></html>");
    Put(root, "logo.png", Png(Qt::red));
    Put(root, "photo.png", Png(Qt::green));
    Put(root, "bg.png", Png(Qt::yellow));
    Put(root, "inner.png", Png(Qt::blue));
    Put(root, "kept.woff2", QByteArray("wOF2 not really a font"));
    testserver::Child server;
    QVERIFY(server.Spawn({"/usr/bin/python3", CLIPVAULT_TEST_SERVER, "--root", root.toStdString()}));
    int port = 0;
    std::istringstream(server.ReadLine(20000)) >> port;
    QVERIFY(port > 0);

    CGuiTestFixture fx;
    m_pApp = fx.StartApp();
    QVERIFY(m_pApp);
    m_pFrame = m_pApp->MainFrame();
    AppOptions().m_nDefaultView = 0;
    AppOptions().m_download.m_bFetchResources = true;
    m_pFrame->ExecuteCommand(cmd::kCmdNew);
    m_pChild = m_pFrame->ActiveChildFrame();
    QVERIFY(m_pChild);
    m_pDoc = &m_pChild->Document();

    // Captured one after the other, as the user files them.
    for (const char* name : {"a", "b"}) {
        CNote* note = m_pDoc->m_rootCata.AddNewNote(std::string("Page ") + name);
        note->m_strSource = "http://127.0.0.1:" + std::to_string(port) + "/files/" + name + ".htm";
        note->m_nSourceKind = kSourceWebPage;
        note->m_nContentType = kContentHeld;
        m_pChild->TreeView()->InsertNote(note, m_pChild->TreeView()->RootItem());
        m_pDoc->ListForDownload(note, true);
        QVERIFY(QTest::qWaitFor(
            [&] { return !m_pDoc->IsDownloading() && note->m_nStatus.load() == kStatusDone; }, 60000));
        QVERIFY2(!note->Content().empty(), note->m_strError.c_str());
    }
    CNote* a = m_pDoc->m_rootCata.GetNote("Page a");
    CNote* b = m_pDoc->m_rootCata.GetNote("Page b");
    QVERIFY(a && b);
    const CNotebookState captured = StateOf(*m_pDoc);
    QVERIFY2(captured.m_attachments.size() >= 7, Names(captured).constData());

    const QString path = fx.WorkFolder() + QStringLiteral("/site.vlt");
    QVERIFY(m_pDoc->OnSaveDocument(path.toStdString()));
    m_pDoc->SetPathName(path.toStdString());
    ExpectUnmodified("saved");

    // A note from the tree, then the note list of its category, and a note
    // opened from its row.
    CNoteCataView* tree = m_pChild->TreeView();
    QVERIFY(tree->SelectRecord(b, false));
    QVERIFY(EditorReady(b));
    ExpectUnmodified("B in the editor from the tree");
    QVERIFY(tree->SelectRecord(&m_pDoc->m_rootCata, false));
    ExpectUnmodified("the list");
    auto* list = m_pChild->ListView() ? dynamic_cast<CCataListView*>(m_pChild->ListView()) : nullptr;
    QVERIFY(list);
    QTreeWidgetItem* row = list->ItemOf(a);
    QVERIFY(row);
    const QPoint at = list->visualItemRect(row).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    ExpectUnmodified("a row selected in the list");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QVERIFY(EditorReady(a));
    ExpectUnmodified("A opened in the editor from the list");
    // Editor to editor, editor to browser, browser to editor.
    QVERIFY(tree->SelectRecord(b, false));
    QVERIFY(EditorReady(b));
    ExpectUnmodified("B in the editor");
    m_pFrame->ExecuteCommand(cmd::kCmdViewNote);
    QVERIFY(BrowserShows(b, QStringLiteral("B page")));
    ExpectUnmodified("B in the browser");
    m_pFrame->ExecuteCommand(cmd::kCmdEditNote);
    QVERIFY(EditorReady(b));
    AppOptions().m_nDefaultView = 1;
    QVERIFY(tree->SelectRecord(a, false));
    QVERIFY(BrowserShows(a, QStringLiteral("A page")));
    ExpectUnmodified("A in the browser");
    AppOptions().m_nDefaultView = 0;
    QVERIFY(tree->SelectRecord(b, false));
    QVERIFY(EditorReady(b));
    QVERIFY(tree->SelectRecord(&m_pDoc->m_rootCata, false));
    ExpectUnmodified("back to the list");
    QCOMPARE(StateOf(*m_pDoc), captured);

    // Ctrl+S and closing: nothing to save, nothing asked.
    QVERIFY(tree->SelectRecord(a, false));
    QVERIFY(EditorReady(a));
    m_pFrame->ExecuteCommand(cmd::kCmdSave);
    ExpectUnmodified("Ctrl+S");
    fx.Clear();
    m_pFrame->ExecuteCommand(cmd::kCmdClose);
    QTRY_VERIFY(m_pFrame->ActiveChildFrame() == nullptr);
    QVERIFY2(fx.m_messages.empty(), fx.m_messages.empty() ? "" : qPrintable(fx.m_messages[0].m_strText));

    // Opened again: the same notebook; looked at once more and closed.
    QVERIFY(OpenWindow(path));
    CNotebookState reopened = StateOf(*m_pDoc);
    QVERIFY2(reopened == captured, Names(reopened).constData());
    for (CNote* note : {m_pDoc->m_rootCata.GetNote("Page a"), m_pDoc->m_rootCata.GetNote("Page b")}) {
        QVERIFY(note);
        QVERIFY(m_pChild->TreeView()->SelectRecord(note, false));
        QVERIFY(EditorReady(note));
        ExpectUnmodified("a note of the reopened notebook in the editor");
    }
    fx.Clear();
    m_pFrame->ExecuteCommand(cmd::kCmdClose);
    QTRY_VERIFY(m_pFrame->ActiveChildFrame() == nullptr);
    QVERIFY(fx.m_messages.empty());
    CClipVaultDoc reread;
    QVERIFY(reread.OnOpenDocument(path.toStdString()));
    reopened = StateOf(reread);
    QVERIFY2(reopened == captured, Names(reopened).constData());
    m_pApp.reset();
}

CLIPVAULT_GUI_TEST_MAIN(ViewingTest)
#include "ViewingTest.moc"
