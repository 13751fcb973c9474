#include "frame/DragState.h"

#include "frame/NoteCataView.h"

#include <algorithm>

CDragState& TheDragState() {
    static CDragState state;
    return state;
}

void CDragState::Begin(CNoteCata* pSource) {
    Clear();
    m_bDragging = true;
    m_pSource = pSource;
}

void CDragState::Clear() {
    SetDropTarget(nullptr, nullptr);
    m_bDragging = false;
    m_pSource = nullptr;
    m_records.clear();
}

bool CDragState::Holds(const CNoteBase* pRecord) const {
    return std::find(m_records.begin(), m_records.end(), pRecord) != m_records.end();
}

QTreeWidgetItem* CDragState::DropTarget() const {
    CNoteCataView* pView = m_pTargetView.data();
    return pView && m_target.isValid() ? pView->itemFromIndex(m_target) : nullptr;
}

void CDragState::SetDropTarget(CNoteCataView* pView, QTreeWidgetItem* pItem) {
    if (pView && pItem && pView == m_pTargetView.data() && DropTarget() == pItem) return;
    CNoteCataView* pOld = m_pTargetView.data();
    m_target = pView && pItem ? QPersistentModelIndex(pView->indexFromItem(pItem)) : QPersistentModelIndex();
    m_pTargetView = m_target.isValid() ? pView : nullptr;
    // The highlight is painted by the tree from this state.
    if (pOld) pOld->viewport()->update();
    if (m_pTargetView && m_pTargetView.data() != pOld) m_pTargetView->viewport()->update();
}
