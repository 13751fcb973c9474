// The main frame's import flow: when batches are filed directly, when the
// import dialog opens, and what joins a dialog that is already up.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/ImportItemsEvent.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/ImportDlg.h"
#include "views/ImportNotice.h"
#include "views/ImportSettingsDlg.h"
#include "views/KeptPageQuestion.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

namespace {
std::unique_ptr<CImportItem> Page(const std::string& url, const std::string& title = {}) {
    auto item = std::make_unique<CImportItem>();
    item->m_strSource = url;
    item->m_strTitle = title;
    item->m_nImportKind = 0;
    return item;
}

std::unique_ptr<CImportItemArray> Batch(std::initializer_list<const char*> urls) {
    auto items = std::make_unique<CImportItemArray>();
    for (const char* url : urls) items->push_back(Page(url));
    return items;
}

void Deliver(CMainFrame* frame, std::unique_ptr<CImportItemArray> items, int nLParam) {
    QCoreApplication::postEvent(frame, new CImportItemsEvent(std::move(items), nLParam));
    QCoreApplication::sendPostedEvents(frame, CImportItemsEvent::kType);
}

// Confirms the direct-import settings dialog with these choices.
void ChooseImportSettings(int nContent, int nStart) {
    DialogHook old = SetDialogHook([&](CTemplateDialog& dlg) {
        dlg.Control<QRadioButton>(CImportSettingsDlg::IDC_CONTENT_FIRST + nContent)->setChecked(true);
        dlg.Control<QRadioButton>(CImportSettingsDlg::IDC_START_FIRST + nStart)->setChecked(true);
        dlg.Control<QPushButton>(host::IDOK)->click();
    });
    EditImportSettings(nullptr);
    SetDialogHook(old);
}

// Answers the question about kept pages from a script (again?, for the
// rest?) and notes what it was asked: "source=kept note, pages left".
struct CScriptedAnswers : IRecaptureAnswerer {
    std::vector<std::pair<bool, bool>> m_answers;
    std::vector<std::string> m_asked;
    bool CaptureAgain(const CImportItem& item, const CNote& kept, size_t nLeft, bool& bForAll) override {
        m_asked.push_back(item.m_strSource + "=" + kept.m_strName + " " + std::to_string(nLeft));
        bForAll = m_answers.at(m_asked.size() - 1).second;
        return m_answers.at(m_asked.size() - 1).first;
    }
};

std::vector<std::string> NoteNames(const CNoteCata& cata) {
    std::vector<std::string> out;
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.push_back(it.key());
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

class ImportFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void directImportFilesOneItemAndTellsInTheNotice();
    void directImportAsksBeforeAKeptPageIsCapturedAgain();
    void severalFromStartImportOrShiftAlwaysOpenTheDialog();
    void emptyCarrierOpensNothingButNoCarrierOpensTheDialog();
    void itemsArrivingWhileTheDialogIsUpJoinIt();
    void withoutANotebookOneIsMade();
    void importAgainOpensTheDialogOnTheNotes();

private:
    struct CProgram {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
    };
    bool Start(CProgram& p, bool bWithNotebook);
    CClipVaultDoc::DownloadBody m_oldBody;
    DialogHook m_oldHook;
    // How many import dialogs opened, and the rows each showed.
    std::vector<int> m_dialogRows;
    std::function<void(CImportDlg&)> m_fnOnDialog;
};

void ImportFlowTest::init() {
    m_oldBody = CClipVaultDoc::GetDownloadBody();
    // Nothing goes to the network: every download "succeeds" at once.
    CClipVaultDoc::SetDownloadBody([](CNote&, const CDownloadSettings&) { return true; });
    m_dialogRows.clear();
    m_fnOnDialog = nullptr;
    m_oldHook = SetDialogHook([this](CTemplateDialog& dlg) {
        auto* import = qobject_cast<CImportDlg*>(&dlg);
        if (!import) return;
        m_dialogRows.push_back(import->RowCount());
        if (m_fnOnDialog) m_fnOnDialog(*import);
        else import->Control<QPushButton>(host::IDCANCEL)->click();
    });
}

void ImportFlowTest::cleanup() {
    SetDialogHook(m_oldHook);
    CClipVaultDoc::SetDownloadBody(m_oldBody);
    g_bDirectImport = false;
    if (CImportNotice* notice = CImportNotice::Current()) delete notice;
}

bool ImportFlowTest::Start(CProgram& p, bool bWithNotebook) {
    p.fx = std::make_unique<CGuiTestFixture>();
    p.app = p.fx->StartApp();
    if (!p.app) return false;
    p.frame = p.app->MainFrame();
    if (bWithNotebook) p.frame->ExecuteCommand(cmd::kCmdNew);
    return !bWithNotebook || p.frame->ActiveChildFrame();
}

void ImportFlowTest::directImportFilesOneItemAndTellsInTheNotice() {
    CProgram p;
    QVERIFY(Start(p, true));
    CChildFrame* child = p.frame->ActiveChildFrame();
    CClipVaultDoc& doc = child->Document();
    CNoteCata* inbox = doc.m_rootCata.AddNewSubCata("Inbox");
    child->TreeView()->Populate();
    QVERIFY(child->TreeView()->SelectRecord(inbox, false));
    g_bDirectImport = true;

    // One page from StartImport: filed into the selected category at once.
    Deliver(p.frame, Batch({"http://127.0.0.1:9/one.htm"}), 1);
    QVERIFY(m_dialogRows.empty());
    QCOMPARE(NoteNames(*inbox), std::vector<std::string>{"one.htm"});
    CNote* note = nullptr;
    inbox->m_notes.Lookup("one.htm", note);
    QVERIFY(note);
    QCOMPARE(note->m_nContentType, 2u);
    QCOMPARE(note->m_strSource, std::string("http://127.0.0.1:9/one.htm"));
    // The category's tree shows it, and the list that shows the category.
    QVERIFY(child->TreeView()->ItemOf(note));
    auto* listed = dynamic_cast<QTreeWidget*>(child->ListView()->Widget());
    QVERIFY(listed);
    QVERIFY(!listed->findItems(QStringLiteral("one.htm"), Qt::MatchExactly).isEmpty());
    // The notice tells how many went where.
    CImportNotice* notice = CImportNotice::Current();
    QVERIFY(notice);
    QCOMPARE(notice->Text(), FormatMessageText(CurrentLanguage().String(ids::IDS_IMPORT_FILED), {"1", "NewVLT"}));
    QCOMPARE(doc.GetTitle(), std::string("NewVLT *"));
    QCOMPARE(notice->size(), QSize(300, 50));
    QCOMPARE(notice->windowTitle(), CurrentLanguage().String(33147));
    QVERIFY(notice->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // One at a time: a second batch files its note but shows no second notice.
    Deliver(p.frame, Batch({"http://127.0.0.1:9/two.htm", "http://127.0.0.1:9/three.htm"}), 0);
    QCOMPARE(NoteNames(*inbox), (std::vector<std::string>{"one.htm", "three.htm", "two.htm"}));
    QCOMPARE(CImportNotice::Current(), notice);
    QTRY_VERIFY_WITH_TIMEOUT(!CImportNotice::Current(), 3000);
    // The downloads ran (and "succeeded" with the fake body).
    QTRY_COMPARE(note->m_nStatus.load(), static_cast<int32_t>(kStatusDone));

    // The import settings: links only, and held downloads.
    ChooseImportSettings(1, 1);
    Deliver(p.frame, Batch({"http://127.0.0.1:9/later.htm"}), 0);
    CNote* later = nullptr;
    QVERIFY(inbox->m_notes.Lookup("later.htm", later));
    QCOMPARE(later->m_nContentType, 1u);
    // A link only has nothing to fetch; kept content waits when asked to.
    ChooseImportSettings(0, 1);
    Deliver(p.frame, Batch({"http://127.0.0.1:9/held.htm"}), 0);
    CNote* held = nullptr;
    QVERIFY(inbox->m_notes.Lookup("held.htm", held));
    QCOMPARE(held->m_nContentType, 2u);
    QCOMPARE(held->m_nStatus.load(), static_cast<int32_t>(kStatusHeld));
    ChooseImportSettings(0, 0);

    // A locked notebook takes nothing, and says so.
    doc.SetPassword("pw");
    QVERIFY(doc.IsLocked());
    p.fx->Clear();
    const size_t before = inbox->m_notes.GetCount();
    Deliver(p.frame, Batch({"http://127.0.0.1:9/refused.htm"}), 0);
    QVERIFY(p.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(inbox->m_notes.GetCount(), before);
}

void ImportFlowTest::directImportAsksBeforeAKeptPageIsCapturedAgain() {
    CProgram p;
    QVERIFY(Start(p, true));
    CNoteCata& root = p.frame->ActiveChildFrame()->Document().m_rootCata;
    const std::string url = "http://127.0.0.1:9/";
    for (const char* name : {"a", "b", "c"}) root.AddNewNote(name)->m_strSource = url + name + ".htm";
    // A new page goes in unasked. No for a; Yes for the rest: b, c and the
    // page the batch brings twice follow without a question.
    CScriptedAnswers yesToRest;
    yesToRest.m_answers = {{false, false}, {true, true}};
    CImportItemArray items = std::move(*Batch({"http://127.0.0.1:9/new.htm", "http://127.0.0.1:9/a.htm",
                                               "http://127.0.0.1:9/b.htm#part", "http://127.0.0.1:9/c.htm",
                                               "http://127.0.0.1:9/new.htm"}));
    QCOMPARE(p.frame->FileImportsDirectly(items, yesToRest), 4);
    QCOMPARE(yesToRest.m_asked, (std::vector<std::string>{url + "a.htm=a 4", url + "b.htm#part=b 3"}));
    QCOMPARE(root.m_notes.GetCount(), size_t(7));
    // No for the rest: one question, nothing filed.
    CScriptedAnswers noToRest;
    noToRest.m_answers = {{false, true}};
    items = std::move(*Batch({"http://127.0.0.1:9/a.htm", "http://127.0.0.1:9/c.htm"}));
    QCOMPARE(p.frame->FileImportsDirectly(items, noToRest), 0);
    QCOMPARE(noToRest.m_asked.size(), size_t(1));
    QCOMPARE(root.m_notes.GetCount(), size_t(7));

    // A batch that arrives asks in the program's box, naming the newest
    // note that keeps the page; its check box makes Yes stand for the batch.
    g_bDirectImport = true;
    const MessageBoxHook hook = SetMessageBoxHook(nullptr);
    QStringList seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->checkBox()) return;
        seen << box->text() << box->checkBox()->text();
        box->checkBox()->setChecked(true);
        box->button(QMessageBox::Yes)->click();
    });
    poll.start(20);
    Deliver(p.frame, Batch({"http://127.0.0.1:9/b.htm", "http://127.0.0.1:9/a.htm"}), 0);
    poll.stop();
    SetMessageBoxHook(hook);
    QCOMPARE(seen.size(), 2);
    QVERIFY2(seen[0].contains(QStringLiteral("\"b.htm#part\"")), qPrintable(seen[0]));
    QCOMPARE(seen[1], CurrentLanguage().String(ids::IDS_IMPORT_AGAIN_FOR_ALL));
    QCOMPARE(root.m_notes.GetCount(), size_t(9));
}

void ImportFlowTest::severalFromStartImportOrShiftAlwaysOpenTheDialog() {
    CProgram p;
    QVERIFY(Start(p, true));
    CClipVaultDoc& doc = p.frame->ActiveChildFrame()->Document();
    g_bDirectImport = true;
    // Two items handed over by StartImport: the dialog, with both rows.
    Deliver(p.frame, Batch({"http://127.0.0.1:9/a.htm", "http://127.0.0.1:9/b.htm"}), 1);
    QCOMPARE(m_dialogRows, std::vector<int>{2});
    QVERIFY(doc.m_rootCata.m_notes.IsEmpty());
    // Shift held: even one item goes to the dialog.
    p.frame->m_fnShiftHeld = [] { return true; };
    Deliver(p.frame, Batch({"http://127.0.0.1:9/c.htm"}), 0);
    QCOMPARE(m_dialogRows, (std::vector<int>{2, 1}));
    QVERIFY(doc.m_rootCata.m_notes.IsEmpty());
    QVERIFY(!p.frame->m_pImportDlg);
    // Direct import off: the dialog too.
    p.frame->m_fnShiftHeld = [] { return false; };
    g_bDirectImport = false;
    Deliver(p.frame, Batch({"http://127.0.0.1:9/d.htm"}), 0);
    QCOMPARE(m_dialogRows.size(), size_t(3));
    QVERIFY(!CImportNotice::Current());
}

void ImportFlowTest::emptyCarrierOpensNothingButNoCarrierOpensTheDialog() {
    CProgram p;
    QVERIFY(Start(p, true));
    Deliver(p.frame, std::make_unique<CImportItemArray>(), 1);
    QVERIFY(m_dialogRows.empty());
    // The views' "import" command sends no carrier at all: an empty dialog.
    p.frame->ActiveChildFrame()->OpenImport();
    QCOMPARE(m_dialogRows, std::vector<int>{0});
    QCOMPARE(p.frame->m_nImportBatches, 2u);
}

void ImportFlowTest::itemsArrivingWhileTheDialogIsUpJoinIt() {
    CProgram p;
    QVERIFY(Start(p, true));
    CClipVaultDoc& doc = p.frame->ActiveChildFrame()->Document();
    g_bDirectImport = false;
    int rowsAfter = -1;
    m_fnOnDialog = [&](CImportDlg& dlg) {
        QCOMPARE(p.frame->m_pImportDlg, static_cast<QDialog*>(&dlg));
        // Dropped files while the dialog is up become rows of it.
        Deliver(p.frame, Batch({"http://127.0.0.1:9/late.htm", "http://127.0.0.1:9/later.htm"}), 0);
        rowsAfter = dlg.RowCount();
        // The import command while it is up opens no second dialog.
        p.frame->ActiveChildFrame()->OpenImport();
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(0));
        dlg.Control<QPushButton>(host::IDOK)->click();
    };
    Deliver(p.frame, Batch({"http://127.0.0.1:9/first.htm"}), 1);
    QCOMPARE(m_dialogRows, std::vector<int>{1});
    QCOMPARE(rowsAfter, 3);
    QCOMPARE(NoteNames(doc.m_rootCata), (std::vector<std::string>{"first.htm", "late.htm", "later.htm"}));
    QVERIFY(!p.frame->m_pImportDlg);
}

void ImportFlowTest::withoutANotebookOneIsMade() {
    CProgram p;
    QVERIFY(Start(p, false));
    QVERIFY(p.app->OpenDocuments().empty());
    g_bDirectImport = true;  // no user notebook: direct import cannot apply
    int tops = -1;
    m_fnOnDialog = [&](CImportDlg& dlg) {
        tops = dlg.TargetTree()->topLevelItemCount();
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(0));
        dlg.Control<QPushButton>(host::IDOK)->click();
    };
    Deliver(p.frame, Batch({"http://127.0.0.1:9/x.htm"}), 1);
    QCOMPARE(tops, 1);
    QCOMPARE(p.app->OpenDocuments().size(), size_t(1));
    QCOMPARE(NoteNames(p.app->OpenDocuments()[0]->m_rootCata), std::vector<std::string>{"x.htm"});
}

void ImportFlowTest::importAgainOpensTheDialogOnTheNotes() {
    CProgram p;
    QVERIFY(Start(p, true));
    CClipVaultDoc& doc = p.frame->ActiveChildFrame()->Document();
    CNote* a = doc.m_rootCata.AddNewNote("a");
    a->m_strSource = "http://127.0.0.1:9/a.htm";
    a->m_nContentType = 1;
    QString caption;
    bool treeShown = true;
    m_fnOnDialog = [&](CImportDlg& dlg) {
        caption = dlg.windowTitle();
        treeShown = !dlg.TargetTree()->isHidden();
        dlg.Control<QPushButton>(host::IDOK)->click();
    };
    p.frame->m_fnImportNotes(doc, {a});
    QCOMPARE(m_dialogRows, std::vector<int>{1});
    QCOMPARE(caption, CurrentLanguage().String(ids::IDS_IMPORT_AGAIN_CAPTION));
    QVERIFY(!treeShown);
    // The content is to be kept now: the note is fetched again.
    QCOMPARE(a->m_nContentType, 2u);
    QTRY_COMPARE(a->m_nStatus.load(), static_cast<int32_t>(kStatusDone));
}

CLIPVAULT_GUI_TEST_MAIN(ImportFlowTest)
#include "ImportFlowTest.moc"
