// The note list's commands: the tree's editing, clipboard and download
// commands, on the list's selection. Whatever changes a record goes through
// the tree, which keeps its own items and groups in step.
#include "frame/CataListView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "views/NotePropertiesDlg.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

bool IsNoteImage(int n) { return n == CNoteCataView::kImageNote || n == CNoteCataView::kImageNoteHeld; }

// Every note of a category, its subcategories' included.
void CollectNotes(const CNoteCata* pCata, std::vector<CNote*>& out) {
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) CollectNotes(it.value(), out);
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) out.push_back(it.value());
}

}  // namespace

void CCataListView::RegisterCommands() {
    using namespace cmd;
    auto rule = [this](unsigned nID, std::function<bool()> fnAllowed) {
        OnUpdate(nID, [fnAllowed = std::move(fnAllowed)](CCmdUI* pUI) { pUI->Enable(fnAllowed()); });
    };
    auto some = [this] { return !Selection().isEmpty(); };
    auto ro = [this] { return !OffersChanges(); };
    auto oneImage = [this] { return ImageOf(OneSelected()); };

    OnCommand(kCmdNewCategory, [this] { OnNewItem(true); });
    rule(kCmdNewCategory, [=] { return !ro() && m_pCata; });
    OnCommand(kCmdNewNote, [this] { OnNewItem(false); });
    rule(kCmdNewNote, [=] { return !ro() && m_pCata; });
    OnCommand(kCmdDelete, [this] { OnDelete(); });
    rule(kCmdDelete, [=] { return !ro() && some() && NotGroupList(); });
    OnCommand(kCmdRename, [this] { OnRename(); });
    rule(kCmdRename, [=] { return !ro() && OneSelected() && NotGroupList(); });
    OnCommand(kCmdImport, [this] {
        if (!RefuseReadOnly()) m_frame.OpenImport();
    });
    rule(kCmdImport, [=] { return !ro(); });

    OnCommand(kCmdCopyRecord, [this] { OnClip(false); });
    rule(kCmdCopyRecord, [=] { return some() && NotGroupList(); });
    OnCommand(kCmdCutRecord, [this] { OnClip(true); });
    rule(kCmdCutRecord, [=] { return !ro() && some() && NotGroupList(); });
    OnCommand(kCmdPasteRecord, [this] { OnPaste(); });
    rule(kCmdPasteRecord, [=] {
        return !ro() && m_pCata && Selection().size() <= 1 &&
               TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty;
    });

    OnCommand(kCmdNoteProperties, [this] {
        CNote* note = OneNote();
        if (!note) return;
        const CAutoHideBlock noHiding;
        ShowNoteProperties(note, this);
    });
    rule(kCmdNoteProperties, [=] { return OneNote() != nullptr; });
    OnCommand(kCmdViewNote, [this] { OnShow(0, false); });
    rule(kCmdViewNote, [=] { return OneNote() != nullptr; });
    OnCommand(kCmdEditNote, [this] {
        if (!RefuseReadOnly()) OnShow(1, false);
    });
    rule(kCmdEditNote, [=] { return !ro() && OneNote() != nullptr; });
    OnCommand(kCmdViewSource, [this] {
        if (!RefuseReadOnly()) OnShow(-1, true);
    });
    rule(kCmdViewSource, [=] {
        const CNote* note = OneNote();
        return !IsReadOnly() && note && oneImage() == CNoteCataView::kImageNoteHeld && !note->m_strSource.empty();
    });
    OnCommand(kCmdImportAgain, [this] { OnImportAgain(); });
    rule(kCmdImportAgain, [=] { return !ro() && some() && NotGroupList(); });

    OnCommandRange(kCmdHoldDownload, kCmdStopDownload, [this](unsigned nID) { OnDownload(nID); });
    rule(kCmdHoldDownload, [=] { return some() && (m_nKind == kKindQueued || m_nKind == kKindFailed); });
    rule(kCmdStartDownload, [=] { return !ro() && some() && (m_nKind == kKindWaiting || m_nKind == kKindFailed); });
    rule(kCmdStopDownload, [=] { return some() && m_nKind == kKindRunning; });
    OnCommandRange(kCmdHoldGroup, kCmdDeleteGroup, [this](unsigned nID) { OnGroupCommand(nID); });
    rule(kCmdHoldGroup,
         [=] { return oneImage() == CNoteCataView::kImageQueued || oneImage() == CNoteCataView::kImageFailed; });
    rule(kCmdStartGroup, [=] {
        return !ro() && (oneImage() == CNoteCataView::kImageFailed || oneImage() == CNoteCataView::kImageWaiting);
    });
    rule(kCmdStopGroup, [=] { return oneImage() == CNoteCataView::kImageRunning; });
    rule(kCmdDeleteGroup, [=] {
        return !ro() && oneImage() >= CNoteCataView::kImageRunning && oneImage() <= CNoteCataView::kImageWaiting;
    });
}

bool CCataListView::RefuseReadOnly() const { return RefuseChange(m_doc); }

// ---------------------------------------------------------------- new, rename

void CCataListView::OnNewItem(bool bCategory) {
    if (RefuseReadOnly() || !m_pCata) return;
    QTreeWidgetItem* item =
        bCategory ? AddItem(CNoteCataView::kImageCata, nullptr, CurrentLanguage().String(ids::IDS_NEW_CATEGORY))
                  : AddItem(CNoteCataView::kImageNoteHeld, nullptr, CurrentLanguage().String(ids::IDS_NEW_NOTE));
    StartLabelEdit(item, bCategory ? kEditNewCata : kEditNewNote);
}

void CCataListView::OnRename() {
    if (RefuseReadOnly() || !NotGroupList()) return;
    QTreeWidgetItem* item = OneSelected();
    const int image = ImageOf(item);
    if (image != CNoteCataView::kImageCata && !IsNoteImage(image)) return;
    StartLabelEdit(item, kEditRename);
}

void CCataListView::StartLabelEdit(QTreeWidgetItem* pItem, EditMode mode) {
    if (!pItem) return;
    m_nEditMode = mode;
    // The row being named is the current one, alone selected.
    setCurrentItem(pItem, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollToItem(pItem);
    editItem(pItem, 0);
    if (state() == EditingState) return;
    // No editor could be opened: a new item still gets its record under the
    // name it shows.
    if (mode == kEditRename) m_nEditMode = kEditIdle;
    else EndLabelEdit(pItem, pItem->text(0), true);
}

void CCataListView::EndLabelEdit(QTreeWidgetItem* pItem, const QString& strEdited, bool bCancelled) {
    const EditMode mode = m_nEditMode;
    m_nEditMode = kEditIdle;
    const bool bNewItem = (mode == kEditNewNote || mode == kEditNewCata) && !RecordOf(pItem);
    if (RefuseChange(m_doc)) {
        if (bNewItem) delete pItem;
        return;
    }
    const QString text = bCancelled || strEdited.isEmpty() ? pItem->text(0) : strEdited;
    const std::string name = FromQ(text);
    const QPersistentModelIndex index(indexFromItem(pItem));
    auto restart = [this, index, mode] {
        m_nEditMode = mode;
        QTimer::singleShot(0, this, [this, index, mode] {
            if (index.isValid()) RunGuarded([&] { StartLabelEdit(itemFromIndex(index), mode); });
        });
    };

    if (mode == kEditNewNote || mode == kEditNewCata) {
        if (!bNewItem) return;
        if (!m_pCata || !m_pTree) {
            delete pItem;
            return;
        }
        QTreeWidgetItem* treeParent = m_pTree->ItemOf(m_pCata);
        if (mode == kEditNewNote) {
            if (m_pCata->FindNote(name)) {
                AfxMessageBox(ids::IDS_NAME_TAKEN, host::MB_OK | host::MB_ICONEXCLAMATION);
                restart();
                return;
            }
            CNote* note = nullptr;
            try {
                note = m_pCata->AddNewNote(name);
                if (note) note->m_strExt = "htm";
            } catch (...) {
                delete pItem;
                throw;
            }
            if (!note) {
                delete pItem;
                return;
            }
            pItem->setText(0, ToQ(note->m_strName));
            pItem->setText(1, StatusText(note->m_nStatus));
            pItem->setData(0, kRoleRecord, QVariant::fromValue<void*>(note));
            // The tree files it under its category and in the recent groups;
            // the new note is not opened: the list stays.
            m_pTree->InsertNote(note, treeParent);
            m_doc.SetModifiedFlag();
            return;
        }
        // A taken category name is refused without a word: the user sees
        // the edit start again.
        if (m_pCata->FindSubCata(name)) {
            restart();
            return;
        }
        CNoteCata* sub = nullptr;
        try {
            sub = m_pCata->AddNewSubCata(name);
        } catch (...) {
            delete pItem;
            throw;
        }
        if (!sub) {
            delete pItem;
            return;
        }
        pItem->setText(0, ToQ(sub->m_strName));
        pItem->setData(0, kRoleRecord, QVariant::fromValue<void*>(sub));
        m_pTree->InsertCata(sub, treeParent);
        m_doc.SetModifiedFlag();
        return;
    }

    if (mode != kEditRename || bCancelled || strEdited.isEmpty()) return;
    CNoteBase* record = RecordOf(pItem);
    if (!record || (record->m_nKind != CNoteBase::kindCata && record->m_nKind != CNoteBase::kindNote)) return;
    // The tree renames it and shows the new name in all its items; the list
    // always has its tree.
    if (!m_pTree || !m_pTree->RenameRecord(record, name)) return;
    pItem->setText(0, ToQ(record->m_nKind == CNoteBase::kindCata ? static_cast<CNoteCata*>(record)->m_strName
                                                                 : static_cast<CNote*>(record)->m_strName));
}

// ---------------------------------------------------------------- delete

int CCataListView::DeleteCategory(CNoteCata* pCata) {
    if (!pCata->m_pParent) return kDeleteFailed;
    std::vector<CNote*> notes;
    CollectNotes(pCata, notes);
    bool ok = true;
    for (CNote* note : notes) {
        if (note->m_nStatus == kStatusRunning) {
            ok = m_doc.StopDownload(note) && ok;
            m_pTree->RefreshNote(note);
        }
        // A worker that did not end would be waited for when its note is
        // freed: the category stays until it has.
        if (m_doc.HasWorker(note)) ok = false;
    }
    if (!ok) return kDeleteBlocked;
    m_pTree->RemoveRecord(pCata);
    pCata->Delete();
    m_doc.SetModifiedFlag();
    return kDeleted;
}

void CCataListView::OnDelete() {
    if (RefuseReadOnly() || !m_pTree || !NotGroupList()) return;
    const QList<QTreeWidgetItem*> selection = Selection();
    if (selection.isEmpty()) return;
    if (AfxMessageBox(ids::IDS_ASK_DELETE_CATEGORY, host::MB_YESNO | host::MB_ICONQUESTION, {"selected"}) !=
        host::IDYES)
        return;
    // The records and rows first: nothing of the walk may shift them.
    std::vector<std::pair<int, CNoteBase*>> walk;
    for (QTreeWidgetItem* item : selection) walk.emplace_back(indexOfTopLevelItem(item), RecordOf(item));
    std::vector<int> gone;
    m_bDeleting = true;
    struct CReset {
        bool& b;
        ~CReset() { b = false; }
    } reset{m_bDeleting};
    for (const auto& [nIndex, record] : walk) {
        if (!record) continue;
        if (record->m_nKind == CNoteBase::kindCata) {
            const int result = DeleteCategory(static_cast<CNoteCata*>(record));
            if (result == kDeleted) gone.push_back(nIndex);
            else if (result == kDeleteBlocked) break;  // a download inside would not stop
            continue;
        }
        if (record->m_nKind != CNoteBase::kindNote) continue;
        auto* note = static_cast<CNote*>(record);
        if (m_pTree->DeleteNote(note, false)) {
            gone.push_back(nIndex);
            continue;
        }
        // A download that could not be stopped ends the walk at its note.
        if (m_doc.HasWorker(note) || note->m_nStatus == kStatusRunning) break;
    }
    m_bDeleting = false;
    std::sort(gone.begin(), gone.end());
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) delete takeTopLevelItem(*it);
}

// ---------------------------------------------------------------- clipboard

void CCataListView::OnClip(bool bCut) {
    if (bCut && RefuseReadOnly()) return;
    if (!NotGroupList()) return;
    std::vector<CNoteBase*> records;
    for (QTreeWidgetItem* item : Selection())
        if (CNoteBase* record = RecordOf(item))
            if (record->m_nKind == CNoteBase::kindCata || record->m_nKind == CNoteBase::kindNote)
                records.push_back(record);
    if (records.empty()) return;
    CRecordClipboard& clip = TheRecordClipboard();
    const int nCut = bCut ? 1 : 0;
    if (records.size() == 1) {
        if (records[0]->m_nKind == CNoteBase::kindCata) clip.ClipCategory(static_cast<CNoteCata*>(records[0]), nCut);
        else clip.ClipNote(static_cast<CNote*>(records[0]), nCut);
        return;
    }
    clip.ClearClip();
    for (CNoteBase* record : records) {
        if (record->m_nKind == CNoteBase::kindCata) clip.AddClipCategory(static_cast<CNoteCata*>(record), nCut);
        else clip.AddClipNote(static_cast<CNote*>(record), nCut);
    }
}

void CCataListView::OnPaste() {
    if (RefuseReadOnly() || !m_pCata || !m_pTree) return;
    const QList<QTreeWidgetItem*> selection = Selection();
    if (selection.size() > 1) return;
    CNoteCata* target = m_pCata;
    if (selection.size() == 1) {
        if (ImageOf(selection.first()) != CNoteCataView::kImageCata) return;
        target = static_cast<CNoteCata*>(RecordOf(selection.first()));
        if (!target) return;
    }
    CRecordClipboard& clip = TheRecordClipboard();
    const int state = clip.ClipState();
    if (state == CRecordClipboard::stateEmpty) return;
    if (state != CRecordClipboard::stateNote && !clip.CanPasteInto(target)) {
        AfxMessageBox(ids::IDS_CATEGORY_INTO_ITSELF);
        return;
    }
    // The tree pastes into its selection: the target becomes it for the
    // paste, quietly, and the listed category after.
    CNoteCata* listed = m_pCata;
    if (!m_pTree->SelectRecord(target, true)) return;
    m_pTree->OnCmdMsg(cmd::kCmdPasteRecord, nullptr);
    m_pTree->SelectRecord(listed, true);
    ListCategory(listed);
    if (target != listed)
        if (QTreeWidgetItem* item = ItemOf(target)) item->setSelected(true);
}

// ---------------------------------------------------------------- showing, import

void CCataListView::OnShow(int nMode, bool bSource) {
    CNote* note = OneNote();
    if (!note || !m_pTree) return;
    if (bSource && (ImageOf(OneSelected()) != CNoteCataView::kImageNoteHeld || note->m_strSource.empty())) return;
    // The tree's selection moves to the note without reacting; the frame
    // then shows it, which replaces this list: later, once the command
    // handler has returned.
    if (!m_pTree->SelectRecord(note, true)) return;
    if (note->m_pParent) g_pCurrentTarget = note->m_pParent;
    QPointer<CNoteCataView> tree(m_pTree);
    INoteFrame* frame = &m_frame;
    QTimer::singleShot(0, m_pTree, [tree, frame, note, nMode, bSource] {
        if (!tree) return;
        const QList<QTreeWidgetItem*> sel = tree->selectedItems();
        if (sel.isEmpty() || tree->RecordOf(sel.first()) != note) return;  // moved on, or gone
        RunGuarded([&] { frame->ShowNote(note, false, nMode, bSource); });
    });
}

void CCataListView::OnImportAgain() {
    if (RefuseReadOnly() || !NotGroupList()) return;
    const std::vector<CNote*> notes = SelectedNotes();
    if (!notes.empty()) m_frame.ImportNotes(notes);
}

// ---------------------------------------------------------------- downloads

void CCataListView::FollowDownloads(const std::vector<CNote*>& notes) {
    for (CNote* note : notes) {
        if (m_pTree) m_pTree->RefreshNote(note);
        NoteStatusChanged(note);
    }
}

void CCataListView::OnDownload(unsigned nID) {
    using namespace cmd;
    if (RefuseReadOnly()) return;
    const std::vector<CNote*> notes = SelectedNotes();
    std::vector<CNote*> changed;
    for (CNote* note : notes) {
        const int nStatus = note->m_nStatus;
        if (nID == kCmdHoldDownload && (m_nKind == kKindQueued || m_nKind == kKindFailed) &&
            (nStatus == kStatusFailed || nStatus == kStatusQueued)) {
            m_doc.HoldNote(note);
        } else if (nID == kCmdStartDownload && (m_nKind == kKindWaiting || m_nKind == kKindFailed) &&
                   (nStatus == kStatusHeld || nStatus == kStatusFailed)) {
            m_doc.StartDownload(note);
        } else if (nID == kCmdStopDownload && m_nKind == kKindRunning && nStatus == kStatusRunning) {
            m_doc.StopDownload(note);
        } else {
            continue;
        }
        changed.push_back(note);
    }
    // Starting one may start others queued behind it: every note with a
    // download to do takes its place again.
    std::vector<CNote*> affected = changed;
    affected.insert(affected.end(), m_doc.m_pendingNotes.begin(), m_doc.m_pendingNotes.end());
    std::sort(affected.begin(), affected.end());
    affected.erase(std::unique(affected.begin(), affected.end()), affected.end());
    FollowDownloads(affected);
}

void CCataListView::OnGroupCommand(unsigned nID) {
    using namespace cmd;
    if (RefuseReadOnly() || m_nKind != kKindDownloads || !m_pTree) return;
    std::vector<int> images;
    for (QTreeWidgetItem* item : Selection()) images.push_back(ImageOf(item));
    if (images.empty()) return;
    // What the group operations may move: every note of the four groups
    // and of the download list.
    std::vector<CNote*> affected(m_doc.m_pendingNotes.begin(), m_doc.m_pendingNotes.end());
    for (int nGroup = kKindRunning; nGroup <= kKindFailed; ++nGroup)
        if (QTreeWidgetItem* group = m_pTree->GroupItem(nGroup))
            for (int i = 0; i < group->childCount(); ++i)
                if (CNoteBase* record = m_pTree->RecordOf(group->child(i)))
                    affected.push_back(static_cast<CNote*>(record));
    std::sort(affected.begin(), affected.end());
    affected.erase(std::unique(affected.begin(), affected.end()), affected.end());

    if (nID == kCmdDeleteGroup) {
        if (AfxMessageBox(ids::IDS_ASK_DELETE_CONTENTS, host::MB_YESNO | host::MB_ICONQUESTION, {std::string()}) !=
            host::IDYES)
            return;
        for (int image : images) {
            switch (image) {
            case CNoteCataView::kImageRunning: m_pTree->DeleteNotesWithStatus(kStatusRunning); break;
            case CNoteCataView::kImageQueued: m_pTree->DeleteNotesWithStatus(kStatusQueued); break;
            case CNoteCataView::kImageWaiting: m_pTree->DeleteNotesWithStatus(kStatusHeld); break;
            case CNoteCataView::kImageFailed: m_pTree->DeleteNotesWithStatus(kStatusFailed); break;
            default: break;
            }
        }
        return;
    }
    bool bDone = false;
    for (int image : images) {
        if (nID == kCmdHoldGroup && image == CNoteCataView::kImageQueued) m_doc.HoldAllQueued();
        else if (nID == kCmdHoldGroup && image == CNoteCataView::kImageFailed) m_doc.HoldAllFailed();
        else if (nID == kCmdStartGroup && image == CNoteCataView::kImageWaiting) m_doc.StartAllHeld();
        else if (nID == kCmdStartGroup && image == CNoteCataView::kImageFailed) m_doc.RetryAllFailed();
        else if (nID == kCmdStopGroup && image == CNoteCataView::kImageRunning) m_doc.StopAllDownloads();
        else continue;
        bDone = true;
    }
    if (bDone) FollowDownloads(affected);
}
