// The search off the window's thread and the notebook's search index: the
// rows equal the scanner's while the window keeps running, Cancel and a
// second search, closing mid-search, and the index built after open, kept up
// with captured, renamed, edited and deleted notes, used again on the next
// open and built again when the file changed outside the program.
#include "support/GuiTestSupport.h"

#include "capture/NoteIndex.h"
#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/TemplateDialog.h"
#include "views/NoteIndexer.h"
#include "views/QueryForm.h"
#include "views/SearchWorker.h"
#include "views/TabView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class CFakeFrame : public INoteFrame {
public:
    explicit CFakeFrame(const CLanguageModule& lang) : m_actions(&m_owner, lang, [](unsigned, CCmdUI*) { return false; }) {}
    void ShowNote(CNote*, bool, int, bool) override {}
    void ListCategory(CNoteCata*) override {}
    void ListGroup(int) override {}
    CNote* CurrentNote() const override { return nullptr; }
    void ClearCurrentNote() override {}
    void ForgetNote(CNote*) override {}
    void RemoveFromList(CNoteBase*) override {}
    void GoToNoteNumber(uint32_t) override {}
    void OpenImport() override {}
    void ImportNotes(const std::vector<CNote*>&) override {}
    CCommandActions& Actions() const override { return m_actions; }
    CCmdTarget* ActiveView() const override { return nullptr; }
    void SetActiveView(CCmdTarget*) override {}
    QWidget m_owner;
    mutable CCommandActions m_actions;
};

// The window's side of a saved notebook, as far as the index cares.
class CSaveViews : public IDocViews {
public:
    void DocumentSaved() override {
        if (m_pIndexer) m_pIndexer->Saved();
    }
    CNoteIndexer* m_pIndexer = nullptr;
};

void SetContent(CNote* p, const std::string& html) {
    std::lock_guard<std::mutex> lock(p->m_dataLock);
    p->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
}

// Notes of a few words each in ten categories, some words on every
// seventh, some in names; several thousand, numbered as the program does.
void Fill(CClipVaultDoc& doc, int nNotes) {
    static const char* kWords[] = {"harbour", "Lighthouse", "keeper", "orchard", "Stra\xC3\x9F" "e", "meadow", "zebra"};
    std::vector<CNoteCata*> catas;
    for (int c = 0; c < 10; ++c) catas.push_back(doc.m_rootCata.AddNewSubCata("cat " + std::to_string(c)));
    catas.push_back(catas[3]->AddNewSubCata("inner"));
    for (int i = 0; i < nNotes; ++i) {
        CNoteCata* cata = catas[i % catas.size()];
        CNote* p = cata->AddNewNote((i % 11 == 0 ? "Keeper's log " : "note ") + std::to_string(i));
        p->m_nID = doc.NextNoteID();
        p->m_strExt = i % 13 == 0 ? "txt" : "htm";
        std::string page = "<html><body><p>Entry " + std::to_string(i) + " about the " + kWords[i % 7] + ".</p>";
        for (int k = 0; k < 20; ++k) page += "<p>Filler words that every page carries, line " + std::to_string(k) + ".</p>";
        SetContent(p, page + "</body></html>");
    }
}

// What the scanner of old finds, in its order.
QStringList Scanned(const CClipVaultDoc& doc, const QString& text, bool bIgnoreCase, bool bText) {
    notetext::CNoteQuery query(text.toStdString(), bIgnoreCase, bText);
    notetext::CNoteTextCache cache;
    QStringList out;
    notetext::SearchCategory(doc.m_rootCata, query, cache,
                             [&](CNote* p) { out << QString::fromStdString(p->m_strName); });
    return out;
}

}  // namespace

class SearchIndexTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void searchRunsOffTheWindowThreadWithTodaysRows();
    void cancelSecondSearchAndClosingMidSearch();
    void indexIsBuiltKeptUpAndUsedAgain();
    void lockedNotebookIsIndexedOnlyOnceUnlocked();
    void windowIndexesAfterOpenWithProgress();

private:
    void StartSearch(const QString& text, bool bIgnoreCase, bool bText, bool bWithin = false) {
        m_pForm->SearchBox()->setEditText(text);
        m_pForm->Control<QCheckBox>(CQueryForm::kWithinResults)->setChecked(bWithin);
        m_pForm->Control<QCheckBox>(CQueryForm::kIgnoreCase)->setChecked(bIgnoreCase);
        m_pForm->Control<QCheckBox>(CQueryForm::kSearchNoteText)->setChecked(bText);
        QTest::mouseClick(m_pForm->Control<QPushButton>(CQueryForm::kSearchButton), Qt::LeftButton);
    }
    QStringList Search(const QString& text, bool bIgnoreCase, bool bText) {
        StartSearch(text, bIgnoreCase, bText);
        if (!QTest::qWaitFor([this] { return !m_pForm->IsSearching(); }, 20000)) return {QStringLiteral("(timed out)")};
        return Rows();
    }
    QStringList Rows() const {
        QStringList out;
        for (int i = 0; i < m_pForm->RowCount(); ++i) out << m_pForm->Results()->topLevelItem(i)->text(0);
        return out;
    }
    void MakeForm() {
        m_pWindow = std::make_unique<QWidget>();
        m_pForm = new CQueryForm(*m_pFrame, *m_pDoc, m_pWindow.get());
        m_pWindow->resize(300, 500);
        m_pForm->resize(300, 500);
        m_pWindow->show();
    }
    std::string NotebookPath() const { return m_pDir->filePath(QStringLiteral("book.vlt")).toStdString(); }
    std::string IndexFolder() const { return m_pDir->filePath(QStringLiteral("SearchIndex")).toStdString(); }
    // Opens the notebook file anew, as the next session would.
    void Reopen() {
        m_pWindow.reset();
        m_pForm = nullptr;
        m_pIndexer.reset();
        m_pDoc = std::make_unique<CClipVaultDoc>();
        QVERIFY(m_pDoc->OnOpenDocument(NotebookPath()));
        m_pIndexer = std::make_unique<CNoteIndexer>(*m_pDoc, IndexFolder());
        m_views.m_pIndexer = m_pIndexer.get();
        m_pDoc->m_pViews = &m_views;
        MakeForm();
        m_pForm->SetIndexer(m_pIndexer.get());
    }

    std::unique_ptr<CGuiTestFixture> m_pFx;
    CLanguageModule m_lang;
    std::unique_ptr<CGuiHost> m_pHost;
    std::unique_ptr<CFakeFrame> m_pFrame;
    std::unique_ptr<QTemporaryDir> m_pDir;
    std::unique_ptr<CClipVaultDoc> m_pDoc;
    std::unique_ptr<CNoteIndexer> m_pIndexer;
    CSaveViews m_views;
    std::unique_ptr<QWidget> m_pWindow;
    CQueryForm* m_pForm = nullptr;
};

void SearchIndexTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>();
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
    SetStringSource([this](unsigned nID) { return m_lang.String(nID); });
    SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
    m_pHost = std::make_unique<CGuiHost>();
}

void SearchIndexTest::cleanupTestCase() {
    m_pHost.reset();
    SetTemplateSource(nullptr);
    SetStringSource(nullptr);
    SetCurrentLanguage(nullptr);
    m_pFx.reset();
}

void SearchIndexTest::init() {
    m_pFx->Clear();
    m_pDir = std::make_unique<QTemporaryDir>();
    m_pFrame = std::make_unique<CFakeFrame>(m_lang);
    m_pDoc = std::make_unique<CClipVaultDoc>();
    m_pDoc->OnNewDocument();
}

void SearchIndexTest::cleanup() {
    m_pWindow.reset();
    m_pForm = nullptr;
    m_pIndexer.reset();
    m_pDoc.reset();
    m_pFrame.reset();
    m_pDir.reset();
}

void SearchIndexTest::searchRunsOffTheWindowThreadWithTodaysRows() {
    Fill(*m_pDoc, 4000);
    MakeForm();
    // A timer of the window's thread keeps firing while the notes are read.
    int nTicks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++nTicks; });
    ticker.start(1);
    StartSearch(QStringLiteral("lighthouse"), true, true);
    QVERIFY(m_pForm->IsSearching());
    QVERIFY(m_pForm->CancelButton()->isVisible());
    QCOMPARE(m_pForm->CancelButton()->accessibleName(), m_lang.String(ids::IDS_SEARCH_CANCEL_NAME));
    QVERIFY(!m_pForm->Item(CQueryForm::kOpenButton)->isVisible());
    QString progress;
    QVERIFY(QTest::qWaitFor([&] {
        if (m_pForm->IsSearching()) progress = m_pForm->Control<QLabel>(CQueryForm::kCount)->text();
        return !m_pForm->IsSearching();
    }, 20000));
    ticker.stop();
    QVERIFY2(nTicks > 5, qPrintable(QString::number(nTicks)));
    QVERIFY2(progress.contains(QStringLiteral("of 4,000")), qPrintable(progress));
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kScan);
    const QStringList expected = Scanned(*m_pDoc, QStringLiteral("lighthouse"), true, true);
    QVERIFY(expected.size() > 500);
    QCOMPARE(Rows(), expected);
    QVERIFY(!m_pForm->CancelButton()->isVisible());
    QVERIFY(m_pForm->Item(CQueryForm::kOpenButton)->isVisible());
    // Case kept, names and text, folding, and within the rows: as the scanner.
    for (const auto& [text, bIgnore] : std::vector<std::pair<QString, bool>>{
             {QStringLiteral("Keeper"), false}, {QString::fromUtf8("STRASSE"), true}, {QStringLiteral("ze"), false}})
        QCOMPARE(Search(text, bIgnore, true), Scanned(*m_pDoc, text, bIgnore, true));
    const QStringList keepers = Search(QStringLiteral("keeper"), true, true);
    StartSearch(QStringLiteral("log 1"), false, false, true);
    QTRY_VERIFY(!m_pForm->IsSearching());
    QStringList narrowed;
    for (const QString& row : keepers)
        if (row.contains(QStringLiteral("log 1"))) narrowed << row;
    QCOMPARE(Rows(), narrowed);
}

void SearchIndexTest::cancelSecondSearchAndClosingMidSearch() {
    Fill(*m_pDoc, 3000);
    MakeForm();
    const QStringList named = Search(QStringLiteral("note 124"), false, false);
    QCOMPARE(named, Scanned(*m_pDoc, QStringLiteral("note 124"), false, false));
    QVERIFY(named.size() > 5);
    const QString count = m_pForm->Control<QLabel>(CQueryForm::kCount)->text();
    // Cancel: the rows and the count stay as they were.
    StartSearch(QStringLiteral("orchard"), false, true);
    QVERIFY(m_pForm->IsSearching());
    QTest::mouseClick(m_pForm->CancelButton(), Qt::LeftButton);
    QVERIFY(!m_pForm->IsSearching());
    QTest::qWait(200);
    QCOMPARE(Rows(), named);
    QCOMPARE(m_pForm->Control<QLabel>(CQueryForm::kCount)->text(), count);
    // Escape stops a search too.
    StartSearch(QStringLiteral("orchard"), false, true);
    QTest::keyClick(m_pForm->SearchBox(), Qt::Key_Escape);
    QVERIFY(!m_pForm->IsSearching());
    // A second search replaces the first: only its rows come.
    StartSearch(QStringLiteral("orchard"), false, true);
    StartSearch(QStringLiteral("meadow"), false, true);
    QTRY_VERIFY(!m_pForm->IsSearching());
    QTest::qWait(200);
    QCOMPARE(Rows(), Scanned(*m_pDoc, QStringLiteral("meadow"), false, true));
    // Notes deleted while the search reads: no row, nothing read of them.
    StartSearch(QStringLiteral("harbour"), false, true);
    QTRY_VERIFY(m_pForm->Control<QLabel>(CQueryForm::kCount)->text().contains(QStringLiteral("of 3,000")));
    // (as the program does it: deleted, then the notebook marked modified)
    for (CNoteCata* cata : {m_pDoc->m_rootCata.GetSubCata("cat 0"), m_pDoc->m_rootCata.GetSubCata("cat 9")}) {
        QVERIFY(cata->Delete());
        m_pDoc->SetModifiedFlag();
    }
    QTRY_VERIFY(!m_pForm->IsSearching());
    QCOMPARE(Rows(), Scanned(*m_pDoc, QStringLiteral("harbour"), false, true));
    // The notebook closes mid-search: the form and the notes go at once.
    StartSearch(QStringLiteral("zebra"), true, true);
    QTest::qWait(5);
    m_pWindow.reset();
    m_pForm = nullptr;
    m_pDoc.reset();
    QTest::qWait(100);
}

void SearchIndexTest::indexIsBuiltKeptUpAndUsedAgain() {
    Fill(*m_pDoc, 2000);
    QVERIFY(m_pDoc->OnSaveDocument(NotebookPath()));
    Reopen();
    // Built in the background after open, with progress.
    qulonglong nLast = 0, nTotal = 0;
    connect(m_pIndexer.get(), &CNoteIndexer::Progress, [&](qulonglong d, qulonglong t) { nLast = d, nTotal = t; });
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kBuilding);
    // Asked before the index is ready: read from the notes.
    QCOMPARE(Search(QStringLiteral("orchard"), false, true), Scanned(*m_pDoc, QStringLiteral("orchard"), false, true));
    QTRY_COMPARE_WITH_TIMEOUT(m_pIndexer->GetState(), CNoteIndexer::kReady, 20000);
    QCOMPARE(nTotal, qulonglong(2000));
    QTRY_COMPARE(nLast, qulonglong(2000));
    QCOMPARE(m_pIndexer->Builds(), 1);
    for (const auto& [text, bIgnore] : std::vector<std::pair<QString, bool>>{
             {QStringLiteral("orchard"), false}, {QString::fromUtf8("strasse"), true}, {QStringLiteral("Keeper"), false}}) {
        QCOMPARE(Search(text, bIgnore, true), Scanned(*m_pDoc, text, bIgnore, true));
        QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    }
    // Captured, edited in place, renamed, moved and deleted notes: the next
    // search knows.
    CNote* captured = m_pDoc->m_rootCata.AddNewNote("fresh capture");
    captured->m_nID = m_pDoc->NextNoteID();
    captured->m_strExt = "htm";
    SetContent(captured, "<p>a quokka on the beach</p>");
    m_pDoc->SetModifiedFlag();
    QCOMPARE(Search(QStringLiteral("quokka"), false, true), QStringList{"fresh capture"});
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    SetContent(captured, "<p>a wombat on the beach</p>");  // same size, same place
    m_pDoc->SetModifiedFlag();
    QCOMPARE(Search(QStringLiteral("quokka"), false, true), QStringList());
    QCOMPARE(Search(QStringLiteral("wombat"), false, true), QStringList{"fresh capture"});
    QVERIFY(captured->Rename("renamed capture"));
    m_pDoc->SetModifiedFlag();
    QCOMPARE(Search(QStringLiteral("wombat"), false, true), QStringList{"renamed capture"});
    CNote* gone = m_pDoc->m_rootCata.GetSubCata("cat 5")->GetNote("note 5");
    QVERIFY(gone);
    QVERIFY(Search(QStringLiteral("Entry 5 about"), false, true).contains(QStringLiteral("note 5")));
    m_pDoc->DeleteItem(gone);
    QVERIFY(!Search(QStringLiteral("Entry 5 about"), false, true).contains(QStringLiteral("note 5")));
    QCOMPARE(Search(QStringLiteral("harbour"), false, true), Scanned(*m_pDoc, QStringLiteral("harbour"), false, true));
    // A page captured by a download worker: found once its download ended,
    // though the index caught up while it ran.
    std::atomic<bool> bRelease{false};
    const auto oldBody = CClipVaultDoc::GetDownloadBody();
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        while (!bRelease) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        CNoteUpdate update(note);
        if (update) {
            const std::string page = "<p>a capybara by the river</p>";
            note.m_strExt = "htm";
            note.SetContent(std::vector<uint8_t>(page.begin(), page.end()));
        }
        return true;
    });
    CNote* fetched = m_pDoc->m_rootCata.AddNewNote("fetched page");
    fetched->m_nID = m_pDoc->NextNoteID();
    fetched->m_strSource = "http://127.0.0.1:9/";
    m_pDoc->SetModifiedFlag();
    m_pDoc->ListForDownload(fetched, true);
    QCOMPARE(Search(QStringLiteral("capybara"), false, true), QStringList());
    bRelease = true;
    QTRY_COMPARE(Search(QStringLiteral("capybara"), false, true), QStringList{"fetched page"});
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    CClipVaultDoc::SetDownloadBody(oldBody);
    // The program's save leaves the index describing the new file: the
    // next open builds nothing and finds the same.
    QVERIFY(m_pDoc->OnSaveDocument(NotebookPath()));
    m_pIndexer->Drain();
    Reopen();
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kReady);
    QCOMPARE(m_pIndexer->Builds(), 0);
    QCOMPARE(Search(QStringLiteral("wombat"), false, true), QStringList{"renamed capture"});
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    // Changed outside the program (another program saved it): built anew,
    // and the outside change is found.
    {
        CClipVaultDoc other;
        QVERIFY(other.OnOpenDocument(NotebookPath()));
        CNote* p = other.m_rootCata.AddNewNote("written elsewhere");
        p->m_nID = other.NextNoteID();
        p->m_strExt = "htm";
        SetContent(p, "<p>a narwhal</p>");
        QVERIFY(other.OnSaveDocument(NotebookPath()));
    }
    Reopen();
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kBuilding);
    QTRY_COMPARE_WITH_TIMEOUT(m_pIndexer->GetState(), CNoteIndexer::kReady, 20000);
    QCOMPARE(m_pIndexer->Builds(), 1);
    QCOMPARE(Search(QStringLiteral("narwhal"), false, true), QStringList{"written elsewhere"});
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    // Closing while it builds: no hang, and the next open builds again.
    {
        CClipVaultDoc other;
        QVERIFY(other.OnOpenDocument(NotebookPath()));
        other.SetModifiedFlag();
        QVERIFY(other.OnSaveDocument(NotebookPath()));
    }
    Reopen();
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kBuilding);
    Reopen();
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kBuilding);
}

void SearchIndexTest::lockedNotebookIsIndexedOnlyOnceUnlocked() {
    Fill(*m_pDoc, 50);
    m_pDoc->SetPassword("secret");
    QVERIFY(m_pDoc->OnSaveDocument(NotebookPath()));
    Reopen();
    QVERIFY(m_pDoc->IsLocked());
    m_pIndexer->Start();
    QCOMPARE(m_pIndexer->GetState(), CNoteIndexer::kOff);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(IndexFolder())));
    // Its text is still searched, by reading the notes.
    QCOMPARE(Search(QStringLiteral("meadow"), false, true), Scanned(*m_pDoc, QStringLiteral("meadow"), false, true));
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kScan);
    m_pDoc->Unlock("secret");
    QVERIFY(!m_pDoc->IsLocked());
    m_pIndexer->Start();
    QTRY_COMPARE_WITH_TIMEOUT(m_pIndexer->GetState(), CNoteIndexer::kReady, 20000);
    QCOMPARE(Search(QStringLiteral("meadow"), false, true), Scanned(*m_pDoc, QStringLiteral("meadow"), false, true));
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kIndex);
    // Where no index can be kept, the notes are read.
    CNoteIndexer nowhere(*m_pDoc, "/dev/null/SearchIndex");
    nowhere.Start();
    QCOMPARE(nowhere.GetState(), CNoteIndexer::kFailed);
    m_pForm->SetIndexer(&nowhere);
    QCOMPARE(Search(QStringLiteral("meadow"), false, true), Scanned(*m_pDoc, QStringLiteral("meadow"), false, true));
    QCOMPARE(m_pForm->Worker().LastWay(), CSearchWorker::kScan);
    m_pForm->SetIndexer(m_pIndexer.get());
}

void SearchIndexTest::windowIndexesAfterOpenWithProgress() {
    {
        CClipVaultDoc doc;
        doc.OnNewDocument();
        Fill(doc, 3000);
        QVERIFY(doc.OnSaveDocument(NotebookPath()));
    }
    cleanupTestCase();
    {
        CGuiTestFixture fx;
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), QString::fromStdString(NotebookPath())}));
        CMainFrame* frame = app->MainFrame();
        frame->show();
        CChildFrame* child = frame->ActiveChildFrame();
        QVERIFY(child && child->Indexer());
        QStringList messages;
        connect(frame->statusBar(), &QStatusBar::messageChanged, [&](const QString& s) { messages << s; });
        QTRY_COMPARE_WITH_TIMEOUT(child->Indexer()->GetState(), CNoteIndexer::kReady, 20000);
        QVERIFY2(messages.contains(QStringLiteral("Indexing notes: 3,000 of 3,000")), qPrintable(messages.join('|')));
        QVERIFY(QFileInfo::exists(QString::fromStdString(child->Indexer()->IndexFile())));
        // The search tab answers from it.
        child->TabView()->SetActivePage(1);
        auto* form = qobject_cast<CQueryForm*>(child->TabView()->GetPage(1));
        QVERIFY(form);
        form->SearchBox()->setEditText(QStringLiteral("zebra"));
        form->Control<QCheckBox>(CQueryForm::kSearchNoteText)->setChecked(true);
        QTest::mouseClick(form->Control<QPushButton>(CQueryForm::kSearchButton), Qt::LeftButton);
        QTRY_VERIFY(!form->IsSearching());
        QCOMPARE(form->Worker().LastWay(), CSearchWorker::kIndex);
        QCOMPARE(form->RowCount(), Scanned(child->Document(), QStringLiteral("zebra"), false, true).size());
        // Closing the notebook mid-search.
        form->SearchBox()->setEditText(QStringLiteral("filler"));
        QTest::mouseClick(form->Control<QPushButton>(CQueryForm::kSearchButton), Qt::LeftButton);
        child->Document().SetModifiedFlag(false);
        child->close();
        QTest::qWait(100);
        app->ExitInstance();
    }
    initTestCase();
}

CLIPVAULT_GUI_TEST_MAIN(SearchIndexTest)
#include "SearchIndexTest.moc"
