// The drag of categories and notes onto a category tree. One drag at a time
// runs in the whole program, from the button press that starts it to the
// release that drops it; the tree and the note list both drag through it.
#pragma once

#include <QPersistentModelIndex>
#include <QPoint>
#include <QPointer>
#include <memory>
#include <vector>

class CNoteBase;
class CNoteCata;
class CNoteCataView;
class QIcon;
class QString;
class QTreeWidgetItem;
class QWidget;

class CDragState {
public:
    // A drag of records that all sit directly in `pSource` begins.
    void Begin(CNoteCata* pSource);
    void Add(CNoteBase* pRecord) { m_records.push_back(pRecord); }
    // Nothing is dragged any more; the highlight goes too.
    void Clear();

    bool IsDragging() const { return m_bDragging; }
    CNoteCata* Source() const { return m_pSource; }
    const std::vector<CNoteBase*>& Records() const { return m_records; }
    bool Holds(const CNoteBase* pRecord) const;

    // The item shown as drop target, in the tree that shows it; null when
    // none is (or the tree is gone).
    QTreeWidgetItem* DropTarget() const;
    CNoteCataView* DropTargetView() const { return m_pTargetView.data(); }
    // Highlights `pItem` of `pView` (null: no highlight); the trees that
    // lose or gain the highlight repaint.
    void SetDropTarget(CNoteCataView* pView, QTreeWidgetItem* pItem);

private:
    bool m_bDragging = false;
    CNoteCata* m_pSource = nullptr;
    std::vector<CNoteBase*> m_records;
    QPointer<CNoteCataView> m_pTargetView;
    QPersistentModelIndex m_target;
};

// The program's one drag.
CDragState& TheDragState();

// What the user sees of a drag: a small picture of the dragged item that
// follows the mouse, and no cursor. Going away (also when a handler failed
// half way, or the view is destroyed mid-drag) brings the cursor back.
class CDragPicture {
public:
    // `hotSpot`: where the item was taken, relative to the picture's corner.
    CDragPicture(const QIcon& icon, const QString& strText, const QPoint& hotSpot);
    ~CDragPicture();
    CDragPicture(const CDragPicture&) = delete;
    CDragPicture& operator=(const CDragPicture&) = delete;

    void MoveTo(const QPoint& globalPos);
    QWidget* Image() const { return m_pImage.get(); }

private:
    std::unique_ptr<QWidget> m_pImage;
    QPoint m_hotSpot;
};
