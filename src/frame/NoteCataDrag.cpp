// Dragging records in the tree, and the record clipboard's commands.
#include "frame/NoteCataView.h"

#include <QMouseEvent>

void CNoteCataView::RegisterClipboardCommands() {}

void CNoteCataView::mousePressEvent(QMouseEvent* e) {
    // A click ends what the context menu was about.
    ClearContextItem();
    QTreeWidget::mousePressEvent(e);
}

void CNoteCataView::mouseMoveEvent(QMouseEvent* e) { QTreeWidget::mouseMoveEvent(e); }

void CNoteCataView::mouseReleaseEvent(QMouseEvent* e) { QTreeWidget::mouseReleaseEvent(e); }
