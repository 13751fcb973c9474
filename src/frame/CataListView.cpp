// The note list: filling it from the tree's selection, sorting, opening
// items and its context menu.
#include "frame/CataListView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "frame/DragState.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/StringIds.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

int NoteImage(const CNote* pNote) {
    return pNote->m_nContentType == kContentHeld ? CNoteCataView::kImageNoteHeld : CNoteCataView::kImageNote;
}

// The status a download group lists.
int StatusOfKind(int nKind) {
    switch (nKind) {
    case CCataListView::kKindRunning: return kStatusRunning;
    case CCataListView::kKindQueued: return kStatusQueued;
    case CCataListView::kKindWaiting: return kStatusHeld;
    case CCataListView::kKindFailed: return kStatusFailed;
    default: return -1;
    }
}

}  // namespace

// The context menu's own enable rules; its commands go to the list.
class CCataListView::CContextTarget : public CCmdTarget {
public:
    explicit CContextTarget(CCataListView& view) : m_view(view) {}
    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) override {
        if (pNotify) return false;
        if (pUI) {
            pUI->Enable(m_view.ContextMenuAllows(nID));
            return true;
        }
        // The list may be gone when the command returns: nothing of it is
        // touched afterwards.
        return m_view.OnCmdMsg(nID, nullptr);
    }

private:
    CCataListView& m_view;
};

CCataListView::CCataListView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : QTreeWidget(pParent), m_frame(frame), m_doc(doc), m_pContextTarget(std::make_unique<CContextTarget>(*this)) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_pRefusedRename = new QTimer(this);
    m_pRefusedRename->setSingleShot(true);
    connect(m_pRefusedRename, &QTimer::timeout, this, [this] { RunGuarded([this] { RefuseReadOnly(); }); });
    setSortingEnabled(false);
    setIconSize(QSize(16, 16));
    setColumnCount(2);
    const CLanguageModule& lang = CurrentLanguage();
    setHeaderLabels({lang.String(ids::IDS_NAME_COLUMN), lang.String(ids::IDS_STATUS_COLUMN)});
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setAccessibleName(lang.String(ids::IDS_NAME_COLUMN) + QStringLiteral(" / ") + lang.String(ids::IDS_STATUS_COLUMN));
    setAccessibleName(lang.String(ids::IDS_NAME_COLUMN));
    const QPixmap strip = lang.Bitmap(237);
    for (int x = 0; x + 16 <= strip.width(); x += 16) m_icons << QIcon(strip.copy(x, 0, 16, 16));
    connect(header(), &QHeaderView::sectionClicked, this, [this](int nColumn) {
        RunGuarded([&] {
            if (nColumn == 0) m_nSortKey = m_nSortKey == kSortNameUp ? kSortNameDown : kSortNameUp;
            else m_nSortKey = m_nSortKey == kSortStatusUp ? kSortStatusDown : kSortStatusUp;
            Sort();
        });
    });
    // A click ends any drop highlight left over.
    connect(this, &QTreeWidget::itemClicked, this, [this] { SetDropHighlight(nullptr); });
    RegisterCommands();
}

CCataListView::~CCataListView() {
    blockSignals(true);
    // A drag of this list ends with it; one of the tree's goes on.
    if (m_pDragImage) {
        m_pDragImage.reset();
        TheDragState().Clear();
    }
}

bool CCataListView::IsReadOnly() const { return m_doc.IsReadOnly(); }

bool CCataListView::OffersChanges() const { return !m_doc.IsDamaged(); }

void CCataListView::showEvent(QShowEvent* e) {
    QTreeWidget::showEvent(e);
    // Once the pane has its size: the columns share it.
    if (!m_bColumnsMade) QTimer::singleShot(0, this, [this] { MakeColumns(); });
}

void CCataListView::MakeColumns() {
    if (m_bColumnsMade) return;
    m_bColumnsMade = true;
    const int w = viewport()->width() > 0 ? viewport()->width() : width();
    setColumnWidth(0, w * 4 / 5);
    setColumnWidth(1, w / 5);
}

// ---------------------------------------------------------------- items

CNoteBase* CCataListView::RecordOf(const QTreeWidgetItem* pItem) {
    return pItem ? static_cast<CNoteBase*>(pItem->data(0, kRoleRecord).value<void*>()) : nullptr;
}

int CCataListView::ImageOf(const QTreeWidgetItem* pItem) {
    return pItem ? pItem->data(0, kRoleImage).toInt() : -1;
}

int CCataListView::GroupOf(const QTreeWidgetItem* pItem) { return pItem ? pItem->data(0, kRoleGroup).toInt() : 0; }

QTreeWidgetItem* CCataListView::ItemOf(const CNoteBase* pRecord) const {
    if (!pRecord) return nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (RecordOf(topLevelItem(i)) == pRecord) return topLevelItem(i);
    return nullptr;
}

QString CCataListView::StatusText(int nStatus) {
    switch (nStatus) {
    case kStatusQueued: return CurrentLanguage().String(ids::IDS_GROUP_QUEUED);
    case kStatusRunning: return CurrentLanguage().String(ids::IDS_GROUP_RUNNING);
    case kStatusFailed: return CurrentLanguage().String(ids::IDS_GROUP_FAILED);
    case kStatusHeld: return CurrentLanguage().String(ids::IDS_GROUP_WAITING);
    default: return CurrentLanguage().String(ids::IDS_STATUS_DONE);
    }
}

QTreeWidgetItem* CCataListView::AddItem(int nImage, CNoteBase* pRecord, const QString& strText, int nGroup) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, strText);
    item->setData(0, kRoleRecord, QVariant::fromValue<void*>(pRecord));
    item->setData(0, kRoleImage, nImage);
    item->setData(0, kRoleGroup, nGroup);
    if (nImage >= 0 && nImage < m_icons.size()) item->setIcon(0, m_icons[nImage]);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (nImage == CNoteCataView::kImageCata || nImage == CNoteCataView::kImageNote ||
        nImage == CNoteCataView::kImageNoteHeld)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    addTopLevelItem(item);
    return item;
}

QTreeWidgetItem* CCataListView::AddNoteItem(CNote* pNote) {
    QTreeWidgetItem* item = AddItem(NoteImage(pNote), pNote, ToQ(pNote->m_strName));
    // Every listing of notes, the download and day groups too, says where
    // each download stands.
    item->setText(1, StatusText(pNote->m_nStatus));
    return item;
}

// ---------------------------------------------------------------- listing

void CCataListView::ListCategory(CNoteCata* pCata) {
    SetDropHighlight(nullptr);
    m_pCata = pCata;
    m_nKind = kKindCategory;
    clear();
    if (!pCata) return;
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it)
        AddItem(CNoteCataView::kImageCata, it.value(), ToQ(it.value()->m_strName));
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) AddNoteItem(it.value());
    Sort();
}

void CCataListView::ListGroup(int nGroup) {
    SetDropHighlight(nullptr);
    m_pCata = nullptr;
    m_nKind = nGroup;
    clear();
    const CLanguageModule& lang = CurrentLanguage();
    switch (nGroup) {
    case kKindRecent:
        AddItem(CNoteCataView::kImageDay, nullptr, lang.String(ids::IDS_GROUP_TODAY), kKindToday);
        AddItem(CNoteCataView::kImageDay, nullptr, lang.String(ids::IDS_GROUP_YESTERDAY), kKindYesterday);
        AddItem(CNoteCataView::kImageDay, nullptr, lang.String(ids::IDS_GROUP_THIS_WEEK), kKindThisWeek);
        return;
    case kKindToday:
    case kKindYesterday:
    case kKindThisWeek: {
        // The tree has already put every note into the day groups its date
        // falls in: its group holds exactly the notes to list.
        QTreeWidgetItem* group = m_pTree ? m_pTree->GroupItem(nGroup) : nullptr;
        for (int i = 0; group && i < group->childCount(); ++i)
            if (CNoteBase* record = m_pTree->RecordOf(group->child(i)))
                if (record->m_nKind == CNoteBase::kindNote) AddNoteItem(static_cast<CNote*>(record));
        return;
    }
    case kKindDownloads:
        AddItem(CNoteCataView::kImageRunning, nullptr, lang.String(ids::IDS_GROUP_RUNNING), kKindRunning);
        AddItem(CNoteCataView::kImageQueued, nullptr, lang.String(ids::IDS_GROUP_QUEUED), kKindQueued);
        AddItem(CNoteCataView::kImageWaiting, nullptr, lang.String(ids::IDS_GROUP_WAITING), kKindWaiting);
        AddItem(CNoteCataView::kImageFailed, nullptr, lang.String(ids::IDS_GROUP_FAILED), kKindFailed);
        return;
    default: {
        const int nStatus = StatusOfKind(nGroup);
        if (nStatus < 0) return;
        for (CNote* note : m_doc.m_pendingNotes)
            if (note->m_nStatus == nStatus) AddNoteItem(note);
        return;
    }
    }
}

void CCataListView::RemoveRecord(CNoteBase* pRecord) {
    // A delete of this list removes its rows itself once it is done.
    if (m_bDeleting) return;
    if (pRecord == m_pCata && pRecord) {
        ListCategory(nullptr);
        return;
    }
    if (QTreeWidgetItem* item = ItemOf(pRecord)) {
        if (m_dropItem == QPersistentModelIndex(indexFromItem(item))) SetDropHighlight(nullptr);
        delete item;
    }
}

void CCataListView::NoteStatusChanged(CNote* pNote) {
    if (!pNote || m_bDeleting) return;
    const int nStatus = StatusOfKind(m_nKind);
    if (nStatus < 0) {
        // A category or a day group keeps the row; its status text follows.
        if (QTreeWidgetItem* item = ItemOf(pNote)) {
            item->setText(1, StatusText(pNote->m_nStatus));
            item->setData(0, kRoleImage, NoteImage(pNote));
            item->setIcon(0, m_icons.value(NoteImage(pNote)));
        }
        return;
    }
    delete ItemOf(pNote);
    if (pNote->m_nStatus == nStatus) AddNoteItem(pNote);
}

// ---------------------------------------------------------------- sorting

void CCataListView::Sort() {
    // Group lists keep the order they were listed in.
    if (m_nKind != kKindCategory) return;
    std::vector<QTreeWidgetItem*> items;
    while (topLevelItemCount()) items.push_back(takeTopLevelItem(0));
    const int key = m_nSortKey;
    auto name = [](const CNoteBase* p) {
        return p->m_nKind == CNoteBase::kindCata ? static_cast<const CNoteCata*>(p)->m_strName
                                                 : static_cast<const CNote*>(p)->m_strName;
    };
    std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        const CNoteBase* ra = RecordOf(a);
        const CNoteBase* rb = RecordOf(b);
        if (!ra || !rb) return ra != nullptr;  // items without a record last
        const bool ca = ra->m_nKind == CNoteBase::kindCata;
        const bool cb = rb->m_nKind == CNoteBase::kindCata;
        if (ca != cb) return (key == kSortNameUp || key == kSortStatusUp) ? ca : cb;
        const std::string na = name(ra);
        const std::string nb = name(rb);
        if (ca) return key == kSortNameDown ? nb < na : na < nb;
        const int sa = static_cast<const CNote*>(ra)->m_nStatus;
        const int sb = static_cast<const CNote*>(rb)->m_nStatus;
        switch (key) {
        case kSortNameDown: return nb < na;
        case kSortStatusUp: return sa != sb ? sa < sb : na < nb;
        case kSortStatusDown: return sa != sb ? sb < sa : nb < na;
        default: return na < nb;
        }
    });
    for (QTreeWidgetItem* item : items) addTopLevelItem(item);
}

// ---------------------------------------------------------------- selection

QList<QTreeWidgetItem*> CCataListView::Selection() const {
    // In list order: the walks over the selection go top to bottom.
    QList<QTreeWidgetItem*> out;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) out << topLevelItem(i);
    return out;
}

QTreeWidgetItem* CCataListView::OneSelected() const {
    const QList<QTreeWidgetItem*> sel = Selection();
    return sel.size() == 1 ? sel.first() : nullptr;
}

CNote* CCataListView::OneNote() const {
    QTreeWidgetItem* item = OneSelected();
    const int image = ImageOf(item);
    if (image != CNoteCataView::kImageNote && image != CNoteCataView::kImageNoteHeld) return nullptr;
    return static_cast<CNote*>(RecordOf(item));
}

std::vector<CNote*> CCataListView::SelectedNotes() const {
    std::vector<CNote*> out;
    for (QTreeWidgetItem* item : Selection())
        if (CNoteBase* record = RecordOf(item))
            if (record->m_nKind == CNoteBase::kindNote) out.push_back(static_cast<CNote*>(record));
    return out;
}

void CCataListView::OpenItem(QTreeWidgetItem* pItem) {
    if (!pItem || !m_pTree) return;
    CNoteBase* record = RecordOf(pItem);
    const int nGroup = GroupOf(pItem);
    QPointer<CNoteCataView> tree(m_pTree);
    // The tree's selection may show a note in place of this list, which
    // the window then deletes: not while one of its handlers runs.
    QTimer::singleShot(0, this, [this, tree, record, nGroup] {
        if (!tree) return;
        if (record && !ItemOf(record)) return;  // gone meanwhile
        RunGuarded([&] {
            if (record) {
                tree->SelectRecord(record, false);
            } else if (QTreeWidgetItem* group = tree->GroupItem(nGroup)) {
                tree->setCurrentItem(group);
                group->setSelected(true);
            }
        });
    });
}

void CCataListView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidget::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton || state() == EditingState) return;
    if (QTreeWidgetItem* item = OneSelected()) OpenItem(item);
}

void CCataListView::keyPressEvent(QKeyEvent* e) {
    if (state() != EditingState && e->modifiers() == Qt::NoModifier) {
        switch (e->key()) {
        case Qt::Key_Delete:
            e->accept();
            OnCmdMsg(cmd::kCmdDelete, nullptr);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            e->accept();
            if (QTreeWidgetItem* item = OneSelected()) OpenItem(item);
            return;
        case Qt::Key_Menu: {
            e->accept();
            const QList<QTreeWidgetItem*> sel = Selection();
            const QPoint at = sel.isEmpty() ? viewport()->mapFromGlobal(QCursor::pos())
                                            : visualItemRect(sel.first()).bottomLeft() + QPoint(iconSize().width(), 0);
            QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
            contextMenuEvent(&menuEvent);
            return;
        }
        default: break;
        }
    }
    QTreeWidget::keyPressEvent(e);
}

// ---------------------------------------------------------------- context menu

void CCataListView::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    QMenu* menu = m_frame.Actions().BuildContextMenu(cmd::kMenuContext, 1, *m_pContextTarget, this);
    if (!menu) return;
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(e->globalPos());
}

bool CCataListView::ContextMenuAllows(unsigned nID) const {
    using namespace cmd;
    const QList<QTreeWidgetItem*> sel = Selection();
    const bool some = !sel.isEmpty();
    const int image = sel.size() == 1 ? ImageOf(sel.first()) : -1;
    const bool ro = !OffersChanges();
    const bool groups = m_nKind == kKindRecent || m_nKind == kKindDownloads;
    const bool note = image == CNoteCataView::kImageNote || image == CNoteCataView::kImageNoteHeld;
    switch (nID) {
    case kCmdNewCategory:
    case kCmdNewNote:
    case kCmdImport: return !ro && m_pCata;
    case kCmdCopyRecord: return some && !groups;
    case kCmdDelete:
    case kCmdCutRecord:
    case kCmdImportAgain: return !ro && some && !groups;
    case kCmdRename: return !ro && sel.size() == 1 && !groups;
    case kCmdPasteRecord:
        return !ro && m_pCata && sel.size() <= 1 && TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty;
    case kCmdNoteProperties:
    case kCmdViewNote:
    case kCmdViewSource: return note;
    case kCmdEditNote: return !ro && note;
    case kCmdHoldDownload: return some && (m_nKind == kKindQueued || m_nKind == kKindFailed);
    case kCmdStartDownload: return !ro && some && (m_nKind == kKindWaiting || m_nKind == kKindFailed);
    case kCmdStopDownload: return some && m_nKind == kKindRunning;
    case kCmdHoldGroup: return image == CNoteCataView::kImageQueued || image == CNoteCataView::kImageFailed;
    case kCmdStartGroup: return !ro && (image == CNoteCataView::kImageFailed || image == CNoteCataView::kImageWaiting);
    case kCmdStopGroup: return image == CNoteCataView::kImageRunning;
    case kCmdDeleteGroup: return !ro && image >= CNoteCataView::kImageRunning && image <= CNoteCataView::kImageWaiting;
    default: return false;
    }
}

// ---------------------------------------------------------------- label editing hooks

bool CCataListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* e) {
    QTreeWidgetItem* item = itemFromIndex(index);
    const int image = ImageOf(item);
    if (!item || m_pDragImage ||
        (image != CNoteCataView::kImageCata && image != CNoteCataView::kImageNote &&
         image != CNoteCataView::kImageNoteHeld))
        return false;
    if (IsReadOnly()) {
        CNoteCataView::RefuseEdit(trigger, m_pRefusedRename, [this] { RefuseReadOnly(); });
        return false;
    }
    // Only the name is edited, whichever column was clicked.
    const QModelIndex nameIndex = index.siblingAtColumn(0);
    const bool ok = QTreeWidget::edit(nameIndex, trigger, e);
    if (ok && state() == EditingState && !m_editItem.isValid()) {
        if (m_nEditMode == kEditIdle) m_nEditMode = kEditRename;
        m_editItem = QPersistentModelIndex(nameIndex);
        if (QWidget* editor = indexWidget(nameIndex))
            editor->setAccessibleName(CurrentLanguage().String(ids::IDS_NAME_COLUMN));
        m_bEditCommitted = false;
        m_strEditText.clear();
    }
    return ok;
}

void CCataListView::commitData(QWidget* pEditor) {
    // The text is applied by EndLabelEdit, which may refuse it.
    if (auto* line = qobject_cast<QLineEdit*>(pEditor)) {
        m_bEditCommitted = true;
        m_strEditText = line->text();
    }
}

void CCataListView::closeEditor(QWidget* pEditor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidgetItem* item = m_editItem.isValid() ? itemFromIndex(m_editItem) : nullptr;
    const bool bCommitted = m_bEditCommitted;
    const QString text = m_strEditText;
    m_editItem = QPersistentModelIndex();
    m_bEditCommitted = false;
    if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem)
        hint = QAbstractItemDelegate::SubmitModelCache;
    QTreeWidget::closeEditor(pEditor, hint);
    if (item) RunGuarded([&] { EndLabelEdit(item, text, !bCommitted); });
    else m_nEditMode = kEditIdle;
}
