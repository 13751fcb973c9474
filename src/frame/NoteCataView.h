// The category tree of one notebook: the notebook at the root, its
// categories and notes below. Selecting a note shows it in the frame's
// right pane.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QTreeWidget>

class CChildFrame;
class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;

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
    enum { kRoleRecord = Qt::UserRole + 1 };

    CNoteCataView(CChildFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    // Emptying the tree on the way out is no selection change.
    ~CNoteCataView() override { blockSignals(true); }

    // Fills the tree from the notebook.
    void Populate();
    QTreeWidgetItem* ItemOf(const CNoteBase* pRecord) const;
    CNoteBase* RecordOf(const QTreeWidgetItem* pItem) const;
    void SelectRecord(const CNoteBase* pRecord);
    void RefreshNote(CNote* pNote);
    void RemoveRecord(CNoteBase* pRecord);
    void UpdateRootTitle();

private:
    void AddCata(QTreeWidgetItem* pParent, CNoteCata* pCata);
    QTreeWidgetItem* AddNote(QTreeWidgetItem* pParent, CNote* pNote);
    void OnSelectionChanged();
    void UpdateCataImage(QTreeWidgetItem* pItem);

    CChildFrame& m_frame;
    CClipVaultDoc& m_doc;
    QList<QPixmap> m_images;
};
