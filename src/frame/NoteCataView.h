// The category tree of one notebook: the notebook at the root, its
// categories and notes below. Selecting a note shows it in the frame's
// right pane.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <cstdint>
#include <memory>

class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;
class INoteFrame;

class CNoteCataView : public QTreeWidget, public CCmdTarget {
    Q_OBJECT
public:
    // Image numbers of bitmap 237, shared with the note list.
    enum Image {
        kImageNotebook = 0,
        kImageCata = 1,
        kImageCataOpen = 2,
        kImageNote = 3,
        kImageNoteHeld = 4,
    };
    enum { kRoleRecord = Qt::UserRole + 1, kRoleImage = Qt::UserRole + 2 };

    CNoteCataView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    // Emptying the tree on the way out is no selection change.
    ~CNoteCataView() override;

    // Fills the tree from the notebook.
    void Populate();
    QTreeWidgetItem* ItemOf(const CNoteBase* pRecord) const;
    CNoteBase* RecordOf(const QTreeWidgetItem* pItem) const;
    void SelectRecord(const CNoteBase* pRecord, bool bMakeLast = true);
    bool SelectNoteNumber(uint32_t nID, bool bMakeLast = true);
    void SelectNextNote(bool bForward);
    void PlaceInDownloadGroup(CNote* pNote);
    void RefreshNote(CNote* pNote);
    void RemoveRecord(CNoteBase* pRecord);
    void UpdateRootTitle();

    // The image number an item shows (see Image), -1 for none.
    static int ImageOf(const QTreeWidgetItem* pItem);
    // The item the open context menu was opened on; its commands act on it.
    QTreeWidgetItem* ContextItem() const;
    // Whether the context menu offers a command for the context item.
    bool ContextMenuAllows(unsigned nID) const;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    class CContextTarget;
    void SetImage(QTreeWidgetItem* pItem, int nImage);
    void AddCata(QTreeWidgetItem* pParent, CNoteCata* pCata);
    QTreeWidgetItem* AddNote(QTreeWidgetItem* pParent, CNote* pNote);
    void OnSelectionChanged();
    void UpdateCataImage(QTreeWidgetItem* pItem);

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    QList<QPixmap> m_images;
    QPersistentModelIndex m_contextItem;
    std::unique_ptr<CContextTarget> m_pContextTarget;
};
