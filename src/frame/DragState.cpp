#include "frame/DragState.h"

#include "frame/NoteCataView.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>

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

CDragPicture::CDragPicture(const QIcon& icon, const QString& strText, const QPoint& hotSpot) : m_hotSpot(hotSpot) {
    m_pImage = std::make_unique<QWidget>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint |
                                                      Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    m_pImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pImage->setAttribute(Qt::WA_ShowWithoutActivating);
    m_pImage->setWindowOpacity(0.75);
    m_pImage->setAccessibleName(strText);
    auto* layout = new QHBoxLayout(m_pImage.get());
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(4);
    auto* pIcon = new QLabel(m_pImage.get());
    pIcon->setPixmap(icon.pixmap(16, 16));
    pIcon->setAccessibleName(strText);
    auto* pText = new QLabel(strText, m_pImage.get());
    pText->setAccessibleName(strText);
    layout->addWidget(pIcon);
    layout->addWidget(pText);
    m_pImage->adjustSize();
    QApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
}

CDragPicture::~CDragPicture() { QApplication::restoreOverrideCursor(); }

void CDragPicture::MoveTo(const QPoint& globalPos) {
    m_pImage->move(globalPos - m_hotSpot);
    if (!m_pImage->isVisible()) m_pImage->show();
}
