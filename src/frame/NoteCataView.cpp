#include "frame/NoteCataView.h"

#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "platform/gui/CommandActions.h"
#include "platform/CommandIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>

#include <algorithm>
#include <vector>

namespace {

enum ItemKind { kItemNotebook = 0, kItemCata = 1, kItemNote = 2 };

// The stored order is a hash order; people look for names alphabetically.
template <typename V>
std::vector<V> SortedValues(const CNameMap<V>& map) {
    std::vector<std::pair<QString, V>> items;
    for (const auto& kv : map) items.emplace_back(ToQ(kv.first), kv.second);
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return QString::localeAwareCompare(a.first, b.first) < 0;
    });
    std::vector<V> out;
    for (auto& item : items) out.push_back(item.second);
    return out;
}

}  // namespace

// The context menu's target: its own enable rules, for the item it was
// opened on; its commands go to the view, which acts on that item.
class CNoteCataView::CContextTarget : public CCmdTarget {
public:
    explicit CContextTarget(CNoteCataView& view) : m_view(view) {}

    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) override {
        if (pNotify) return false;
        if (pUI) {
            pUI->Enable(m_view.ContextMenuAllows(nID));
            return true;
        }
        const bool handled = m_view.OnCmdMsg(nID, nullptr);
        m_view.m_contextItem = QPersistentModelIndex();
        return handled;
    }

private:
    CNoteCataView& m_view;
};

CNoteCataView::CNoteCataView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : QTreeWidget(pParent), m_frame(frame), m_doc(doc), m_pContextTarget(std::make_unique<CContextTarget>(*this)) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    const QPixmap strip = CurrentLanguage().Bitmap(237);
    for (int x = 0; x + 16 <= strip.width(); x += 16) m_images << strip.copy(x, 0, 16, 16);
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { RunGuarded([this] { OnSelectionChanged(); }); });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* p) { UpdateCataImage(p); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* p) { UpdateCataImage(p); });
}

CNoteCataView::~CNoteCataView() { blockSignals(true); }

void CNoteCataView::SetImage(QTreeWidgetItem* pItem, int nImage) {
    pItem->setData(0, kRoleImage, nImage);
    if (nImage < m_images.size()) pItem->setIcon(0, m_images[nImage]);
}

int CNoteCataView::ImageOf(const QTreeWidgetItem* pItem) {
    if (!pItem) return -1;
    bool ok = false;
    const int n = pItem->data(0, kRoleImage).toInt(&ok);
    return ok ? n : -1;
}

void CNoteCataView::Populate() {
    clear();
    auto* root = new QTreeWidgetItem(this);
    root->setData(0, Qt::UserRole, kItemNotebook);
    root->setData(0, kRoleRecord, QVariant::fromValue<void*>(&m_doc.m_rootCata));
    SetImage(root, kImageNotebook);
    UpdateRootTitle();
    for (CNoteCata* cata : SortedValues(m_doc.m_rootCata.m_subCatas)) AddCata(root, cata);
    for (CNote* note : SortedValues(m_doc.m_rootCata.m_notes)) AddNote(root, note);
    root->setExpanded(true);
}

void CNoteCataView::UpdateRootTitle() {
    if (QTreeWidgetItem* root = topLevelItem(0)) {
        QString title = ToQ(m_doc.GetTitle());
        if (title.endsWith(QStringLiteral(" *"))) title.chop(2);
        root->setText(0, title);
    }
}

void CNoteCataView::AddCata(QTreeWidgetItem* pParent, CNoteCata* pCata) {
    auto* item = new QTreeWidgetItem(pParent);
    item->setText(0, ToQ(pCata->m_strName));
    item->setData(0, Qt::UserRole, kItemCata);
    item->setData(0, kRoleRecord, QVariant::fromValue<void*>(pCata));
    for (CNoteCata* sub : SortedValues(pCata->m_subCatas)) AddCata(item, sub);
    for (CNote* note : SortedValues(pCata->m_notes)) AddNote(item, note);
    UpdateCataImage(item);
}

QTreeWidgetItem* CNoteCataView::AddNote(QTreeWidgetItem* pParent, CNote* pNote) {
    auto* item = new QTreeWidgetItem(pParent);
    item->setText(0, ToQ(pNote->m_strName));
    item->setData(0, Qt::UserRole, kItemNote);
    item->setData(0, kRoleRecord, QVariant::fromValue<void*>(pNote));
    SetImage(item, pNote->m_nContentType == kContentHeld ? kImageNoteHeld : kImageNote);
    return item;
}

void CNoteCataView::UpdateCataImage(QTreeWidgetItem* pItem) {
    if (!pItem || pItem->data(0, Qt::UserRole).toInt() != kItemCata) return;
    // A category with children shows open while expanded.
    SetImage(pItem, pItem->childCount() && pItem->isExpanded() ? kImageCataOpen : kImageCata);
}

CNoteBase* CNoteCataView::RecordOf(const QTreeWidgetItem* pItem) const {
    if (!pItem) return nullptr;
    return static_cast<CNoteBase*>(pItem->data(0, kRoleRecord).value<void*>());
}

QTreeWidgetItem* CNoteCataView::ItemOf(const CNoteBase* pRecord) const {
    if (!pRecord) return nullptr;
    QTreeWidgetItemIterator it(const_cast<CNoteCataView*>(this));
    for (; *it; ++it)
        if (RecordOf(*it) == pRecord) return *it;
    return nullptr;
}

void CNoteCataView::SelectRecord(const CNoteBase* pRecord, bool) {
    if (QTreeWidgetItem* item = ItemOf(pRecord)) setCurrentItem(item);
}

bool CNoteCataView::SelectNoteNumber(uint32_t, bool) { return false; }

void CNoteCataView::SelectNextNote(bool) {}

void CNoteCataView::PlaceInDownloadGroup(CNote*) {}

void CNoteCataView::RefreshNote(CNote* pNote) {
    QTreeWidgetItem* item = ItemOf(pNote);
    if (!item) return;
    item->setText(0, ToQ(pNote->m_strName));
    SetImage(item, pNote->m_nContentType == kContentHeld ? kImageNoteHeld : kImageNote);
}

void CNoteCataView::RemoveRecord(CNoteBase* pRecord) {
    delete ItemOf(pRecord);
}

void CNoteCataView::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> sel = selectedItems();
    if (sel.isEmpty()) return;
    CNoteBase* record = RecordOf(sel.first());
    if (!record) return;
    if (record->m_nKind == CNoteBase::kindNote) m_frame.ShowNote(static_cast<CNote*>(record));
}

QTreeWidgetItem* CNoteCataView::ContextItem() const {
    return m_contextItem.isValid() ? itemFromIndex(m_contextItem) : nullptr;
}

bool CNoteCataView::ContextMenuAllows(unsigned nID) const {
    using namespace cmd;
    const QTreeWidgetItem* item = ContextItem();
    if (!item) return false;
    // By the item's image and its parent's; a locked notebook offers
    // nothing that changes it.
    const int i = ImageOf(item);
    const int p = ImageOf(item->parent());
    const bool bWritable = !m_doc.IsLocked();
    auto in = [](int n, int nLow, int nHigh) { return nLow <= n && n <= nHigh; };
    switch (nID) {
    case kCmdNewCategory:
    case kCmdEmptyCategory:
        return bWritable && in(i, 0, 2);
    case kCmdNewNote:
    case kCmdImport:
        return bWritable && (in(i, 0, 3) || (i == 4 && p != 6));
    case kCmdCopyRecord:
        return in(i, 1, 4);
    case kCmdDelete:
    case kCmdRename:
    case kCmdCutRecord:
        return bWritable && in(i, 1, 4);
    case kCmdPasteRecord:
        return bWritable && in(i, 0, 2) && TheRecordClipboard().ClipState() != CRecordClipboard::stateEmpty;
    case kCmdNoteProperties:
    case kCmdViewNote:
        return in(i, 3, 4);
    case kCmdEditNote:
    case kCmdImportAgain:
        return bWritable && in(i, 3, 4);
    case kCmdHoldDownload:
        return p == 9 || p == 10;
    case kCmdStartDownload:
        return bWritable && (p == 10 || p == 11);
    case kCmdStopDownload:
        return p == 8;
    case kCmdHoldGroup:
        return i == 9 || i == 10;
    case kCmdStartGroup:
        return bWritable && (i == 10 || i == 11);
    case kCmdStopGroup:
        return i == 8;
    case kCmdDeleteGroup:
        return bWritable && in(i, 8, 11);
    case kCmdViewSource:
        return i == 4;
    case kCmdSortByName:
        return i != 4 && i != 5 && i != 7;
    default:
        return false;
    }
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
    m_contextItem = QPersistentModelIndex(indexFromItem(item));
    QMenu* menu = m_frame.Actions().BuildContextMenu(cmd::kMenuContext, 0, *m_pContextTarget, this);
    if (!menu) return;
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(at);
}

void CNoteCataView::mousePressEvent(QMouseEvent* e) {
    // A click ends what the context menu was about.
    m_contextItem = QPersistentModelIndex();
    QTreeWidget::mousePressEvent(e);
}
