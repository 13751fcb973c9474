// Dragging the list's selection onto a category: one of the list's own
// rows or a category of the tree. The drag is made by hand from the mouse
// events (press, moves past the drag distance, release), through the
// program's one drag state that the tree shares; the move itself is the
// tree's.
#include "frame/CataListView.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/DragState.h"
#include "frame/NoteCataView.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionViewItem>

void CCataListView::DeleteDragImage(CDragPicture* p) { delete p; }

bool CCataListView::CanBeginDrag() const {
    return m_pCata && m_pTree && !Selection().isEmpty() && m_pTree->ItemOf(m_pCata);
}

QTreeWidgetItem* CCataListView::DropHighlight() const {
    return m_dropItem.isValid() ? itemFromIndex(m_dropItem) : nullptr;
}

void CCataListView::SetDropHighlight(QTreeWidgetItem* pItem) {
    const QPersistentModelIndex index = pItem ? QPersistentModelIndex(indexFromItem(pItem)) : QPersistentModelIndex();
    if (index == m_dropItem) return;
    m_dropItem = index;
    viewport()->update();
}

QTreeWidgetItem* CCataListView::ItemAtGlobal(const QPoint& globalPos) const {
    const QPoint pos = viewport()->mapFromGlobal(globalPos);
    return viewport()->rect().contains(pos) ? itemAt(pos) : nullptr;
}

void CCataListView::mousePressEvent(QMouseEvent* e) {
    // A press while a drag runs means its release went elsewhere.
    if (m_pDragImage) EndDrag();
    m_pressItem = QPersistentModelIndex();
    m_bPressDeferred = false;
    QTreeWidgetItem* pItem = itemAt(e->position().toPoint());
    const bool bLeft = e->button() == Qt::LeftButton && e->buttons() == Qt::LeftButton;
    if (bLeft && pItem && pItem->isSelected() && e->modifiers() == Qt::NoModifier && CanBeginDrag()) {
        // On the selection: whether this is a click (which selects only this
        // row) or the start of a drag of all of it shows later.
        m_bPressDeferred = true;
    } else {
        QTreeWidget::mousePressEvent(e);
        if (!bLeft || !pItem || !pItem->isSelected() || !CanBeginDrag()) return;
    }
    m_pressItem = QPersistentModelIndex(indexFromItem(pItem));
    m_pressPos = e->position().toPoint();
    m_pressGlobalPos = e->globalPosition();
    m_pressModifiers = e->modifiers();
    e->accept();
}

void CCataListView::mouseMoveEvent(QMouseEvent* e) {
    const QPoint globalPos = e->globalPosition().toPoint();
    if (m_pDragImage) {
        RunGuarded([&] {
            try {
                if (!(e->buttons() & Qt::LeftButton)) {
                    // The button came up where this list did not hear it.
                    EndDrag();
                    return;
                }
                DragTo(globalPos);
            } catch (...) {
                EndDrag();
                throw;
            }
        });
        return;
    }
    if (m_pressItem.isValid()) {
        if (!(e->buttons() & Qt::LeftButton)) {
            m_pressItem = QPersistentModelIndex();
            return;
        }
        if ((e->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance()) return;
        QTreeWidgetItem* pItem = itemFromIndex(m_pressItem);
        m_pressItem = QPersistentModelIndex();
        RunGuarded([&] {
            try {
                BeginDrag(pItem, globalPos);
            } catch (...) {
                EndDrag();
                throw;
            }
        });
        return;
    }
    QTreeWidget::mouseMoveEvent(e);
}

void CCataListView::mouseReleaseEvent(QMouseEvent* e) {
    if (m_pressItem.isValid() && e->button() == Qt::LeftButton) {
        QTreeWidgetItem* pItem = itemFromIndex(m_pressItem);
        m_pressItem = QPersistentModelIndex();
        const bool bDeferred = m_bPressDeferred;
        m_bPressDeferred = false;
        if (bDeferred && pItem && Selection().size() > 1) {
            // No drag came of the press on a selection of several: the
            // click selects the row clicked alone.
            clearSelection();
            setCurrentItem(pItem);
            pItem->setSelected(true);
            return;
        }
        if (bDeferred) {
            // On the one selected row the click is heard whole, and may
            // start editing its name.
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(m_pressPos), m_pressGlobalPos, Qt::LeftButton,
                              Qt::LeftButton, m_pressModifiers, e->pointingDevice());
            QTreeWidget::mousePressEvent(&press);
        }
        QTreeWidget::mouseReleaseEvent(e);
        return;
    }
    if (m_pDragImage && e->button() == Qt::LeftButton) {
        DropAt(e->globalPosition().toPoint());
        return;
    }
    QTreeWidget::mouseReleaseEvent(e);
}

void CCataListView::BeginDrag(QTreeWidgetItem* pItem, const QPoint& globalPos) {
    if (!pItem || !CanBeginDrag() || RefuseReadOnly()) return;
    CDragState& state = TheDragState();
    state.Begin(m_pCata);
    for (QTreeWidgetItem* item : Selection())
        if (CNoteBase* record = RecordOf(item)) state.Add(record);
    const QPoint corner = viewport()->mapToGlobal(visualItemRect(pItem).topLeft());
    m_pDragImage.reset(new CDragPicture(pItem->icon(0), pItem->text(0), globalPos - corner));
    DragTo(globalPos);
}

void CCataListView::DragTo(const QPoint& globalPos) {
    if (m_pDragImage) m_pDragImage->MoveTo(globalPos);
    CDragState& state = TheDragState();
    if (viewport()->rect().contains(viewport()->mapFromGlobal(globalPos))) {
        QTreeWidgetItem* pItem = ItemAtGlobal(globalPos);
        SetDropHighlight(ImageOf(pItem) == CNoteCataView::kImageCata ? pItem : nullptr);
        if (state.DropTargetView()) state.SetDropTarget(nullptr, nullptr);
        return;
    }
    SetDropHighlight(nullptr);
    if (m_pTree) m_pTree->HighlightDropTargetAt(globalPos);
}

void CCataListView::DropAt(const QPoint& globalPos) {
    RunGuarded([&] {
        try {
            // The picture goes and the cursor comes back before anything is
            // asked or said.
            m_pDragImage.reset();
            if (!TheDragState().IsDragging() || !m_pTree) {
                EndDrag();
                return;
            }
            if (IsReadOnly()) {
                EndDrag();
                RefuseChange(m_doc);
                return;
            }
            QTreeWidgetItem* pOver = ItemAtGlobal(globalPos);
            if (pOver) {
                // Onto a row of the list: the tree drops on that record's
                // item, looked for under its selection first.
                CNoteBase* record = RecordOf(pOver);
                QTreeWidgetItem* pTarget = nullptr;
                if (QTreeWidgetItem* sel = m_pTree->currentItem())
                    for (int i = 0; i < sel->childCount() && !pTarget; ++i)
                        if (m_pTree->RecordOf(sel->child(i)) == record) pTarget = sel->child(i);
                if (!pTarget) pTarget = m_pTree->ItemOf(record);
                SetDropHighlight(nullptr);
                // Onto that item itself, however the tree shows it (open or
                // closed, in view or scrolled away).
                if (pTarget) m_pTree->DropDraggedOn(pTarget);
            } else if (m_pTree->viewport()->rect().contains(m_pTree->viewport()->mapFromGlobal(globalPos))) {
                m_pTree->DropDraggedAt(globalPos);
            }
            EndDrag();
        } catch (...) {
            EndDrag();
            throw;
        }
    });
}

void CCataListView::EndDrag() {
    m_pressItem = QPersistentModelIndex();
    m_bPressDeferred = false;
    m_pDragImage.reset();
    TheDragState().Clear();
    SetDropHighlight(nullptr);
}

void CCataListView::drawRow(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The drop target is drawn as a selected row while it is one.
    if (m_dropItem.isValid() && index.row() == m_dropItem.row() && !index.parent().isValid()) {
        QStyleOptionViewItem opt(option);
        opt.state |= QStyle::State_Selected;
        QTreeWidget::drawRow(pPainter, opt, index);
        return;
    }
    QTreeWidget::drawRow(pPainter, option, index);
}
