// The note editor on the real web engine, end to end: a note opened,
// edited, written back and opened again; notes saved without an edit keep
// every byte; a picture from disk becomes an attachment that shows offline;
// a web page's reference to a local file never brings that file in.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "views/EditorDialogs.h"
#include "views/EditorTestSupport.h"
#include "views/NoteEditView.h"
#include "views/WebEditEngine.h"

#include <QFile>
#include <QImage>
#include <QTest>
#include <QWebEngineView>

#include "support/TextConvert.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

class NoteEditorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void editsSurviveCommitAndReopen();
    void unchangedPagesKeepEveryByte();
    void aPictureFromDiskBecomesAnAttachment();
    void aWebPagesLocalFileStaysOutside();
    void aLinkedFileIsEditedInPlace();
    void aPageThatDidNotLoadTakesNothingOfTheOneBefore();

private:
    CNote* Note(const std::string& name, const std::string& page, uint32_t nSourceKind = kSourceWritten) {
        CNote* p = m_pDoc->m_rootCata.AddNewNote(name);
        p->m_strExt = "htm";
        p->m_nContentType = kContentHeld;
        p->m_nSourceKind = nSourceKind;
        p->SetContent(Bytes(page));
        return p;
    }
    CWebEditEngine* Engine() const { return static_cast<CWebEditEngine*>(m_pView->Engine()); }
    bool Open(CNote* pNote) {
        delete m_pView;
        m_pView = new CNoteEditView(*m_pFrame, *m_pDoc, m_pWindow.get());
        m_pFrame->SetActiveView(m_pView);
        m_pView->resize(640, 480);
        m_pView->show();
        if (!m_pView->OpenNote(pNote)) return false;
        return WaitReady();
    }
    bool WaitReady() {
        for (int i = 0; i < 300 && !(Engine()->IsReady() && m_pView->IsEditable()); ++i) QTest::qWait(50);
        return Engine()->IsReady() && m_pView->IsEditable();
    }
    QVariant Js(const QString& script) { return Engine()->Evaluate(script); }
    // Selects the text of the first element the selector finds.
    void Select(const char* selector) {
        Js(QStringLiteral("(function(){var r=document.createRange();r.selectNodeContents(document.querySelector('%1'));"
                          "var s=getSelection();s.removeAllRanges();s.addRange(r);return 1;})()")
               .arg(QLatin1String(selector)));
        QVERIFY(Engine()->WaitIdle());
    }
    void CaretAtEnd() {
        Js(QStringLiteral("(function(){var r=document.createRange();r.selectNodeContents(document.body);r.collapse(false);"
                          "var s=getSelection();s.removeAllRanges();s.addRange(r);return 1;})()"));
        QVERIFY(Engine()->WaitIdle());
    }
    void Run(unsigned nID) {
        m_pView->OnCmdMsg(nID, nullptr);
        QVERIFY(Engine()->WaitIdle());
    }

    std::unique_ptr<CEditorTestEnvironment> m_pEnv;
    std::unique_ptr<CFakeFrame> m_pFrame;
    std::unique_ptr<CClipVaultDoc> m_pDoc;
    std::unique_ptr<QWidget> m_pWindow;
    CNoteEditView* m_pView = nullptr;
};

void NoteEditorTest::initTestCase() {
    m_pEnv = std::make_unique<CEditorTestEnvironment>();
    QVERIFY(m_pEnv->m_bLoaded);
}

void NoteEditorTest::cleanupTestCase() {
    m_pEnv.reset();
}

void NoteEditorTest::init() {
    m_pEnv->m_fx.Clear();
    m_pFrame = std::make_unique<CFakeFrame>(m_pEnv->m_lang);
    m_pDoc = std::make_unique<CClipVaultDoc>();
    m_pDoc->OnNewDocument();
    m_pWindow = std::make_unique<QWidget>();
    m_pWindow->resize(660, 500);
    m_pWindow->show();
}

void NoteEditorTest::cleanup() {
    delete m_pView;
    m_pView = nullptr;
    m_pWindow.reset();
    m_pDoc.reset();
    m_pFrame.reset();
}

void NoteEditorTest::editsSurviveCommitAndReopen() {
    const std::string head =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>T</title>\n"
        "<style>p { color: #333 }</style><script>document.title = 'ran';</script></head>\n";
    CNote* note = Note("n", head + "<body><p id=\"a\">Hello there</p></body></html>\n");
    QVERIFY(Open(note));
    Select("#a");
    Engine()->PutSelectionText(QStringLiteral("word"));
    QVERIFY(Engine()->WaitIdle());
    Select("#a");
    Run(cmd::kCmdBold);
    QVERIFY(m_pView->Engine()->QueryStatus(edit::kBold) & edit::kLatched);
    CaretAtEnd();
    {
        CAnswer a([](CTemplateDialog& d) {
            SetText(d, CInsertTableDlg::IDC_ROWS, QStringLiteral("3"));
            SetText(d, CInsertTableDlg::IDC_COLUMNS, QStringLiteral("3"));
        });
        Run(cmd::kCmdInsertTable);
        QCOMPARE(a.m_nShown, 1);
    }
    Run(cmd::kCmdFirstBackColor + 9);
    QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pDoc->IsModified());

    const std::string saved = Str(note->Content());
    // Outside the body nothing moved; inside, the edits.
    QCOMPARE(saved.substr(0, head.size()), head);
    QVERIFY2(saved.find("<b>word</b>") != std::string::npos, saved.c_str());
    QVERIFY(saved.find("Hello") == std::string::npos);
    QVERIFY(saved.find("#FF0000") != std::string::npos || saved.find("#ff0000") != std::string::npos);
    QVERIFY(saved.find("Here's A Table") != std::string::npos);

    // Opened again, the page shows all of it.
    QVERIFY(Open(note));
    QCOMPARE(Js(QStringLiteral("document.querySelector('#a b').textContent")).toString(), QStringLiteral("word"));
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('table tr').length")).toInt(), 3);
    QCOMPARE(Js(QStringLiteral("document.querySelectorAll('table td').length")).toInt(), 9);
    QCOMPARE(Js(QStringLiteral("document.body.getAttribute('bgcolor').toUpperCase()")).toString(),
             QStringLiteral("#FF0000"));
    // The page's own script never ran in the editor.
    QCOMPARE(Js(QStringLiteral("document.title")).toString(), QStringLiteral("T"));
}

void NoteEditorTest::unchangedPagesKeepEveryByte() {
    m_pDoc->MakeAttachment("vltlogo.png", "http://h/logo.png", Bytes("\x89PNG fake"));
    const std::string utf8 =
        "<html><head><meta charset=\"utf-8\"><title>caf\xC3\xA9</title></head>\n<BODY bgcolor=white>"
        "<p>caf\xC3\xA9 &amp; &eacute; <img src=\"vltlogo.png\"></p>\n</BODY></html>";
    const std::string utf16 = "\xFF\xFE" + ConvertText("<html><body><p>\xE4\xB8\xAD\xE6\x96\x87 text</p></body></html>",
                                                     "UTF-16LE", "UTF-8");
    const std::string gbk = ConvertText(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>"
        "<body><p>\xE4\xB8\xAD\xE6\x96\x87\xE7\xAC\x94\xE8\xAE\xB0</p></body></html>",
        "GBK", "UTF-8");
    int n = 0;
    for (const std::string& page : {utf8, utf16, gbk}) {
        CNote* note = Note("p" + std::to_string(n), page);
        if (n++ == 0) note->m_attachNames = {"vltlogo.png"};
        const auto names = note->m_attachNames;
        m_pDoc->MarkModified(false);
        QVERIFY(Open(note));
        QVERIFY(m_pView->CommitNote());
        QVERIFY(!m_pDoc->IsModified());
        QCOMPARE(note->Content(), Bytes(page));
        QStringList got;
        for (const auto& a : note->m_attachNames) got << ToQ(a);
        QStringList want;
        for (const auto& a : names) want << ToQ(a);
        QCOMPARE(got, want);
        QCOMPARE(m_pDoc->m_attachments.GetCount(), size_t(1));
    }
}

void NoteEditorTest::aPictureFromDiskBecomesAnAttachment() {
    const QString picture = m_pEnv->m_fx.WorkFolder() + QStringLiteral("/picture.png");
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture));
    CNote* note = Note("n", "<html><body><p id=\"a\">Text</p></body></html>");
    QVERIFY(Open(note));
    CaretAtEnd();
    auto old = CWebEditEngine::s_fnChooseImage;
    CWebEditEngine::s_fnChooseImage = [&](QString& s, QWidget*) {
        s = picture;
        return true;
    };
    Run(cmd::kCmdInsertImage);
    CWebEditEngine::s_fnChooseImage = old;
    QVERIFY(m_pView->CommitNote());
    QCOMPARE(note->m_attachNames.size(), size_t(1));
    const std::string name = note->m_attachNames.front();
    QVERIFY(m_pDoc->m_attachments.Contains(name));
    QVERIFY(Str(note->Content()).find("src=\"" + name + "\"") != std::string::npos);
    // Gone from disk, the picture still shows from the notebook.
    QVERIFY(QFile::remove(picture));
    QVERIFY(Open(note));
    QTRY_COMPARE(Js(QStringLiteral("document.images.length && document.images[0].complete ? "
                                   "document.images[0].naturalWidth : 0"))
                     .toInt(),
                 8);
}

void NoteEditorTest::aWebPagesLocalFileStaysOutside() {
    const QString secret = m_pEnv->m_fx.WorkFolder() + QStringLiteral("/secret.png");
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(secret));
    const std::string ref = FromQ(QUrl::fromLocalFile(secret).toString());
    CNote* note = Note("w", "<html><body><p id=\"a\">one</p><img src=\"" + ref + "\"></body></html>", kSourceWebPage);
    QVERIFY(Open(note));
    Select("#a");
    Engine()->PutSelectionText(QStringLiteral("two"));
    QVERIFY(Engine()->WaitIdle());
    QVERIFY(m_pView->CommitNote());
    QVERIFY(Str(note->Content()).find("two") != std::string::npos);
    QVERIFY(note->m_attachNames.empty());
    QCOMPARE(m_pDoc->m_attachments.GetCount(), size_t(0));
    QVERIFY(Str(note->Content()).find(ref) != std::string::npos);
}

void NoteEditorTest::aLinkedFileIsEditedInPlace() {
    // A note that only points at its file, by address: the file itself
    // takes the edit, the notebook keeps no copy.
    const QString path = m_pEnv->m_fx.WorkFolder() + QStringLiteral("/linked.htm");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html><head><title>L</title></head><body><p id=\"a\">before</p></body></html>");
    f.close();
    CNote* note = m_pDoc->m_rootCata.AddNewNote("linked");
    note->m_strExt = "htm";
    note->m_nContentType = 1;
    note->m_strSource = FromQ(QUrl::fromLocalFile(path).toString());
    QVERIFY(Open(note));
    Select("#a");
    Engine()->PutSelectionText(QStringLiteral("after"));
    QVERIFY(Engine()->WaitIdle());
    QVERIFY(m_pView->CommitNote());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY2(bytes.startsWith("<html><head><title>L</title></head><body><p id=\"a\">after</p>"), bytes.constData());
    QVERIFY(note->Content().empty());
}

void NoteEditorTest::aPageThatDidNotLoadTakesNothingOfTheOneBefore() {
    CNote* a = Note("A", "<html><body><p id=\"a\">page of A</p></body></html>");
    const QString missing = m_pEnv->m_fx.WorkFolder() + QStringLiteral("/gone.htm");
    CNote* b = m_pDoc->m_rootCata.AddNewNote("B");
    b->m_strExt = "htm";
    b->m_nContentType = 1;
    b->m_strSource = FromQ(missing);
    // An address on the loopback where nothing listens: loaded as an
    // address all the same, never taken for a file's name.
    CNote* web = m_pDoc->m_rootCata.AddNewNote("Web");
    web->m_strExt = "htm";
    web->m_nContentType = 1;
    web->m_strSource = "https://127.0.0.1:1/page.htm";
    for (CNote* next : {b, web}) {
        QVERIFY(Open(a));
        Select("#a");
        Engine()->PutSelectionText(QStringLiteral("edited A"));
        QVERIFY(Engine()->WaitIdle());
        QVERIFY(Engine()->IsChanged());
        m_pEnv->m_fx.Clear();
        m_pDoc->MarkModified(false);
        const bool bOpened = m_pView->OpenNote(next);
        QCOMPARE(bOpened, next == web);
        // The user is told which note failed, and why.
        QCOMPARE(m_pEnv->m_fx.Shown(ids::IDS_EDITOR_LOAD_FAILED), next == b);
        if (next == b) {
            const QString text = m_pEnv->m_fx.m_messages.back().m_strText;
            QVERIFY2(text.contains(QLatin1String("\"B\"")) && text.contains(missing) &&
                         text.contains(CNoteEditView::ErrorText(edit::kErrFileNotFound)),
                     qPrintable(text));
        }
        if (next == web) QTRY_COMPARE(Engine()->View()->url(), QUrl(QString::fromStdString(web->m_strSource)));
        // A's page is gone from the engine, and nothing of it is written.
        QVERIFY(Engine()->CurrentFile().isEmpty());
        QVERIFY(!Engine()->IsChanged());
        QVERIFY(m_pView->CommitNote());
        QVERIFY(!m_pDoc->IsModified());
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!QFile::exists(QStringLiteral("https:")));
        QVERIFY(b->Content().empty() && web->Content().empty());
    }
}

CLIPVAULT_GUI_TEST_MAIN(NoteEditorTest)
#include "NoteEditorTest.moc"
