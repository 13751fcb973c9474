// The note list of a notebook window: the right pane while the category
// tree has the root, a category or a group selected. It lists what that
// item holds (subcategories and notes, day groups, download groups), offers
// the tree's editing, clipboard and download commands on a multiple
// selection, and drags notes and categories onto a category of its own or of
// the tree. Opening an item selects it in the tree, which then decides what
// the window shows.
#pragma once

#include "platform/gui/CmdTarget.h"
#include "platform/gui/NotePanes.h"

#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <memory>
#include <vector>

class QTimer;

class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;
class CDragPicture;
class CNoteCataView;
class INoteFrame;

class CCataListView : public QTreeWidget, public CCmdTarget, public INoteListPane {
    Q_OBJECT
public:
    // What is listed: a category, or one of the tree's groups by its number.
    enum Kind {
        kKindCategory = 0,
        kKindRecent = 1,
        kKindToday = 2,
        kKindYesterday = 3,
        kKindThisWeek = 4,
        kKindDownloads = 5,
        kKindRunning = 6,
        kKindQueued = 7,
        kKindWaiting = 8,
        kKindFailed = 9,
    };
    enum SortKey { kSortNameUp = 1, kSortNameDown = 2, kSortStatusUp = 3, kSortStatusDown = 4 };
    // Item data in column 0, as the tree keeps it: the record (null for a
    // group item), the image number, the group number.
    enum { kRoleRecord = Qt::UserRole + 1, kRoleImage = Qt::UserRole + 2, kRoleGroup = Qt::UserRole + 3 };
    enum EditMode { kEditNewNote = 0, kEditNewCata = 1, kEditRename = 2, kEditIdle = 4 };

    CCataListView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    ~CCataListView() override;

    // ---- INoteListPane
    QWidget* Widget() override { return this; }
    CCmdTarget* Target() override { return this; }
    void SetTreeView(CNoteCataView* pTree) override { m_pTree = pTree; }
    void ListCategory(CNoteCata* pCata) override;
    void ListGroup(int nGroup) override;
    void RemoveRecord(CNoteBase* pRecord) override;
    void NoteStatusChanged(CNote* pNote) override;

    // ---- what is shown
    CNoteCata* CurrentCategory() const { return m_pCata; }
    int ListKind() const { return m_nKind; }
    int SortKeyNow() const { return m_nSortKey; }
    EditMode LabelEditMode() const { return m_nEditMode; }
    static CNoteBase* RecordOf(const QTreeWidgetItem* pItem);
    static int ImageOf(const QTreeWidgetItem* pItem);
    static int GroupOf(const QTreeWidgetItem* pItem);
    QTreeWidgetItem* ItemOf(const CNoteBase* pRecord) const;
    // The item shown as drop target while something is dragged over it.
    QTreeWidgetItem* DropHighlight() const;
    // The status text a note shows in the second column.
    static QString StatusText(int nStatus);
    // Whether the context menu offers a command for the selection.
    bool ContextMenuAllows(unsigned nID) const;
    // Locked or damaged: nothing in the notebook may change.
    bool IsReadOnly() const;
    // As the tree's: a locked notebook's changing commands stay on and say
    // why they refuse; a damaged one's go grey.
    bool OffersChanges() const;

protected:
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void drawRow(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) override;
    void commitData(QWidget* pEditor) override;
    void closeEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    class CContextTarget;

    // ---- filling
    QTreeWidgetItem* AddItem(int nImage, CNoteBase* pRecord, const QString& strText, int nGroup = 0);
    QTreeWidgetItem* AddNoteItem(CNote* pNote);
    void Sort();
    void MakeColumns();
    bool m_bColumnsMade = false;

    // ---- selection
    QList<QTreeWidgetItem*> Selection() const;
    // The one selected item, or null.
    QTreeWidgetItem* OneSelected() const;
    // The one selected note, or null.
    CNote* OneNote() const;
    std::vector<CNote*> SelectedNotes() const;
    // Selects the record in the tree under its selection, as a click would;
    // later, because the window may replace this list on the way.
    void OpenItem(QTreeWidgetItem* pItem);

    // ---- commands (CataListCommands.cpp)
    void RegisterCommands();
    bool RefuseReadOnly() const;
    bool NotGroupList() const { return m_pCata || (m_nKind != kKindRecent && m_nKind != kKindDownloads); }
    void OnNewItem(bool bCategory);
    void OnDelete();
    void OnRename();
    void OnClip(bool bCut);
    void OnPaste();
    void OnShow(int nMode, bool bSource);
    void OnDownload(unsigned nID);
    void OnGroupCommand(unsigned nID);
    void OnImportAgain();
    enum { kDeleted, kDeleteFailed, kDeleteBlocked };
    // Deletes a category whose downloads all stop; kDeleteBlocked when one
    // of them does not.
    int DeleteCategory(CNoteCata* pCata);
    // Refreshes the notes' places in the tree and in this list.
    void FollowDownloads(const std::vector<CNote*>& notes);
    void StartLabelEdit(QTreeWidgetItem* pItem, EditMode mode);
    void EndLabelEdit(QTreeWidgetItem* pItem, const QString& strEdited, bool bCancelled);

    // ---- dragging (CataListDrag.cpp)
    // Whatever the lock: a drag tried on a read-only notebook is told why
    // it does not start.
    bool CanBeginDrag() const;
    void BeginDrag(QTreeWidgetItem* pItem, const QPoint& globalPos);
    void DragTo(const QPoint& globalPos);
    void DropAt(const QPoint& globalPos);
    void EndDrag();
    void SetDropHighlight(QTreeWidgetItem* pItem);
    QTreeWidgetItem* ItemAtGlobal(const QPoint& globalPos) const;

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    CNoteCataView* m_pTree = nullptr;
    QList<QIcon> m_icons;
    CNoteCata* m_pCata = nullptr;
    int m_nKind = kKindCategory;
    EditMode m_nEditMode = kEditIdle;
    int m_nSortKey = kSortNameUp;
    // While a delete walks the selection, the rows stay until it is done:
    // the walk deletes them by their indexes at the end.
    bool m_bDeleting = false;

    QPersistentModelIndex m_editItem;
    bool m_bEditCommitted = false;
    QString m_strEditText;

    // A press that may begin a drag; on a selected item the selection
    // waits for the release, so that a drag takes all of it.
    QPersistentModelIndex m_pressItem;
    QPoint m_pressPos;
    bool m_bPressDeferred = false;
    QPointF m_pressGlobalPos;
    Qt::KeyboardModifiers m_pressModifiers;
    // The deleter lives with the class it deletes.
    static void DeleteDragImage(CDragPicture* p);
    std::unique_ptr<CDragPicture, void (*)(CDragPicture*)> m_pDragImage{nullptr, &DeleteDragImage};
    QPersistentModelIndex m_dropItem;

    std::unique_ptr<CContextTarget> m_pContextTarget;
    QTimer* m_pRefusedRename = nullptr;  // a click's rename on a read-only notebook
};
