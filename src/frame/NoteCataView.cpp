#include "frame/NoteCataView.h"

#include "app/ClipVaultApp.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "platform/gui/QtText.h"

#include <QHeaderView>

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

CNoteCataView::CNoteCataView(CChildFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : QTreeWidget(pParent), m_frame(frame), m_doc(doc) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    if (CClipVaultApp* app = CClipVaultApp::Instance()) {
        const QPixmap strip = app->Lang().Bitmap(237);
        for (int x = 0; x + 16 <= strip.width(); x += 16) m_images << strip.copy(x, 0, 16, 16);
    }
    connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { RunGuarded([this] { OnSelectionChanged(); }); });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* p) { UpdateCataImage(p); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* p) { UpdateCataImage(p); });
}

void CNoteCataView::Populate() {
    clear();
    auto* root = new QTreeWidgetItem(this);
    root->setData(0, Qt::UserRole, kItemNotebook);
    root->setData(0, kRoleRecord, QVariant::fromValue<void*>(&m_doc.m_rootCata));
    if (kImageNotebook < m_images.size()) root->setIcon(0, m_images[kImageNotebook]);
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
    const int image = pNote->m_nContentType == kContentHeld ? kImageNoteHeld : kImageNote;
    if (image < m_images.size()) item->setIcon(0, m_images[image]);
    return item;
}

void CNoteCataView::UpdateCataImage(QTreeWidgetItem* pItem) {
    if (!pItem || pItem->data(0, Qt::UserRole).toInt() != kItemCata) return;
    // A category with children shows open while expanded.
    const int image = pItem->childCount() && pItem->isExpanded() ? kImageCataOpen : kImageCata;
    if (image < m_images.size()) pItem->setIcon(0, m_images[image]);
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

void CNoteCataView::SelectRecord(const CNoteBase* pRecord) {
    if (QTreeWidgetItem* item = ItemOf(pRecord)) setCurrentItem(item);
}

void CNoteCataView::RefreshNote(CNote* pNote) {
    QTreeWidgetItem* item = ItemOf(pNote);
    if (!item) return;
    item->setText(0, ToQ(pNote->m_strName));
    const int image = pNote->m_nContentType == kContentHeld ? kImageNoteHeld : kImageNote;
    if (image < m_images.size()) item->setIcon(0, m_images[image]);
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
