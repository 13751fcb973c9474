// The note list of a notebook window: what each kind of list shows, its
// sort orders, its commands on a multiple selection, the delete walk, drags
// onto the tree and onto its own rows, a locked notebook, the context menu.
#include "support/GuiTestSupport.h"

#include "app/DocTemplate.h"
#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/CataListView.h"
#include "frame/ChildFrame.h"
#include "frame/DragState.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

QString Str(unsigned nID) { return CurrentLanguage().String(nID); }

struct CBook {
    std::unique_ptr<CGuiTestFixture> fx;
    std::unique_ptr<CClipVaultApp> app;
    CMainFrame* frame = nullptr;
    CChildFrame* child = nullptr;
    CClipVaultDoc* doc = nullptr;
    CNoteCataView* tree = nullptr;
    // Closing asks nothing: what a test changed is not to be saved.
    ~CBook() {
        if (fx) fx->m_nAnswer = 0;
        if (frame)
            for (CChildFrame* c : frame->ChildFrames()) {
                c->Document().SetModifiedFlag(false);
                c->Document().MarkModified(false);
            }
    }

    CCataListView* List() const {
        return child->ListView() ? dynamic_cast<CCataListView*>(child->ListView()->Widget()) : nullptr;
    }
    CNote* Note(CNoteCata* pCata, const std::string& name, bool bHeld = true) {
        CNote* p = pCata->AddNewNote(name);
        p->m_strExt = "htm";
        p->m_nContentType = bHeld ? kContentHeld : 0;
        return p;
    }
    // The rows' texts in column 0, top to bottom.
    QStringList Rows() const {
        QStringList out;
        for (int i = 0; List() && i < List()->topLevelItemCount(); ++i) out << List()->topLevelItem(i)->text(0);
        return out;
    }
    QTreeWidgetItem* Row(const QString& text) const {
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (List()->topLevelItem(i)->text(0) == text) return List()->topLevelItem(i);
        return nullptr;
    }
    void Select(const QStringList& texts) const {
        List()->clearSelection();
        for (const QString& t : texts) Row(t)->setSelected(true);
    }
    bool Enabled(unsigned nID) const {
        CCmdUI ui(nID);
        return List()->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
    }
    void Run(unsigned nID) const { List()->OnCmdMsg(nID, nullptr); }
};

bool Open(CBook& b, bool bShow = false) {
    b.fx = std::make_unique<CGuiTestFixture>();
    b.app = b.fx->StartApp();
    if (!b.app) return false;
    b.frame = b.app->MainFrame();
    b.frame->ExecuteCommand(cmd::kCmdNew);
    b.child = b.frame->ActiveChildFrame();
    if (!b.child) return false;
    b.doc = &b.child->Document();
    b.tree = b.child->TreeView();
    if (bShow) {
        b.frame->resize(1000, 700);
        b.frame->show();
        if (!QTest::qWaitForWindowExposed(b.frame)) return false;
        b.child->showMaximized();
    }
    return b.tree && b.List();
}

// The point of a row's label in the list's viewport.
QPoint LabelOf(CCataListView* list, QTreeWidgetItem* item) {
    const QRect rc = list->visualItemRect(item);
    return QPoint(rc.left() + 30, rc.center().y());
}

}  // namespace

class CataListTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void everyKindOfListShowsWhatItShould();
    void aFinishedDownloadMovesOnInTheList();
    void headerClicksSortByNameAndStatus();
    void openingGoesThroughTheTree();
    void newAndRenamedItemsGoIntoTheTree();
    void commandsActOnTheWholeSelection();
    void deleteWalkStopsAtADownloadThatWillNotStop();
    void threeNotesDragOntoATreeCategory();
    void aLockedNotebookRefusesChanges();
    void contextMenuOffersWhatFits();
    void picturesOfTheListSortedByStatus();
};

void CataListTest::cleanup() {
    CClipVaultDoc::SetDownloadBody(nullptr);
    TheRecordClipboard().ClearClip();
}

void CataListTest::everyKindOfListShowsWhatItShould() {
    CBook b;
    QVERIFY(Open(b));
    CNoteCata& root = b.doc->m_rootCata;
    root.AddNewSubCata("b-cat");
    root.AddNewSubCata("a-cat");
    CNote* zeta = b.Note(&root, "zeta");
    CNote* mid = b.Note(&root, "mid", false);
    CNote* alpha = b.Note(&root, "alpha");
    mid->m_tmDate = TodayMidnight() - 86400;
    b.doc->ListForDownload(zeta, false);
    b.doc->ListForDownload(alpha, false);
    b.doc->FailNote(alpha);
    b.tree->Populate();
    CCataListView* list = b.List();
    QVERIFY(list);

    // The root: categories, then notes, by name, with their status.
    QCOMPARE(list->ListKind(), int(CCataListView::kKindCategory));
    QCOMPARE(list->CurrentCategory(), &root);
    QCOMPARE(b.Rows(), (QStringList{"a-cat", "b-cat", "alpha", "mid", "zeta"}));
    QCOMPARE(CCataListView::ImageOf(b.Row("a-cat")), 1);
    QCOMPARE(CCataListView::ImageOf(b.Row("mid")), 3);
    QCOMPARE(CCataListView::ImageOf(b.Row("zeta")), 4);
    QCOMPARE(b.Row("zeta")->text(1), Str(33102));
    QCOMPARE(b.Row("alpha")->text(1), Str(33092));
    QCOMPARE(b.Row("mid")->text(1), Str(33118));
    QCOMPARE(CCataListView::RecordOf(b.Row("mid")), static_cast<CNoteBase*>(mid));

    // The recent group and its days.
    b.child->ListGroup(CNoteCataView::kGroupRecent);
    QVERIFY(!list->CurrentCategory());
    QCOMPARE(b.Rows(), (QStringList{Str(33054), Str(33055), Str(33056)}));
    QCOMPARE(CCataListView::GroupOf(list->topLevelItem(1)), int(CNoteCataView::kGroupYesterday));
    QCOMPARE(CCataListView::ImageOf(list->topLevelItem(0)), 6);
    b.child->ListGroup(CNoteCataView::kGroupToday);
    QStringList today = b.Rows();
    today.sort();
    QCOMPARE(today, (QStringList{"alpha", "zeta"}));
    b.child->ListGroup(CNoteCataView::kGroupYesterday);
    QCOMPARE(b.Rows(), QStringList{"mid"});
    QCOMPARE(b.Row("mid")->text(1), Str(33118));

    // The download groups and their notes.
    b.child->ListGroup(CNoteCataView::kGroupDownloads);
    QCOMPARE(b.Rows(), (QStringList{Str(33091), Str(33090), Str(33102), Str(33092)}));
    QCOMPARE(CCataListView::ImageOf(list->topLevelItem(2)), 11);
    QCOMPARE(CCataListView::GroupOf(list->topLevelItem(3)), int(CNoteCataView::kGroupFailed));
    // Each group's notes say their status, as in a category.
    b.child->ListGroup(CNoteCataView::kGroupWaiting);
    QCOMPARE(b.Rows(), QStringList{"zeta"});
    QCOMPARE(b.Row("zeta")->text(1), Str(33102));
    b.child->ListGroup(CNoteCataView::kGroupFailed);
    QCOMPARE(b.Rows(), QStringList{"alpha"});
    QCOMPARE(b.Row("alpha")->text(1), Str(33092));

    // A download that moves leaves the group it no longer fits and joins
    // the one it does, in the notebook's download order.
    b.doc->HoldNote(alpha);
    b.child->NoteStatusChanged(alpha);
    QVERIFY(b.Rows().isEmpty());
    b.child->ListGroup(CNoteCataView::kGroupWaiting);
    QCOMPARE(b.Rows(), (QStringList{"zeta", "alpha"}));
    b.doc->FailNote(zeta);
    b.child->NoteStatusChanged(zeta);
    QCOMPARE(b.Rows(), QStringList{"alpha"});
    // In a category the row stays and its status text follows.
    b.child->ListCategory(&root);
    QCOMPARE(b.Row("alpha")->text(1), Str(33102));
    b.doc->FailNote(alpha);
    b.child->NoteStatusChanged(alpha);
    QCOMPARE(b.Row("alpha")->text(1), Str(33092));
    // A record the tree drops leaves the list.
    b.child->RemoveFromList(mid);
    QVERIFY(!b.Row("mid"));
}

void CataListTest::aFinishedDownloadMovesOnInTheList() {
    std::atomic<bool> release{false};
    CClipVaultDoc::SetDownloadBody([&](CNote&, const CDownloadSettings&) {
        while (!release) std::this_thread::sleep_for(1ms);
        return true;
    });
    CBook b;
    QVERIFY(Open(b));
    CNote* page = b.Note(&b.doc->m_rootCata, "page");
    page->m_strSource = "http://127.0.0.1:9/page.htm";
    b.tree->Populate();
    b.doc->ListForDownload(page, true);
    QTRY_COMPARE(page->m_nStatus.load(), int(kStatusRunning));
    b.child->RefreshNote(page);
    b.child->ListCategory(&b.doc->m_rootCata);
    QCOMPARE(b.Row("page")->text(1), Str(33091));
    b.child->ListGroup(CNoteCataView::kGroupRunning);
    QCOMPARE(b.Rows(), QStringList{"page"});
    // The notebook tells its window when the worker is done: the note
    // leaves the running list by itself.
    release = true;
    QTRY_VERIFY(b.Rows().isEmpty());
    QTRY_VERIFY(!b.doc->HasWorker(page));
    b.child->ListCategory(&b.doc->m_rootCata);
    QCOMPARE(b.Row("page")->text(1), Str(33118));
}

void CataListTest::headerClicksSortByNameAndStatus() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    root.AddNewSubCata("a-cat");
    root.AddNewSubCata("b-cat");
    const std::pair<const char*, int> notes[] = {
        {"r", kStatusRunning}, {"q", kStatusQueued}, {"f", kStatusFailed}, {"d", kStatusDone}, {"d2", kStatusDone}};
    std::vector<CNote*> made;
    for (const auto& [name, status] : notes) made.push_back(b.Note(&root, name));
    b.tree->Populate();
    // Only the order is asked about: the statuses are set without downloads.
    for (size_t i = 0; i < made.size(); ++i) made[i]->m_nStatus = notes[i].second;
    b.child->ListCategory(&root);
    CCataListView* list = b.List();
    QHeaderView* header = list->header();
    auto click = [&](int nColumn) {
        const QPoint at(header->sectionViewportPosition(nColumn) + header->sectionSize(nColumn) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    QCOMPARE(b.Rows(), (QStringList{"a-cat", "b-cat", "d", "d2", "f", "q", "r"}));
    QTRY_VERIFY2(list->columnWidth(0) > 0 && qAbs(list->columnWidth(0) - list->viewport()->width() * 4 / 5) <= 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(list->columnWidth(0)).arg(list->viewport()->width())));
    click(0);
    QCOMPARE(list->SortKeyNow(), 2);
    QCOMPARE(b.Rows(), (QStringList{"r", "q", "f", "d2", "d", "b-cat", "a-cat"}));
    click(0);
    QCOMPARE(list->SortKeyNow(), 1);
    QCOMPARE(b.Rows(), (QStringList{"a-cat", "b-cat", "d", "d2", "f", "q", "r"}));
    // Status: queued before running before failed; equal ones by name.
    click(1);
    QCOMPARE(list->SortKeyNow(), 3);
    QCOMPARE(b.Rows(), (QStringList{"a-cat", "b-cat", "d", "d2", "q", "r", "f"}));
    click(1);
    QCOMPARE(list->SortKeyNow(), 4);
    QCOMPARE(b.Rows(), (QStringList{"f", "r", "q", "d2", "d", "a-cat", "b-cat"}));
    // The key stays for the next category listed.
    b.child->ListCategory(&root);
    QCOMPARE(b.Rows().first(), QStringLiteral("f"));
    for (CNote* p : made) p->m_nStatus = kStatusDone;
}

void CataListTest::openingGoesThroughTheTree() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    CNoteCata* topics = root.AddNewSubCata("Topics");
    b.Note(topics, "inside");
    CNote* page = b.Note(&root, "page");
    b.doc->ListForDownload(page, false);
    b.doc->FailNote(page);
    b.tree->Populate();
    CCataListView* list = b.List();
    list->setFocus();
    // Enter on a category: the tree selects it and the list shows it.
    b.Select({"Topics"});
    QTest::keyClick(list->viewport(), Qt::Key_Return);
    QTRY_COMPARE(b.tree->RecordOf(b.tree->currentItem()), static_cast<CNoteBase*>(topics));
    QCOMPARE(b.List(), list);
    QCOMPARE(list->CurrentCategory(), topics);
    QCOMPARE(b.Rows(), QStringList{"inside"});
    // A double click on a group opens it the same way.
    b.child->ListGroup(CNoteCataView::kGroupDownloads);
    b.tree->setCurrentItem(b.tree->GroupItem(CNoteCataView::kGroupDownloads));
    QTreeWidgetItem* failed = b.Row(Str(33092));
    b.Select({Str(33092)});
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, LabelOf(list, failed));
    QTRY_COMPARE(b.List() ? b.List()->ListKind() : -1, int(CCataListView::kKindFailed));
    QCOMPARE(b.Rows(), QStringList{"page"});
    // Showing the note's source from the list: the window replaces the
    // list once the command is over, and the tree's selection moved on
    // without showing the note a second time.
    page->m_nContentType = kContentHeld;
    page->m_strSource = "http://127.0.0.1:9/page.htm";
    b.Select({"page"});
    QVERIFY(b.Enabled(cmd::kCmdViewSource));
    b.Run(cmd::kCmdViewSource);
    QCOMPARE(b.List(), list);  // not while its command runs
    QTRY_COMPARE(b.child->CurrentNote(), page);
    QVERIFY(b.child->ShowingSource());
    QVERIFY(!b.child->ListView());
    QCOMPARE(b.tree->RecordOf(b.tree->currentItem()), static_cast<CNoteBase*>(page));
    QCOMPARE(b.tree->currentItem()->parent(), b.tree->GroupItem(CNoteCataView::kGroupFailed));
    // A note opened by Enter: the tree selects it, and the window shows it
    // in place of the list.
    b.tree->setCurrentItem(b.tree->GroupItem(CNoteCataView::kGroupFailed));
    QTRY_VERIFY(b.List());
    list = b.List();
    b.Select({"page"});
    QTest::keyClick(list->viewport(), Qt::Key_Return);
    QTRY_VERIFY(!b.child->ListView());
    QCOMPARE(b.child->CurrentNote(), page);
    QVERIFY(!b.child->ShowingSource());
}

void CataListTest::newAndRenamedItemsGoIntoTheTree() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    CNoteCata* topics = root.AddNewSubCata("Topics");
    b.tree->Populate();
    b.tree->SelectRecord(topics, false);
    CCataListView* list = b.List();
    QCOMPARE(list->CurrentCategory(), topics);
    auto editor = [&] { return qobject_cast<QLineEdit*>(list->indexWidget(list->currentIndex())); };

    QVERIFY(b.Enabled(cmd::kCmdNewNote));
    b.Run(cmd::kCmdNewNote);
    QCOMPARE(list->LabelEditMode(), CCataListView::kEditNewNote);
    QVERIFY(editor());
    QVERIFY(!editor()->accessibleName().isEmpty());
    editor()->setText(QStringLiteral("fresh"));
    // The editor commits what it holds once the key has been handled.
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_VERIFY(topics->GetNote("fresh"));
    CNote* fresh = topics->GetNote("fresh");
    QCOMPARE(fresh->m_strExt, std::string("htm"));
    QCOMPARE(list->LabelEditMode(), CCataListView::kEditIdle);
    // Not opened: the list stays, the tree files it under its category.
    QCOMPARE(b.List(), list);
    QVERIFY(!b.child->CurrentNote());
    QVERIFY(b.tree->ItemOf(fresh));
    QCOMPARE(b.tree->ItemOf(fresh)->parent(), b.tree->ItemOf(topics));
    QVERIFY(b.doc->IsModified());

    // A taken name is refused and the edit starts again.
    b.Run(cmd::kCmdNewNote);
    editor()->setText(QStringLiteral("fresh"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_VERIFY(b.fx->Shown(33017));
    QTRY_VERIFY(editor());
    editor()->setText(QStringLiteral("second"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_VERIFY(topics->GetNote("second"));
    QCOMPARE(topics->m_notes.GetCount(), size_t(2));

    // A new category, and a renamed note everywhere it shows.
    b.Run(cmd::kCmdNewCategory);
    editor()->setText(QStringLiteral("Sub"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_VERIFY(topics->GetSubCata("Sub"));
    CNoteCata* sub = topics->GetSubCata("Sub");
    QVERIFY(sub);
    QVERIFY(b.tree->ItemOf(sub));
    // New rows are appended where the user sees them, not sorted in.
    QCOMPARE(b.Rows(), (QStringList{"fresh", "second", "Sub"}));
    b.Select({"fresh"});
    b.Run(cmd::kCmdRename);
    QVERIFY(editor());
    editor()->setText(QStringLiteral("renamed"));
    QTest::keyClick(editor(), Qt::Key_Return);
    QTRY_COMPARE(fresh->m_strName, std::string("renamed"));
    QCOMPARE(b.tree->ItemOf(fresh)->text(0), QStringLiteral("renamed"));
    QVERIFY(b.Row("renamed"));
}

void CataListTest::commandsActOnTheWholeSelection() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    CNoteCata* box = root.AddNewSubCata("box");
    root.AddNewSubCata("folder");
    b.Note(&root, "one");
    b.Note(&root, "two");
    CNote* f1 = b.Note(&root, "f1");
    CNote* f2 = b.Note(&root, "f2");
    for (CNote* p : {f1, f2}) {
        b.doc->ListForDownload(p, false);
        b.doc->FailNote(p);
    }
    b.tree->Populate();
    CCataListView* list = b.List();

    // Copy through the window while the list has the focus: two notes and
    // a category as one list of records.
    list->setFocus();
    QTRY_COMPARE(b.child->ActiveView(), static_cast<CCmdTarget*>(list));
    b.Select({"folder", "one", "two"});
    b.frame->OnCmdMsg(cmd::kCmdCopyRecord, nullptr);
    CRecordClipboard& clip = TheRecordClipboard();
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateList));
    QCOMPARE(clip.Notes().size(), size_t(2));
    QCOMPARE(clip.Categories().size(), size_t(1));
    QVERIFY(!b.Enabled(cmd::kCmdPasteRecord));  // three selected
    // Into the one selected category; the list stays on the root.
    b.Select({"box"});
    QVERIFY(b.Enabled(cmd::kCmdPasteRecord));
    b.Run(cmd::kCmdPasteRecord);
    QVERIFY(box->GetNote("one") && box->GetNote("two") && box->GetSubCata("folder"));
    QCOMPARE(b.tree->ItemOf(box)->childCount(), 3);
    QCOMPARE(list->CurrentCategory(), &root);
    QVERIFY(root.GetNote("one"));

    // Two failed downloads held at once: they leave the failed list.
    b.child->ListGroup(CNoteCataView::kGroupFailed);
    QCOMPARE(b.Rows(), (QStringList{"f1", "f2"}));
    b.Select({"f1", "f2"});
    QVERIFY(b.Enabled(cmd::kCmdHoldDownload));
    QVERIFY(!b.Enabled(cmd::kCmdStopDownload));
    QVERIFY(!b.Enabled(cmd::kCmdNoteProperties));  // not one note
    b.Run(cmd::kCmdHoldDownload);
    QCOMPARE(f1->m_nStatus.load(), int(kStatusHeld));
    QCOMPARE(f2->m_nStatus.load(), int(kStatusHeld));
    QVERIFY(b.Rows().isEmpty());
    QCOMPARE(b.tree->GroupItem(CNoteCataView::kGroupWaiting)->childCount(), 2);

    // Group items are opened, not renamed, copied or deleted.
    b.child->ListGroup(CNoteCataView::kGroupRecent);
    b.Select({Str(33054)});
    for (unsigned nID : {cmd::kCmdDelete, cmd::kCmdRename, cmd::kCmdCopyRecord, cmd::kCmdCutRecord, cmd::kCmdImportAgain})
        QVERIFY2(!b.Enabled(nID), qPrintable(QString::number(nID)));
    b.Run(cmd::kCmdDelete);
    QVERIFY(b.fx->m_messages.empty());
    // The group commands want one group: all of waiting is started.
    std::atomic<int> started{0};
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        ++started;
        while (!note.StopRequested()) std::this_thread::sleep_for(1ms);
        return false;
    });
    b.child->ListGroup(CNoteCataView::kGroupDownloads);
    b.Select({Str(33102), Str(33092)});
    QVERIFY(!b.Enabled(cmd::kCmdStartGroup));
    b.Select({Str(33102)});
    QVERIFY(b.Enabled(cmd::kCmdStartGroup));
    b.Run(cmd::kCmdStartGroup);
    QTRY_VERIFY(started.load() >= 1);
    QCOMPARE(b.tree->GroupItem(CNoteCataView::kGroupWaiting)->childCount(), 0);
    b.doc->StopAllDownloads();
    QTRY_VERIFY(!b.doc->HasWorker(f1) && !b.doc->HasWorker(f2));

    // Deleting a whole group asks once, then every note of it goes.
    CNote* g = b.Note(&root, "gone");
    b.tree->InsertNote(g, b.tree->RootItem());
    b.doc->ListForDownload(g, false);
    b.doc->FailNote(g);
    b.tree->RefreshNote(g);
    b.child->ListGroup(CNoteCataView::kGroupDownloads);
    b.Select({Str(33092)});
    QVERIFY(b.Enabled(cmd::kCmdDeleteGroup));
    b.fx->Clear();
    b.fx->m_nAnswer = host::IDNO;
    b.Run(cmd::kCmdDeleteGroup);
    QVERIFY(b.fx->Shown(33103));
    QCOMPARE(root.GetNote("gone"), g);
    b.fx->m_nAnswer = host::IDYES;
    b.Run(cmd::kCmdDeleteGroup);
    QVERIFY(!root.GetNote("gone"));
    QVERIFY(root.GetNote("f1"));
}

void CataListTest::deleteWalkStopsAtADownloadThatWillNotStop() {
    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    CClipVaultDoc::SetDownloadBody([&](CNote& note, const CDownloadSettings&) {
        ++started;
        // This one does not hear the stop.
        while (!release) std::this_thread::sleep_for(1ms);
        (void)note;
        return true;
    });
    CBook b;
    QVERIFY(Open(b));
    b.doc->m_nStopTimeout = 0ms;
    CNoteCata& root = b.doc->m_rootCata;
    CNoteCata* cat = root.AddNewSubCata("cat");
    b.Note(cat, "in cat");
    CNote* first = b.Note(&root, "a-first");
    CNote* busy = b.Note(&root, "b-busy");
    CNote* last = b.Note(&root, "c-last");
    b.tree->Populate();
    b.doc->ListForDownload(busy, true);
    b.tree->RefreshNote(busy);
    QTRY_COMPARE(started.load(), 1);
    b.child->ListCategory(&root);
    b.Select({"cat", "a-first", "b-busy", "c-last"});
    b.fx->m_nAnswer = host::IDYES;
    b.Run(cmd::kCmdDelete);
    QVERIFY(b.fx->Shown(33068));
    // Everything before the stubborn download went; it and what follows
    // stayed, in the notebook, the tree and the list.
    QVERIFY(!root.GetSubCata("cat"));
    QVERIFY(!root.GetNote("a-first"));
    QCOMPARE(root.GetNote("b-busy"), busy);
    QCOMPARE(root.GetNote("c-last"), last);
    QCOMPARE(b.Rows(), (QStringList{"b-busy", "c-last"}));
    QVERIFY(b.tree->ItemOf(busy) && b.tree->ItemOf(last));
    QCOMPARE(b.tree->RootItem()->childCount(), 2);
    QVERIFY(b.doc->IsModified());
    (void)first;
    // Once its worker has ended, it goes too.
    release = true;
    QTRY_VERIFY(!b.doc->HasWorker(busy));
    b.Select({"b-busy"});
    b.Run(cmd::kCmdDelete);
    QCOMPARE(b.Rows(), QStringList{"c-last"});
    QVERIFY(!root.GetNote("b-busy"));
}

void CataListTest::threeNotesDragOntoATreeCategory() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    CNoteCata* target = root.AddNewSubCata("target");
    for (const char* name : {"n1", "n2", "n3", "n4"}) b.Note(&root, name);
    b.tree->Populate();
    CCataListView* list = b.List();
    QCOMPARE(b.Rows(), (QStringList{"target", "n1", "n2", "n3", "n4"}));
    QWidget* vp = list->viewport();
    b.Select({"n1", "n2", "n3"});

    QTreeWidgetItem* treeTarget = b.tree->ItemOf(target);
    b.tree->scrollToItem(treeTarget);
    const QRect rc = b.tree->visualItemRect(treeTarget);
    const QPoint onTree = vp->mapFromGlobal(b.tree->viewport()->mapToGlobal(QPoint(rc.left() + 12, rc.center().y())));
    const QPoint from = LabelOf(list, b.Row("n2"));
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(vp, from + QPoint(0, 4 * i));
    // The whole selection is dragged, from the listed category.
    QVERIFY(TheDragState().IsDragging());
    QCOMPARE(TheDragState().Records().size(), size_t(3));
    QCOMPARE(TheDragState().Source(), &root);
    for (int i = 1; i <= 6; ++i) QTest::mouseMove(vp, from + (onTree - from) * i / 6);
    QCOMPARE(b.tree->DropHighlight(), treeTarget);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onTree);
    QVERIFY(!TheDragState().IsDragging());
    QCOMPARE(target->m_notes.GetCount(), size_t(3));
    QVERIFY(target->GetNote("n1") && target->GetNote("n2") && target->GetNote("n3"));
    QCOMPARE(treeTarget->childCount(), 3);
    QCOMPARE(b.Rows(), (QStringList{"target", "n4"}));

    // Onto a category row of the list itself, while the tree shows that
    // category open (its branch clicked open): the note goes in.
    const QRect rcTarget = b.tree->visualItemRect(treeTarget);
    QTest::mouseClick(b.tree->viewport(), Qt::LeftButton, {},
                      QPoint(rcTarget.left() - b.tree->indentation() / 2, rcTarget.center().y()));
    QVERIFY(treeTarget->isExpanded());
    QCOMPARE(CNoteCataView::ImageOf(treeTarget), int(CNoteCataView::kImageCataOpen));
    const QPoint n4 = LabelOf(list, b.Row("n4"));
    const QPoint onRow = LabelOf(list, b.Row("target"));
    b.Select({"n4"});
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, n4);
    for (int i = 1; i <= 6; ++i) QTest::mouseMove(vp, n4 + (onRow - n4) * i / 6);
    QCOMPARE(list->DropHighlight(), b.Row("target"));
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onRow);
    QVERIFY(target->GetNote("n4"));
    QCOMPARE(treeTarget->childCount(), 4);
    QCOMPARE(b.tree->RecordOf(treeTarget->child(3)), static_cast<CNoteBase*>(target->GetNote("n4")));
    QCOMPARE(b.Rows(), QStringList{"target"});
    QVERIFY(!list->DropHighlight());
    QVERIFY(b.fx->m_messages.empty());

    // A click without a drag selects only the row clicked.
    b.child->ListCategory(target);
    b.Select({"n1", "n2"});
    QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, LabelOf(list, b.Row("n2")));
    QCOMPARE(list->selectedItems().size(), 1);
    QVERIFY(!TheDragState().IsDragging());
}

void CataListTest::aLockedNotebookRefusesChanges() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    root.AddNewSubCata("c");
    CNote* n = b.Note(&root, "n");
    CNote* held = b.Note(&root, "w");
    b.doc->ListForDownload(held, false);
    b.tree->Populate();
    b.doc->SetPassword("secret");
    QVERIFY(b.doc->IsLocked());
    CCataListView* list = b.List();
    b.fx->m_nAnswer = host::IDYES;
    b.Select({"n"});
    using namespace cmd;
    // The changing commands stay on, so that trying one says why not.
    for (unsigned nID : {kCmdNewCategory, kCmdDelete, kCmdNewNote, kCmdRename, kCmdImport, kCmdCutRecord,
                         kCmdEditNote, kCmdImportAgain})
        QVERIFY2(b.Enabled(nID), qPrintable(QString::number(nID)));
    QVERIFY(!b.Enabled(kCmdViewSource));
    for (unsigned nID : {kCmdCopyRecord, kCmdNoteProperties, kCmdViewNote}) QVERIFY(b.Enabled(nID));
    // What would change is refused with its reason.
    for (unsigned nID : {kCmdDelete, kCmdNewNote, kCmdRename, kCmdPasteRecord, kCmdImportAgain}) {
        b.fx->Clear();
        b.Run(nID);
        QVERIFY2(b.fx->Shown(ids::IDS_NOTEBOOK_LOCKED), qPrintable(QString::number(nID)));
    }
    QCOMPARE(root.GetNote("n"), n);
    QCOMPARE(b.Rows(), (QStringList{"c", "n", "w"}));
    // Cut is refused too; copy still works.
    b.fx->Clear();
    b.Run(kCmdCutRecord);
    QCOMPARE(TheRecordClipboard().ClipState(), int(CRecordClipboard::stateEmpty));
    QVERIFY(b.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    b.Run(kCmdCopyRecord);
    QCOMPARE(TheRecordClipboard().SingleNote(), n);
    // A waiting download is not started.
    b.child->ListGroup(CNoteCataView::kGroupWaiting);
    b.Select({"w"});
    QVERIFY(b.Enabled(kCmdStartDownload));
    b.Run(kCmdStartDownload);
    QVERIFY(b.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(held->m_nStatus.load(), int(kStatusHeld));
    // No label edit, no drag; each says why.
    b.child->ListCategory(&root);
    b.Select({"n"});
    b.fx->Clear();
    list->editItem(b.Row("n"), 0);
    QVERIFY(!list->findChild<QLineEdit*>());
    QVERIFY(b.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    b.fx->Clear();
    const QPoint from = LabelOf(list, b.Row("n"));
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(list->viewport(), from + QPoint(0, 5 * i));
    QVERIFY(!TheDragState().IsDragging());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(0, 20));
    QVERIFY(b.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    b.doc->SetPassword("");
}

void CataListTest::contextMenuOffersWhatFits() {
    CBook b;
    QVERIFY(Open(b, true));
    CNoteCata& root = b.doc->m_rootCata;
    root.AddNewSubCata("c");
    CNote* n = b.Note(&root, "n");
    n->m_strSource = "http://127.0.0.1:9/n.htm";
    b.Note(&root, "m");
    b.tree->Populate();
    CCataListView* list = b.List();
    // Opens the menu on the list and tells which of the ids it enables.
    auto offers = [&](std::vector<unsigned> ids) {
        const QPoint at = list->viewport()->rect().center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &e);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        std::vector<bool> out;
        for (unsigned nID : ids) {
            bool enabled = false;
            for (QAction* a : menu ? menu->actions() : QList<QAction*>())
                if (b.frame->Actions().IdOf(a) == nID) enabled = a->isEnabled();
            out.push_back(enabled);
        }
        if (menu) menu->close();
        return out;
    };
    using namespace cmd;
    using B = std::vector<bool>;
    b.Select({"n"});
    QCOMPARE(offers({kCmdNewCategory, kCmdDelete, kCmdRename, kCmdEditNote, kCmdViewSource, kCmdHoldGroup}),
             (B{true, true, true, true, true, false}));
    // Two selected: no rename, no properties; copy and delete stay.
    b.Select({"n", "m"});
    QCOMPARE(offers({kCmdRename, kCmdNoteProperties, kCmdCopyRecord, kCmdDelete}), (B{false, false, true, true}));
    // The download groups: what fits the group selected.
    b.child->ListGroup(CNoteCataView::kGroupDownloads);
    b.Select({Str(33091)});
    QCOMPARE(offers({kCmdStopGroup, kCmdHoldGroup, kCmdDeleteGroup, kCmdDelete, kCmdCopyRecord, kCmdNewNote}),
             (B{true, false, true, false, false, false}));
    b.Select({Str(33092)});
    QCOMPARE(offers({kCmdHoldGroup, kCmdStartGroup, kCmdStopGroup}), (B{true, true, false}));
    // Locked: all stays on; what would change it says it is locked.
    b.doc->SetPassword("secret");
    QCOMPARE(offers({kCmdHoldGroup, kCmdStartGroup, kCmdDeleteGroup}), (B{true, true, true}));
    b.child->ListCategory(&root);
    b.Select({"n"});
    QCOMPARE(offers({kCmdCopyRecord, kCmdDelete, kCmdViewNote, kCmdEditNote, kCmdNewCategory, kCmdRename}),
             (B{true, true, true, true, true, true}));
    b.doc->SetPassword("");
    // The menu's commands act on the list's selection.
    b.Select({"m"});
    const QPoint at = list->viewport()->rect().center();
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &e);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QAction* copy = nullptr;
    for (QAction* a : menu->actions())
        if (b.frame->Actions().IdOf(a) == kCmdCopyRecord) copy = a;
    QVERIFY(copy);
    copy->trigger();
    menu->close();
    QCOMPARE(TheRecordClipboard().SingleNote(), root.GetNote("m"));
    // From the keyboard it opens at the first selected row.
    QTest::keyClick(list->viewport(), Qt::Key_Menu);
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    const QRect row = list->visualItemRect(b.Row("m"));
    QVERIFY2(qAbs(list->viewport()->mapFromGlobal(menu->pos()).y() - row.bottom()) <= 2,
             qPrintable(QString::number(list->viewport()->mapFromGlobal(menu->pos()).y())));
    menu->close();
}

void CataListTest::picturesOfTheListSortedByStatus() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    std::atomic<bool> release{false};
    CClipVaultDoc::SetDownloadBody([&](CNote&, const CDownloadSettings&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return false;
    });
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, lang] : langs) {
        release = false;
        CGuiTestFixture fx;
        auto app = fx.MakeApp(locale);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
        CMainFrame* frame = app->MainFrame();
        frame->ExecuteCommand(cmd::kCmdNew);
        frame->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        CChildFrame* child = frame->ActiveChildFrame();
        QVERIFY(child);
        child->showMaximized();
        CClipVaultDoc& doc = child->Document();
        CNoteCata* reading = doc.m_rootCata.AddNewSubCata("Reading list");
        reading->AddNewSubCata("Archive");
        const char* names[] = {"Trip planning", "Recipes for the week", "Release notes 2.1", "Conference programme",
                               "Weather station data", "Broken link", "Train timetable"};
        std::vector<CNote*> notes;
        for (const char* name : names) {
            CNote* p = reading->AddNewNote(name);
            p->m_strExt = "htm";
            p->m_nContentType = kContentHeld;
            p->m_strSource = std::string("http://127.0.0.1:9/") + name;
            notes.push_back(p);
        }
        CNoteCataView* tree = child->TreeView();
        tree->Populate();
        doc.ListForDownload(notes[3], true);  // running
        doc.ListForDownload(notes[4], false);  // waiting
        doc.ListForDownload(notes[5], false);
        doc.FailNote(notes[5]);  // failed
        doc.ListForDownload(notes[6], false);
        for (CNote* p : notes) tree->RefreshNote(p);
        tree->expandAll();
        tree->SelectRecord(reading, false);
        QTRY_VERIFY(child->ListView());
        auto* list = dynamic_cast<CCataListView*>(child->ListView()->Widget());
        QVERIFY(list);
        QHeaderView* header = list->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
        QCOMPARE(list->SortKeyNow(), 3);
        list->topLevelItem(3)->setSelected(true);
        QTest::qWait(700);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(QStringLiteral("notelist-%1.png").arg(lang))});
        release = true;
        doc.StopAllDownloads();
        for (CNote* p : notes) QTRY_VERIFY(!doc.HasWorker(p));
        doc.SetModifiedFlag(false);
        for (CChildFrame* c : frame->ChildFrames()) c->Document().MarkModified(false);
    }
}

CLIPVAULT_GUI_TEST_MAIN(CataListTest)
#include "CataListTest.moc"
