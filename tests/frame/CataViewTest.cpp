// The category tree: how it is filled (recent and download groups, order),
// selection and what it tells the frame, label editing, deleting with
// downloads under way, the locked notebook, the context menu and moving
// from note to note.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The frame around the tree, keeping what the tree asked of it.
class CFakeFrame : public INoteFrame {
public:
    explicit CFakeFrame(const CLanguageModule& lang)
        : m_actions(&m_owner, lang, [](unsigned, CCmdUI*) { return false; }) {}

    struct CShow {
        CNote* m_pNote;
        bool m_bNew;
        int m_nMode;
        bool m_bSource;
    };
    void ShowNote(CNote* pNote, bool bNew, int nMode, bool bSource) override {
        m_shown.push_back({pNote, bNew, nMode, bSource});
        m_pCurrent = pNote;
    }
    void ListCategory(CNoteCata* pCata) override {
        m_listed.push_back(pCata);
        m_pCurrent = nullptr;
    }
    void ListGroup(int nGroup) override {
        m_groups.push_back(nGroup);
        m_pCurrent = nullptr;
    }
    CNote* CurrentNote() const override { return m_pCurrent; }
    void ClearCurrentNote() override {
        m_pCurrent = nullptr;
        ++m_nCleared;
    }
    void ForgetNote(CNote* pNote) override { m_forgotten.push_back(pNote); }
    void RemoveFromList(CNoteBase* pRecord) override { m_unlisted.push_back(pRecord); }
    void OpenImport() override { ++m_nImports; }
    void ImportNotes(const std::vector<CNote*>& notes) override { m_imported = notes; }
    void GoToNoteNumber(uint32_t) override {}
    CCommandActions& Actions() const override { return m_actions; }
    CCmdTarget* ActiveView() const override { return nullptr; }
    void SetActiveView(CCmdTarget*) override {}

    void Forget() {
        m_shown.clear();
        m_listed.clear();
        m_groups.clear();
    }

    QWidget m_owner;
    mutable CCommandActions m_actions;
    std::vector<CShow> m_shown;
    std::vector<CNoteCata*> m_listed;
    std::vector<int> m_groups;
    std::vector<CNote*> m_forgotten;
    std::vector<CNoteBase*> m_unlisted;
    std::vector<CNote*> m_imported;
    CNote* m_pCurrent = nullptr;
    int m_nCleared = 0;
    int m_nImports = 0;
};

int64_t Midnight(const QDate& date) { return QDateTime(date, QTime(0, 0)).toSecsSinceEpoch(); }

// A notebook, the frame double and the tree in a shown window.
struct CTree {
    explicit CTree(const CLanguageModule& lang) : m_frame(lang) { m_doc.OnNewDocument(); }

    CNote* Note(CNoteCata* pCata, const char* name, const QDate& date = QDate(2000, 1, 1)) {
        CNote* p = pCata->AddNewNote(name);
        p->m_tmDate = Midnight(date);
        p->m_strExt = "htm";
        return p;
    }
    CNoteCataView* Build(const QDate& today = QDate(2026, 12, 9)) {
        m_pView = new CNoteCataView(m_frame, m_doc, &m_window);
        m_pView->SetTodayClock([today] { return today; });
        m_pView->Populate();
        m_window.resize(400, 600);
        m_pView->resize(400, 600);
        m_window.show();
        return m_pView;
    }
    QStringList Texts(const QTreeWidgetItem* pItem) const {
        QStringList out;
        for (int i = 0; pItem && i < pItem->childCount(); ++i) out << pItem->child(i)->text(0);
        return out;
    }
    // Enter in an editor: the delegate takes the text a moment later.
    static void Accept(QLineEdit* pEditor) {
        QTest::keyClick(pEditor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    bool Run(unsigned nID) { return m_pView->OnCmdMsg(nID, nullptr); }
    bool Enabled(unsigned nID) {
        CCmdUI ui(nID);
        ui.m_bEnabled = false;
        return m_pView->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
    }
    // A right click on the item, as the window delivers it: the press
    // selects it and opens the context menu, which is returned.
    QMenu* RightClick(QTreeWidgetItem* pItem) {
        m_pView->scrollToItem(pItem);
        const QPoint at = m_pView->viewport()->mapTo(&m_window, m_pView->visualItemRect(pItem).center());
        QTest::mouseClick(m_window.windowHandle(), Qt::RightButton, {}, at);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    // Clicks the menu's entry of that command (it must be enabled).
    bool Pick(QMenu* pMenu, unsigned nID) {
        for (QAction* a : pMenu ? pMenu->actions() : QList<QAction*>())
            if (m_frame.m_actions.IdOf(a) == nID && a->isEnabled()) {
                QTest::mouseClick(pMenu, Qt::LeftButton, {}, pMenu->actionGeometry(a).center());
                return true;
            }
        return false;
    }
    // Opens the menu on the item without selecting it (as from a pen or a
    // second button held elsewhere) and picks the command.
    bool PickOn(QTreeWidgetItem* pItem, unsigned nID) {
        m_pView->scrollToItem(pItem);
        const QPoint at = m_pView->visualItemRect(pItem).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, m_pView->viewport()->mapToGlobal(at));
        QApplication::sendEvent(m_pView->viewport(), &e);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        const bool bPicked = Pick(menu, nID);
        if (!bPicked && menu) menu->close();
        return bPicked;
    }
    // The open editor on the item's row, if any.
    QLineEdit* Editor(QTreeWidgetItem* pItem) const {
        const QRect row = m_pView->visualItemRect(pItem);
        for (QLineEdit* ed : m_pView->viewport()->findChildren<QLineEdit*>())
            if (ed->isVisible() && row.contains(ed->geometry().center())) return ed;
        return nullptr;
    }

    CClipVaultDoc m_doc;
    CFakeFrame m_frame;
    QWidget m_window;
    CNoteCataView* m_pView = nullptr;
};

}  // namespace

class CataViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void dayGroupsFollowTheCalendar();
    void dayGroupsAtTheEdgesOfTheirDays();
    void fillOrderSortAndGroups();
    void downloadGroupsFollowTheStatus();
    void selectionTellsTheFrame();
    void insertingAndFindingRecords();
    void labelEditingNewNotesAndCategories();
    void renamingAndTheRootThatCannotBe();
    void deletingARunningNoteWaitsForItsStop();
    void deletingCategoriesGroupsAndContents();
    void lockedNotebookRefusesChanges();
    void contextMenuOffersByItem();
    void downloadCommandsDriveTheNotebook();
    void noteCommandsReachTheFrame();
    void keysDeleteHelpAndMenu();
    void aDismissedContextMenuLeavesCommandsToTheSelection();
    void noteNavigationInTreeOrder();

private:
    std::unique_ptr<CGuiTestFixture> m_pFx;
    std::unique_ptr<CGuiHost> m_pHost;
    CLanguageModule m_lang;
};

void CataViewTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>();
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
    SetStringSource([this](unsigned nID) { return m_lang.String(nID); });
    SetTemplateSource([this](unsigned nID) { return m_lang.DialogTemplate(nID); });
    m_pHost = std::make_unique<CGuiHost>();
}

void CataViewTest::cleanupTestCase() {
    m_pHost.reset();
    SetTemplateSource(nullptr);
    SetStringSource(nullptr);
    SetCurrentLanguage(nullptr);
    m_pFx.reset();
}

void CataViewTest::init() {
    m_pFx->Clear();
    m_pFx->m_nAnswer = 0;
    g_pCurrentTarget = nullptr;
}

void CataViewTest::dayGroupsFollowTheCalendar() {
    const QDate wednesday(2026, 12, 9);
    QCOMPARE(wednesday.dayOfWeek(), 3);
    CTree t(m_lang);
    CNoteCata* c = t.m_doc.m_rootCata.AddNewSubCata("Cat");
    t.Note(c, "today", wednesday);
    t.Note(&t.m_doc.m_rootCata, "yesterday", wednesday.addDays(-1));
    t.Note(c, "monday", wednesday.addDays(-2));
    t.Note(c, "sunday", wednesday.addDays(-3));
    t.Note(c, "saturday", wednesday.addDays(-4));
    t.Note(&t.m_doc.m_rootCata, "tomorrow", wednesday.addDays(1));
    t.Note(c, "old", wednesday.addDays(-40));
    CNoteCataView* v = t.Build(wednesday);
    const auto today = v->GroupItem(CNoteCataView::kGroupToday);
    QCOMPARE(t.Texts(today), QStringList{"today"});
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupYesterday)), QStringList{"yesterday"});
    // Three days either side of a Wednesday, sorted by name.
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupThisWeek)),
             (QStringList{"monday", "sunday", "today", "tomorrow", "yesterday"}));

    // On a Sunday the week is that day alone: yesterday is only yesterday,
    // tomorrow nowhere.
    CTree s(m_lang);
    const QDate sunday(2026, 12, 13);
    QCOMPARE(sunday.dayOfWeek(), 7);
    s.Note(&s.m_doc.m_rootCata, "today", sunday);
    s.Note(&s.m_doc.m_rootCata, "yesterday", sunday.addDays(-1));
    s.Note(&s.m_doc.m_rootCata, "tomorrow", sunday.addDays(1));
    CNoteCataView* w = s.Build(sunday);
    QCOMPARE(s.Texts(w->GroupItem(CNoteCataView::kGroupToday)), QStringList{"today"});
    QCOMPARE(s.Texts(w->GroupItem(CNoteCataView::kGroupYesterday)), QStringList{"yesterday"});
    QCOMPARE(s.Texts(w->GroupItem(CNoteCataView::kGroupThisWeek)), QStringList{"today"});

    // The day after a clock change is 23 hours after midnight, still one day.
    CTree d(m_lang);
    CNote* n = d.Note(&d.m_doc.m_rootCata, "yesterday", wednesday.addDays(-1));
    n->m_tmDate = Midnight(wednesday) - 23 * 3600;
    CNoteCataView* x = d.Build(wednesday);
    QCOMPARE(d.Texts(x->GroupItem(CNoteCataView::kGroupYesterday)), QStringList{"yesterday"});
    QVERIFY(d.Texts(x->GroupItem(CNoteCataView::kGroupToday)).isEmpty());
}

// The groups take notes by their calendar day around today, whatever the
// weekday, the hour, a clock change in the week or a date no calendar has;
// notes of years before or after are in none of them.
void CataViewTest::dayGroupsAtTheEdgesOfTheirDays() {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");  // clocks go forward on Sunday 2027-03-28
    tzset();
    if (QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
        QCOMPARE(Midnight(QDate(2027, 3, 29)) - Midnight(QDate(2027, 3, 28)), int64_t(23 * 3600));
    auto expected = [](int64_t tm, const QDate& today) {
        QList<int> groups;
        const QDate date = QDateTime::fromSecsSinceEpoch(tm).date();
        if (!date.isValid()) return groups;
        const qint64 k = date.daysTo(today);
        if (k == 0) groups << CNoteCataView::kGroupToday;
        if (k == 1) groups << CNoteCataView::kGroupYesterday;
        if (std::llabs(k) < today.dayOfWeek() % 7 + 1) groups << CNoteCataView::kGroupThisWeek;
        return groups;
    };
    for (int day = 0; day < 7; ++day) {
        const QDate today = QDate(2027, 3, 24).addDays(day);
        CTree t(m_lang);
        CNoteCata* c = t.m_doc.m_rootCata.AddNewSubCata("Cat");
        std::vector<CNote*> notes;
        const int64_t midnight = Midnight(today);
        // Every day from ten before to ten after today, at its first and
        // last second, its hours around noon and across the change.
        int n = 0;
        for (int d = -10; d <= 10; ++d) {
            const int64_t start = Midnight(today.addDays(d));
            const int64_t next = Midnight(today.addDays(d + 1));
            for (int64_t tm : {start, start + 1, start + 2 * 3600, start + 3 * 3600, start + 12 * 3600, next - 1}) {
                const QByteArray name = QByteArray::number(n++).rightJustified(4, '0');
                notes.push_back(t.Note(n % 2 ? c : &t.m_doc.m_rootCata, name.constData()));
                notes.back()->m_tmDate = tm;
            }
        }
        for (int64_t tm : {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), int64_t(-1),
                           int64_t(midnight - 400 * 86400), int64_t(midnight + 400 * 86400)}) {
            const QByteArray name = QByteArray::number(n++).rightJustified(4, '0');
            notes.push_back(t.Note(c, name.constData()));
            notes.back()->m_tmDate = tm;
        }
        CNoteCataView* v = t.Build(today);
        for (int g : {int(CNoteCataView::kGroupToday), int(CNoteCataView::kGroupYesterday),
                      int(CNoteCataView::kGroupThisWeek)}) {
            QStringList want;
            for (CNote* p : notes)
                if (expected(p->m_tmDate, today).contains(g)) want << ToQ(p->m_strName);
            QCOMPARE(t.Texts(v->GroupItem(g)), want);  // names sort as they were made
        }
        QVERIFY(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)).size() == 6);
    }
    if (oldTz.isNull()) qunsetenv("TZ");
    else qputenv("TZ", oldTz);
    tzset();
}

void CataViewTest::fillOrderSortAndGroups() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNoteCata* b = root.AddNewSubCata("beta");
    root.AddNewSubCata("Alpha");
    root.AddNewSubCata("\xC3\x89t\xC3\xA9");  // "Été": bytes above every letter
    t.Note(&root, "zeta");
    t.Note(&root, "Apple");
    t.Note(b, "inside");
    b->AddNewSubCata("sub");
    CNote* failed = t.Note(&root, "failed one");
    CNote* held = t.Note(&root, "held one");
    t.m_doc.ListForDownload(held, false);
    t.m_doc.m_pendingNotes.push_back(failed);
    failed->m_nStatus = kStatusFailed;
    CNoteCataView* v = t.Build();

    QCOMPARE(v->topLevelItemCount(), 3);
    QTreeWidgetItem* r = v->RootItem();
    QCOMPARE(v->topLevelItem(0), r);
    QCOMPARE(r->text(0), m_lang.String(33052));
    QCOMPARE(CNoteCataView::ImageOf(r), int(CNoteCataView::kImageNotebook));
    QVERIFY(r->isExpanded());
    QCOMPARE(v->currentItem(), r);
    // Categories first, then notes, each by bytes.
    QCOMPARE(t.Texts(r), (QStringList{"Alpha", "beta", "\u00c9t\u00e9", "Apple", "failed one", "held one", "zeta"}));
    QCOMPARE(t.Texts(r->child(1)), (QStringList{"sub", "inside"}));
    // The groups in their order, with their numbers.
    QTreeWidgetItem* recent = v->topLevelItem(1);
    QTreeWidgetItem* downloads = v->topLevelItem(2);
    QCOMPARE(recent->text(0), m_lang.String(33053));
    QCOMPARE(t.Texts(recent), (QStringList{m_lang.String(33054), m_lang.String(33055), m_lang.String(33056)}));
    QCOMPARE(downloads->text(0), m_lang.String(33093));
    QCOMPARE(t.Texts(downloads),
             (QStringList{m_lang.String(33091), m_lang.String(33090), m_lang.String(33102), m_lang.String(33092)}));
    QList<int> numbers{CNoteCataView::GroupOf(recent)};
    for (int i = 0; i < 3; ++i) numbers << CNoteCataView::GroupOf(recent->child(i));
    numbers << CNoteCataView::GroupOf(downloads);
    for (int i = 0; i < 4; ++i) numbers << CNoteCataView::GroupOf(downloads->child(i));
    QCOMPARE(numbers, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    QList<int> images;
    for (int i = 0; i < 4; ++i) images << CNoteCataView::ImageOf(downloads->child(i));
    QCOMPARE(images, (QList<int>{8, 9, 11, 10}));
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupWaiting)), QStringList{"held one"});
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupFailed)), QStringList{"failed one"});

    // A category shows open only while expanded with children.
    QTreeWidgetItem* beta = r->child(1);
    QTreeWidgetItem* alpha = r->child(0);
    QCOMPARE(CNoteCataView::ImageOf(beta), int(CNoteCataView::kImageCata));
    beta->setExpanded(true);
    QCOMPARE(CNoteCataView::ImageOf(beta), int(CNoteCataView::kImageCataOpen));
    alpha->setExpanded(true);
    QCOMPARE(CNoteCataView::ImageOf(alpha), int(CNoteCataView::kImageCata));
    QVERIFY(!beta->icon(0).isNull());

    // New items go last; sorting puts them in order again.
    CNote* late = t.Note(&root, "Banana");
    CNoteCata* lateCata = root.AddNewSubCata("Zulu");
    v->InsertNote(late, r);
    v->InsertCata(lateCata, r);
    QCOMPARE(t.Texts(r).mid(6), (QStringList{"zeta", "Banana", "Zulu"}));
    v->setCurrentItem(r);
    QVERIFY(t.Enabled(cmd::kCmdSortByName));
    t.Run(cmd::kCmdSortByName);
    QCOMPARE(t.Texts(r), (QStringList{"Alpha", "Zulu", "beta", "\u00c9t\u00e9", "Apple", "Banana", "failed one",
                                     "held one", "zeta"}));
    QVERIFY2(beta->isExpanded(), "sorting keeps what was open");
}

void CataViewTest::downloadGroupsFollowTheStatus() {
    CTree t(m_lang);
    CNote* n = t.Note(&t.m_doc.m_rootCata, "moving");
    t.Note(&t.m_doc.m_rootCata, "other");
    CNoteCataView* v = t.Build();
    auto groupOf = [&]() -> int {
        for (int g = CNoteCataView::kGroupRunning; g <= CNoteCataView::kGroupFailed; ++g) {
            QTreeWidgetItem* group = v->GroupItem(g);
            for (int i = 0; i < group->childCount(); ++i)
                if (v->RecordOf(group->child(i)) == n) return g;
        }
        return 0;
    };
    QCOMPARE(groupOf(), 0);
    const std::pair<int, int> steps[] = {{kStatusQueued, CNoteCataView::kGroupQueued},
                                         {kStatusRunning, CNoteCataView::kGroupRunning},
                                         {kStatusFailed, CNoteCataView::kGroupFailed},
                                         {kStatusHeld, CNoteCataView::kGroupWaiting},
                                         {kStatusDone, 0}};
    for (const auto& [status, group] : steps) {
        n->m_nStatus = status;
        v->PlaceInDownloadGroup(n);
        QCOMPARE(groupOf(), group);
        int count = 0;
        for (int g = CNoteCataView::kGroupRunning; g <= CNoteCataView::kGroupFailed; ++g)
            count += v->GroupItem(g)->childCount();
        QCOMPARE(count, group ? 1 : 0);
    }
    // A note not filed yet (an import on its way) waits for its insertion.
    CNote* loose = new CNote;
    loose->m_pDocument = &t.m_doc;
    loose->m_strName = "loose";
    loose->m_nStatus = kStatusRunning;
    v->RefreshNote(loose);
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 0);
    QVERIFY(t.m_doc.m_rootCata.AttachNote(loose, "loose", true));
    v->InsertNote(loose, v->RootItem());
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 1);
    v->RemoveRecord(loose);
    QVERIFY(loose->Delete());
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 0);
    // Selected in its group, it stays selected as it moves, and the frame
    // shows it again.
    n->m_nStatus = kStatusQueued;
    v->PlaceInDownloadGroup(n);
    v->GroupItem(CNoteCataView::kGroupDownloads)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupQueued)->setExpanded(true);
    t.m_frame.Forget();
    v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupQueued)->child(0));
    QCOMPARE(t.m_frame.m_shown.size(), size_t(1));
    n->m_nStatus = kStatusRunning;
    v->RefreshNote(n);
    QCOMPARE(groupOf(), int(CNoteCataView::kGroupRunning));
    QCOMPARE(v->currentItem()->parent(), v->GroupItem(CNoteCataView::kGroupRunning));
    QCOMPARE(t.m_frame.m_shown.size(), size_t(2));
    QCOMPARE(t.m_frame.m_shown.back().m_pNote, n);
    QVERIFY2(t.m_frame.m_listed.empty(), "no other item was selected on the way");
    // Done: back to its item in the category branch.
    n->m_nStatus = kStatusDone;
    v->RefreshNote(n);
    QCOMPARE(v->currentItem(), v->ItemOf(n));
    QCOMPARE(t.m_frame.m_shown.back().m_pNote, n);
}

void CataViewTest::selectionTellsTheFrame() {
    CTree t(m_lang);
    CNoteCata* c = t.m_doc.m_rootCata.AddNewSubCata("Cat");
    CNote* n = t.Note(c, "note", QDate(2026, 12, 9));
    CNoteCataView* v = t.Build();
    QCOMPARE(t.m_frame.m_listed, std::vector<CNoteCata*>{&t.m_doc.m_rootCata});
    QCOMPARE(g_pCurrentTarget, &t.m_doc.m_rootCata);
    t.m_frame.Forget();
    auto click = [&](QTreeWidgetItem* item) {
        v->scrollToItem(item);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualItemRect(item).center());
    };
    QTreeWidgetItem* cat = v->ItemOf(c);
    click(cat);
    QCOMPARE(t.m_frame.m_listed, std::vector<CNoteCata*>{c});
    QCOMPARE(g_pCurrentTarget, c);
    cat->setExpanded(true);
    click(v->ItemOf(n));
    QCOMPARE(t.m_frame.m_shown.size(), size_t(1));
    QCOMPARE(t.m_frame.m_shown[0].m_pNote, n);
    QCOMPARE(t.m_frame.m_shown[0].m_nMode, -1);
    QCOMPARE(g_pCurrentTarget, c);
    // The same note under a group: shown the same way.
    v->GroupItem(CNoteCataView::kGroupRecent)->setExpanded(true);
    click(v->GroupItem(CNoteCataView::kGroupThisWeek));
    QCOMPARE(t.m_frame.m_groups, std::vector<int>{CNoteCataView::kGroupThisWeek});
    click(v->GroupItem(CNoteCataView::kGroupRecent));
    QCOMPARE(t.m_frame.m_groups.back(), int(CNoteCataView::kGroupRecent));
    // Selecting what is selected does nothing.
    const size_t groups = t.m_frame.m_groups.size();
    v->setCurrentItem(nullptr);
    v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupRecent));
    QCOMPARE(t.m_frame.m_groups.size(), groups);
    // The note by number, quietly or as a click.
    t.m_frame.Forget();
    QVERIFY(v->SelectNoteNumber(n->m_nID));
    QCOMPARE(v->currentItem(), v->ItemOf(n));
    QVERIFY(t.m_frame.m_shown.empty());
    QVERIFY(v->SelectRecord(c, false));
    QCOMPARE(t.m_frame.m_listed, std::vector<CNoteCata*>{c});
    QVERIFY(v->SelectNoteNumber(n->m_nID, false));
    QCOMPARE(t.m_frame.m_shown.size(), size_t(1));
    QVERIFY(!v->SelectNoteNumber(9999));
    // Where new notes go.
    QCOMPARE(v->CurrentCategory(), c);
    v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupDownloads));
    QCOMPARE(v->CurrentCategory(), &t.m_doc.m_rootCata);
    // The import target never outlives its category or its notebook.
    v->setCurrentItem(cat);
    QCOMPARE(g_pCurrentTarget, c);
    v->RemoveRecord(c);
    QVERIFY(c->Delete());
    QCOMPARE(g_pCurrentTarget, &t.m_doc.m_rootCata);
    delete t.m_pView;
    QCOMPARE(g_pCurrentTarget, static_cast<CNoteCata*>(nullptr));
}

void CataViewTest::insertingAndFindingRecords() {
    CTree t(m_lang);
    CNoteCata* c = t.m_doc.m_rootCata.AddNewSubCata("Cat");
    CNoteCata* deep = c->AddNewSubCata("deep");
    CNote* n = t.Note(deep, "leaf");
    CNoteCataView* v = t.Build(QDate(2026, 12, 9));
    QCOMPARE(v->ItemOf(&t.m_doc.m_rootCata), v->RootItem());
    QCOMPARE(v->RecordOf(v->ItemOf(deep)), deep);
    QCOMPARE(v->ItemOf(n)->parent(), v->ItemOf(deep));
    QVERIFY(!t.m_doc.IsModified());

    // A category pasted from elsewhere arrives with its notes, which are
    // then found by number and listed as recent.
    CNoteCata* pasted = new CNoteCata;
    pasted->m_strName = "pasted";
    QVERIFY(c->AttachSubCata(pasted, "pasted", true));
    pasted->m_pDocument = &t.m_doc;
    CNote* fresh = pasted->AddNewNote("fresh");
    fresh->m_tmDate = Midnight(QDate(2026, 12, 9));
    QTreeWidgetItem* item = v->InsertCata(pasted, v->ItemOf(c));
    QVERIFY(item);
    QCOMPARE(item->parent()->child(item->parent()->childCount() - 1), item);
    QVERIFY(t.m_doc.IsModified());
    QCOMPARE(v->ItemOf(fresh)->parent(), item);
    QVERIFY(v->SelectNoteNumber(fresh->m_nID));
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)), QStringList{"fresh"});
    // Nothing can be put under a group.
    QVERIFY(!v->InsertCata(c->AddNewSubCata("x"), v->GroupItem(CNoteCataView::kGroupToday)));

    // A note leaves everything at once.
    v->RemoveNoteEverywhere(fresh, true);
    QVERIFY(!v->ItemOf(fresh));
    QVERIFY(!v->SelectNoteNumber(fresh->m_nID));
    QVERIFY(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)).isEmpty());
    QCOMPARE(t.m_frame.m_forgotten, std::vector<CNote*>{fresh});
    QCOMPARE(t.m_frame.m_unlisted, std::vector<CNoteBase*>{fresh});
}

void CataViewTest::labelEditingNewNotesAndCategories() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    t.Note(&root, "taken");
    root.AddNewSubCata("TakenCat");
    // New notes are dated by the system's clock.
    CNoteCataView* v = t.Build(QDate::currentDate());
    v->setFocus();
    QTreeWidgetItem* r = v->RootItem();

    // A new note: a clashing name is refused with 33017 and editing starts
    // again; another name makes the note and the frame opens it to edit.
    QVERIFY(t.Enabled(cmd::kCmdNewNote));
    t.Run(cmd::kCmdNewNote);
    QTreeWidgetItem* item = r->child(r->childCount() - 1);
    QCOMPARE(item->text(0), m_lang.String(33051));
    QCOMPARE(v->LabelEditMode(), CNoteCataView::kEditNewNote);
    QLineEdit* ed = t.Editor(item);
    QVERIFY(ed);
    QCOMPARE(ed->accessibleName(), m_lang.String(33116));
    ed->setText(QStringLiteral("taken"));
    t.Accept(ed);
    QVERIFY(m_pFx->Shown(ids::IDS_NAME_TAKEN));
    QTRY_VERIFY(t.Editor(item));
    QCOMPARE(root.m_notes.GetCount(), size_t(1));
    ed = t.Editor(item);
    ed->setText(QStringLiteral("written"));
    t.Accept(ed);
    CNote* written = root.GetNote("written");
    QVERIFY(written);
    QCOMPARE(written->m_strExt, std::string("htm"));
    QCOMPARE(v->RecordOf(item), static_cast<CNoteBase*>(written));
    QCOMPARE(item->text(0), QStringLiteral("written"));
    QCOMPARE(v->currentItem(), item);
    QCOMPARE(v->LabelEditMode(), CNoteCataView::kEditIdle);
    QVERIFY(t.m_doc.IsModified());
    QCOMPARE(t.m_frame.m_shown.size(), size_t(1));
    QVERIFY(t.m_frame.m_shown[0].m_bNew);
    QCOMPARE(t.m_frame.m_shown[0].m_nMode, 1);
    QVERIFY(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)).contains("written"));
    QVERIFY(v->SelectNoteNumber(written->m_nID));

    // Cancelled, a new note is made all the same, under its default name.
    v->setCurrentItem(r);
    t.Run(cmd::kCmdNewNote);
    item = r->child(r->childCount() - 1);
    QTest::keyClick(t.Editor(item), Qt::Key_Escape);
    QVERIFY(root.GetNote(FromQ(m_lang.String(33051))));
    QCOMPARE(v->RecordOf(item), static_cast<CNoteBase*>(root.GetNote(FromQ(m_lang.String(33051)))));

    // A new category after the categories, before the notes; a clash
    // restarts the editing without a word.
    m_pFx->Clear();
    v->setCurrentItem(r);
    t.Run(cmd::kCmdNewCategory);
    item = r->child(1);
    QCOMPARE(item->text(0), m_lang.String(33050));
    QVERIFY(!v->RecordOf(item));
    ed = t.Editor(item);
    QVERIFY(ed);
    ed->setText(QStringLiteral("TakenCat"));
    t.Accept(ed);
    QTRY_VERIFY(t.Editor(item));
    QVERIFY(m_pFx->m_messages.empty());
    t.Editor(item)->setText(QStringLiteral("Fresh"));
    t.Accept(t.Editor(item));
    CNoteCata* fresh = root.GetSubCata("Fresh");
    QVERIFY(fresh);
    QCOMPARE(v->RecordOf(item), static_cast<CNoteBase*>(fresh));
    QCOMPARE(t.m_frame.m_listed.back(), fresh);
    QCOMPARE(g_pCurrentTarget, fresh);
}

void CataViewTest::renamingAndTheRootThatCannotBe() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNote* a = t.Note(&root, "a", QDate(2026, 12, 9));
    t.Note(&root, "b");
    CNoteCataView* v = t.Build(QDate(2026, 12, 9));
    v->setFocus();
    // The root is neither renamed nor deleted.
    QTreeWidgetItem* r = v->RootItem();
    v->setCurrentItem(r);
    QVERIFY(!t.Enabled(cmd::kCmdRename));
    QVERIFY(!t.Enabled(cmd::kCmdDelete));
    QTest::keyClick(v, Qt::Key_F2);
    QVERIFY(!t.Editor(r));
    m_pFx->m_nAnswer = host::IDYES;
    t.Run(cmd::kCmdDelete);
    QCOMPARE(v->RootItem(), r);
    QVERIFY(m_pFx->m_messages.empty());
    QCOMPARE(root.m_notes.GetCount(), size_t(2));
    // A name in use is refused by the notebook (33017); the note keeps its own.
    QTreeWidgetItem* item = v->ItemOf(a);
    v->setCurrentItem(item);
    QTest::keyClick(v, Qt::Key_F2);
    QLineEdit* ed = t.Editor(item);
    QVERIFY(ed);
    QCOMPARE(v->LabelEditMode(), CNoteCataView::kEditRename);
    ed->setText(QStringLiteral("b"));
    t.Accept(ed);
    QVERIFY(m_pFx->Shown(ids::IDS_NAME_TAKEN));
    QCOMPARE(a->m_strName, std::string("a"));
    QCOMPARE(item->text(0), QStringLiteral("a"));
    // Renamed in a group, the note's category item follows.
    v->GroupItem(CNoteCataView::kGroupRecent)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupToday)->setExpanded(true);
    QTreeWidgetItem* inGroup = v->GroupItem(CNoteCataView::kGroupToday)->child(0);
    v->setCurrentItem(inGroup);
    t.Run(cmd::kCmdRename);
    ed = t.Editor(inGroup);
    QVERIFY(ed);
    ed->setText(QStringLiteral("renamed"));
    t.Accept(ed);
    QCOMPARE(a->m_strName, std::string("renamed"));
    QCOMPARE(root.GetNote("renamed"), a);
    QCOMPARE(v->ItemOf(a)->text(0), QStringLiteral("renamed"));
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupThisWeek)->child(0)->text(0), QStringLiteral("renamed"));
    // Tab ends the edit there, taking the name.
    QTreeWidgetItem* bItem = v->ItemOf(root.GetNote("b"));
    v->setCurrentItem(bItem);
    t.Run(cmd::kCmdRename);
    ed = t.Editor(bItem);
    QVERIFY(ed);
    ed->setText(QStringLiteral("b2"));
    QTest::keyClick(ed, Qt::Key_Tab);
    QCoreApplication::processEvents();
    QVERIFY(root.GetNote("b2"));
    QCOMPARE(v->LabelEditMode(), CNoteCataView::kEditIdle);
    for (QTreeWidgetItem* other : {v->ItemOf(a), v->RootItem()}) QVERIFY(!t.Editor(other));
    // A cancelled rename changes nothing.
    v->setCurrentItem(v->ItemOf(a));
    t.Run(cmd::kCmdRename);
    ed = t.Editor(v->ItemOf(a));
    ed->setText(QStringLiteral("never"));
    QTest::keyClick(ed, Qt::Key_Escape);
    QCOMPARE(a->m_strName, std::string("renamed"));
}

void CataViewTest::deletingARunningNoteWaitsForItsStop() {
    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        ++started;
        // "stubborn" ignores the stop; the others hear it.
        while (!release && (note.m_strSource == "stubborn" || !note.StopRequested()))
            std::this_thread::sleep_for(1ms);
        return true;
    });
    {
        CTree t(m_lang);
        t.m_doc.m_nStopTimeout = 0ms;
        CNote* n = t.Note(&t.m_doc.m_rootCata, "Busy");
        n->m_strSource = "stubborn";
        n->m_nContentType = kContentHeld;
        CNoteCataView* v = t.Build();
        t.m_doc.ListForDownload(n, true);
        v->RefreshNote(n);
        QTRY_COMPARE(started.load(), 1);
        QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 1);
        v->setCurrentItem(v->ItemOf(n));
        m_pFx->m_nAnswer = host::IDYES;
        t.Run(cmd::kCmdDelete);
        QVERIFY(m_pFx->Shown(33018));
        // The worker did not stop: the note stays, its download ended.
        QCOMPARE(t.m_doc.m_rootCata.GetNote("Busy"), n);
        QVERIFY(v->ItemOf(n));
        QVERIFY(t.m_frame.m_forgotten.empty());
        QCOMPARE(n->m_nStatus.load(), int(kStatusDone));
        QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 0);
        // Once it has ended, the note can go.
        release = true;
        QTRY_VERIFY(!t.m_doc.HasWorker(n));
        v->setCurrentItem(v->ItemOf(n));
        t.Run(cmd::kCmdDelete);
        QVERIFY(!t.m_doc.m_rootCata.GetNote("Busy"));
        QCOMPARE(t.m_frame.m_forgotten, std::vector<CNote*>{n});
        QVERIFY(t.m_doc.IsModified());
    }
    {
        // A worker that hears the stop: the note goes at once.
        release = false;
        started = 0;
        CTree t(m_lang);
        t.m_doc.m_nStopTimeout = 10s;
        CNote* n = t.Note(&t.m_doc.m_rootCata, "Polite");
        CNoteCataView* v = t.Build();
        t.m_doc.ListForDownload(n, true);
        v->RefreshNote(n);
        QTRY_COMPARE(started.load(), 1);
        v->GroupItem(CNoteCataView::kGroupDownloads)->setExpanded(true);
        QTreeWidgetItem* running = v->GroupItem(CNoteCataView::kGroupRunning)->child(0);
        v->setCurrentItem(running);
        QCOMPARE(t.m_frame.m_pCurrent, n);
        m_pFx->m_nAnswer = host::IDYES;
        t.Run(cmd::kCmdDelete);
        QVERIFY(!t.m_doc.m_rootCata.GetNote("Polite"));
        QCOMPARE(t.m_frame.m_pCurrent, static_cast<CNote*>(nullptr));
        QVERIFY(t.m_frame.m_nCleared >= 1);
        QCOMPARE(v->GroupItem(CNoteCataView::kGroupRunning)->childCount(), 0);
        QVERIFY(t.m_doc.m_pendingNotes.empty());
    }
    CClipVaultDoc::SetDownloadBody(nullptr);
}

void CataViewTest::deletingCategoriesGroupsAndContents() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNoteCata* c = root.AddNewSubCata("Cat");
    CNoteCata* sub = c->AddNewSubCata("Sub");
    CNote* inside = t.Note(sub, "inside", QDate(2026, 12, 9));
    CNote* inside2 = t.Note(sub, "inside2", QDate(2026, 12, 9));
    CNote* inside3 = t.Note(c, "inside3", QDate(2026, 12, 9));
    CNote* f1 = t.Note(&root, "f1");
    CNote* f2 = t.Note(c, "f2");
    CNote* keep = t.Note(&root, "keep");
    for (CNote* p : {f1, f2}) {
        t.m_doc.m_pendingNotes.push_back(p);
        p->m_nStatus = kStatusFailed;
    }
    t.m_doc.ListForDownload(keep, false);
    CNoteCataView* v = t.Build(QDate(2026, 12, 9));

    // A failed group goes as a whole after one question; held notes stay.
    v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupFailed));
    QVERIFY(t.Enabled(cmd::kCmdDeleteGroup));
    m_pFx->m_nAnswer = host::IDNO;
    t.Run(cmd::kCmdDeleteGroup);
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupFailed)->childCount(), 2);
    m_pFx->Clear();
    m_pFx->m_nAnswer = host::IDYES;
    t.Run(cmd::kCmdDeleteGroup);
    QCOMPARE(m_pFx->m_messages.size(), size_t(1));
    QCOMPARE(m_pFx->m_messages[0].m_nID, 33103u);
    QVERIFY(!root.GetNote("f1"));
    QVERIFY(!c->GetNote("f2"));
    QCOMPARE(root.GetNote("keep"), keep);
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupFailed)->childCount(), 0);
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupWaiting)->childCount(), 1);

    // A category, from the context menu while one of its notes is shown
    // from the today group: asked with its name, then gone with what it
    // held, from every branch, and none of its notes is shown on the way.
    v->GroupItem(CNoteCataView::kGroupRecent)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupToday)->setExpanded(true);
    QCOMPARE(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)), (QStringList{"inside", "inside2", "inside3"}));
    v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupToday)->child(1));
    QCOMPARE(t.m_frame.m_pCurrent, inside2);
    const uint32_t nInsideID = inside->m_nID;  // the note itself goes with its category
    t.m_frame.Forget();
    m_pFx->Clear();
    QVERIFY(t.PickOn(v->ItemOf(c), cmd::kCmdDelete));
    for (const auto& shown : t.m_frame.m_shown)
        QVERIFY(shown.m_pNote != inside && shown.m_pNote != inside2 && shown.m_pNote != inside3);
    QVERIFY(v->currentItem());
    QCOMPARE(m_pFx->m_messages.at(0).m_nID, 33068u);
    QVERIFY(m_pFx->m_messages.at(0).m_strText.contains("Cat"));
    QVERIFY(!root.GetSubCata("Cat"));
    // The note shown from inside went first; the selection then moved on.
    QVERIFY(t.m_frame.m_nCleared >= 1);
    QVERIFY(t.m_frame.m_pCurrent != inside);
    QVERIFY(t.Texts(v->GroupItem(CNoteCataView::kGroupToday)).isEmpty());
    QVERIFY(std::find(t.m_frame.m_unlisted.begin(), t.m_frame.m_unlisted.end(), sub) != t.m_frame.m_unlisted.end());
    QCOMPARE(t.Texts(v->RootItem()), QStringList{"keep"});
    QVERIFY(!v->SelectNoteNumber(nInsideID));

    // Emptying the root takes everything below it.
    root.AddNewSubCata("again");
    v->InsertCata(root.GetSubCata("again"), v->RootItem());
    v->setCurrentItem(v->RootItem());
    t.Run(cmd::kCmdEmptyCategory);
    QCOMPARE(root.m_notes.GetCount() + root.m_subCatas.GetCount(), size_t(0));
    QCOMPARE(v->RootItem()->childCount(), 0);
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupWaiting)->childCount(), 0);
    QVERIFY(t.m_doc.m_pendingNotes.empty());
}

void CataViewTest::lockedNotebookRefusesChanges() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNote* n = t.Note(&root, "n");
    n->m_nContentType = kContentHeld;
    n->m_strSource = "http://example.invalid/";
    CNote* held = t.Note(&root, "held");
    t.m_doc.ListForDownload(held, false);
    CNoteCataView* v = t.Build();
    t.m_doc.SetPassword("secret");
    QVERIFY(t.m_doc.IsLocked() && v->IsReadOnly());
    v->setFocus();
    m_pFx->m_nAnswer = host::IDYES;

    v->setCurrentItem(v->ItemOf(n));
    using namespace cmd;
    for (unsigned nID : {kCmdNewCategory, kCmdDelete, kCmdNewNote, kCmdRename, kCmdImport, kCmdEditNote,
                         kCmdImportAgain}) {
        m_pFx->Clear();
        t.Run(nID);
        QVERIFY2(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED), qPrintable(QString::number(nID)));
    }
    QCOMPARE(root.m_notes.GetCount(), size_t(2));
    QCOMPARE(v->RootItem()->childCount(), 2);
    QCOMPARE(t.m_frame.m_nImports, 0);
    QVERIFY(t.m_frame.m_imported.empty());
    // Labels cannot be edited, and F2 says why.
    m_pFx->Clear();
    QTest::keyClick(v, Qt::Key_F2);
    QVERIFY(!t.Editor(v->ItemOf(n)));
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    // Downloads are not started, and the refusal is said.
    QTreeWidgetItem* waiting = v->GroupItem(CNoteCataView::kGroupWaiting);
    v->setCurrentItem(waiting);
    m_pFx->Clear();
    t.Run(kCmdStartGroup);
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(held->m_nStatus.load(), int(kStatusHeld));
    // The commands stay on, so that trying them tells the user why not.
    QVERIFY(t.Enabled(kCmdStartGroup));
    QVERIFY(t.Enabled(kCmdDeleteGroup));
    v->setCurrentItem(v->RootItem());
    t.Run(kCmdEmptyCategory);
    QCOMPARE(root.m_notes.GetCount(), size_t(2));
    // Looking stays possible.
    v->setCurrentItem(v->ItemOf(n));
    QVERIFY(t.Enabled(kCmdViewNote));
    m_pFx->Clear();
    t.Run(kCmdViewNote);
    QVERIFY(m_pFx->m_messages.empty());
    QCOMPARE(t.m_frame.m_shown.back().m_nMode, 0);
    t.Run(kCmdViewSource);
    QVERIFY(t.m_frame.m_shown.back().m_bSource);
    QVERIFY(t.Enabled(kCmdImportAgain));
    v->setCurrentItem(v->RootItem());
    QVERIFY(t.Enabled(kCmdSortByName));
}

void CataViewTest::contextMenuOffersByItem() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNote* n = t.Note(&root, "n", QDate(2026, 12, 9));
    n->m_nContentType = kContentHeld;
    CNote* failed = t.Note(&root, "failed");
    t.m_doc.m_pendingNotes.push_back(failed);
    failed->m_nStatus = kStatusFailed;
    CNoteCataView* v = t.Build(QDate(2026, 12, 9));
    v->GroupItem(CNoteCataView::kGroupRecent)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupToday)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupDownloads)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupFailed)->setExpanded(true);
    v->setCurrentItem(v->RootItem());

    // Opens the menu on an item and tells which of the ids it offers.
    auto offers = [&](QTreeWidgetItem* item, std::vector<unsigned> ids) {
        v->scrollToItem(item);
        const QPoint at = v->visualItemRect(item).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, v->viewport()->mapToGlobal(at));
        QApplication::sendEvent(v->viewport(), &e);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        std::vector<bool> out;
        for (unsigned nID : ids) {
            bool enabled = false;
            for (QAction* a : menu ? menu->actions() : QList<QAction*>())
                if (t.m_frame.m_actions.IdOf(a) == nID) enabled = a->isEnabled();
            out.push_back(enabled);
        }
        if (menu) menu->close();
        return out;
    };
    using namespace cmd;
    using B = std::vector<bool>;
    QCOMPARE(offers(v->RootItem(), {kCmdNewCategory, kCmdDelete, kCmdRename, kCmdSortByName, kCmdImport}),
             (B{true, false, false, true, true}));
    // Closed without a pick, the menu leaves no context item behind.
    QCOMPARE(v->ContextItem(), static_cast<QTreeWidgetItem*>(nullptr));
    // A note under a day group takes no new note; in the category it does.
    QTreeWidgetItem* inToday = v->GroupItem(CNoteCataView::kGroupToday)->child(0);
    QCOMPARE(offers(inToday, {kCmdNewNote, kCmdViewNote, kCmdDelete, kCmdSortByName}), (B{false, true, true, false}));
    QCOMPARE(offers(v->ItemOf(n), {kCmdNewNote}), B{true});
    // The failed group and a note in it.
    QCOMPARE(offers(v->GroupItem(CNoteCataView::kGroupFailed), {kCmdHoldGroup, kCmdStartGroup, kCmdStopGroup,
                                                                 kCmdDeleteGroup, kCmdHoldDownload}),
             (B{true, true, false, true, false}));
    QTreeWidgetItem* inFailed = v->GroupItem(CNoteCataView::kGroupFailed)->child(0);
    QCOMPARE(offers(inFailed, {kCmdHoldDownload, kCmdStartDownload, kCmdStopDownload, kCmdViewSource}),
             (B{true, true, false, true}));
    QCOMPARE(offers(v->GroupItem(CNoteCataView::kGroupDownloads), {kCmdSortByName}), B{false});
    // Locked: all stays on; what would change it says it is locked.
    t.m_doc.SetPassword("secret");
    QCOMPARE(offers(inFailed, {kCmdHoldDownload, kCmdStartDownload, kCmdCopyRecord, kCmdDelete}),
             (B{true, true, true, true}));
    t.m_doc.SetPassword("");

    // The menu's command acts on its item, not on the selection, and the
    // context item is gone afterwards.
    QCOMPARE(v->currentItem(), v->RootItem());
    QVERIFY(t.PickOn(inFailed, kCmdHoldDownload));
    QCOMPARE(failed->m_nStatus.load(), int(kStatusHeld));
    QCOMPARE(v->GroupItem(CNoteCataView::kGroupWaiting)->childCount(), 1);
    QCOMPARE(v->ContextItem(), static_cast<QTreeWidgetItem*>(nullptr));
    QCOMPARE(v->currentItem(), v->RootItem());
}

namespace {
// The notebook's reports reach the tree, as the frame passes them on.
class CViewsRelay : public IDocViews {
public:
    explicit CViewsRelay(CNoteCataView* pView) : m_pView(pView) {}
    void RefreshNote(CNote* p) override { m_pView->RefreshNote(p); }
    void NoteUnlisted(CNote* p) override { m_pView->RefreshNote(p); }
    void RemoveItem(CNoteBase* p) override { m_pView->RemoveRecord(p); }
    CNoteCataView* m_pView;
};
}  // namespace

void CataViewTest::downloadCommandsDriveTheNotebook() {
    std::atomic<bool> go{false};
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        while (!go && !note.StopRequested()) std::this_thread::sleep_for(1ms);
        return true;
    });
    AppOptions().m_nMaxDownloadWorkers = 1;
    {
        CTree t(m_lang);
        CNoteCata& root = t.m_doc.m_rootCata;
        CNote* a = t.Note(&root, "a");
        CNote* b = t.Note(&root, "b");
        CNote* c = t.Note(&root, "c");
        for (CNote* p : {a, b, c}) t.m_doc.ListForDownload(p, false);
        CNoteCataView* v = t.Build();
        CViewsRelay relay(v);
        t.m_doc.m_pViews = &relay;
        auto count = [&](int nGroup) { return v->GroupItem(nGroup)->childCount(); };
        QCOMPARE(count(CNoteCataView::kGroupWaiting), 3);
        using namespace cmd;
        // Start every waiting one: one runs, the others queue.
        v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupWaiting));
        QVERIFY(t.Enabled(kCmdStartGroup));
        QVERIFY(!t.Enabled(kCmdStopGroup));
        t.Run(kCmdStartGroup);
        QCOMPARE(count(CNoteCataView::kGroupRunning), 1);
        QCOMPARE(count(CNoteCataView::kGroupQueued), 2);
        QCOMPARE(count(CNoteCataView::kGroupWaiting), 0);
        // Hold the queued ones again.
        v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupQueued));
        t.Run(kCmdHoldGroup);
        QCOMPARE(count(CNoteCataView::kGroupQueued), 0);
        QCOMPARE(count(CNoteCataView::kGroupWaiting), 2);
        // Stop what runs: it is done and leaves the groups.
        v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupRunning));
        t.Run(kCmdStopGroup);
        QCOMPARE(count(CNoteCataView::kGroupRunning), 0);
        QCOMPARE(a->m_nStatus.load(), int(kStatusDone));
        // One waiting note started on its own, and it finishes.
        v->GroupItem(CNoteCataView::kGroupDownloads)->setExpanded(true);
        v->GroupItem(CNoteCataView::kGroupWaiting)->setExpanded(true);
        v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupWaiting)->child(0));
        CNote* started = static_cast<CNote*>(v->RecordOf(v->currentItem()));
        QVERIFY(t.Enabled(kCmdStartDownload));
        QVERIFY(!t.Enabled(kCmdHoldDownload));
        t.Run(kCmdStartDownload);
        QCOMPARE(started->m_nStatus.load(), int(kStatusRunning));
        QCOMPARE(count(CNoteCataView::kGroupRunning), 1);
        go = true;
        QTRY_COMPARE(count(CNoteCataView::kGroupRunning), 0);
        QCOMPARE(started->m_nStatus.load(), int(kStatusDone));
        // The last waiting note goes with its group.
        v->setCurrentItem(v->GroupItem(CNoteCataView::kGroupWaiting));
        m_pFx->m_nAnswer = host::IDYES;
        QCOMPARE(count(CNoteCataView::kGroupWaiting), 1);
        CNote* last = static_cast<CNote*>(v->RecordOf(v->GroupItem(CNoteCataView::kGroupWaiting)->child(0)));
        const std::string lastName = last->m_strName;
        t.Run(kCmdDeleteGroup);
        QVERIFY(!root.GetNote(lastName));
        QCOMPARE(root.m_notes.GetCount(), size_t(2));
        t.m_doc.m_pViews = nullptr;
    }
    AppOptions() = CAppOptions();
    CClipVaultDoc::SetDownloadBody(nullptr);
}

void CataViewTest::noteCommandsReachTheFrame() {
    CTree t(m_lang);
    CNote* n = t.Note(&t.m_doc.m_rootCata, "n", QDate(2026, 12, 9));
    n->m_strSource = "http://example.invalid/page";
    CNoteCataView* v = t.Build(QDate(2026, 12, 9));
    using namespace cmd;
    v->GroupItem(CNoteCataView::kGroupRecent)->setExpanded(true);
    v->GroupItem(CNoteCataView::kGroupToday)->setExpanded(true);
    QTreeWidgetItem* inToday = v->GroupItem(CNoteCataView::kGroupToday)->child(0);
    // Shown from the context menu's item: that item becomes the selection,
    // and the frame is asked for the browser, the editor, the source.
    const std::pair<unsigned, int> modes[] = {{kCmdViewNote, 0}, {kCmdEditNote, 1}, {kCmdViewSource, -1}};
    for (const auto& [nID, mode] : modes) {
        t.m_frame.Forget();
        v->setCurrentItem(v->RootItem());
        t.m_frame.Forget();
        QVERIFY(t.PickOn(inToday, nID));
        QCOMPARE(v->currentItem(), inToday);
        QCOMPARE(t.m_frame.m_shown.size(), size_t(1));
        QCOMPARE(t.m_frame.m_shown[0].m_nMode, mode);
        QCOMPARE(t.m_frame.m_shown[0].m_bSource, nID == kCmdViewSource);
        QVERIFY(t.m_frame.m_listed.empty());
    }
    // Filing elsewhere and the empty import dialog.
    v->setCurrentItem(v->ItemOf(n));
    t.Run(kCmdImportAgain);
    QCOMPARE(t.m_frame.m_imported, std::vector<CNote*>{n});
    t.Run(kCmdImport);
    QCOMPARE(t.m_frame.m_nImports, 1);
    // Properties, with the docked window kept from sliding away meanwhile.
    bool bHidingAllowed = true;
    unsigned nTemplate = 0;
    g_bAutoHideAllowed = true;
    DialogHook old = SetDialogHook([&](CTemplateDialog& dlg) {
        bHidingAllowed = g_bAutoHideAllowed;
        nTemplate = dlg.TemplateID();
    });
    QVERIFY(t.Enabled(kCmdNoteProperties));
    t.Run(kCmdNoteProperties);
    SetDialogHook(old);
    QCOMPARE(nTemplate, 171u);
    QVERIFY(!bHidingAllowed);
    QVERIFY(g_bAutoHideAllowed);
}

void CataViewTest::keysDeleteHelpAndMenu() {
    CTree t(m_lang);
    CNote* n = t.Note(&t.m_doc.m_rootCata, "n");
    CNoteCataView* v = t.Build();
    v->setFocus();
    int helpContext = 0;
    HelpHandler old = SetHelpHandler([&](int nContext) { helpContext = nContext; });
    QTest::keyClick(v, Qt::Key_F1);
    QCOMPARE(helpContext, 4002);
    SetHelpHandler(old);
    // The menu key opens the menu on the selection.
    v->setCurrentItem(v->ItemOf(n));
    QTest::keyClick(v, Qt::Key_Menu);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QCOMPARE(v->ContextItem(), v->ItemOf(n));
    menu->close();
    v->ClearContextItem();
    // Delete asks, and deletes on Yes.
    m_pFx->m_nAnswer = host::IDYES;
    QTest::keyClick(v, Qt::Key_Delete);
    QVERIFY(m_pFx->Shown(33018));
    QVERIFY(!t.m_doc.m_rootCata.GetNote("n"));
    QCOMPARE(t.m_frame.m_forgotten, std::vector<CNote*>{n});
}

void CataViewTest::aDismissedContextMenuLeavesCommandsToTheSelection() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNoteCata* a = root.AddNewSubCata("A");
    CNote* b = t.Note(&root, "B");
    CNoteCataView* v = t.Build();
    v->setFocus();
    using namespace cmd;
    // Right click on A, and the menu left with Escape: nothing is about A
    // any more.
    QMenu* menu = t.RightClick(v->ItemOf(a));
    QVERIFY(menu);
    QCOMPARE(v->ContextItem(), v->ItemOf(a));
    QCOMPARE(v->currentItem(), v->ItemOf(a));
    QTest::keyClick(menu, Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    // Down to B: copy and delete are about B.
    QTest::keyClick(v, Qt::Key_Down);
    QCOMPARE(v->currentItem(), v->ItemOf(b));
    t.Run(kCmdCopyRecord);
    QCOMPARE(TheRecordClipboard().ClipState(), CRecordClipboard::stateNote);
    QCOMPARE(TheRecordClipboard().SingleNote(), b);
    TheRecordClipboard().ClearClip();
    QCOMPARE(v->ContextItem(), static_cast<QTreeWidgetItem*>(nullptr));
    m_pFx->m_nAnswer = host::IDNO;
    QTest::keyClick(v, Qt::Key_Delete);
    QCOMPARE(m_pFx->m_messages.size(), size_t(1));
    QCOMPARE(m_pFx->m_messages[0].m_nID, 33018u);
    QVERIFY(m_pFx->m_messages[0].m_strText.contains(QLatin1String("B")));
    QCOMPARE(root.GetSubCata("A"), a);
}

void CataViewTest::noteNavigationInTreeOrder() {
    CTree t(m_lang);
    CNoteCata& root = t.m_doc.m_rootCata;
    CNoteCata* a = root.AddNewSubCata("A");
    CNoteCata* empty = root.AddNewSubCata("B");
    CNote* a1 = t.Note(a, "a1");
    CNote* a2 = t.Note(a->AddNewSubCata("deep"), "a2");
    CNote* r1 = t.Note(&root, "r1");
    Q_UNUSED(empty);
    CNoteCataView* v = t.Build();
    t.m_frame.Forget();
    // From the root: into the collapsed categories, the deepest first.
    QVERIFY(v->SelectNextNote(true));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(a2));
    QCOMPARE(t.m_frame.m_shown.back().m_pNote, a2);
    QVERIFY(v->SelectNextNote(true));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(a1));
    QVERIFY(v->SelectNextNote(true));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(r1));
    // Old notes are in no group: nothing follows.
    QVERIFY(!v->SelectNextNote(true));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(r1));
    QVERIFY(v->SelectNextNote(false));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(a1));
    QVERIFY(v->SelectNextNote(false));
    QVERIFY(!v->SelectNextNote(false));
    QCOMPARE(v->RecordOf(v->currentItem()), static_cast<CNoteBase*>(a2));
    QCOMPARE(t.m_frame.m_shown.size(), size_t(5));
}

CLIPVAULT_GUI_TEST_MAIN(CataViewTest)
#include "CataViewTest.moc"
