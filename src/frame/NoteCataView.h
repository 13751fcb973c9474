// The category tree of one notebook: the notebook at the root with its
// categories and notes, a group of recent notes (today, yesterday, this
// week) and a group of notes with a download to do, by download state.
// Selecting an item tells the frame what to show; categories and notes are
// made, renamed, deleted and sorted here, and downloads held, started and
// stopped.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QDate>
#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

class QTimer;

class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;
class INoteFrame;

class CNoteCataView : public QTreeWidget, public CCmdTarget {
    Q_OBJECT
public:
    // What an item is, as the image it shows (bitmap 237, shared with the
    // note list). Every rule of the tree is said in these numbers.
    enum Image {
        kImageNotebook = 0,
        kImageCata = 1,      // a category showing no children
        kImageCataOpen = 2,  // a category expanded with children
        kImageNote = 3,      // a note that only refers to its source
        kImageNoteHeld = 4,  // a note whose content the notebook holds
        kImageRecent = 5,
        kImageDay = 6,       // today, yesterday, this week
        kImageDownloads = 7,
        kImageRunning = 8,
        kImageQueued = 9,
        kImageFailed = 10,
        kImageWaiting = 11,
    };
    // The number a group item carries; the frame lists a group by it.
    enum Group {
        kGroupRecent = 1,
        kGroupToday = 2,
        kGroupYesterday = 3,
        kGroupThisWeek = 4,
        kGroupDownloads = 5,
        kGroupRunning = 6,
        kGroupQueued = 7,
        kGroupWaiting = 8,
        kGroupFailed = 9,
    };
    // Item data: the record (void*, null for groups), the image number, the
    // group number (0 for records); the root's: whether it shows the lock.
    enum {
        kRoleRecord = Qt::UserRole + 1,
        kRoleImage = Qt::UserRole + 2,
        kRoleGroup = Qt::UserRole + 3,
        kRoleLocked = Qt::UserRole + 4
    };
    // Which way a label edit goes.
    enum EditMode { kEditNewNote = 0, kEditNewCata = 1, kEditRename = 2, kEditIdle = 4 };
    // How a note changed, for the recent groups.
    enum RecentChange { kRecentInsert, kRecentRename, kRecentDelete };

    CNoteCataView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    // Emptying the tree on the way out is no selection change.
    ~CNoteCataView() override;

    // ---- filling
    // Builds the whole tree from the notebook: the category branch, the
    // recent groups and the download groups; selects the root.
    void Populate();
    // The root's text (string 33052), and the lock it wears, with a tip
    // that says what the lock means, while the notebook is locked.
    void UpdateRootTitle();
    // Today's date for the recent groups; the system's date when empty.
    using TodayFn = std::function<QDate()>;
    void SetTodayClock(TodayFn fnToday);
    QDate Today() const;

    // ---- items and records
    // The item of a category or note in the category branch (the root for
    // the root category); null when there is none.
    QTreeWidgetItem* ItemOf(const CNoteBase* pRecord) const;
    CNoteBase* RecordOf(const QTreeWidgetItem* pItem) const;
    // The image number an item shows (see Image), -1 for none.
    static int ImageOf(const QTreeWidgetItem* pItem);
    // What a rename asked for on a read-only notebook gets: F2 or a command
    // is refused with its reason at once; a click on the selected item once
    // the double-click time has passed without a second click, when a
    // rename would have started. `fnRefuse` refuses at once; `pPending` is
    // the caller's single-shot timer whose end refuses. The note list
    // shares it.
    static void RefuseEdit(EditTrigger trigger, QTimer* pPending, const std::function<void()>& fnRefuse);
    // A group item's number (see Group), 0 for any other.
    static int GroupOf(const QTreeWidgetItem* pItem);
    QTreeWidgetItem* RootItem() const { return m_pRoot; }
    // A group's item by its number; null when the tree is empty.
    QTreeWidgetItem* GroupItem(int nGroup) const;

    // ---- operations for the frame and the other views
    // A category item with all its contents, or a note item, as the last
    // child of `pParent` (default: the selection); the notebook is marked
    // modified. Notes placed in the category branch enter the note map, the
    // recent groups and, with a download to do, the download groups. The
    // new item; null when `pParent` cannot hold it.
    QTreeWidgetItem* InsertCata(CNoteCata* pCata, QTreeWidgetItem* pParent = nullptr);
    QTreeWidgetItem* InsertNote(CNote* pNote, QTreeWidgetItem* pParent = nullptr);
    // The recent groups follow a note: inserted by its date, renamed, or
    // taken out of all three.
    void UpdateRecentGroups(CNote* pNote, RecentChange change);
    // Takes the note out of the four download groups and puts it into the
    // one its status names; a note that is the selected item is shown again.
    void PlaceInDownloadGroup(CNote* pNote);
    // A note leaves everything that shows it: the frame's current note, the
    // note list, the history, the recent and download groups, the note map,
    // and with `bCategoryItem` its item in the category branch.
    void RemoveNoteEverywhere(CNote* pNote, bool bCategoryItem);
    // Deletes every note of the notebook with that status, without asking;
    // how many went.
    int DeleteNotesWithStatus(int nStatus);
    // Deletes one note: asks first when `bAsk`; a running download must
    // stop first. True when the note went.
    bool DeleteNote(CNote* pNote, bool bAsk);
    // Selects the note of that number. With `bMakeLast` the item becomes
    // the last selected item first, so that selecting it does not show it
    // again (the caller has shown it); without, it is selected as a click
    // would. False when no such note is in the tree.
    bool SelectNoteNumber(uint32_t nID, bool bMakeLast = true);
    // The same for a record: looked for under the selection, then in the
    // category branch.
    bool SelectRecord(const CNoteBase* pRecord, bool bMakeLast = true);
    // Selects the next (or previous) note in tree order from the selection;
    // false when there is none.
    bool SelectNextNote(bool bForward);
    // Where new notes go: the selected category, the category of the
    // selected note, else the root category.
    CNoteCata* CurrentCategory() const;
    // A note's name, image or download state changed.
    void RefreshNote(CNote* pNote);
    // Renames a category or note of this notebook and shows the new name
    // in every item of it; false when the name was refused.
    bool RenameRecord(CNoteBase* pRecord, const std::string& strName);
    // The notebook is about to delete the record: every item that shows it
    // (or, for a category, anything inside it) goes.
    void RemoveRecord(CNoteBase* pRecord);
    // Deletes an item with its children and everything the tree keeps about
    // them (note map entries, the frame's selection); records stay.
    void DeleteTreeItem(QTreeWidgetItem* pItem);

    // ---- commands
    // The item commands act on: the context item while set, else the
    // selection.
    QTreeWidgetItem* Target() const;
    // The item the open context menu was opened on; its commands act on
    // it. None once the menu is gone, unless its command is running.
    QTreeWidgetItem* ContextItem() const;
    void ClearContextItem() { m_contextItem = QPersistentModelIndex(); }
    // Whether the context menu offers a command for its item.
    bool ContextMenuAllows(unsigned nID, const QTreeWidgetItem* pItem) const;
    // The notebook is locked or damaged: nothing in it may change.
    bool IsReadOnly() const;
    // Whether the changing commands are on. A locked notebook keeps them
    // on, so that trying one says it is locked and how to unlock it; a
    // damaged one takes no change ever, and they go grey.
    bool OffersChanges() const;
    EditMode LabelEditMode() const { return m_nEditMode; }

    // Commands of the main handler clear the context item afterwards.
    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify = nullptr) override;

    // ---- drag and drop, cut, copy and paste (NoteCataDrag.cpp)
    // Registers the record-clipboard commands (33000 to 33003); the
    // constructor calls it after the tree's own commands.
    void RegisterClipboardCommands();

    // For the note list, which drags notes onto this tree through the
    // program's drag state (TheDragState, frame/DragState.h): shows the root
    // or the category under a global point as drop target, unless it is the
    // drag's source; false when nothing is highlighted.
    bool HighlightDropTargetAt(const QPoint& globalPos);
    // The button was let go at a global point: drops the dragged records on
    // the item highlighted there, then ends the drag.
    void DropDraggedAt(const QPoint& globalPos);
    // The same onto a given item of this tree (a root or category item;
    // anything else drops nothing), then ends the drag.
    void DropDraggedOn(QTreeWidgetItem* pTarget);
    // The item shown as drop target in this tree, or null.
    QTreeWidgetItem* DropHighlight() const;
    // Categories and notes of the category branch, while the notebook may
    // be changed.
    bool CanDrag(const QTreeWidgetItem* pItem) const;
    // The same whatever the lock: a drag tried on a read-only notebook is
    // told why it does not start.
    bool IsDraggable(const QTreeWidgetItem* pItem) const;
    // The floating picture of what is dragged, while a drag of this tree runs.
    QWidget* DragImage() const;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void drawRow(QPainter* pPainter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    class CDragFeedback;
    // The item under a point of the viewport, when the point is on its icon
    // or label.
    QTreeWidgetItem* ItemOnLabelAt(const QPoint& pos) const;
    // A root or category item of this notebook that holds its record.
    bool IsCategoryItem(const QTreeWidgetItem* pItem) const;
    bool BeginDrag(QTreeWidgetItem* pItem, const QPoint& globalPos);
    // The picture goes, the cursor comes back and the drag state is cleared.
    void EndDrag();
    void Drop(QTreeWidgetItem* pTarget);
    bool MoveRecord(CNoteBase* pRecord, QTreeWidgetItem* pItem, QTreeWidgetItem* pTarget);
    void OnClip(bool bCut);
    void OnPaste();
    // Puts a copy made for this notebook into the target category and the
    // tree; null (the copy gone) when that fails.
    CNoteBase* PasteCopy(CNoteBase* pCopy, QTreeWidgetItem* pTarget);
    void ListCopiedDownloads(CNoteBase* pRecord);

    // The deleter lives with the class it deletes: the view's own
    // destructor knows nothing of it.
    static void DeleteDragFeedback(CDragFeedback* p);
    std::unique_ptr<CDragFeedback, void (*)(CDragFeedback*)> m_pDragFeedback{nullptr, &DeleteDragFeedback};
    // The press on an item that may be dragged waits: a drag must not
    // select what it moves, a click selects on release.
    QPersistentModelIndex m_dragPressItem;
    QPoint m_dragPressPos;
    QPointF m_dragPressGlobalPos;
    Qt::KeyboardModifiers m_dragPressModifiers;
    // ---- end of drag and drop, cut, copy and paste

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) override;
    void commitData(QWidget* pEditor) override;
    void closeEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    class CContextTarget;
    class CItem;
    friend class CItem;

    // ---- filling (NoteCataView.cpp)
    QTreeWidgetItem* MakeItem(int nImage, CNoteBase* pRecord, const QString& strText, int nGroup = 0);
    QTreeWidgetItem* MakeGroup(QTreeWidgetItem* pParent, int nImage, unsigned nTextID, int nGroup);
    // The items of a category's subcategories and notes, sorted, appended
    // to `pItem`; notes enter the note map.
    void FillCata(QTreeWidgetItem* pItem, const CNoteCata* pCata);
    void FillRecentGroups();
    // The notes below pCata dated in [tmFrom, tmTo), in the order CollectNotes gives.
    static size_t CountNotes(const CNoteCata* pCata);
    static void CollectNotesDated(const CNoteCata* pCata, int64_t tmFrom, int64_t tmTo, std::vector<CNote*>& out);
    // How far from today, in days, the collection for the day groups looks.
    static constexpr int kRecentReachDays = 8;
    void AddToRecentGroups(CNote* pNote, const QDate& today);
    // The day group numbers a date falls in (today, yesterday, this week).
    std::vector<int> DayGroupsOf(int64_t tmDate, const QDate& today) const;
    // Every note of a category, its subcategories' first.
    static void CollectNotes(const CNoteCata* pCata, std::vector<CNote*>& out);
    QTreeWidgetItem* DownloadGroupFor(int nStatus) const;
    void RemoveFromGroups(CNote* pNote, const std::vector<QTreeWidgetItem*>& groups);
    bool IsInCategoryBranch(const QTreeWidgetItem* pItem) const;
    // The record holder the item can insert into: root or category.
    static bool HoldsRecords(const QTreeWidgetItem* pItem);
    void ForgetItemsBelow(QTreeWidgetItem* pItem);

    // ---- selection
    void OnSelectionChanged();
    // After deletions: the selection moves on as a tree control's does.
    void FollowSelection();
    void SelectItem(QTreeWidgetItem* pItem, bool bMakeLast);

    // ---- commands (NoteCataCommands.cpp)
    void RegisterCommands();
    // Refuses, saying why, while the notebook is read-only.
    bool RefuseReadOnly() const;
    void OnNewCategory();
    void OnDelete();
    void OnNewNote();
    void OnRename();
    void OnNoteProperties();
    void OnEmptyCategory();
    void OnSort();
    void OnShowNote(int nMode, bool bSource);
    void OnDownloadCommand(unsigned nID);
    void OnDeleteGroup();
    bool DeleteCategory(QTreeWidgetItem* pItem, bool bAsk);
    // Stops the downloads of the notes; false when a worker still runs on
    // one of them (its note cannot go yet).
    bool StopDownloadsOf(const std::vector<CNote*>& notes);
    // The category that 32776 and 32778 put things into, with its item.
    QTreeWidgetItem* TargetCategoryItem() const;
    CNote* TargetNote() const;
    void UpdateDownloadGroups(const std::vector<CNote*>& notes);
    void StartLabelEdit(QTreeWidgetItem* pItem, EditMode mode);
    void EndLabelEdit(QTreeWidgetItem* pItem, const QString& strEdited, bool bCancelled);
    void ShowHelp();

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    QList<QIcon> m_icons;
    QIcon m_lockedRootIcon;
    QTreeWidgetItem* m_pToday = nullptr;
    QTreeWidgetItem* m_pYesterday = nullptr;
    QTreeWidgetItem* m_pThisWeek = nullptr;
    QTreeWidgetItem* m_pRoot = nullptr;
    QTreeWidgetItem* m_pRecent = nullptr;
    QTreeWidgetItem* m_pDownloads = nullptr;
    QTreeWidgetItem* m_pQueued = nullptr;
    QTreeWidgetItem* m_pRunning = nullptr;
    QTreeWidgetItem* m_pFailed = nullptr;
    QTreeWidgetItem* m_pWaiting = nullptr;
    QPersistentModelIndex m_contextItem;
    QPersistentModelIndex m_lastSelected;
    // Note number -> the note's item in the category branch. Hashed and
    // sized once before the tree is filled: a notebook of tens of thousands
    // of notes fills it without a tree node or a rehash a note.
    std::unordered_map<uint32_t, QTreeWidgetItem*> m_noteMap;
    EditMode m_nEditMode = kEditIdle;
    // The label edit under way: its item, and the text when it was accepted.
    QPersistentModelIndex m_editItem;
    bool m_bEditCommitted = false;
    QString m_strEditText;
    TodayFn m_fnToday;
    std::unique_ptr<CContextTarget> m_pContextTarget;
    QTimer* m_pRefusedRename = nullptr;  // a click's rename on a read-only notebook
};
