// The import dialog: which rows become notes, where they go, the typed
// address, the direct-import box and the dialog on existing notes.
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
#include "views/EnterUrlDlg.h"
#include "views/ImportDlg.h"
#include "views/ImportNotice.h"
#include "views/ImportSettingsDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

namespace {
std::unique_ptr<CImportItem> Page(const std::string& url, const std::string& title = {}) {
    auto item = std::make_unique<CImportItem>();
    item->m_strSource = url;
    item->m_strTitle = title;
    return item;
}

std::vector<std::string> NoteNames(const CNoteCata& cata) {
    std::vector<std::string> out;
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.push_back(it.key());
    std::sort(out.begin(), out.end());
    return out;
}

QStringList Column(QTreeWidget* list, int col) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(col);
    return out;
}

QTreeWidgetItem* FindTarget(QTreeWidget* tree, const QString& text) {
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}
}  // namespace

class ImportDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void onlyCheckedRowsBecomeNotesWithTheirEditedTitles();
    void addressesFilesAndRemovedRows();
    void rowsOfPagesTheTargetKeepsAreMarked();
    void directImportBoxStaysOnlyWithConfirmedSettings();
    void deepCategoryReceivesTheNotesOfItsNotebook();
    void noTargetOrALockedNotebookKeepsTheDialogOpen();
    void onExistingNotesTheDialogFilesThemAgainInPlace();
    void headerClickSortsByBytes();
    void picturesOfTheImportDialog();

private:
    struct CProgram {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
        CClipVaultDoc* doc = nullptr;
    };
    bool Start(CProgram& p, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
    // Runs the dialog on these items; `fn` answers it (and any dialog it
    // opens, by template id).
    void RunDialog(CProgram& p, CImportItemArray items, std::function<void(CTemplateDialog&)> fn);
    CClipVaultDoc::DownloadBody m_oldBody;
};

void ImportDlgTest::init() {
    m_oldBody = CClipVaultDoc::GetDownloadBody();
    CClipVaultDoc::SetDownloadBody([](CNote&, const CDownloadSettings&) { return true; });
}

void ImportDlgTest::cleanup() {
    CClipVaultDoc::SetDownloadBody(m_oldBody);
    g_bDirectImport = false;
    g_pCurrentTarget = nullptr;
}

bool ImportDlgTest::Start(CProgram& p, const QLocale& locale) {
    p.fx = std::make_unique<CGuiTestFixture>();
    p.app = p.fx->MakeApp(locale);
    p.app->m_fnStartDialog = [] {};
    if (!p.app->InitInstance({QStringLiteral("clipvault")})) return false;
    p.frame = p.app->MainFrame();
    p.frame->ExecuteCommand(cmd::kCmdNew);
    if (!p.frame->ActiveChildFrame()) return false;
    p.doc = &p.frame->ActiveChildFrame()->Document();
    return true;
}

void ImportDlgTest::RunDialog(CProgram& p, CImportItemArray items, std::function<void(CTemplateDialog&)> fn) {
    DialogHook old = SetDialogHook(fn);
    p.frame->RunImportDialog(items);
    SetDialogHook(old);
}

void ImportDlgTest::onlyCheckedRowsBecomeNotesWithTheirEditedTitles() {
    CProgram p;
    QVERIFY(Start(p));
    CImportItemArray items;
    items.push_back(Page("http://127.0.0.1:9/a.htm"));
    items.push_back(Page("http://127.0.0.1:9/b.htm", "Bee"));
    items.push_back(Page("http://127.0.0.1:9/c.htm", "Sea"));
    QStringList titles, sources;
    RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        // Nothing preselected: the notebook imports go to is chosen.
        QCOMPARE(dlg.TargetTree()->currentItem(), dlg.TargetTree()->topLevelItem(0));
        QTreeWidget* list = dlg.ItemList();
        titles = Column(list, 0);
        sources = Column(list, 1);
        // Uncheck all, check all, then leave the middle one out.
        dlg.Control<QPushButton>(CImportDlg::IDC_UNCHECK_ALL)->click();
        QCOMPARE(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
        dlg.Control<QPushButton>(CImportDlg::IDC_CHECK_ALL)->click();
        list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        // A new title, and an empty one that is refused.
        list->topLevelItem(0)->setText(0, QStringLiteral("Renamed"));
        list->topLevelItem(2)->setText(0, QString());
        QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("Sea"));
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(0));
        // The second choice: only a link.
        dlg.Control<QRadioButton>(CImportDlg::IDC_CONTENT_FIRST + 1)->setChecked(true);
        dlg.Control<QPushButton>(host::IDOK)->click();
    });
    // Empty titles came from the source.
    QCOMPARE(titles, (QStringList{"a.htm", "Bee", "Sea"}));
    QCOMPARE(sources[1], QStringLiteral("http://127.0.0.1:9/b.htm"));
    QCOMPARE(NoteNames(p.doc->m_rootCata), (std::vector<std::string>{"Renamed", "Sea"}));
    CNote* note = nullptr;
    QVERIFY(p.doc->m_rootCata.m_notes.Lookup("Renamed", note));
    QCOMPARE(note->m_nContentType, 1u);
    QVERIFY(p.frame->ActiveChildFrame()->TreeView()->ItemOf(note));
    QVERIFY(p.doc->IsModified());
}

void ImportDlgTest::addressesFilesAndRemovedRows() {
    // The typed address: "file:" in any case names a local file.
    auto local = ImportItemForAddress("file:///C:/page.htm");
    QCOMPARE(local->m_strSource, std::string("C:/page.htm"));
    QCOMPARE(local->m_nImportKind, 2);
    QCOMPARE(local->m_nContentMode, 2);
    // A path without a drive stays absolute, in every spelling of the URL.
    for (const char* typed : {"FILE:/home/u/p.htm", "file:///home/u/p.htm", "file://localhost/home/u/p.htm",
                              "/home/u/p.htm"}) {
        auto item = ImportItemForAddress(typed);
        QVERIFY2(item, typed);
        QCOMPARE(item->m_strSource, std::string("/home/u/p.htm"));
        QCOMPARE(item->m_nImportKind, 2);
        QCOMPARE(item->m_strTitle, std::string("p.htm"));
    }
    QCOMPARE(ImportItemForAddress("file:///home/u/My%20Page.htm")->m_strSource, std::string("/home/u/My Page.htm"));
    QVERIFY(!ImportItemForAddress("file:p.htm"));
    QVERIFY(!ImportItemForAddress("file://server/share/p.htm"));
    auto web = ImportItemForAddress("http://127.0.0.1:9/dir/page.htm");
    QCOMPARE(web->m_nImportKind, 0);
    QCOMPARE(web->m_strTitle, std::string("page.htm"));
    QCOMPARE(FileDialogFilterFrom(QStringLiteral("All files (*.*)|*.*|Web pages|*.htm;*.html||")),
             QStringLiteral("All files (*.*);;Web pages (*.htm *.html)"));

    CProgram p;
    QVERIFY(Start(p));
    const QString file = p.fx->WorkFolder() + QStringLiteral("/notes.txt");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept");
    }
    QStringList rows;
    QStringList afterRemove;
    // The first address names no file here: the user hears so and no row comes.
    // Text that is no address at all is refused too; both stay in the box
    // as typed, for the user to mend.
    QStringList typed{QStringLiteral("file:notes/x.htm"), QStringLiteral(" not a web address at all"),
                      QStringLiteral("file:///C:/page.htm")};
    QStringList refusedKept;
    RunDialog(p, {}, [&](CTemplateDialog& d) {
        if (d.TemplateID() == CEnterUrlDlg::IDD) {
            d.Control<QLineEdit>(CEnterUrlDlg::IDC_URL)->setText(typed.takeFirst());
            d.Control<QPushButton>(host::IDOK)->click();
            if (d.Result() == -1) refusedKept << d.Control<QLineEdit>(CEnterUrlDlg::IDC_URL)->text();
            return;
        }
        auto& dlg = static_cast<CImportDlg&>(d);
        dlg.m_fnChooseFiles = [&] { return QStringList{file}; };
        dlg.Control<QPushButton>(CImportDlg::IDC_ADD_FILES)->click();
        dlg.Control<QPushButton>(CImportDlg::IDC_ADD_ADDRESS)->click();
        QCOMPARE(dlg.ItemList()->topLevelItemCount(), 1);
        QVERIFY(p.fx->Shown(ids::IDS_IMPORT_NOT_A_LOCAL_FILE));
        dlg.Control<QPushButton>(CImportDlg::IDC_ADD_ADDRESS)->click();
        QCOMPARE(p.fx->m_messages.back().m_strText,
                 FormatMessageText(CurrentLanguage().String(ids::IDS_IMPORT_NOT_A_WEB_ADDRESS), {"not a web address at all"}));
        dlg.Control<QPushButton>(CImportDlg::IDC_ADD_ADDRESS)->click();
        dlg.Control<QPushButton>(CImportDlg::IDC_ADD_FILES)->click();
        QTreeWidget* list = dlg.ItemList();
        rows = Column(list, 1);
        // The first and the last go: Delete in the list.
        list->clearSelection();
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        QTest::keyClick(list, Qt::Key_Delete);
        afterRemove = Column(list, 1);
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(0));
        // Import without starting: the local file that stayed is held.
        dlg.Control<QPushButton>(CImportDlg::IDC_IMPORT_HELD)->click();
    });
    QCOMPARE(refusedKept, (QStringList{"file:notes/x.htm", " not a web address at all"}));
    QCOMPARE(rows, (QStringList{file, "C:/page.htm", file}));
    QCOMPARE(afterRemove, (QStringList{"C:/page.htm"}));
    // C:/page.htm does not exist here: no note, message 33059.
    QVERIFY(p.fx->Shown(ids::IDS_FILE_MISSING));
    QVERIFY(p.doc->m_rootCata.m_notes.IsEmpty());
}

void ImportDlgTest::rowsOfPagesTheTargetKeepsAreMarked() {
    CProgram p;
    QVERIFY(Start(p));
    const int year = QDate::currentDate().year();
    // Kept twice, the newer in a category: its date is the one shown.
    for (auto [cata, month] : {std::pair{&p.doc->m_rootCata, 2}, std::pair{p.doc->m_rootCata.AddNewSubCata("Later"), 3}}) {
        CNote* note = cata->AddNewNote("visit");
        note->m_strSource = "http://127.0.0.1:9/kept.htm";
        note->m_tmDate = QDateTime(QDate(year, month, 12), QTime(12, 0)).toSecsSinceEpoch();
    }
    p.frame->ExecuteCommand(cmd::kCmdNew);
    CImportItemArray items;
    items.push_back(Page("http://127.0.0.1:9/new.htm"));
    items.push_back(Page("HTTP://127.0.0.1:9/kept.htm#part"));
    QStringList marks, inOther;
    RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        // The second notebook keeps neither page.
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(1));
        inOther = Column(dlg.ItemList(), 2);
        dlg.TargetTree()->setCurrentItem(FindTarget(dlg.TargetTree(), QStringLiteral("Later")));
        marks = Column(dlg.ItemList(), 2) << dlg.ItemList()->headerItem()->text(2);
    });
    QCOMPARE(inOther, (QStringList{QString(), QString()}));
    QCOMPARE(marks, (QStringList{QString(), "already kept, 12 Mar", "In the notebook"}));
}

void ImportDlgTest::directImportBoxStaysOnlyWithConfirmedSettings() {
    CProgram p;
    QVERIFY(Start(p));
    int nSettings = 0;
    bool afterCancel = true, afterOk = false;
    RunDialog(p, {}, [&](CTemplateDialog& d) {
        if (d.TemplateID() == CImportSettingsDlg::IDD) {
            ++nSettings;
            d.Control<QPushButton>(nSettings == 1 ? host::IDCANCEL : host::IDOK)->click();
            return;
        }
        auto* box = d.Control<QCheckBox>(CImportDlg::IDC_DIRECT_IMPORT);
        QVERIFY(!box->isChecked());
        box->click();
        afterCancel = box->isChecked();
        box->click();
        afterOk = box->isChecked();
        d.Control<QPushButton>(host::IDCANCEL)->click();
    });
    QCOMPARE(nSettings, 2);
    QVERIFY(!afterCancel);
    QVERIFY(afterOk);
    // Cancel still takes the box over.
    QVERIFY(g_bDirectImport);
}

void ImportDlgTest::deepCategoryReceivesTheNotesOfItsNotebook() {
    CProgram p;
    QVERIFY(Start(p));
    p.frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* second = p.frame->ActiveChildFrame();
    CClipVaultDoc* doc2 = &second->Document();
    QVERIFY(doc2 != p.doc);
    CNoteCata* top = doc2->m_rootCata.AddNewSubCata("Travel");
    CNoteCata* mid = top->AddNewSubCata("Europe");
    CNoteCata* deep = mid->AddNewSubCata("Lisbon");
    mid->AddNewSubCata("Berlin");
    second->TreeView()->Populate();
    second->TreeView()->expandAll();
    g_pCurrentTarget = deep;
    QString selected;
    bool parentOpen = false;
    QStringList midChildren;
    CImportItemArray items;
    items.push_back(Page("http://127.0.0.1:9/tram.htm", "Tram 28"));
    RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        QTreeWidget* tree = dlg.TargetTree();
        QCOMPARE(tree->topLevelItemCount(), 2);
        selected = tree->currentItem() ? tree->currentItem()->text(0) : QString();
        parentOpen = tree->currentItem() && tree->currentItem()->parent()->isExpanded();
        QTreeWidgetItem* europe = FindTarget(tree, QStringLiteral("Europe"));
        for (int i = 0; europe && i < europe->childCount(); ++i) midChildren << europe->child(i)->text(0);
        dlg.Control<QPushButton>(host::IDOK)->click();
    });
    QCOMPARE(selected, QStringLiteral("Lisbon"));
    QVERIFY(parentOpen);
    QCOMPARE(midChildren, (QStringList{"Berlin", "Lisbon"}));  // sorted
    QCOMPARE(NoteNames(*deep), std::vector<std::string>{"Tram 28"});
    QVERIFY(p.doc->m_rootCata.m_notes.IsEmpty());
    CNote* note = nullptr;
    deep->m_notes.Lookup("Tram 28", note);
    QCOMPARE(note->m_pDocument, doc2);
    QVERIFY(second->TreeView()->ItemOf(note));
    QTRY_COMPARE(note->m_nStatus.load(), static_cast<int32_t>(kStatusDone));
}

void ImportDlgTest::noTargetOrALockedNotebookKeepsTheDialogOpen() {
    CProgram p;
    QVERIFY(Start(p));
    int openAfterNoTarget = 0, openAfterLocked = 0, rows = 0;
    CImportItemArray items;
    items.push_back(Page("http://127.0.0.1:9/a.htm"));
    p.doc->SetPassword("pw");
    RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        dlg.TargetTree()->clearSelection();
        dlg.TargetTree()->setCurrentItem(nullptr);
        dlg.Control<QPushButton>(host::IDOK)->click();
        openAfterNoTarget = dlg.Result();
        dlg.TargetTree()->setCurrentItem(dlg.TargetTree()->topLevelItem(0));
        dlg.Control<QPushButton>(host::IDOK)->click();
        openAfterLocked = dlg.Result();
        rows = dlg.RowCount();
        d.Control<QPushButton>(host::IDCANCEL)->click();
    });
    QVERIFY(p.fx->Shown(ids::IDS_IMPORT_NO_TARGET));
    QCOMPARE(openAfterNoTarget, -1);
    QVERIFY(p.doc->IsLocked());
    QVERIFY(p.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(openAfterLocked, -1);
    QCOMPARE(rows, 1);
    QVERIFY(p.doc->m_rootCata.m_notes.IsEmpty());
}

void ImportDlgTest::onExistingNotesTheDialogFilesThemAgainInPlace() {
    CProgram p;
    QVERIFY(Start(p));
    CNoteCata* cata = p.doc->m_rootCata.AddNewSubCata("Kept");
    CNote* a = cata->AddNewNote("first");
    a->m_strSource = "http://127.0.0.1:9/first.htm";
    a->m_nContentType = 2;
    CNote* b = cata->AddNewNote("second");
    b->m_strSource = "http://127.0.0.1:9/second.htm";
    b->m_nContentType = 2;
    bool treeHidden = false, heldHidden = false, addHidden = false;
    int heightFixed = 0, heightFull = 0;
    RunDialog(p, {}, [&](CTemplateDialog& d) { heightFull = d.sizeHint().height(); d.Control<QPushButton>(host::IDCANCEL)->click(); });
    DialogHook old = SetDialogHook([&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        QVERIFY(dlg.IsTargetFixed());
        treeHidden = dlg.TargetTree()->isHidden();
        heldHidden = dlg.Item(CImportDlg::IDC_IMPORT_HELD)->isHidden();
        addHidden = dlg.Item(CImportDlg::IDC_ADD_FILES)->isHidden() && dlg.Item(CImportDlg::IDC_ADD_ADDRESS)->isHidden();
        heightFixed = dlg.sizeHint().height();
        QTreeWidget* list = dlg.ItemList();
        QCOMPARE(Column(list, 0), (QStringList{"first", "second"}));
        list->topLevelItem(0)->setText(0, QStringLiteral("first, again"));
        list->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        dlg.Control<QRadioButton>(CImportDlg::IDC_CONTENT_FIRST + 1)->setChecked(true);
        dlg.Control<QPushButton>(host::IDOK)->click();
    });
    p.frame->m_fnImportNotes(*p.doc, {a, b});
    SetDialogHook(old);
    QVERIFY(treeHidden);
    QVERIFY(heldHidden);
    QVERIFY(addHidden);
    QVERIFY2(heightFixed < heightFull, qPrintable(QStringLiteral("%1 %2").arg(heightFixed).arg(heightFull)));
    QCOMPARE(NoteNames(*cata), (std::vector<std::string>{"first, again", "second"}));
    QCOMPARE(a->m_nContentType, 1u);
    QCOMPARE(b->m_nContentType, 2u);  // unchecked: untouched
}

void ImportDlgTest::headerClickSortsByBytes() {
    CProgram p;
    QVERIFY(Start(p));
    CImportItemArray items;
    for (const char* t : {"beta", "Zulu", "alpha"}) items.push_back(Page(std::string("http://127.0.0.1:9/") + t, t));
    QStringList sorted;
    RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
        auto& dlg = static_cast<CImportDlg&>(d);
        QHeaderView* header = dlg.ItemList()->header();
        emit header->sectionClicked(0);
        sorted = Column(dlg.ItemList(), 0);
        d.Control<QPushButton>(host::IDCANCEL)->click();
    });
    // Capitals before small letters, as the bytes go.
    QCOMPARE(sorted, (QStringList{"Zulu", "alpha", "beta"}));
}

void ImportDlgTest::picturesOfTheImportDialog() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    auto snap = [&](const QString& name) {
        // What lay under an earlier dialog is painted again first.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->repaint();
        QTest::qWait(500);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(name + QStringLiteral(".png"))});
    };
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, lang] : langs) {
        CProgram p;
        QVERIFY(Start(p, locale));
        p.frame->show();
        CNoteCata* travel = p.doc->m_rootCata.AddNewSubCata("Travel");
        CNoteCata* europe = travel->AddNewSubCata("Europe");
        europe->AddNewSubCata("Lisbon");
        p.doc->m_rootCata.AddNewSubCata("Recipes");
        p.frame->ActiveChildFrame()->TreeView()->Populate();
        g_pCurrentTarget = europe;
        CImportItemArray items;
        items.push_back(Page("http://127.0.0.1:9/tram-28.htm", "Tram 28 timetable"));
        items.push_back(Page("http://127.0.0.1:9/museums.html", "Museums of Lisbon"));
        items.push_back(Page("/home/user/notes/packing-list.txt"));
        RunDialog(p, std::move(items), [&](CTemplateDialog& d) {
            d.show();
            snap(QStringLiteral("importdlg-") + lang);
            d.Control<QPushButton>(host::IDCANCEL)->click();
        });
        QTest::qWait(300);  // the window under the dialog paints again
        CNote* n1 = europe->AddNewNote("Tram 28 timetable");
        n1->m_strSource = "http://127.0.0.1:9/tram-28.htm";
        CNote* n2 = europe->AddNewNote("Museums of Lisbon");
        n2->m_strSource = "http://127.0.0.1:9/museums.html";
        DialogHook old = SetDialogHook([&](CTemplateDialog& d) {
            d.show();
            snap(QStringLiteral("importdlg-fixed-") + lang);
            d.Control<QPushButton>(host::IDCANCEL)->click();
        });
        p.frame->m_fnImportNotes(*p.doc, {n1, n2});
        SetDialogHook(old);
        QTest::qWait(300);
        g_bDirectImport = true;
        p.frame->ActiveChildFrame()->TreeView()->SelectRecord(europe, false);
        auto one = std::make_unique<CImportItemArray>();
        one->push_back(Page("http://127.0.0.1:9/fado.htm", "Fado evenings"));
        QCoreApplication::postEvent(p.frame, new CImportItemsEvent(std::move(one), 1));
        QCoreApplication::sendPostedEvents(p.frame, CImportItemsEvent::kType);
        QVERIFY(CImportNotice::Current());
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->repaint();
        QTest::qWait(100);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(QStringLiteral("importnotice-") + lang + ".png")});
        QTRY_VERIFY_WITH_TIMEOUT(!CImportNotice::Current(), 3000);
        g_bDirectImport = false;
        g_pCurrentTarget = nullptr;
    }
}

CLIPVAULT_GUI_TEST_MAIN(ImportDlgTest)
#include "ImportDlgTest.moc"
