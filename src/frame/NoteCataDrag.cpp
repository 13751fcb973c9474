// Moving categories and notes in the category tree: dragging them with the
// mouse onto another category, and cut, copy and paste through the record
// clipboard, within a notebook or from one notebook into another.
//
// The drag is made by hand from the mouse events the tree receives (the
// press, the moves past the drag distance, the release) rather than by the
// toolkit's drag and drop: records are moved, not data exported, and the
// note list drags onto the tree through the same program-wide state.
#include "frame/NoteCataView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/DragState.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <vector>

namespace {

bool InRange(int n, int nLow, int nHigh) { return nLow <= n && n <= nHigh; }

// Every item below `pItem` (itself included) that is expanded.
void CollectExpanded(QTreeWidgetItem* pItem, std::vector<QTreeWidgetItem*>& out) {
    if (pItem->isExpanded()) out.push_back(pItem);
    for (int i = 0; i < pItem->childCount(); ++i) CollectExpanded(pItem->child(i), out);
}

bool Contains(const QTreeWidgetItem* pAncestor, const QTreeWidgetItem* pItem) {
    for (; pItem; pItem = pItem->parent())
        if (pItem == pAncestor) return true;
    return false;
}

}  // namespace

// The tree's drag picture also knows whether its end ends the drag.
class CNoteCataView::CDragFeedback : public CDragPicture {
public:
    using CDragPicture::CDragPicture;
    // Cleared when the drop still needs the drag state after the picture
    // is gone.
    bool m_bEndsDrag = true;
};

void CNoteCataView::DeleteDragFeedback(CDragFeedback* p) {
    if (!p) return;
    const bool bEndsDrag = p->m_bEndsDrag;
    delete p;
    // A drag of this tree that ends with the tree leaves nothing behind.
    if (bEndsDrag) TheDragState().Clear();
}

// ---------------------------------------------------------------- commands

void CNoteCataView::RegisterClipboardCommands() {
    using namespace cmd;
    auto image = [this] { return ImageOf(Target()); };
    OnCommand(kCmdCopyRecord, [this] { OnClip(false); });
    OnUpdate(kCmdCopyRecord, [image](CCmdUI* pUI) { pUI->Enable(InRange(image(), 1, 4)); });
    OnCommand(kCmdCutRecord, [this] { OnClip(true); });
    OnUpdate(kCmdCutRecord, [this, image](CCmdUI* pUI) { pUI->Enable(OffersChanges() && InRange(image(), 1, 4)); });
    OnCommand(kCmdPasteRecord, [this] { OnPaste(); });
    OnUpdate(kCmdPasteRecord, [this, image](CCmdUI* pUI) {
        pUI->Enable(OffersChanges() && InRange(image(), 0, 2) &&
                    TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty);
    });
}

void CNoteCataView::OnClip(bool bCut) {
    // A locked notebook may be copied from, never cut from.
    if (bCut && RefuseReadOnly()) return;
    QTreeWidgetItem* pItem = Target();
    if (!InRange(ImageOf(pItem), 1, 4)) return;
    CNoteBase* pRecord = RecordOf(pItem);
    if (!pRecord) return;
    CRecordClipboard& clip = TheRecordClipboard();
    if (pRecord->m_nKind == CNoteBase::kindCata) clip.ClipCategory(static_cast<CNoteCata*>(pRecord), bCut ? 1 : 0);
    else if (pRecord->m_nKind == CNoteBase::kindNote) clip.ClipNote(static_cast<CNote*>(pRecord), bCut ? 1 : 0);
}

bool CNoteCataView::IsCategoryItem(const QTreeWidgetItem* pItem) const {
    if (!HoldsRecords(pItem)) return false;
    const CNoteBase* pRecord = RecordOf(pItem);
    return pRecord && pRecord->m_nKind == CNoteBase::kindCata && pRecord->m_pDocument == &m_doc;
}

void CNoteCataView::OnPaste() {
    if (RefuseChange(m_doc)) return;
    QTreeWidgetItem* pTarget = Target();
    if (!IsCategoryItem(pTarget)) return;
    auto* pTo = static_cast<CNoteCata*>(RecordOf(pTarget));
    CRecordClipboard& clip = TheRecordClipboard();
    const bool bCut = clip.IsCut() != 0;
    // Cut records leave their notebook: not one that was locked since.
    if (bCut && clip.SourceDocument() && clip.SourceDocument()->IsLocked()) {
        RefuseChange(*clip.SourceDocument());
        return;
    }
    // The records pasted, for removing them from their notebook after a cut.
    std::vector<CNoteBase*> pasted;
    bool bAll = true;

    switch (clip.ClipState()) {
    case CRecordClipboard::stateNote: {
        CNote* pOriginal = clip.SingleNote();
        if (!PasteCopy(clip.CopyClippedNote(&m_doc), pTarget)) return;
        pasted.push_back(pOriginal);
        break;
    }
    case CRecordClipboard::stateCategory: {
        if (!clip.CanPasteInto(pTo)) {
            AfxMessageBox(ids::IDS_CATEGORY_INTO_ITSELF);
            return;
        }
        CNoteCata* pOriginal = clip.SingleCategory();
        if (!PasteCopy(clip.CopyClippedCategory(&m_doc), pTarget)) return;
        pasted.push_back(pOriginal);
        break;
    }
    case CRecordClipboard::stateList: {
        if (!clip.CanPasteInto(pTo)) return;
        // Copies of the lists: deleting a cut record takes it out of the
        // clipboard.
        std::vector<CNoteBase*> records(clip.Categories().begin(), clip.Categories().end());
        records.insert(records.end(), clip.Notes().begin(), clip.Notes().end());
        for (CNoteBase* pRecord : records) {
            CNoteBase* pCopy = pRecord->m_nKind == CNoteBase::kindCata
                                   ? static_cast<CNoteBase*>(static_cast<CNoteCata*>(pRecord)->CopyTo(&m_doc))
                                   : static_cast<CNoteBase*>(static_cast<CNote*>(pRecord)->CopyTo(&m_doc));
            // What could not be copied stays where it is, and in the
            // clipboard for another try.
            if (!PasteCopy(pCopy, pTarget)) {
                bAll = false;
                break;
            }
            pasted.push_back(pRecord);
        }
        break;
    }
    default:
        return;
    }

    if (!bCut) return;
    // A clipped record that is gone (it was inside a category deleted
    // before it) has left the clipboard.
    auto clipped = [&clip](const CNoteBase* p) {
        return p == clip.SingleCategory() || p == clip.SingleNote() ||
               std::find(clip.Categories().begin(), clip.Categories().end(), p) != clip.Categories().end() ||
               std::find(clip.Notes().begin(), clip.Notes().end(), p) != clip.Notes().end();
    };
    for (CNoteBase* pRecord : pasted) {
        if (!clipped(pRecord)) continue;
        // The notebook tells its windows, so that the tree that shows the
        // record (this one or another notebook's) loses it too.
        if (CClipVaultDoc* pDoc = pRecord->m_pDocument) pDoc->DeleteItem(pRecord);
    }
    // Only when everything went: a record left behind by a failure stays
    // clipped for another try (the ones pasted left it as they were deleted).
    if (bAll) clip.ClearClip();
}

CNoteBase* CNoteCataView::PasteCopy(CNoteBase* pCopy, QTreeWidgetItem* pTarget) {
    if (!pCopy) return nullptr;  // the copy reported why
    auto* pTo = static_cast<CNoteCata*>(RecordOf(pTarget));
    try {
        if (pCopy->m_nKind == CNoteBase::kindCata) {
            auto* pCata = static_cast<CNoteCata*>(pCopy);
            if (!pTo->AttachSubCata(pCata, pCata->m_strName, true)) {
                delete pCata;
                return nullptr;
            }
            InsertCata(pCata, pTarget);
        } else {
            auto* pNote = static_cast<CNote*>(pCopy);
            if (!pTo->AttachNote(pNote, pNote->m_strName, true)) {
                delete pNote;
                return nullptr;
            }
            InsertNote(pNote, pTarget);
        }
    } catch (...) {
        // Attached or not, the copy must not outlive a failed paste half in
        // the notebook, nor leave items behind that show it.
        if (pCopy->m_pParent) {
            RemoveRecord(pCopy);
            if (pCopy->m_nKind == CNoteBase::kindCata) static_cast<CNoteCata*>(pCopy)->Delete();
            else static_cast<CNote*>(pCopy)->Delete();
        } else {
            delete pCopy;
        }
        throw;
    }
    m_doc.SetModifiedFlag();
    ListCopiedDownloads(pCopy);
    return pCopy;
}

void CNoteCataView::ListCopiedDownloads(CNoteBase* pRecord) {
    // A copy takes its original's download status but neither its worker
    // nor its place in the download list: a download that was running or
    // queued starts again, one held or failed is listed as it was, so
    // that none of them waits for something that never comes.
    if (pRecord->m_nKind == CNoteBase::kindCata) {
        auto* pCata = static_cast<CNoteCata*>(pRecord);
        std::vector<CNoteBase*> children;
        for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) children.push_back(it.value());
        for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) children.push_back(it.value());
        for (CNoteBase* pChild : children) ListCopiedDownloads(pChild);
        return;
    }
    auto* pNote = static_cast<CNote*>(pRecord);
    switch (pNote->m_nStatus.load()) {
    case kStatusRunning:
    case kStatusQueued:
        m_doc.ListForDownload(pNote, true);
        break;
    case kStatusHeld:
        m_doc.ListForDownload(pNote, false);
        break;
    case kStatusFailed:
        m_doc.ListForDownload(pNote, false);
        m_doc.FailNote(pNote);
        break;
    case kStatusDone:
        break;
    default:
        // Being stopped or deleted was the original's state, not the copy's.
        pNote->m_nStatus = kStatusDone;
        break;
    }
}

// ---------------------------------------------------------------- dragging

bool CNoteCataView::CanDrag(const QTreeWidgetItem* pItem) const { return !IsReadOnly() && IsDraggable(pItem); }

bool CNoteCataView::IsDraggable(const QTreeWidgetItem* pItem) const {
    if (!pItem) return false;
    // Only from the category branch: the groups show notes that live
    // elsewhere.
    return InRange(ImageOf(pItem), 1, 4) && RecordOf(pItem) && IsCategoryItem(pItem->parent());
}

QWidget* CNoteCataView::DragImage() const { return m_pDragFeedback ? m_pDragFeedback->Image() : nullptr; }

QTreeWidgetItem* CNoteCataView::DropHighlight() const {
    const CDragState& state = TheDragState();
    return state.DropTargetView() == this ? state.DropTarget() : nullptr;
}

QTreeWidgetItem* CNoteCataView::ItemOnLabelAt(const QPoint& pos) const {
    if (!viewport()->rect().contains(pos)) return nullptr;
    QTreeWidgetItem* pItem = itemAt(pos);
    if (!pItem) return nullptr;
    // The icon and the label, not the empty rest of the row nor the
    // branch lines before it.
    const QRect rc = visualItemRect(pItem);
    const int nRight = rc.left() + iconSize().width() + fontMetrics().horizontalAdvance(pItem->text(0)) + 12;
    return pos.x() >= rc.left() && pos.x() <= nRight ? pItem : nullptr;
}

bool CNoteCataView::HighlightDropTargetAt(const QPoint& globalPos) {
    CDragState& state = TheDragState();
    // Records move within their notebook only.
    if (!state.IsDragging() || !state.Source() || state.Source()->m_pDocument != &m_doc) {
        if (state.DropTargetView() == this) state.SetDropTarget(nullptr, nullptr);
        return false;
    }
    QTreeWidgetItem* pItem = ItemOnLabelAt(viewport()->mapFromGlobal(globalPos));
    if (pItem && IsCategoryItem(pItem) && RecordOf(pItem) != state.Source()) {
        state.SetDropTarget(this, pItem);
        return true;
    }
    if (state.DropTargetView() == this || !state.DropTargetView()) state.SetDropTarget(nullptr, nullptr);
    return false;
}

bool CNoteCataView::BeginDrag(QTreeWidgetItem* pItem, const QPoint& globalPos) {
    if (!IsDraggable(pItem) || RefuseReadOnly()) return false;
    CDragState& state = TheDragState();
    state.Begin(static_cast<CNoteCata*>(RecordOf(pItem->parent())));
    state.Add(RecordOf(pItem));
    const QPoint corner = viewport()->mapToGlobal(visualItemRect(pItem).topLeft());
    m_pDragFeedback.reset(new CDragFeedback(pItem->icon(0), pItem->text(0), globalPos - corner));
    m_pDragFeedback->MoveTo(globalPos);
    HighlightDropTargetAt(globalPos);
    return true;
}

void CNoteCataView::EndDrag() {
    m_dragPressItem = QPersistentModelIndex();
    m_pDragFeedback.reset();
    TheDragState().Clear();
}

void CNoteCataView::mousePressEvent(QMouseEvent* e) {
    // A press while a drag still runs means its release went elsewhere:
    // that drag is over.
    if (m_pDragFeedback) EndDrag();
    m_dragPressItem = QPersistentModelIndex();
    // A click ends what the context menu was about.
    ClearContextItem();
    if (e->button() == Qt::LeftButton && e->buttons() == Qt::LeftButton) {
        const QPoint pos = e->position().toPoint();
        QTreeWidgetItem* pItem = ItemOnLabelAt(pos);
        if (pItem && IsDraggable(pItem)) {
            // Whether this is a click or the start of a drag shows later.
            m_dragPressItem = QPersistentModelIndex(indexFromItem(pItem));
            m_dragPressPos = pos;
            m_dragPressGlobalPos = e->globalPosition();
            m_dragPressModifiers = e->modifiers();
            e->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(e);
}

void CNoteCataView::mouseMoveEvent(QMouseEvent* e) {
    bool bHandled = false;
    RunGuarded([&] {
        try {
            const QPoint globalPos = e->globalPosition().toPoint();
            if (m_pDragFeedback) {
                bHandled = true;
                if (!(e->buttons() & Qt::LeftButton)) {
                    // The button came up where this tree did not hear it.
                    EndDrag();
                    return;
                }
                m_pDragFeedback->MoveTo(globalPos);
                HighlightDropTargetAt(globalPos);
                return;
            }
            if (!m_dragPressItem.isValid()) return;
            bHandled = true;
            if (!(e->buttons() & Qt::LeftButton)) {
                m_dragPressItem = QPersistentModelIndex();
                return;
            }
            if ((e->position().toPoint() - m_dragPressPos).manhattanLength() < QApplication::startDragDistance()) return;
            QTreeWidgetItem* pItem = itemFromIndex(m_dragPressItem);
            m_dragPressItem = QPersistentModelIndex();
            BeginDrag(pItem, globalPos);
        } catch (...) {
            bHandled = true;
            EndDrag();
            throw;
        }
    });
    // Without a press of its own, moving with the button down selects as
    // usual.
    if (!bHandled) QTreeWidget::mouseMoveEvent(e);
}

void CNoteCataView::mouseReleaseEvent(QMouseEvent* e) {
    if (m_dragPressItem.isValid() && e->button() == Qt::LeftButton) {
        // No drag came of the press: it was a click, and the tree hears
        // both halves of it now.
        m_dragPressItem = QPersistentModelIndex();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(m_dragPressPos), m_dragPressGlobalPos, Qt::LeftButton,
                          Qt::LeftButton, m_dragPressModifiers, e->pointingDevice());
        QTreeWidget::mousePressEvent(&press);
        QTreeWidget::mouseReleaseEvent(e);
        return;
    }
    m_dragPressItem = QPersistentModelIndex();
    if (!m_pDragFeedback || e->button() != Qt::LeftButton) {
        QTreeWidget::mouseReleaseEvent(e);
        return;
    }
    // The release of a drag is no click: it neither selects nor starts
    // editing a label.
    DropDraggedAt(e->globalPosition().toPoint());
}

void CNoteCataView::DropDraggedAt(const QPoint& globalPos) {
    RunGuarded([&] {
        try {
            CDragState& state = TheDragState();
            if (!state.IsDragging()) {
                EndDrag();
                return;
            }
            HighlightDropTargetAt(globalPos);
            // The picture goes and the cursor comes back before anything
            // is asked or said.
            if (m_pDragFeedback) m_pDragFeedback->m_bEndsDrag = false;
            m_pDragFeedback.reset();
            QTreeWidgetItem* pTarget = DropHighlight();
            if (!pTarget) {
                // Let go on the category the records came from: the user is
                // told they are there already.
                QTreeWidgetItem* pHit = ItemOnLabelAt(viewport()->mapFromGlobal(globalPos));
                if (pHit && IsCategoryItem(pHit) && RecordOf(pHit) == state.Source()) pTarget = pHit;
            }
            state.SetDropTarget(nullptr, nullptr);
            Drop(pTarget);
            EndDrag();
        } catch (...) {
            EndDrag();
            throw;
        }
    });
}

void CNoteCataView::DropDraggedOn(QTreeWidgetItem* pTarget) {
    RunGuarded([&] {
        try {
            CDragState& state = TheDragState();
            // Records move within their notebook only.
            if (state.IsDragging() && state.Source() && state.Source()->m_pDocument == &m_doc) {
                if (m_pDragFeedback) m_pDragFeedback->m_bEndsDrag = false;
                m_pDragFeedback.reset();
                state.SetDropTarget(nullptr, nullptr);
                Drop(pTarget);
            }
            EndDrag();
        } catch (...) {
            EndDrag();
            throw;
        }
    });
}

void CNoteCataView::Drop(QTreeWidgetItem* pTarget) {
    if (!pTarget) return;
    if (RefuseChange(m_doc)) return;
    const CDragState& state = TheDragState();
    QTreeWidgetItem* pSourceItem = ItemOf(state.Source());
    if (pTarget == pSourceItem) {
        AfxMessageBox(ids::IDS_ALREADY_IN_CATEGORY);
        return;
    }
    if (!IsCategoryItem(pTarget) || !pSourceItem) return;
    auto* pTo = static_cast<CNoteCata*>(RecordOf(pTarget));

    bool bMoved = false;
    bool bIntoItself = false;
    // A copy: nothing that follows may change the list being walked.
    const std::vector<CNoteBase*> records = state.Records();
    for (CNoteBase* pRecord : records) {
        QTreeWidgetItem* pItem = nullptr;
        for (int i = 0; i < pSourceItem->childCount() && !pItem; ++i)
            if (RecordOf(pSourceItem->child(i)) == pRecord) pItem = pSourceItem->child(i);
        if (!pItem || pItem == pTarget) continue;
        if (pRecord->m_nKind == CNoteBase::kindCata &&
            (pTo == pRecord || pTo->IsInside(static_cast<CNoteCata*>(pRecord)))) {
            bIntoItself = true;
            continue;
        }
        if (MoveRecord(pRecord, pItem, pTarget)) {
            bMoved = true;
            m_doc.SetModifiedFlag();
        }
    }
    if (bIntoItself) AfxMessageBox(ids::IDS_CATEGORY_INTO_ITSELF);
    if (!bMoved) return;
    const QList<QTreeWidgetItem*> selection = selectedItems();
    QTreeWidgetItem* pSelected = selection.isEmpty() ? nullptr : selection.first();
    if (pSelected && (pSelected == pSourceItem || pSelected == pTarget))
        m_frame.ListCategory(static_cast<CNoteCata*>(RecordOf(pSelected)));
}

bool CNoteCataView::MoveRecord(CNoteBase* pRecord, QTreeWidgetItem* pItem, QTreeWidgetItem* pTarget) {
    auto* pTo = static_cast<CNoteCata*>(RecordOf(pTarget));
    CNoteCata* pFrom = pRecord->m_pParent;
    if (!pFrom || pFrom == pTo) return false;
    std::string strName;
    if (pRecord->m_nKind == CNoteBase::kindNote) {
        auto* pNote = static_cast<CNote*>(pRecord);
        const std::string strOld = pNote->m_strName;
        if (pFrom->GetNote(strOld) != pNote || !pFrom->DetachNote(strOld)) return false;
        try {
            pTo->AttachNote(pNote, strOld, true);
        } catch (...) {
            // Back where it was: a note is never left in no category.
            pNote->m_strName = strOld;
            pFrom->AttachNote(pNote, strOld, false);
            throw;
        }
        strName = pNote->m_strName;
    } else if (pRecord->m_nKind == CNoteBase::kindCata) {
        auto* pCata = static_cast<CNoteCata*>(pRecord);
        const std::string strOld = pCata->m_strName;
        if (!pFrom->DetachSubCata(pCata)) return false;
        try {
            pTo->AttachSubCata(pCata, strOld, true);
        } catch (...) {
            pCata->m_strName = strOld;
            pFrom->AttachSubCata(pCata, strOld, false);
            throw;
        }
        strName = pCata->m_strName;
    } else {
        return false;
    }

    // The item goes with its record, children and all: the items the rest
    // of the tree knows (the note map) stay valid, and the selection does
    // not wander to a neighbour and back on the way.
    QTreeWidgetItem* pFromItem = pItem->parent();
    QTreeWidgetItem* pCurrent = currentItem();
    const bool bCurrentMoves = Contains(pItem, pCurrent);
    QTreeWidgetItem* pLast = m_lastSelected.isValid() ? itemFromIndex(m_lastSelected) : nullptr;
    const bool bLastMoves = Contains(pItem, pLast);
    std::vector<QTreeWidgetItem*> expanded;
    CollectExpanded(pItem, expanded);
    {
        const QSignalBlocker blockView(this);
        const QSignalBlocker blockSelection(selectionModel());
        pFromItem->removeChild(pItem);
        pItem->setText(0, ToQ(strName));
        pTarget->addChild(pItem);
        for (QTreeWidgetItem* p : expanded) p->setExpanded(true);
        if (bCurrentMoves) setCurrentItem(pCurrent);
    }
    // Still the same item, in its new place: choosing it again is no
    // selection change.
    if (bLastMoves) m_lastSelected = QPersistentModelIndex(indexFromItem(pLast));
    // A new name shows in the recent and download groups too.
    if (pRecord->m_nKind == CNoteBase::kindNote) RefreshNote(static_cast<CNote*>(pRecord));
    viewport()->update();
    return true;
}

void CNoteCataView::drawRow(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The drop target is drawn as a selected row, as long as it is one.
    const CDragState& state = TheDragState();
    if (state.DropTargetView() == this && state.DropTarget() && itemFromIndex(index) == state.DropTarget()) {
        QStyleOptionViewItem opt(option);
        opt.state |= QStyle::State_Selected;
        QTreeWidget::drawRow(pPainter, opt, index);
        return;
    }
    QTreeWidget::drawRow(pPainter, option, index);
}
