#include "frame/NoteCataView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/StringIds.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace {

bool In(int n, int nLow, int nHigh) { return nLow <= n && n <= nHigh; }

const std::string& NameOf(const CNoteBase* p) {
    static const std::string empty;
    if (!p) return empty;
    if (p->m_nKind == CNoteBase::kindNote) return static_cast<const CNote*>(p)->m_strName;
    if (p->m_nKind == CNoteBase::kindCata) return static_cast<const CNoteCata*>(p)->m_strName;
    return empty;
}

// Names sort by their bytes, as they are stored.
template <class T>
std::vector<T*> SortedByName(const CNameMap<T*>& map) {
    std::vector<T*> out;
    out.reserve(map.GetCount());
    for (auto it = map.begin(); it != map.end(); ++it) out.push_back(it.value());
    std::stable_sort(out.begin(), out.end(), [](const T* a, const T* b) { return a->m_strName < b->m_strName; });
    return out;
}

int NoteImage(const CNote* pNote) {
    return pNote->m_nContentType == kContentHeld ? CNoteCataView::kImageNoteHeld : CNoteCataView::kImageNote;
}

}  // namespace

// One item of the tree. A category's image is worked out when it is drawn:
// open only while it is expanded and has children, as a tree of old asked
// for it by callback.
class CNoteCataView::CItem : public QTreeWidgetItem {
public:
    CItem(int nImage, CNoteBase* pRecord, int nGroup)
        : QTreeWidgetItem(UserType), m_nImage(nImage), m_pRecord(pRecord), m_nGroup(nGroup) {}

    int Image() const {
        if (m_nImage == kImageCata || m_nImage == kImageCataOpen)
            return childCount() > 0 && isExpanded() ? kImageCataOpen : kImageCata;
        return m_nImage;
    }

    QVariant data(int column, int role) const override {
        if (column == 0) {
            switch (role) {
            case Qt::DecorationRole: {
                auto* view = static_cast<CNoteCataView*>(treeWidget());
                const int n = Image();
                if (view && n == kImageNotebook && QTreeWidgetItem::data(0, kRoleLocked).toBool())
                    return view->m_lockedRootIcon;
                if (view && n >= 0 && n < view->m_icons.size()) return view->m_icons[n];
                return QVariant();
            }
            case kRoleImage: return Image();
            case kRoleRecord: return QVariant::fromValue<void*>(m_pRecord);
            case kRoleGroup: return m_nGroup;
            default: break;
            }
        }
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant& value) override {
        if (column == 0 && role == kRoleRecord) {
            m_pRecord = static_cast<CNoteBase*>(value.value<void*>());
            return;
        }
        if (column == 0 && role == kRoleImage) {
            m_nImage = value.toInt();
            emitDataChanged();
            return;
        }
        QTreeWidgetItem::setData(column, role, value);
    }

    // Categories first, then notes; each by name bytes.
    bool operator<(const QTreeWidgetItem& other) const override {
        const int a = In(Image(), kImageCata, kImageCataOpen) ? 0 : 1;
        const int b = In(ImageOf(&other), kImageCata, kImageCataOpen) ? 0 : 1;
        if (a != b) return a < b;
        return SortKey(this) < SortKey(&other);
    }

    static std::string SortKey(const QTreeWidgetItem* p) {
        const CNoteBase* rec = static_cast<CNoteBase*>(p->data(0, kRoleRecord).value<void*>());
        return rec ? NameOf(rec) : FromQ(p->text(0));
    }

    int m_nImage;
    CNoteBase* m_pRecord;
    int m_nGroup;
};

// The context menu's target: its own enable rules, for the item it was
// opened on; its commands go to the view, which acts on that item. The
// menu is gone by the time its command runs (and the view's context item
// with it), so the target keeps the item for that one command.
class CNoteCataView::CContextTarget : public CCmdTarget {
public:
    explicit CContextTarget(CNoteCataView& view) : m_view(view) {}

    void SetItem(const QPersistentModelIndex& item) { m_item = item; }

    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) override {
        if (pNotify) return false;
        QTreeWidgetItem* pItem = m_item.isValid() ? m_view.itemFromIndex(m_item) : nullptr;
        if (pUI) {
            pUI->Enable(m_view.ContextMenuAllows(nID, pItem));
            return true;
        }
        m_item = QPersistentModelIndex();
        if (!pItem) return false;
        m_view.m_contextItem = QPersistentModelIndex(m_view.indexFromItem(pItem));
        // The main handler ends the context item after the command, also
        // when the command fails.
        return m_view.OnCmdMsg(nID, nullptr);
    }

private:
    CNoteCataView& m_view;
    QPersistentModelIndex m_item;
};

CNoteCataView::CNoteCataView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : QTreeWidget(pParent), m_frame(frame), m_doc(doc), m_pContextTarget(std::make_unique<CContextTarget>(*this)) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_pRefusedRename = new QTimer(this);
    m_pRefusedRename->setSingleShot(true);
    connect(m_pRefusedRename, &QTimer::timeout, this, [this] { RunGuarded([this] { RefuseReadOnly(); }); });
    setIconSize(QSize(16, 16));
    setAccessibleName(CurrentLanguage().String(33015));
    const QPixmap strip = CurrentLanguage().Bitmap(237);
    for (int x = 0; x + 16 <= strip.width(); x += 16) m_icons << QIcon(strip.copy(x, 0, 16, 16));
    if (!m_icons.isEmpty()) m_lockedRootIcon = LockedIcon(m_icons[kImageNotebook]);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { RunGuarded([this] { OnSelectionChanged(); }); });
    // The category images follow the expansion.
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem*) { viewport()->update(); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem*) { viewport()->update(); });
    RegisterCommands();
    RegisterClipboardCommands();
}

CNoteCataView::~CNoteCataView() {
    blockSignals(true);
    // The import target must not outlive its notebook.
    if (g_pCurrentTarget && (g_pCurrentTarget == &m_doc.m_rootCata || g_pCurrentTarget->m_pDocument == &m_doc))
        g_pCurrentTarget = nullptr;
}

// ---------------------------------------------------------------- items

QTreeWidgetItem* CNoteCataView::MakeItem(int nImage, CNoteBase* pRecord, const QString& strText, int nGroup) {
    auto* item = new CItem(nImage, pRecord, nGroup);
    item->setText(0, strText);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (In(nImage, kImageCata, kImageNoteHeld)) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

QTreeWidgetItem* CNoteCataView::MakeGroup(QTreeWidgetItem* pParent, int nImage, unsigned nTextID, int nGroup) {
    QTreeWidgetItem* item = MakeItem(nImage, nullptr, CurrentLanguage().String(nTextID), nGroup);
    if (pParent) pParent->addChild(item);
    else addTopLevelItem(item);
    return item;
}

int CNoteCataView::ImageOf(const QTreeWidgetItem* pItem) {
    if (!pItem) return -1;
    bool ok = false;
    const int n = pItem->data(0, kRoleImage).toInt(&ok);
    return ok ? n : -1;
}

int CNoteCataView::GroupOf(const QTreeWidgetItem* pItem) {
    return pItem ? pItem->data(0, kRoleGroup).toInt() : 0;
}

CNoteBase* CNoteCataView::RecordOf(const QTreeWidgetItem* pItem) const {
    if (!pItem) return nullptr;
    return static_cast<CNoteBase*>(pItem->data(0, kRoleRecord).value<void*>());
}

QTreeWidgetItem* CNoteCataView::GroupItem(int nGroup) const {
    switch (nGroup) {
    case kGroupRecent: return m_pRecent;
    case kGroupToday: return m_pToday;
    case kGroupYesterday: return m_pYesterday;
    case kGroupThisWeek: return m_pThisWeek;
    case kGroupDownloads: return m_pDownloads;
    case kGroupRunning: return m_pRunning;
    case kGroupQueued: return m_pQueued;
    case kGroupWaiting: return m_pWaiting;
    case kGroupFailed: return m_pFailed;
    default: return nullptr;
    }
}

bool CNoteCataView::HoldsRecords(const QTreeWidgetItem* pItem) {
    return In(ImageOf(pItem), kImageNotebook, kImageCataOpen);
}

bool CNoteCataView::IsInCategoryBranch(const QTreeWidgetItem* pItem) const {
    while (pItem && pItem->parent()) pItem = pItem->parent();
    return pItem && pItem == m_pRoot;
}

bool CNoteCataView::IsReadOnly() const { return m_doc.IsReadOnly(); }

// ---------------------------------------------------------------- filling

void CNoteCataView::SetTodayClock(TodayFn fnToday) { m_fnToday = std::move(fnToday); }

QDate CNoteCataView::Today() const { return m_fnToday ? m_fnToday() : QDate::currentDate(); }

void CNoteCataView::Populate() {
    setUpdatesEnabled(false);
    {
        const QSignalBlocker quiet(this);
        clear();
    }
    m_noteMap.clear();
    m_lastSelected = QPersistentModelIndex();
    m_contextItem = QPersistentModelIndex();
    m_editItem = QPersistentModelIndex();
    m_nEditMode = kEditIdle;
    m_pRoot = MakeItem(kImageNotebook, &m_doc.m_rootCata, QString());
    addTopLevelItem(m_pRoot);
    UpdateRootTitle();
    m_pRecent = MakeGroup(nullptr, kImageRecent, ids::IDS_GROUP_RECENT, kGroupRecent);
    m_pToday = MakeGroup(m_pRecent, kImageDay, ids::IDS_GROUP_TODAY, kGroupToday);
    m_pYesterday = MakeGroup(m_pRecent, kImageDay, ids::IDS_GROUP_YESTERDAY, kGroupYesterday);
    m_pThisWeek = MakeGroup(m_pRecent, kImageDay, ids::IDS_GROUP_THIS_WEEK, kGroupThisWeek);
    m_pDownloads = MakeGroup(nullptr, kImageDownloads, ids::IDS_GROUP_DOWNLOADS, kGroupDownloads);
    m_pRunning = MakeGroup(m_pDownloads, kImageRunning, ids::IDS_GROUP_RUNNING, kGroupRunning);
    m_pQueued = MakeGroup(m_pDownloads, kImageQueued, ids::IDS_GROUP_QUEUED, kGroupQueued);
    m_pWaiting = MakeGroup(m_pDownloads, kImageWaiting, ids::IDS_GROUP_WAITING, kGroupWaiting);
    m_pFailed = MakeGroup(m_pDownloads, kImageFailed, ids::IDS_GROUP_FAILED, kGroupFailed);
    FillRecentGroups();
    m_noteMap.reserve(CountNotes(&m_doc.m_rootCata));
    FillCata(m_pRoot, &m_doc.m_rootCata);
    // Held and failed notes wait for the user; a tree built again while
    // downloads run shows those too.
    std::vector<CNote*> pending;
    for (CNote* p : m_doc.m_pendingNotes)
        if (std::find(pending.begin(), pending.end(), p) == pending.end()) pending.push_back(p);
    std::stable_sort(pending.begin(), pending.end(),
                     [](const CNote* a, const CNote* b) { return a->m_strName < b->m_strName; });
    for (CNote* p : pending)
        if (QTreeWidgetItem* group = DownloadGroupFor(p->m_nStatus); group && ItemOf(p))
            group->addChild(MakeItem(NoteImage(p), p, ToQ(p->m_strName)));
    m_pRoot->setExpanded(true);
    setCurrentItem(m_pRoot);
    setUpdatesEnabled(true);
}

void CNoteCataView::UpdateRootTitle() {
    if (!m_pRoot) return;
    m_pRoot->setText(0, CurrentLanguage().String(ids::IDS_TREE_ROOT));
    const bool bLocked = m_doc.IsLocked();
    if (m_pRoot->data(0, kRoleLocked).toBool() == bLocked) return;
    m_pRoot->setData(0, kRoleLocked, bLocked);
    m_pRoot->setToolTip(0, bLocked ? CurrentLanguage().String(ids::IDS_LOCKED_TIP) : QString());
}

void CNoteCataView::FillCata(QTreeWidgetItem* pItem, const CNoteCata* pCata) {
    // Inserted in the tree order, so no sorting afterwards.
    QList<QTreeWidgetItem*> children;
    for (CNoteCata* sub : SortedByName(pCata->m_subCatas)) {
        QTreeWidgetItem* item = MakeItem(kImageCata, sub, ToQ(sub->m_strName));
        FillCata(item, sub);
        children << item;
    }
    for (CNote* note : SortedByName(pCata->m_notes)) {
        QTreeWidgetItem* item = MakeItem(NoteImage(note), note, ToQ(note->m_strName));
        m_noteMap[note->m_nID] = item;
        children << item;
    }
    pItem->addChildren(children);
}

void CNoteCataView::CollectNotes(const CNoteCata* pCata, std::vector<CNote*>& out) {
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) CollectNotes(it.value(), out);
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) out.push_back(it.value());
}

std::vector<int> CNoteCataView::DayGroupsOf(int64_t tmDate, const QDate& today) const {
    // Counted in calendar days: a day that a clock change made 23 or 25
    // hours long is still one day.
    std::vector<int> groups;
    const QDate date = QDateTime::fromSecsSinceEpoch(tmDate).date();
    if (!date.isValid() || !today.isValid()) return groups;
    const qint64 k = date.daysTo(today);
    if (k == 0) groups.push_back(kGroupToday);
    if (k == 1) groups.push_back(kGroupYesterday);
    const int weekday = today.dayOfWeek() % 7;  // Sunday is 0
    if (std::llabs(k) < weekday + 1) groups.push_back(kGroupThisWeek);
    return groups;
}

size_t CNoteCataView::CountNotes(const CNoteCata* pCata) {
    size_t n = pCata->m_notes.GetCount();
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) n += CountNotes(it.value());
    return n;
}

void CNoteCataView::CollectNotesDated(const CNoteCata* pCata, int64_t tmFrom, int64_t tmTo,
                                      std::vector<CNote*>& out) {
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it)
        CollectNotesDated(it.value(), tmFrom, tmTo, out);
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it)
        if (it.value()->m_tmDate >= tmFrom && it.value()->m_tmDate < tmTo) out.push_back(it.value());
}

void CNoteCataView::FillRecentGroups() {
    // The day groups reach six days either side of today. Only notes dated
    // near those days get their calendar day worked out; the rest are passed
    // over by a comparison, so a notebook of years costs no date arithmetic
    // a note. The bounds are a day wider than the reach, so that a clock
    // change at midnight cannot move a day group's note outside them.
    const QDate today = Today();
    if (!today.isValid()) return;
    const int64_t tmFrom = QDateTime(today.addDays(-kRecentReachDays), QTime(0, 0)).toSecsSinceEpoch();
    const int64_t tmTo = QDateTime(today.addDays(kRecentReachDays + 1), QTime(0, 0)).toSecsSinceEpoch();
    std::vector<CNote*> notes;
    CollectNotesDated(&m_doc.m_rootCata, tmFrom, tmTo, notes);
    // Stable, in the tree's order of collection: notes of one name keep the
    // order they have always had.
    std::stable_sort(notes.begin(), notes.end(),
                     [](const CNote* a, const CNote* b) { return a->m_strName < b->m_strName; });
    QList<QTreeWidgetItem*> lists[3];
    for (CNote* note : notes)
        for (int g : DayGroupsOf(note->m_tmDate, today))
            lists[g - kGroupToday] << MakeItem(NoteImage(note), note, ToQ(note->m_strName));
    m_pToday->addChildren(lists[0]);
    m_pYesterday->addChildren(lists[1]);
    m_pThisWeek->addChildren(lists[2]);
}

void CNoteCataView::AddToRecentGroups(CNote* pNote, const QDate& today) {
    for (int g : DayGroupsOf(pNote->m_tmDate, today))
        if (QTreeWidgetItem* group = GroupItem(g))
            group->addChild(MakeItem(NoteImage(pNote), pNote, ToQ(pNote->m_strName)));
}

QTreeWidgetItem* CNoteCataView::DownloadGroupFor(int nStatus) const {
    switch (nStatus) {
    case kStatusRunning: return m_pRunning;
    case kStatusQueued: return m_pQueued;
    case kStatusHeld: return m_pWaiting;
    case kStatusFailed: return m_pFailed;
    default: return nullptr;
    }
}

// ---------------------------------------------------------------- records

QTreeWidgetItem* CNoteCataView::ItemOf(const CNoteBase* pRecord) const {
    if (!pRecord || !m_pRoot) return nullptr;
    if (pRecord == &m_doc.m_rootCata) return m_pRoot;
    if (pRecord->m_nKind == CNoteBase::kindNote) {
        auto it = m_noteMap.find(static_cast<const CNote*>(pRecord)->m_nID);
        if (it != m_noteMap.end() && RecordOf(it->second) == pRecord) return it->second;
    }
    // The parent chain, from the root down.
    std::vector<const CNoteBase*> chain;
    for (const CNoteBase* p = pRecord; p; p = p->m_pParent) {
        chain.push_back(p);
        if (p->m_pParent == nullptr && p != &m_doc.m_rootCata) return nullptr;
    }
    QTreeWidgetItem* item = m_pRoot;
    for (size_t i = chain.size() - 1; i-- > 0;) {
        QTreeWidgetItem* found = nullptr;
        for (int c = 0; c < item->childCount() && !found; ++c)
            if (RecordOf(item->child(c)) == chain[i]) found = item->child(c);
        if (!found) return nullptr;
        item = found;
    }
    return item;
}

QTreeWidgetItem* CNoteCataView::InsertCata(CNoteCata* pCata, QTreeWidgetItem* pParent) {
    if (!pCata) return nullptr;
    if (!pParent) pParent = currentItem();
    if (!HoldsRecords(pParent)) return nullptr;
    QTreeWidgetItem* item = MakeItem(kImageCata, pCata, ToQ(pCata->m_strName));
    FillCata(item, pCata);
    pParent->addChild(item);
    std::vector<CNote*> notes;
    CollectNotes(pCata, notes);
    for (CNote* note : notes) {
        UpdateRecentGroups(note, kRecentInsert);
        if (DownloadGroupFor(note->m_nStatus)) PlaceInDownloadGroup(note);
    }
    m_doc.SetModifiedFlag();
    return item;
}

QTreeWidgetItem* CNoteCataView::InsertNote(CNote* pNote, QTreeWidgetItem* pParent) {
    if (!pNote) return nullptr;
    if (!pParent) pParent = currentItem();
    if (!pParent) return nullptr;
    QTreeWidgetItem* item = MakeItem(NoteImage(pNote), pNote, ToQ(pNote->m_strName));
    pParent->addChild(item);
    if (HoldsRecords(pParent)) {
        m_noteMap[pNote->m_nID] = item;
        UpdateRecentGroups(pNote, kRecentInsert);
        if (DownloadGroupFor(pNote->m_nStatus)) PlaceInDownloadGroup(pNote);
    }
    m_doc.SetModifiedFlag();
    return item;
}

void CNoteCataView::UpdateRecentGroups(CNote* pNote, RecentChange change) {
    if (!pNote || !m_pRecent) return;
    const std::vector<QTreeWidgetItem*> days{m_pToday, m_pYesterday, m_pThisWeek};
    switch (change) {
    case kRecentInsert:
        RemoveFromGroups(pNote, days);
        AddToRecentGroups(pNote, Today());
        break;
    case kRecentRename:
        for (QTreeWidgetItem* group : days)
            for (int i = 0; i < group->childCount(); ++i)
                if (RecordOf(group->child(i)) == pNote) group->child(i)->setText(0, ToQ(pNote->m_strName));
        break;
    case kRecentDelete: RemoveFromGroups(pNote, days); break;
    }
}

void CNoteCataView::RemoveFromGroups(CNote* pNote, const std::vector<QTreeWidgetItem*>& groups) {
    for (QTreeWidgetItem* group : groups) {
        if (!group) continue;
        for (int i = group->childCount(); i-- > 0;)
            if (RecordOf(group->child(i)) == pNote) DeleteTreeItem(group->child(i));
    }
}

void CNoteCataView::PlaceInDownloadGroup(CNote* pNote) {
    if (!pNote || !m_pDownloads) return;
    const bool bSelected = RecordOf(currentItem()) == pNote;
    const bool bSelectedInGroup = bSelected && currentItem()->parent() &&
                                  ImageOf(currentItem()->parent()) >= kImageRunning;
    {
        // Taking the selected item out must not select something else.
        const QSignalBlocker quiet(this);
        RemoveFromGroups(pNote, {m_pRunning, m_pQueued, m_pWaiting, m_pFailed});
    }
    QTreeWidgetItem* placed = nullptr;
    if (QTreeWidgetItem* group = DownloadGroupFor(pNote->m_nStatus)) {
        placed = MakeItem(NoteImage(pNote), pNote, ToQ(pNote->m_strName));
        group->addChild(placed);
    }
    if (!bSelected) return;
    if (bSelectedInGroup) {
        // The selection follows the note to its new place, or to its item
        // in the category branch when it has no download to do any more.
        QTreeWidgetItem* next = placed ? placed : ItemOf(pNote);
        if (next) SelectItem(next, true);
    }
    m_frame.ShowNote(pNote);
}

void CNoteCataView::RemoveNoteEverywhere(CNote* pNote, bool bCategoryItem) {
    if (!pNote) return;
    if (m_frame.CurrentNote() == pNote) m_frame.ClearCurrentNote();
    m_frame.RemoveFromList(pNote);
    m_frame.ForgetNote(pNote);
    const bool bHadSelection = !selectedItems().isEmpty();
    {
        // The selection moves on once, when every item of the note is gone:
        // on the way it could land on another of them.
        const QSignalBlocker quiet(this);
        UpdateRecentGroups(pNote, kRecentDelete);
        RemoveFromGroups(pNote, {m_pRunning, m_pQueued, m_pWaiting, m_pFailed});
        QTreeWidgetItem* item = ItemOf(pNote);
        auto it = m_noteMap.find(pNote->m_nID);
        if (it != m_noteMap.end() && RecordOf(it->second) == pNote) m_noteMap.erase(it);
        if (bCategoryItem && item) DeleteTreeItem(item);
    }
    if (bHadSelection) FollowSelection();
}

void CNoteCataView::FollowSelection() {
    if (signalsBlocked()) return;
    // As a tree control does, the selection moves on to the item that took
    // the place of the deleted one.
    if (selectedItems().isEmpty()) {
        if (QTreeWidgetItem* item = currentItem()) item->setSelected(true);
    } else {
        OnSelectionChanged();
    }
}

void CNoteCataView::ForgetItemsBelow(QTreeWidgetItem* pItem) {
    for (int i = 0; i < pItem->childCount(); ++i) ForgetItemsBelow(pItem->child(i));
    if (const CNoteBase* rec = RecordOf(pItem); rec && rec->m_nKind == CNoteBase::kindNote) {
        auto it = m_noteMap.find(static_cast<const CNote*>(rec)->m_nID);
        if (it != m_noteMap.end() && it->second == pItem) m_noteMap.erase(it);
    }
    for (QTreeWidgetItem** pp : {&m_pRoot, &m_pRecent, &m_pToday, &m_pYesterday, &m_pThisWeek, &m_pDownloads,
                                 &m_pRunning, &m_pQueued, &m_pWaiting, &m_pFailed})
        if (*pp == pItem) *pp = nullptr;
}

void CNoteCataView::DeleteTreeItem(QTreeWidgetItem* pItem) {
    if (!pItem) return;
    ForgetItemsBelow(pItem);
    bool bHadSelection = false;
    {
        const QSignalBlocker quiet(this);
        bHadSelection = !selectedItems().isEmpty();
        delete pItem;
    }
    if (bHadSelection) FollowSelection();
}

void CNoteCataView::RefreshNote(CNote* pNote) {
    if (!pNote || !m_pRoot) return;
    const QString text = ToQ(pNote->m_strName);
    auto refresh = [&](QTreeWidgetItem* item) {
        if (!item || RecordOf(item) != pNote) return;
        item->setText(0, text);
        item->setData(0, kRoleImage, NoteImage(pNote));
    };
    QTreeWidgetItem* item = ItemOf(pNote);
    refresh(item);
    QTreeWidgetItem* holder = nullptr;
    for (QTreeWidgetItem* group : {m_pToday, m_pYesterday, m_pThisWeek, m_pRunning, m_pQueued, m_pWaiting, m_pFailed})
        for (int i = 0; group && i < group->childCount(); ++i)
            if (RecordOf(group->child(i)) == pNote) {
                refresh(group->child(i));
                if (ImageOf(group) >= kImageRunning) holder = group;
            }
    // A download state that changed moves the note to its group. A note
    // that is not in the tree (an import not yet filed) gets its place
    // when it is inserted.
    if (!item && !holder) return;
    if (holder != DownloadGroupFor(pNote->m_nStatus)) PlaceInDownloadGroup(pNote);
}

void CNoteCataView::RemoveRecord(CNoteBase* pRecord) {
    if (!pRecord || !m_pRoot) return;
    if (pRecord->m_nKind == CNoteBase::kindNote) {
        RemoveNoteEverywhere(static_cast<CNote*>(pRecord), true);
        return;
    }
    if (pRecord->m_nKind != CNoteBase::kindCata) return;
    auto* pCata = static_cast<CNoteCata*>(pRecord);
    const bool bHadSelection = !selectedItems().isEmpty();
    {
        // Nothing inside may be selected (and shown) on the way.
        const QSignalBlocker quiet(this);
        std::vector<CNote*> notes;
        CollectNotes(pCata, notes);
        for (CNote* note : notes) RemoveNoteEverywhere(note, false);
        std::function<void(CNoteCata*)> unlist = [&](CNoteCata* p) {
            for (auto it = p->m_subCatas.begin(); it != p->m_subCatas.end(); ++it) unlist(it.value());
            m_frame.RemoveFromList(p);
        };
        unlist(pCata);
        if (g_pCurrentTarget && (g_pCurrentTarget == pCata || g_pCurrentTarget->IsInside(pCata)))
            g_pCurrentTarget = pCata->m_pParent;
        DeleteTreeItem(ItemOf(pCata));
    }
    if (bHadSelection) FollowSelection();
}

int CNoteCataView::DeleteNotesWithStatus(int nStatus) {
    std::vector<CNote*> notes;
    CollectNotes(&m_doc.m_rootCata, notes);
    notes.erase(std::remove_if(notes.begin(), notes.end(), [&](const CNote* p) { return p->m_nStatus != nStatus; }),
                notes.end());
    int n = 0;
    for (CNote* note : notes)
        if (DeleteNote(note, false)) ++n;
    return n;
}

// ---------------------------------------------------------------- selection

void CNoteCataView::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> sel = selectedItems();
    if (sel.isEmpty()) return;
    QTreeWidgetItem* item = sel.first();
    const QPersistentModelIndex index(indexFromItem(item));
    if (index == m_lastSelected) return;
    m_lastSelected = index;
    CNoteBase* record = RecordOf(item);
    const int image = ImageOf(item);
    if (image == kImageNotebook) {
        g_pCurrentTarget = &m_doc.m_rootCata;
        m_frame.ListCategory(&m_doc.m_rootCata);
    } else if (In(image, kImageCata, kImageCataOpen)) {
        // An item still being named has no category yet.
        if (!record) return;
        g_pCurrentTarget = static_cast<CNoteCata*>(record);
        m_frame.ListCategory(static_cast<CNoteCata*>(record));
    } else if (In(image, kImageNote, kImageNoteHeld)) {
        if (!record) return;
        auto* note = static_cast<CNote*>(record);
        if (note->m_pParent) g_pCurrentTarget = note->m_pParent;
        m_frame.ShowNote(note);
    } else if (const int group = GroupOf(item)) {
        m_frame.ListGroup(group);
    }
}

void CNoteCataView::SelectItem(QTreeWidgetItem* pItem, bool bMakeLast) {
    if (!pItem) return;
    if (bMakeLast) m_lastSelected = QPersistentModelIndex(indexFromItem(pItem));
    setCurrentItem(pItem);
    scrollToItem(pItem);
    viewport()->update();
}

bool CNoteCataView::SelectNoteNumber(uint32_t nID, bool bMakeLast) {
    auto it = m_noteMap.find(nID);
    if (it == m_noteMap.end()) return false;
    SelectItem(it->second, bMakeLast);
    return true;
}

bool CNoteCataView::SelectRecord(const CNoteBase* pRecord, bool bMakeLast) {
    if (!pRecord) return false;
    QTreeWidgetItem* item = nullptr;
    if (QTreeWidgetItem* sel = currentItem())
        for (int i = 0; i < sel->childCount() && !item; ++i)
            if (RecordOf(sel->child(i)) == pRecord) item = sel->child(i);
    if (!item) item = ItemOf(pRecord);
    if (!item) return false;
    SelectItem(item, bMakeLast);
    return true;
}

namespace {

// Tree order over every item, expanded or not.
QTreeWidgetItem* NextInTree(QTreeWidget* tree, QTreeWidgetItem* p) {
    if (!p) return tree->topLevelItem(0);
    if (p->childCount()) return p->child(0);
    for (; p; p = p->parent()) {
        QTreeWidgetItem* parent = p->parent();
        const int i = parent ? parent->indexOfChild(p) : tree->indexOfTopLevelItem(p);
        const int n = parent ? parent->childCount() : tree->topLevelItemCount();
        if (i + 1 < n) return parent ? parent->child(i + 1) : tree->topLevelItem(i + 1);
    }
    return nullptr;
}

QTreeWidgetItem* PreviousInTree(QTreeWidget* tree, QTreeWidgetItem* p) {
    QTreeWidgetItem* prev = nullptr;
    if (!p) {
        if (!tree->topLevelItemCount()) return nullptr;
        prev = tree->topLevelItem(tree->topLevelItemCount() - 1);
    } else {
        QTreeWidgetItem* parent = p->parent();
        const int i = parent ? parent->indexOfChild(p) : tree->indexOfTopLevelItem(p);
        if (i == 0) return parent;
        prev = parent ? parent->child(i - 1) : tree->topLevelItem(i - 1);
    }
    while (prev->childCount()) prev = prev->child(prev->childCount() - 1);
    return prev;
}

}  // namespace

bool CNoteCataView::SelectNextNote(bool bForward) {
    QTreeWidgetItem* p = currentItem();
    for (;;) {
        p = bForward ? NextInTree(this, p) : PreviousInTree(this, p);
        if (!p) return false;
        if (In(ImageOf(p), kImageNote, kImageNoteHeld) && RecordOf(p)) break;
    }
    SelectItem(p, false);
    return true;
}

CNoteCata* CNoteCataView::CurrentCategory() const {
    const QList<QTreeWidgetItem*> sel = selectedItems();
    const QTreeWidgetItem* item = sel.isEmpty() ? nullptr : sel.first();
    const int image = ImageOf(item);
    if (In(image, kImageCata, kImageCataOpen) && RecordOf(item)) return static_cast<CNoteCata*>(RecordOf(item));
    if (In(image, kImageNote, kImageNoteHeld)) {
        if (HoldsRecords(item->parent()) && RecordOf(item->parent()))
            return static_cast<CNoteCata*>(RecordOf(item->parent()));
        if (auto* note = static_cast<CNote*>(RecordOf(item)); note && note->m_pParent) return note->m_pParent;
    }
    return &m_doc.m_rootCata;
}

// ---------------------------------------------------------------- context menu

QTreeWidgetItem* CNoteCataView::ContextItem() const {
    return m_contextItem.isValid() ? itemFromIndex(m_contextItem) : nullptr;
}

QTreeWidgetItem* CNoteCataView::Target() const {
    if (QTreeWidgetItem* item = ContextItem()) return item;
    const QList<QTreeWidgetItem*> sel = selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

bool CNoteCataView::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    const bool handled = CCmdTarget::OnCmdMsg(nID, pUI, pNotify);
    if (!pUI && !pNotify) ClearContextItem();
    return handled;
}

void CNoteCataView::contextMenuEvent(QContextMenuEvent* e) {
    // The item under the cursor, else the selection; from the keyboard the
    // menu opens at the item's lower right corner.
    QTreeWidgetItem* item = nullptr;
    QPoint at = e->globalPos();
    if (e->reason() == QContextMenuEvent::Keyboard) {
        item = currentItem();
        if (item) at = viewport()->mapToGlobal(visualItemRect(item).bottomRight());
    } else {
        item = itemAt(viewport()->mapFromGlobal(e->globalPos()));
        if (!item) item = currentItem();
    }
    e->accept();
    if (!item) return;
    // The item is the context item while its menu is up (the bars speak of
    // it meanwhile) and for the command picked from the menu; a menu left
    // without a pick leaves the commands to the selection again.
    const QPersistentModelIndex index(indexFromItem(item));
    m_contextItem = index;
    m_pContextTarget->SetItem(index);
    QMenu* menu = m_frame.Actions().BuildContextMenu(cmd::kMenuContext, 0, *m_pContextTarget, this);
    if (!menu) {
        ClearContextItem();
        m_pContextTarget->SetItem(QPersistentModelIndex());
        return;
    }
    connect(menu, &QMenu::aboutToHide, this, [this, index] {
        if (m_contextItem == index) ClearContextItem();
    });
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(at);
}

void CNoteCataView::keyPressEvent(QKeyEvent* e) {
    if (state() != EditingState && e->modifiers() == Qt::NoModifier) {
        switch (e->key()) {
        case Qt::Key_Delete:
            e->accept();
            OnCmdMsg(cmd::kCmdDelete, nullptr);
            return;
        case Qt::Key_F1:
            e->accept();
            ShowHelp();
            return;
        case Qt::Key_Menu: {
            e->accept();
            QTreeWidgetItem* item = currentItem();
            const QPoint at = item ? visualItemRect(item).bottomRight() : QPoint();
            QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
            contextMenuEvent(&menuEvent);
            return;
        }
        default: break;
        }
    }
    QTreeWidget::keyPressEvent(e);
}
