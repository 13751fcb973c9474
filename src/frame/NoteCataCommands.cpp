// The category tree's commands: making, naming, deleting and sorting
// categories and notes, showing notes, importing, and the downloads.
#include "frame/NoteCataView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/NotePropertiesDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kHelpContextTree = 4002;

bool In(int n, int nLow, int nHigh) { return nLow <= n && n <= nHigh; }

}  // namespace

void CNoteCataView::RegisterCommands() {
    using namespace cmd;
    // Image of the target and of its parent; -1 when there is none.
    auto image = [this] { return ImageOf(Target()); };
    auto parentImage = [this] {
        const QTreeWidgetItem* t = Target();
        return t ? ImageOf(t->parent()) : -1;
    };
    auto rule = [this](unsigned nID, std::function<bool()> fnAllowed) {
        OnUpdate(nID, [fnAllowed = std::move(fnAllowed)](CCmdUI* pUI) { pUI->Enable(fnAllowed()); });
    };

    OnCommand(kCmdNewCategory, [this] { OnNewCategory(); });
    rule(kCmdNewCategory, [=] { return In(image(), 0, 2); });
    OnCommand(kCmdDelete, [this] { OnDelete(); });
    rule(kCmdDelete, [=] { return In(image(), 1, 4); });
    OnCommand(kCmdNewNote, [this] { OnNewNote(); });
    rule(kCmdNewNote, [=] {
        const int p = parentImage();
        return In(image(), 0, 2) || (In(image(), 3, 4) && p != kImageDay && !In(p, kImageRunning, kImageWaiting));
    });
    OnCommand(kCmdRename, [this] { OnRename(); });
    rule(kCmdRename, [=] { return In(image(), 1, 4); });
    OnCommand(kCmdImport, [this] {
        if (!RefuseReadOnly()) m_frame.OpenImport();
    });
    OnCommand(kCmdNoteProperties, [this] { OnNoteProperties(); });
    rule(kCmdNoteProperties, [=] { return In(image(), 3, 4); });
    OnCommand(kCmdEmptyCategory, [this] { OnEmptyCategory(); });
    rule(kCmdEmptyCategory, [=] { return In(image(), 0, 2); });
    OnCommand(kCmdSortByName, [this] { OnSort(); });
    rule(kCmdSortByName, [=] {
        const int i = image();
        return i >= 0 && i != kImageNoteHeld && i != kImageRecent && i != kImageDownloads;
    });
    OnCommand(kCmdViewNote, [this] { OnShowNote(0, false); });
    rule(kCmdViewNote, [=] { return image() == kImageNoteHeld; });
    OnCommand(kCmdEditNote, [this] {
        if (!RefuseReadOnly()) OnShowNote(1, false);
    });
    rule(kCmdEditNote, [=] { return image() == kImageNoteHeld; });
    OnCommand(kCmdViewSource, [this] { OnShowNote(-1, true); });
    rule(kCmdViewSource, [=] {
        const CNote* note = TargetNote();
        return image() == kImageNoteHeld && note && !note->m_strSource.empty();
    });
    OnCommand(kCmdImportAgain, [this] {
        if (RefuseReadOnly()) return;
        if (CNote* note = TargetNote()) m_frame.ImportNotes({note});
    });
    rule(kCmdImportAgain, [=] { return OffersChanges() && In(image(), 3, 4); });

    OnCommandRange(kCmdHoldDownload, kCmdDeleteGroup, [this](unsigned nID) { OnDownloadCommand(nID); });
    rule(kCmdHoldDownload, [=] { return parentImage() == kImageQueued || parentImage() == kImageFailed; });
    rule(kCmdStartDownload,
         [=] { return OffersChanges() && (parentImage() == kImageFailed || parentImage() == kImageWaiting); });
    rule(kCmdStopDownload, [=] { return parentImage() == kImageRunning; });
    rule(kCmdHoldGroup, [=] { return image() == kImageQueued || image() == kImageFailed; });
    rule(kCmdStartGroup, [=] { return OffersChanges() && (image() == kImageFailed || image() == kImageWaiting); });
    rule(kCmdStopGroup, [=] { return image() == kImageRunning; });
    rule(kCmdDeleteGroup, [=] { return OffersChanges() && In(image(), kImageRunning, kImageWaiting); });
}

bool CNoteCataView::RefuseReadOnly() const { return RefuseChange(m_doc); }

bool CNoteCataView::OffersChanges() const { return !m_doc.IsDamaged(); }

void CNoteCataView::RefuseEdit(EditTrigger trigger, QTimer* pPending, const std::function<void()>& fnRefuse) {
    switch (trigger) {
    case SelectedClicked:
        // Perhaps the first half of a double click, which opens instead.
        pPending->start(QApplication::doubleClickInterval());
        break;
    case DoubleClicked: pPending->stop(); break;
    case EditKeyPressed:
    case AllEditTriggers: fnRefuse(); break;
    default: break;  // typing to find an item, moving the selection
    }
}

bool CNoteCataView::ContextMenuAllows(unsigned nID, const QTreeWidgetItem* item) const {
    using namespace cmd;
    if (!item) return false;
    // By the item's image and its parent's; a damaged notebook offers
    // nothing that changes it.
    const int i = ImageOf(item);
    const int p = ImageOf(item->parent());
    const bool bWritable = OffersChanges();
    switch (nID) {
    case kCmdNewCategory:
    case kCmdEmptyCategory: return bWritable && In(i, 0, 2);
    case kCmdNewNote:
    case kCmdImport: return bWritable && (In(i, 0, 3) || (i == 4 && p != 6));
    case kCmdCopyRecord: return In(i, 1, 4);
    case kCmdDelete:
    case kCmdRename:
    case kCmdCutRecord: return bWritable && In(i, 1, 4);
    case kCmdPasteRecord:
        return bWritable && In(i, 0, 2) && TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty;
    case kCmdNoteProperties:
    case kCmdViewNote: return In(i, 3, 4);
    case kCmdEditNote:
    case kCmdImportAgain: return bWritable && In(i, 3, 4);
    case kCmdHoldDownload: return p == 9 || p == 10;
    case kCmdStartDownload: return bWritable && (p == 10 || p == 11);
    case kCmdStopDownload: return p == 8;
    case kCmdHoldGroup: return i == 9 || i == 10;
    case kCmdStartGroup: return bWritable && (i == 10 || i == 11);
    case kCmdStopGroup: return i == 8;
    case kCmdDeleteGroup: return bWritable && In(i, 8, 11);
    case kCmdViewSource: return i == 4;
    case kCmdSortByName: return i != 4 && i != 5 && i != 7;
    default: return false;
    }
}

QTreeWidgetItem* CNoteCataView::TargetCategoryItem() const {
    QTreeWidgetItem* t = Target();
    if (HoldsRecords(t)) return t;
    if (In(ImageOf(t), kImageNote, kImageNoteHeld) && HoldsRecords(t->parent())) return t->parent();
    return nullptr;
}

CNote* CNoteCataView::TargetNote() const {
    QTreeWidgetItem* t = Target();
    if (!In(ImageOf(t), kImageNote, kImageNoteHeld)) return nullptr;
    return static_cast<CNote*>(RecordOf(t));
}

void CNoteCataView::ShowHelp() { OpenHelpAt(kHelpContextTree); }

// ---------------------------------------------------------------- new, rename

void CNoteCataView::OnNewCategory() {
    QTreeWidgetItem* parent = TargetCategoryItem();
    if (!parent || RefuseReadOnly()) return;
    // After the categories at the start of the children, before the notes.
    int at = 0;
    while (at < parent->childCount() && In(ImageOf(parent->child(at)), kImageCata, kImageCataOpen)) ++at;
    QTreeWidgetItem* item = MakeItem(kImageCata, nullptr, CurrentLanguage().String(ids::IDS_NEW_CATEGORY));
    parent->insertChild(at, item);
    parent->setExpanded(true);
    StartLabelEdit(item, kEditNewCata);
}

void CNoteCataView::OnNewNote() {
    QTreeWidgetItem* parent = TargetCategoryItem();
    if (!parent || RefuseReadOnly()) return;
    QTreeWidgetItem* item = MakeItem(kImageNoteHeld, nullptr, CurrentLanguage().String(ids::IDS_NEW_NOTE));
    parent->addChild(item);
    parent->setExpanded(true);
    StartLabelEdit(item, kEditNewNote);
}

void CNoteCataView::OnRename() {
    QTreeWidgetItem* t = Target();
    if (!In(ImageOf(t), kImageCata, kImageNoteHeld) || RefuseReadOnly()) return;
    StartLabelEdit(t, kEditRename);
}

void CNoteCataView::StartLabelEdit(QTreeWidgetItem* pItem, EditMode mode) {
    if (!pItem) return;
    m_nEditMode = mode;
    scrollToItem(pItem);
    editItem(pItem, 0);
    if (state() == EditingState) return;
    // No editor could be opened: a new item still gets its record, under
    // the name it shows.
    if (mode == kEditRename) m_nEditMode = kEditIdle;
    else EndLabelEdit(pItem, pItem->text(0), true);
}

bool CNoteCataView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) {
    QTreeWidgetItem* item = itemFromIndex(index);
    if (!item || !In(ImageOf(item), kImageCata, kImageNoteHeld)) return false;
    if (IsReadOnly()) {
        RefuseEdit(trigger, m_pRefusedRename, [this] { RefuseReadOnly(); });
        return false;
    }
    const bool ok = QTreeWidget::edit(index, trigger, e);
    if (ok && state() == EditingState && !m_editItem.isValid()) {
        if (m_nEditMode == kEditIdle) m_nEditMode = kEditRename;
        m_editItem = QPersistentModelIndex(index);
        if (QWidget* editor = indexWidget(index)) editor->setAccessibleName(CurrentLanguage().String(ids::IDS_NAME_COLUMN));
        m_bEditCommitted = false;
        m_strEditText.clear();
    }
    return ok;
}

void CNoteCataView::commitData(QWidget* pEditor) {
    // The text is taken here and applied by EndLabelEdit, which may refuse
    // it: the model is not written by the editor.
    if (auto* line = qobject_cast<QLineEdit*>(pEditor)) {
        m_bEditCommitted = true;
        m_strEditText = line->text();
    }
}

void CNoteCataView::closeEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidgetItem* item = m_editItem.isValid() ? itemFromIndex(m_editItem) : nullptr;
    const bool bCommitted = m_bEditCommitted;
    const QString text = m_strEditText;
    m_editItem = QPersistentModelIndex();
    m_bEditCommitted = false;
    // A name is edited on its own: Tab ends the edit without opening the
    // next item's, which would start while this one is still being applied.
    if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem)
        hint = QAbstractItemDelegate::SubmitModelCache;
    QTreeWidget::closeEditor(pEditor, hint);
    if (item) RunGuarded([&] { EndLabelEdit(item, text, !bCommitted); });
    else m_nEditMode = kEditIdle;
}

void CNoteCataView::EndLabelEdit(QTreeWidgetItem* pItem, const QString& strEdited, bool bCancelled) {
    const EditMode mode = m_nEditMode;
    m_nEditMode = kEditIdle;
    if (RefuseReadOnly()) {
        // A new item can only have come before the lock: it goes.
        if (mode != kEditRename && !RecordOf(pItem)) DeleteTreeItem(pItem);
        return;
    }
    // An empty name is no name: the item keeps what it showed.
    const QString text = bCancelled || strEdited.isEmpty() ? pItem->text(0) : strEdited;
    const std::string name = FromQ(text);
    const QPersistentModelIndex index(indexFromItem(pItem));
    auto restart = [this, index, mode] {
        QTimer::singleShot(0, this, [this, index, mode] {
            if (index.isValid()) RunGuarded([&] { StartLabelEdit(itemFromIndex(index), mode); });
        });
    };

    if (mode == kEditNewNote || mode == kEditNewCata) {
        QTreeWidgetItem* parent = pItem->parent();
        auto* pCata = HoldsRecords(parent) ? static_cast<CNoteCata*>(RecordOf(parent)) : nullptr;
        if (!pCata || RecordOf(pItem)) {
            if (!RecordOf(pItem)) DeleteTreeItem(pItem);
            return;
        }
        if (mode == kEditNewNote) {
            if (pCata->FindNote(name)) {
                AfxMessageBox(ids::IDS_NAME_TAKEN, host::MB_OK | host::MB_ICONEXCLAMATION);
                m_nEditMode = mode;
                restart();
                return;
            }
            CNote* note = nullptr;
            try {
                note = pCata->AddNewNote(name);
                if (note) note->m_strExt = "htm";
            } catch (...) {
                DeleteTreeItem(pItem);
                throw;
            }
            if (!note) {
                DeleteTreeItem(pItem);
                return;
            }
            pItem->setText(0, text);
            pItem->setData(0, kRoleRecord, QVariant::fromValue<void*>(note));
            m_noteMap[note->m_nID] = pItem;
            UpdateRecentGroups(note, kRecentInsert);
            m_doc.SetModifiedFlag();
            SelectItem(pItem, true);
            g_pCurrentTarget = pCata;
            m_frame.ShowNote(note, true, 1);
            return;
        }
        if (pCata->FindSubCata(name)) {
            m_nEditMode = mode;
            restart();
            return;
        }
        CNoteCata* sub = nullptr;
        try {
            sub = pCata->AddNewSubCata(name);
        } catch (...) {
            DeleteTreeItem(pItem);
            throw;
        }
        if (!sub) {
            DeleteTreeItem(pItem);
            return;
        }
        pItem->setText(0, text);
        pItem->setData(0, kRoleRecord, QVariant::fromValue<void*>(sub));
        m_doc.SetModifiedFlag();
        SelectItem(pItem, false);
        return;
    }

    if (mode != kEditRename || bCancelled || strEdited.isEmpty()) return;
    CNoteBase* record = RecordOf(pItem);
    if (!record || !RenameRecord(record, name)) return;
    pItem->setText(0, text);
}

bool CNoteCataView::RenameRecord(CNoteBase* pRecord, const std::string& strName) {
    if (pRecord->m_nKind == CNoteBase::kindCata) {
        auto* pCata = static_cast<CNoteCata*>(pRecord);
        if (!pCata->Rename(strName)) return false;
        if (QTreeWidgetItem* item = ItemOf(pCata)) item->setText(0, ToQ(pCata->m_strName));
    } else if (pRecord->m_nKind == CNoteBase::kindNote) {
        auto* note = static_cast<CNote*>(pRecord);
        if (!note->Rename(strName)) return false;
        // Every item of the note shows the new name: its category item and
        // its day and download group entries.
        RefreshNote(note);
    } else {
        return false;
    }
    m_doc.SetModifiedFlag();
    return true;
}

// ---------------------------------------------------------------- delete

void CNoteCataView::OnDelete() {
    QTreeWidgetItem* t = Target();
    const int image = ImageOf(t);
    if (!In(image, kImageCata, kImageNoteHeld) || RefuseReadOnly()) return;
    if (In(image, kImageCata, kImageCataOpen)) {
        DeleteCategory(t, true);
        return;
    }
    if (auto* note = static_cast<CNote*>(RecordOf(t))) DeleteNote(note, true);
    else DeleteTreeItem(t);
}

bool CNoteCataView::StopDownloadsOf(const std::vector<CNote*>& notes) {
    bool ok = true;
    std::vector<CNote*> stopped;
    for (CNote* note : notes) {
        if (note->m_nStatus == kStatusRunning) {
            ok = m_doc.StopDownload(note) && ok;
            stopped.push_back(note);
        }
        // A worker that did not end in time would be waited for when its
        // note is freed, holding the window up for as long as it runs.
        if (m_doc.HasWorker(note)) ok = false;
    }
    UpdateDownloadGroups(stopped);
    return ok;
}

bool CNoteCataView::DeleteNote(CNote* pNote, bool bAsk) {
    if (!pNote) return false;
    if (bAsk && AfxMessageBox(ids::IDS_ASK_DELETE_NOTE, host::MB_YESNO | host::MB_ICONQUESTION, {pNote->m_strName}) !=
                    host::IDYES)
        return false;
    const int32_t old = pNote->m_nStatus;
    if ((old == kStatusQueued || old == kStatusRunning || m_doc.HasWorker(pNote)) && !StopDownloadsOf({pNote}))
        return false;
    const int32_t before = pNote->m_nStatus;
    pNote->m_nStatus = kStatusDeleting;
    if (RecordOf(Target()) == pNote || RecordOf(currentItem()) == pNote || m_frame.CurrentNote() == pNote)
        m_frame.ClearCurrentNote();
    if (!pNote->m_pParent) {
        pNote->m_nStatus = before;
        m_frame.ShowNote(pNote);
        return false;
    }
    // Everything that shows the note forgets it while it still exists.
    RemoveNoteEverywhere(pNote, true);
    if (!pNote->Delete()) {
        pNote->m_nStatus = before;
        InsertNote(pNote, ItemOf(pNote->m_pParent));
        m_frame.ShowNote(pNote);
        return false;
    }
    m_doc.SetModifiedFlag();
    return true;
}

bool CNoteCataView::DeleteCategory(QTreeWidgetItem* pItem, bool bAsk) {
    auto* pCata = static_cast<CNoteCata*>(RecordOf(pItem));
    if (!pCata) {
        DeleteTreeItem(pItem);
        return true;
    }
    if (!pCata->m_pParent) return false;
    if (bAsk && AfxMessageBox(ids::IDS_ASK_DELETE_CATEGORY, host::MB_YESNO | host::MB_ICONQUESTION,
                              {pCata->m_strName}) != host::IDYES)
        return false;
    std::vector<CNote*> notes;
    CollectNotes(pCata, notes);
    if (!StopDownloadsOf(notes)) return false;
    RemoveRecord(pCata);
    pCata->Delete();
    m_doc.SetModifiedFlag();
    return true;
}

void CNoteCataView::OnEmptyCategory() {
    QTreeWidgetItem* t = Target();
    if (!HoldsRecords(t) || RefuseReadOnly()) return;
    auto* pCata = static_cast<CNoteCata*>(RecordOf(t));
    if (!pCata) return;
    if (AfxMessageBox(ids::IDS_ASK_DELETE_CONTENTS, host::MB_YESNO | host::MB_ICONQUESTION, {FromQ(t->text(0))}) !=
        host::IDYES)
        return;
    std::vector<CNote*> notes;
    CollectNotes(pCata, notes);
    if (!StopDownloadsOf(notes)) return;
    const bool bHadSelection = !selectedItems().isEmpty();
    {
        // Nothing inside may be selected (and shown) on the way.
        const QSignalBlocker quiet(this);
        for (CNote* note : notes) RemoveNoteEverywhere(note, false);
        std::function<void(CNoteCata*)> unlist = [&](CNoteCata* p) {
            for (auto it = p->m_subCatas.begin(); it != p->m_subCatas.end(); ++it) {
                unlist(it.value());
                m_frame.RemoveFromList(it.value());
            }
        };
        unlist(pCata);
        if (g_pCurrentTarget && g_pCurrentTarget->IsInside(pCata)) g_pCurrentTarget = pCata;
        while (t->childCount()) DeleteTreeItem(t->child(t->childCount() - 1));
        pCata->Clear(true);
    }
    m_doc.SetModifiedFlag();
    if (bHadSelection) FollowSelection();
}

// ---------------------------------------------------------------- the rest

void CNoteCataView::OnSort() {
    QTreeWidgetItem* t = Target();
    const int i = ImageOf(t);
    if (i < 0 || i == kImageNoteHeld || i == kImageRecent || i == kImageDownloads) return;
    t->sortChildren(0, Qt::AscendingOrder);
}

void CNoteCataView::OnNoteProperties() {
    CNote* note = TargetNote();
    if (!note) return;
    const CAutoHideBlock noHiding;
    ShowNoteProperties(note, this);
}

void CNoteCataView::OnShowNote(int nMode, bool bSource) {
    QTreeWidgetItem* t = Target();
    CNote* note = TargetNote();
    if (!note || ImageOf(t) != kImageNoteHeld) return;
    if (bSource && note->m_strSource.empty()) return;
    SelectItem(t, true);
    if (note->m_pParent) g_pCurrentTarget = note->m_pParent;
    m_frame.ShowNote(note, false, nMode, bSource);
}

void CNoteCataView::UpdateDownloadGroups(const std::vector<CNote*>& notes) {
    for (CNote* note : notes) RefreshNote(note);
}

void CNoteCataView::OnDownloadCommand(unsigned nID) {
    using namespace cmd;
    if (RefuseReadOnly()) return;
    QTreeWidgetItem* t = Target();
    const int i = ImageOf(t);
    const int p = t ? ImageOf(t->parent()) : -1;
    CNote* note = In(i, kImageNote, kImageNoteHeld) ? static_cast<CNote*>(RecordOf(t)) : nullptr;
    // What the group operations may move: every note in the groups and in
    // the download list.
    std::vector<CNote*> affected;
    for (QTreeWidgetItem* group : {m_pRunning, m_pQueued, m_pWaiting, m_pFailed})
        for (int c = 0; group && c < group->childCount(); ++c)
            if (auto* n = static_cast<CNote*>(RecordOf(group->child(c)))) affected.push_back(n);
    for (CNote* n : m_doc.m_pendingNotes) affected.push_back(n);
    std::sort(affected.begin(), affected.end());
    affected.erase(std::unique(affected.begin(), affected.end()), affected.end());

    switch (nID) {
    case kCmdHoldDownload:
        if (!note || (p != kImageQueued && p != kImageFailed)) return;
        if (note->m_nStatus == kStatusQueued || note->m_nStatus == kStatusFailed) m_doc.HoldNote(note);
        UpdateDownloadGroups({note});
        return;
    case kCmdStartDownload:
        if (!note || (p != kImageFailed && p != kImageWaiting)) return;
        if (note->m_nStatus == kStatusFailed || note->m_nStatus == kStatusHeld) m_doc.StartDownload(note);
        UpdateDownloadGroups({note});
        return;
    case kCmdStopDownload:
        if (!note || p != kImageRunning) return;
        m_doc.StopDownload(note);
        UpdateDownloadGroups({note});
        return;
    case kCmdHoldGroup:
        if (i == kImageQueued) m_doc.HoldAllQueued();
        else if (i == kImageFailed) m_doc.HoldAllFailed();
        else return;
        break;
    case kCmdStartGroup:
        if (i == kImageWaiting) m_doc.StartAllHeld();
        else if (i == kImageFailed) m_doc.RetryAllFailed();
        else return;
        break;
    case kCmdStopGroup:
        if (i != kImageRunning) return;
        m_doc.StopAllDownloads();
        break;
    case kCmdDeleteGroup: OnDeleteGroup(); return;
    default: return;
    }
    UpdateDownloadGroups(affected);
}

void CNoteCataView::OnDeleteGroup() {
    QTreeWidgetItem* t = Target();
    int nStatus = -1;
    switch (ImageOf(t)) {
    case kImageRunning: nStatus = kStatusRunning; break;
    case kImageQueued: nStatus = kStatusQueued; break;
    case kImageFailed: nStatus = kStatusFailed; break;
    case kImageWaiting: nStatus = kStatusHeld; break;
    default: return;
    }
    if (AfxMessageBox(ids::IDS_ASK_DELETE_CONTENTS, host::MB_YESNO | host::MB_ICONQUESTION, {FromQ(t->text(0))}) !=
        host::IDYES)
        return;
    DeleteNotesWithStatus(nStatus);
}
