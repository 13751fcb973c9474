// Moving records in the category tree: drags made of real mouse events on
// the tree, the drag state the note list drops through, and cut, copy and
// paste within one notebook and between two.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/DragState.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/UiQueue.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/NoteFrame.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <atomic>
#include <stdexcept>

namespace {

// The frame around a tree, as far as the tree asks things of it.
class CTestFrame : public INoteFrame {
public:
    CTestFrame() : m_actions(nullptr, CurrentLanguage(), [](unsigned, CCmdUI*) { return false; }) {}

    void ShowNote(CNote* pNote, bool, int, bool) override { m_pShown = pNote; }
    void ListCategory(CNoteCata* pCata) override {
        if (m_bThrowOnList) throw std::runtime_error("list failed");
        m_listed.push_back(pCata);
    }
    void ListGroup(int) override {}
    CNote* CurrentNote() const override { return m_pShown; }
    void ClearCurrentNote() override { m_pShown = nullptr; }
    void ForgetNote(CNote*) override {}
    void RemoveFromList(CNoteBase*) override {}
    void OpenImport() override {}
    void ImportNotes(const std::vector<CNote*>&) override {}
    void GoToNoteNumber(uint32_t) override {}
    CCommandActions& Actions() const override { return m_actions; }
    CCmdTarget* ActiveView() const override { return nullptr; }
    void SetActiveView(CCmdTarget*) override {}

    CNote* m_pShown = nullptr;
    std::vector<CNoteCata*> m_listed;
    bool m_bThrowOnList = false;
    mutable CCommandActions m_actions;
};

// One notebook in a tree of its own, wired as its window wires it: what
// the notebook deletes leaves the tree.
struct CNotebookPane : IDocViews {
    CNotebookPane() {
        m_doc.OnNewDocument();
        m_doc.m_pViews = this;
    }
    ~CNotebookPane() override {
        delete m_pTree;
        m_doc.m_pViews = nullptr;
    }
    void Show() {
        m_pTree = new CNoteCataView(m_frame, m_doc, nullptr);
        m_pTree->Populate();
        m_pTree->expandAll();
        m_pTree->resize(320, 480);
        m_pTree->show();
        m_pTree->activateWindow();
        m_frame.m_listed.clear();
    }
    void RemoveItem(CNoteBase* pItem) override {
        if (pItem == m_frame.m_pShown) m_frame.ClearCurrentNote();
        if (m_pTree) m_pTree->RemoveRecord(pItem);
    }
    CNoteCata* Root() { return &m_doc.m_rootCata; }
    QTreeWidgetItem* Item(const CNoteBase* pRecord) const { return m_pTree->ItemOf(pRecord); }
    bool Run(unsigned nID) { return m_pTree->OnCmdMsg(nID, nullptr); }
    bool Enabled(unsigned nID) {
        CCmdUI ui(nID);
        return m_pTree->OnCmdMsg(nID, &ui) && ui.m_bEnabled;
    }

    CClipVaultDoc m_doc;
    CTestFrame m_frame;
    CNoteCataView* m_pTree = nullptr;
};

// A point on the item's label, in the viewport.
QPoint OnLabel(CNoteCataView* pTree, QTreeWidgetItem* pItem) {
    pTree->scrollToItem(pItem);
    const QRect rc = pTree->visualItemRect(pItem);
    return QPoint(rc.left() + 24, rc.center().y());
}

// The button goes down on `pFrom`, the mouse travels in steps to `pTo`,
// `during` looks at the drag on the way, and the button comes up there.
template <class During>
void DragMouse(CNoteCataView* pTree, QTreeWidgetItem* pFrom, QTreeWidgetItem* pTo, During during) {
    QWidget* vp = pTree->viewport();
    const QPoint a = OnLabel(pTree, pFrom);
    const QPoint b = pTo ? OnLabel(pTree, pTo) : QPoint(vp->width() - 4, vp->height() - 4);
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, a);
    const int steps = 6;
    for (int i = 1; i <= steps; ++i) QTest::mouseMove(vp, a + (b - a) * i / steps);
    during(vp->mapToGlobal(b));
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, b);
}

void DragMouse(CNoteCataView* pTree, QTreeWidgetItem* pFrom, QTreeWidgetItem* pTo) {
    DragMouse(pTree, pFrom, pTo, [](const QPoint&) {});
}

int CountShown(const CGuiTestFixture& fx, unsigned nID) {
    int n = 0;
    for (const CShownMessage& m : fx.m_messages) n += m.m_nID == nID;
    return n;
}

bool CursorHidden() {
    return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BlankCursor;
}

}  // namespace

class CataDragTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void dragShowsImageAndHighlightAndMovesTheCategory();
    void categoryOntoItsOwnDescendantStaysAndIsReportedOnce();
    void dropOnTheSourceSaysTheyAreThere();
    void noteIntoCategoryWithTheSameNameIsRenamed();
    void onlyTheCategoryBranchIsDraggableAndNothingWhileLocked();
    void failureDuringTheDropClearsTheDrag();
    void copyCutAndPasteFollowTheirRules();
    void cutInOneNotebookAndPastedIntoAnotherLeavesTheFirst();
    void pasteIntoTheClippedCategoryIsRefused();

private:
    std::unique_ptr<CGuiTestFixture> m_pFx;
    CLanguageModule m_lang;
};

void CataDragTest::initTestCase() {
    m_pFx = std::make_unique<CGuiTestFixture>(QStringList{QStringLiteral("Eng")}, false);
    QVERIFY(m_lang.Load(CLanguageModule::ModulePath(m_pFx->ProgramFolder(), QStringLiteral("Eng"))));
    SetCurrentLanguage(&m_lang);
}

void CataDragTest::cleanup() {
    TheRecordClipboard().ClearClip();
    TheDragState().Clear();
    m_pFx->Clear();
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void CataDragTest::dragShowsImageAndHighlightAndMovesTheCategory() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* a1 = a->AddNewSubCata("Inner");
    a1->AddNewNote("Deep note");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    CNoteCata* c = pane.Root()->AddNewSubCata("Gamma");
    pane.Show();
    pane.m_pTree->setCurrentItem(pane.Item(b));
    pane.m_frame.m_listed.clear();
    pane.m_doc.SetModifiedFlag(false);

    bool bSeen = false;
    DragMouse(pane.m_pTree, pane.Item(a), pane.Item(b), [&](const QPoint& at) {
        bSeen = true;
        // While dragging: a picture of the item at the mouse, no cursor, the
        // category under the mouse highlighted.
        QVERIFY(TheDragState().IsDragging());
        QCOMPARE(TheDragState().Records(), std::vector<CNoteBase*>{a});
        QCOMPARE(TheDragState().Source(), pane.Root());
        QWidget* image = pane.m_pTree->DragImage();
        QVERIFY(image && image->isVisible());
        QVERIFY(image->geometry().adjusted(-40, -40, 40, 40).contains(at));
        QCOMPARE(image->accessibleName(), QStringLiteral("Alpha"));
        QVERIFY(CursorHidden());
        QCOMPARE(pane.m_pTree->DropHighlight(), pane.Item(b));
        // The target's row is painted as a selected one (Gamma is not
        // selected, Alpha is neither selected nor a target).
        auto global = [&](QTreeWidgetItem* item) {
            return pane.m_pTree->viewport()->mapToGlobal(OnLabel(pane.m_pTree, item));
        };
        auto rowHighlighted = [&](QTreeWidgetItem* item) {
            const QImage shot = pane.m_pTree->viewport()->grab().toImage();
            const QRect rc = pane.m_pTree->visualItemRect(item);
            for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
                const QColor hl = pane.m_pTree->palette().color(g, QPalette::Highlight);
                for (int x = rc.left(); x < rc.right(); ++x)
                    if (shot.pixelColor(x, rc.center().y()) == hl) return true;
            }
            return false;
        };
        QVERIFY(!rowHighlighted(pane.Item(c)));
        QVERIFY(pane.m_pTree->HighlightDropTargetAt(global(pane.Item(c))));
        QVERIFY(rowHighlighted(pane.Item(c)));
        QVERIFY(!rowHighlighted(pane.Item(a)));
        QVERIFY(pane.m_pTree->HighlightDropTargetAt(at));
        QVERIFY(!rowHighlighted(pane.Item(c)));
        // Back over the source (the notebook): no highlight there.
        QVERIFY(!pane.m_pTree->HighlightDropTargetAt(
            pane.m_pTree->viewport()->mapToGlobal(OnLabel(pane.m_pTree, pane.m_pTree->RootItem()))));
        QVERIFY(!pane.m_pTree->DropHighlight());
        QVERIFY(pane.m_pTree->HighlightDropTargetAt(at));
    });
    QVERIFY(bSeen);
    // Afterwards: moved with its contents, the drag gone, the cursor back.
    QVERIFY(!TheDragState().IsDragging());
    QVERIFY(!pane.m_pTree->DragImage());
    QVERIFY(!pane.m_pTree->DropHighlight());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(a->m_pParent, b);
    QVERIFY(b->GetSubCata("Alpha") == a && !pane.Root()->FindSubCata("Alpha"));
    QTreeWidgetItem* moved = pane.Item(a);
    QVERIFY(moved && moved->parent() == pane.Item(b));
    QCOMPARE(moved->childCount(), 1);
    QCOMPARE(pane.Item(a1)->parent(), moved);
    QVERIFY(pane.Item(a1->GetNote("Deep note")));
    QVERIFY(pane.m_doc.IsModified());
    // The selected target is listed again, and nothing else is.
    QCOMPARE(pane.m_frame.m_listed, std::vector<CNoteCata*>{b});
    QVERIFY(m_pFx->m_messages.empty());
}

void CataDragTest::categoryOntoItsOwnDescendantStaysAndIsReportedOnce() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* a1 = a->AddNewSubCata("Inner");
    CNoteCata* a2 = a1->AddNewSubCata("Innermost");
    CNote* n = pane.Root()->AddNewNote("Loose");
    pane.Show();

    // With the mouse, onto a grandchild.
    DragMouse(pane.m_pTree, pane.Item(a), pane.Item(a2));
    QCOMPARE(CountShown(*m_pFx, ids::IDS_CATEGORY_INTO_ITSELF), 1);
    QCOMPARE(a->m_pParent, pane.Root());
    QCOMPARE(pane.Item(a)->parent(), pane.m_pTree->RootItem());
    QCOMPARE(pane.Item(a2)->parent(), pane.Item(a1));
    QVERIFY(!pane.m_doc.IsModified());
    QVERIFY(!QApplication::overrideCursor());

    // Through the drag state, as the note list drops: several records, the
    // category twice among them, a note that may go. One message.
    m_pFx->Clear();
    CDragState& state = TheDragState();
    state.Begin(pane.Root());
    state.Add(a);
    state.Add(n);
    state.Add(a);
    const QPoint at = pane.m_pTree->viewport()->mapToGlobal(OnLabel(pane.m_pTree, pane.Item(a1)));
    QVERIFY(pane.m_pTree->HighlightDropTargetAt(at));
    QCOMPARE(pane.m_pTree->DropHighlight(), pane.Item(a1));
    pane.m_pTree->DropDraggedAt(at);
    QCOMPARE(CountShown(*m_pFx, ids::IDS_CATEGORY_INTO_ITSELF), 1);
    QCOMPARE(a->m_pParent, pane.Root());
    QCOMPARE(n->m_pParent, a1);
    QCOMPARE(pane.Item(n)->parent(), pane.Item(a1));
    QVERIFY(!state.IsDragging() && state.Records().empty());
}

void CataDragTest::dropOnTheSourceSaysTheyAreThere() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNote* n = a->AddNewNote("Note");
    pane.Show();
    DragMouse(pane.m_pTree, pane.Item(n), pane.Item(a), [&](const QPoint&) {
        // The category it came from is no drop target.
        QVERIFY(!pane.m_pTree->DropHighlight());
    });
    QVERIFY(m_pFx->Shown(ids::IDS_ALREADY_IN_CATEGORY));
    QCOMPARE(n->m_pParent, a);
    QCOMPARE(pane.Item(n)->parent(), pane.Item(a));
    QVERIFY(!pane.m_doc.IsModified());

    // Let go where there is no category: nothing at all.
    m_pFx->Clear();
    DragMouse(pane.m_pTree, pane.Item(n), nullptr);
    QVERIFY(m_pFx->m_messages.empty());
    QCOMPARE(n->m_pParent, a);
    QVERIFY(!TheDragState().IsDragging());
    QVERIFY(!QApplication::overrideCursor());
}

void CataDragTest::noteIntoCategoryWithTheSameNameIsRenamed() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    CNote* moving = a->AddNewNote("Report");
    CNote* staying = b->AddNewNote("Report");
    b->AddNewNote("Report-1");
    pane.Show();
    pane.m_pTree->setCurrentItem(pane.Item(moving));
    QCOMPARE(pane.m_frame.m_pShown, moving);

    DragMouse(pane.m_pTree, pane.Item(moving), pane.Item(b));
    QCOMPARE(moving->m_pParent, b);
    QCOMPARE(moving->m_strName, std::string("Report-2"));
    QCOMPARE(b->GetNote("Report-2"), moving);
    QCOMPARE(b->GetNote("Report"), staying);
    QVERIFY(!a->FindNote("Report"));
    QTreeWidgetItem* item = pane.Item(moving);
    QCOMPARE(item->text(0), QStringLiteral("Report-2"));
    QCOMPARE(item->parent(), pane.Item(b));
    QCOMPARE(pane.Item(a)->childCount(), 0);
    QCOMPARE(pane.Item(staying)->text(0), QStringLiteral("Report"));
    // Its entry among today's notes carries the new name too.
    QTreeWidgetItem* today = pane.m_pTree->GroupItem(CNoteCataView::kGroupToday);
    QStringList todays;
    for (int i = 0; i < today->childCount(); ++i) todays << today->child(i)->text(0);
    QVERIFY(todays.contains(QStringLiteral("Report-2")));
    QCOMPARE(todays.count(QStringLiteral("Report")), 1);
    // The dragged note stays the one selected and shown.
    QCOMPARE(pane.m_pTree->currentItem(), item);
    QCOMPARE(pane.m_frame.m_pShown, moving);
    QVERIFY(pane.m_frame.m_listed.empty());
    QVERIFY(pane.m_doc.IsModified());
}

void CataDragTest::onlyTheCategoryBranchIsDraggableAndNothingWhileLocked() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    CNote* n = a->AddNewNote("Today's note");
    CNote* waiting = a->AddNewNote("Waiting page");
    pane.m_doc.ListForDownload(waiting, false);
    pane.Show();
    pane.m_doc.SetModifiedFlag(false);
    QTreeWidgetItem* root = pane.m_pTree->RootItem();
    QVERIFY(!pane.m_pTree->CanDrag(root));
    QVERIFY(pane.m_pTree->CanDrag(pane.Item(n)));
    QVERIFY(pane.m_pTree->CanDrag(pane.Item(a)));

    // A click without a drag still selects, on the release.
    QTest::mouseClick(pane.m_pTree->viewport(), Qt::LeftButton, Qt::NoModifier, OnLabel(pane.m_pTree, pane.Item(n)));
    QCOMPARE(pane.m_pTree->currentItem(), pane.Item(n));
    QCOMPARE(pane.m_frame.m_pShown, n);
    QVERIFY(!TheDragState().IsDragging());

    // The notebook itself does not move, nor do the notes the recent and
    // download groups show.
    auto inGroup = [&](int nGroup, CNote* pNote) -> QTreeWidgetItem* {
        QTreeWidgetItem* group = pane.m_pTree->GroupItem(nGroup);
        for (int i = 0; group && i < group->childCount(); ++i)
            if (pane.m_pTree->RecordOf(group->child(i)) == pNote) return group->child(i);
        return nullptr;
    };
    QTreeWidgetItem* inToday = inGroup(CNoteCataView::kGroupToday, n);
    QTreeWidgetItem* inWaiting = inGroup(CNoteCataView::kGroupWaiting, waiting);
    QVERIFY(inToday && inWaiting);
    for (QTreeWidgetItem* from : {root, inToday, inWaiting}) {
        QVERIFY(!pane.m_pTree->CanDrag(from));
        DragMouse(pane.m_pTree, from, pane.Item(b), [&](const QPoint&) {
            QVERIFY(!TheDragState().IsDragging());
            QVERIFY(!pane.m_pTree->DragImage());
            QVERIFY(!pane.m_pTree->DropHighlight());
        });
    }
    QCOMPARE(n->m_pParent, a);
    QCOMPARE(waiting->m_pParent, a);
    QVERIFY(!pane.m_doc.IsModified());
    QVERIFY(m_pFx->m_messages.empty());

    // Locked: nothing is dragged, no picture, the cursor stays, and the
    // user is told why.
    pane.m_doc.SetPassword("secret");
    QVERIFY(pane.m_doc.IsLocked());
    QVERIFY(!pane.m_pTree->CanDrag(pane.Item(n)));
    DragMouse(pane.m_pTree, pane.Item(n), pane.Item(b), [&](const QPoint&) {
        QVERIFY(!TheDragState().IsDragging());
        QVERIFY(!pane.m_pTree->DragImage());
        QVERIFY(!QApplication::overrideCursor());
    });
    QCOMPARE(n->m_pParent, a);
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    m_pFx->Clear();
    // A drop that arrives anyway (from the note list) is refused.
    TheDragState().Begin(a);
    TheDragState().Add(n);
    const QPoint at = pane.m_pTree->viewport()->mapToGlobal(OnLabel(pane.m_pTree, pane.Item(b)));
    pane.m_pTree->DropDraggedAt(at);
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(n->m_pParent, a);
    QVERIFY(!TheDragState().IsDragging());
}

void CataDragTest::failureDuringTheDropClearsTheDrag() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    CNote* n = a->AddNewNote("Note");
    pane.Show();
    pane.m_pTree->setCurrentItem(pane.Item(b));
    pane.m_frame.m_bThrowOnList = true;
    DragMouse(pane.m_pTree, pane.Item(n), pane.Item(b));
    QVERIFY(m_pFx->Shown(ids::IDS_OPERATION_FAILED));
    QVERIFY(!TheDragState().IsDragging());
    QVERIFY(!pane.m_pTree->DragImage());
    QVERIFY(!QApplication::overrideCursor());
    // The move itself had been made whole before the listing failed.
    QCOMPARE(n->m_pParent, b);
    QCOMPARE(pane.Item(n)->parent(), pane.Item(b));

    // A tree that goes while it drags (its window closed) takes the drag
    // with it and gives the cursor back.
    QWidget* vp = pane.m_pTree->viewport();
    const QPoint from = OnLabel(pane.m_pTree, pane.Item(n));
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(vp, from + QPoint(0, 6 * i));
    QVERIFY(TheDragState().IsDragging() && CursorHidden());
    QVERIFY(pane.m_pTree->HighlightDropTargetAt(
        vp->mapToGlobal(OnLabel(pane.m_pTree, pane.m_pTree->RootItem()))));
    QPointer<QWidget> image = pane.m_pTree->DragImage();
    delete pane.m_pTree;
    pane.m_pTree = nullptr;
    QVERIFY(!TheDragState().IsDragging());
    QVERIFY(!TheDragState().DropTarget());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!image);
    QWidget elsewhere;
    QTest::mouseRelease(&elsewhere, Qt::LeftButton);
}

void CataDragTest::copyCutAndPasteFollowTheirRules() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    CNote* n = a->AddNewNote("Note");
    CNote* held = a->AddNewNote("Waiting page");
    held->m_nStatus = kStatusHeld;
    pane.Show();
    QTreeWidgetItem* root = pane.m_pTree->RootItem();
    CRecordClipboard& clip = TheRecordClipboard();

    // Nothing to paste yet; the notebook cannot be copied.
    pane.m_pTree->setCurrentItem(root);
    QVERIFY(!pane.Enabled(cmd::kCmdPasteRecord));
    QVERIFY(!pane.Enabled(cmd::kCmdCopyRecord));
    QVERIFY(!pane.Enabled(cmd::kCmdCutRecord));

    // A copy pasted twice: two copies with names of their own, the original
    // where it was.
    pane.m_pTree->setCurrentItem(pane.Item(n));
    QVERIFY(pane.Enabled(cmd::kCmdCopyRecord));
    QVERIFY(pane.Run(cmd::kCmdCopyRecord));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateNote));
    QVERIFY(!pane.Enabled(cmd::kCmdPasteRecord));  // not onto a note
    pane.m_pTree->setCurrentItem(pane.Item(a));
    QVERIFY(pane.Enabled(cmd::kCmdPasteRecord));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(a->GetNote("Note") == n && a->FindNote("Note-1") && a->FindNote("Note-2"));
    QVERIFY(a->GetNote("Note-1")->m_nID != n->m_nID);
    QCOMPARE(pane.Item(a->GetNote("Note-2"))->parent(), pane.Item(a));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateNote));
    QVERIFY(pane.m_doc.IsModified());

    // A held note's copy waits in the download list as the original does.
    pane.m_pTree->setCurrentItem(pane.Item(held));
    QVERIFY(pane.Run(cmd::kCmdCopyRecord));
    pane.m_pTree->setCurrentItem(pane.Item(b));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    CNote* heldCopy = b->GetNote("Waiting page");
    QVERIFY(heldCopy);
    QCOMPARE(heldCopy->m_nStatus.load(), int(kStatusHeld));
    QVERIFY(std::count(pane.m_doc.m_pendingNotes.begin(), pane.m_doc.m_pendingNotes.end(), heldCopy) == 1);

    // A cut within the notebook: the copy arrives, the original goes, and
    // the clipboard is empty.
    pane.m_pTree->setCurrentItem(pane.Item(n));
    QVERIFY(pane.Run(cmd::kCmdCutRecord));
    QVERIFY(clip.IsCut());
    pane.m_pTree->setCurrentItem(pane.Item(b));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(!a->FindNote("Note") && b->FindNote("Note"));
    QVERIFY(pane.Item(b->GetNote("Note")));
    QCOMPARE(pane.Item(a)->childCount(), 3);  // Note-1, Note-2, Waiting page
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateEmpty));
    QVERIFY(!pane.Enabled(cmd::kCmdPasteRecord));

    // Locked: copy still works; cut and paste stay on and are refused
    // with the message that says why.
    CNote* n1 = a->GetNote("Note-1");
    pane.m_doc.SetPassword("secret");
    pane.m_pTree->setCurrentItem(pane.Item(n1));
    QVERIFY(pane.Enabled(cmd::kCmdCutRecord));
    QVERIFY(pane.Enabled(cmd::kCmdCopyRecord));
    m_pFx->Clear();
    QVERIFY(pane.Run(cmd::kCmdCutRecord));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateEmpty));
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    m_pFx->Clear();
    QVERIFY(pane.Run(cmd::kCmdCopyRecord));
    QCOMPARE(clip.SingleNote(), n1);
    pane.m_pTree->setCurrentItem(pane.Item(b));
    QVERIFY(pane.Enabled(cmd::kCmdPasteRecord));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QVERIFY(!b->FindNote("Note-1"));
}

void CataDragTest::cutInOneNotebookAndPastedIntoAnotherLeavesTheFirst() {
    CNotebookPane first;
    CNotebookPane second;
    CNoteCata* a = first.Root()->AddNewSubCata("Alpha");
    CNote* n = a->AddNewNote("Travelling");
    n->SetContent({'h', 'i'});
    CNoteCata* c = first.Root()->AddNewSubCata("Crate");
    c->AddNewSubCata("Box")->AddNewNote("Inside");
    CNoteCata* target = second.Root()->AddNewSubCata("Arrivals");
    first.Show();
    second.Show();

    // One note: shown in the first window when it is cut.
    first.m_pTree->setCurrentItem(first.Item(n));
    QCOMPARE(first.m_frame.m_pShown, n);
    QVERIFY(first.Run(cmd::kCmdCutRecord));
    second.m_pTree->setCurrentItem(second.Item(target));
    QVERIFY(second.Run(cmd::kCmdPasteRecord));
    CNote* arrived = target->GetNote("Travelling");
    QVERIFY(arrived && arrived != n);
    QCOMPARE(arrived->m_pDocument, &second.m_doc);
    QCOMPARE(arrived->Content(), (std::vector<uint8_t>{'h', 'i'}));
    QCOMPARE(second.Item(arrived)->parent(), second.Item(target));
    // Gone from the first notebook, its tree and its window.
    QVERIFY(!a->FindNote("Travelling"));
    QCOMPARE(first.Item(a)->childCount(), 0);
    QVERIFY(!first.m_frame.m_pShown);
    QVERIFY(first.m_doc.IsModified() && second.m_doc.IsModified());
    QCOMPARE(TheRecordClipboard().ClipState(), int(CRecordClipboard::stateEmpty));

    // One category with its contents, onto the other notebook's root.
    first.m_pTree->setCurrentItem(first.Item(c));
    QVERIFY(first.Run(cmd::kCmdCutRecord));
    second.m_pTree->setCurrentItem(second.m_pTree->RootItem());
    QVERIFY(second.Run(cmd::kCmdPasteRecord));
    CNoteCata* crate = second.Root()->GetSubCata("Crate");
    QVERIFY(crate && crate->GetSubCata("Box") && crate->GetSubCata("Box")->FindNote("Inside"));
    QVERIFY(second.Item(crate->GetSubCata("Box")->GetNote("Inside")));
    QVERIFY(!first.Root()->FindSubCata("Crate"));
    QCOMPARE(first.m_pTree->RootItem()->childCount(), 1);  // Alpha
    QCOMPARE(TheRecordClipboard().ClipState(), int(CRecordClipboard::stateEmpty));

    // A copy of a note whose download runs fetches it again in the
    // notebook it was pasted into.
    std::atomic<int> fetches{0};
    CClipVaultDoc::SetDownloadBody([&](CNote&, const CDownloadSettings&) {
        ++fetches;
        return true;
    });
    CNote* running = a->AddNewNote("Being fetched");
    first.m_pTree->InsertNote(running, first.Item(a));
    running->m_nStatus = kStatusRunning;
    first.m_pTree->setCurrentItem(first.Item(running));
    QVERIFY(first.Run(cmd::kCmdCopyRecord));
    second.m_pTree->setCurrentItem(second.Item(target));
    QVERIFY(second.Run(cmd::kCmdPasteRecord));
    CNote* fetched = target->GetNote("Being fetched");
    QVERIFY(fetched);
    QCOMPARE(std::count(second.m_doc.m_pendingNotes.begin(), second.m_doc.m_pendingNotes.end(), fetched), 1);
    QTRY_COMPARE(fetches.load(), 1);
    QTRY_VERIFY((host::DefaultUiQueue().RunPending(), fetched->m_nStatus == kStatusDone));
    QVERIFY(second.m_doc.m_pendingNotes.empty());
    QVERIFY(!second.m_doc.IsDownloading());
    CClipVaultDoc::SetDownloadBody(nullptr);
    running->m_nStatus = kStatusDone;  // it had no worker of its own

    // A notebook locked after the cut keeps what was cut from it: the paste
    // is refused.
    CNote* last = a->AddNewNote("Stays");
    first.m_pTree->InsertNote(last, first.Item(a));
    first.m_pTree->setCurrentItem(first.Item(last));
    QVERIFY(first.Run(cmd::kCmdCutRecord));
    first.m_doc.SetPassword("secret");
    second.m_pTree->setCurrentItem(second.Item(target));
    m_pFx->Clear();
    QVERIFY(second.Run(cmd::kCmdPasteRecord));
    QVERIFY(m_pFx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QVERIFY(!target->FindNote("Stays"));
    QCOMPARE(a->GetNote("Stays"), last);
    QVERIFY(first.Item(last));

    // Dragging never reaches into another notebook's tree.
    TheDragState().Begin(first.Root());
    TheDragState().Add(a);
    const QPoint at = second.m_pTree->viewport()->mapToGlobal(OnLabel(second.m_pTree, second.Item(target)));
    QVERIFY(!second.m_pTree->HighlightDropTargetAt(at));
    second.m_pTree->DropDraggedAt(at);
    QCOMPARE(a->m_pParent, first.Root());
    QVERIFY(!TheDragState().IsDragging());
}

void CataDragTest::pasteIntoTheClippedCategoryIsRefused() {
    CNotebookPane pane;
    CNoteCata* a = pane.Root()->AddNewSubCata("Alpha");
    CNoteCata* a1 = a->AddNewSubCata("Inner");
    CNoteCata* b = pane.Root()->AddNewSubCata("Beta");
    pane.Show();

    pane.m_pTree->setCurrentItem(pane.Item(a));
    QVERIFY(pane.Run(cmd::kCmdCopyRecord));
    pane.m_pTree->setCurrentItem(pane.Item(a1));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QCOMPARE(CountShown(*m_pFx, ids::IDS_CATEGORY_INTO_ITSELF), 1);
    QCOMPARE(a1->m_subCatas.GetCount(), size_t(0));
    QCOMPARE(pane.Item(a1)->childCount(), 0);

    // A cut category cannot go into itself either (its removal would take
    // the pasted copy along); a copy can.
    pane.m_pTree->setCurrentItem(pane.Item(a));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(a->FindSubCata("Alpha"));
    QVERIFY(pane.Run(cmd::kCmdCutRecord));
    m_pFx->Clear();
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(m_pFx->Shown(ids::IDS_CATEGORY_INTO_ITSELF));
    QCOMPARE(a->m_pParent, pane.Root());

    // Several clipped records (as the note list clips them): nothing at all
    // is pasted inside any of them.
    CRecordClipboard& clip = TheRecordClipboard();
    CNote* loose = b->AddNewNote("Loose");
    clip.ClearClip();
    clip.AddClipCategory(a, 1);
    clip.AddClipNote(loose, 1);
    pane.m_pTree->setCurrentItem(pane.Item(a1));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(!a1->FindNote("Loose") && b->FindNote("Loose"));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateList));
    // Elsewhere, all of them, and the originals leave.
    pane.m_pTree->setCurrentItem(pane.Item(b));
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(b->FindSubCata("Alpha") && b->FindNote("Loose-1"));
    QVERIFY(!pane.Root()->FindSubCata("Alpha"));
    QVERIFY(!b->FindNote("Loose"));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateEmpty));

    // A cut category and a note inside it: the note goes with its category,
    // and is not deleted a second time.
    CNoteCata* moved = b->GetSubCata("Alpha");
    CNote* inner = moved->AddNewNote("Inside");
    pane.m_pTree->InsertNote(inner, pane.Item(moved));
    clip.AddClipCategory(moved, 1);
    clip.AddClipNote(inner, 1);
    pane.m_pTree->setCurrentItem(pane.m_pTree->RootItem());
    QVERIFY(pane.Run(cmd::kCmdPasteRecord));
    QVERIFY(pane.Root()->GetSubCata("Alpha") && pane.Root()->GetSubCata("Alpha")->FindNote("Inside"));
    QVERIFY(pane.Root()->FindNote("Inside"));
    QVERIFY(!b->FindSubCata("Alpha"));
    QCOMPARE(clip.ClipState(), int(CRecordClipboard::stateEmpty));
}

CLIPVAULT_GUI_TEST_MAIN(CataDragTest)
#include "CataDragTest.moc"
