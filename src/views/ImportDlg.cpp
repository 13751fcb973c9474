#include "views/ImportDlg.h"

#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/Url.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/QtText.h"
#include "views/EnterUrlDlg.h"
#include "views/ImportSettingsDlg.h"
#include "views/KeptPageQuestion.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <algorithm>

namespace {
constexpr int kRecordRole = Qt::UserRole;      // target: the document or category; rows: the item or note
constexpr int kImageRole = Qt::UserRole + 1;   // target: 0 notebook, 1 category
constexpr int kTitleRole = Qt::UserRole + 2;   // rows: the title last accepted

// Rows compare by the bytes of their text, as the note list does, so that
// the order does not hang on the desktop's collation.
class CRowItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int col = treeWidget() ? treeWidget()->sortColumn() : 0;
        return FromQ(text(col)) < FromQ(other.text(col));
    }
};

// Only the title column is edited; the source stays as it came.
class CTitleOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* pParent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (index.column() != 0) return nullptr;
        return QStyledItemDelegate::createEditor(pParent, option, index);
    }
};

template <class T>
T* RecordOfItem(const QTreeWidgetItem* item) {
    return static_cast<T*>(item->data(0, kRecordRole).value<void*>());
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= s.size() || std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}
}  // namespace

CNote* FileImportItem(std::unique_ptr<CImportItem> pItem, CNoteCata& cata) {
    CClipVaultDoc* pDoc = pItem ? pItem->m_pTargetDoc : nullptr;
    CNote* pNote = CreateNoteFromImport(std::move(pItem));
    if (!pNote) return nullptr;
    cata.AttachNote(pNote, pNote->m_strName, true);
    if (pDoc) {
        pDoc->SetModifiedFlag();
        if (pDoc->m_pViews) pDoc->m_pViews->NoteFiled(pNote);
    }
    return pNote;
}

namespace {
bool NamesLocalFile(const std::string& strAddress) {
    return StartsWithNoCase(strAddress, "file:") || (!strAddress.empty() && strAddress[0] == '/');
}
}  // namespace

unsigned ImportAddressRefusal(const std::string& strAddress) {
    if (NamesLocalFile(strAddress)) {
        std::string path;
        return strAddress[0] == '/' || url::FileUrlToPath(strAddress, path) ? 0 : ids::IDS_IMPORT_NOT_A_LOCAL_FILE;
    }
    return url::IsWebAddress(strAddress) ? 0 : ids::IDS_IMPORT_NOT_A_WEB_ADDRESS;
}

std::unique_ptr<CImportItem> ImportItemForAddress(const std::string& strAddress) {
    auto item = std::make_unique<CImportItem>();
    item->m_nContentMode = 2;
    if (NamesLocalFile(strAddress)) {
        // An absolute path typed as it is names the same file as its URL.
        if (strAddress[0] == '/') item->m_strSource = strAddress;
        else if (!url::FileUrlToPath(strAddress, item->m_strSource)) return nullptr;
        item->m_nImportKind = 2;
    } else {
        item->m_strSource = strAddress;
        item->m_nImportKind = 0;
    }
    item->m_strTitle = TitleForSource(item->m_strSource);
    return item;
}

QString FileDialogFilterFrom(const QString& strFilter) {
    const QStringList parts = strFilter.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString name = parts[i];
        // The name often lists its patterns already.
        if (!name.contains(QLatin1Char('('))) name += QStringLiteral(" (") + patterns + QLatin1Char(')');
        out << name;
    }
    return out.join(QStringLiteral(";;"));
}

CImportDlg::CImportDlg(std::vector<CClipVaultDoc*> documents, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_documents(std::move(documents)) {
    SetHelpContext(kHelpContext);
    m_fnChooseFiles = [this] {
        return QFileDialog::getOpenFileNames(this, QString(), QString(),
                                             FileDialogFilterFrom(CurrentLanguage().String(ids::IDS_IMPORT_FILE_FILTER)));
    };
}

CImportDlg::~CImportDlg() = default;

void CImportDlg::SetItems(CImportItemArray items) {
    for (auto& item : items)
        if (item) m_items.push_back(std::move(item));
}

void CImportDlg::SetFixedTarget(CClipVaultDoc& doc, std::vector<CNote*> notes) {
    m_pFixedDoc = &doc;
    m_fixedNotes = std::move(notes);
}

QTreeWidget* CImportDlg::TargetTree() const { return Control<QTreeWidget>(IDC_TARGET_TREE); }
QTreeWidget* CImportDlg::ItemList() const { return Control<QTreeWidget>(IDC_ITEM_LIST); }
int CImportDlg::RowCount() const { return ItemList() ? ItemList()->topLevelItemCount() : 0; }

bool CImportDlg::OnInitDialog() {
    if (!CTemplateDialog::OnInitDialog()) return false;
    const CLanguageModule& lang = CurrentLanguage();
    QTreeWidget* list = ItemList();
    QTreeWidget* tree = TargetTree();
    if (!list || !tree) return false;
    if (auto* direct = Control<QCheckBox>(IDC_DIRECT_IMPORT)) {
        direct->setChecked(g_bDirectImport);
        connect(direct, &QCheckBox::toggled, this, [this](bool b) { RunGuarded([&] { OnDirectImportToggled(b); }); });
    }
    setWindowTitle(lang.String(IsTargetFixed() ? ids::IDS_IMPORT_AGAIN_CAPTION : ids::IDS_IMPORT_CAPTION));

    QStringList headers{lang.String(ids::IDS_IMPORT_TITLE_COLUMN), lang.String(ids::IDS_IMPORT_SOURCE_COLUMN)};
    // New pages say whether the target notebook keeps them already.
    if (!IsTargetFixed()) headers << lang.String(ids::IDS_IMPORT_KEPT_COLUMN);
    list->setColumnCount(static_cast<int>(headers.size()));
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    list->setItemDelegate(new CTitleOnlyDelegate(list));
    // Delete in the list removes the selected rows.
    list->installEventFilter(this);
    list->setColumnWidth(0, std::max(80, list->width() / 2));
    if (list->columnCount() > 2) {
        // The marks are short and read whole; the source gives way.
        list->setColumnWidth(0, std::max(80, list->width() * 2 / 5));
        list->header()->setStretchLastSection(false);
        list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
        list->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    }
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(false);
    connect(list->header(), &QHeaderView::sectionClicked, this, [list](int col) {
        list->sortItems(col, Qt::AscendingOrder);
    });
    // An empty title is not accepted: the last one comes back.
    connect(list, &QTreeWidget::itemChanged, this, [](QTreeWidgetItem* item, int col) {
        if (col != 0) return;
        if (item->text(0).trimmed().isEmpty()) item->setText(0, item->data(0, kTitleRole).toString());
        else item->setData(0, kTitleRole, item->text(0));
    });

    connect(Control<QPushButton>(IDC_CHECK_ALL), &QPushButton::clicked, this, [this] { SetAllChecked(true); });
    connect(Control<QPushButton>(IDC_UNCHECK_ALL), &QPushButton::clicked, this, [this] { SetAllChecked(false); });
    connect(Control<QPushButton>(IDC_ADD_FILES), &QPushButton::clicked, this, [this] { RunGuarded([this] { OnAddFiles(); }); });
    connect(Control<QPushButton>(IDC_ADD_ADDRESS), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { OnAddAddress(); }); });
    connect(Control<QPushButton>(IDC_REMOVE), &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(Control<QPushButton>(IDC_IMPORT_HELD), &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Import(false); }); });

    if (QAbstractButton* first = Control<QAbstractButton>(IDC_CONTENT_FIRST)) first->setChecked(true);

    if (IsTargetFixed()) {
        for (CNote* note : m_fixedNotes) AddNoteRow(note);
        for (unsigned id : {unsigned(IDC_TARGET_TREE), unsigned(IDC_TARGET_LABEL), unsigned(IDC_IMPORT_HELD),
                            unsigned(IDC_ADD_FILES), unsigned(IDC_ADD_ADDRESS)})
            if (QWidget* w = Item(id)) w->hide();
        // The layout closes the gap the tree leaves.
        adjustSize();
    } else {
        FillTree();
        connect(tree, &QTreeWidget::currentItemChanged, this, [this] { RunGuarded([this] { MarkKeptRows(); }); });
        std::vector<std::unique_ptr<CImportItem>> incoming = std::move(m_items);
        m_items.clear();
        for (auto& item : incoming) AddRow(std::move(item));
    }
    return true;
}

void CImportDlg::FillTree() {
    QTreeWidget* tree = TargetTree();
    tree->setHeaderHidden(true);
    tree->setIconSize(QSize(16, 16));
    QList<QIcon> icons;
    const QPixmap strip = CurrentLanguage().Bitmap(237);
    for (int x = 0; x + 16 <= strip.width(); x += 16) icons << QIcon(strip.copy(x, 0, 16, 16));
    auto iconFor = [icons](QTreeWidgetItem* item) {
        int n = item->data(0, kImageRole).toInt();
        if (n != 0) n = (item->isExpanded() && item->childCount() > 0) ? 2 : 1;
        if (n < icons.size()) item->setIcon(0, icons[n]);
    };
    for (CClipVaultDoc* doc : m_documents) {
        if (!doc || doc->m_bAutomationInstance) continue;
        auto* top = new QTreeWidgetItem(tree);
        top->setText(0, ToQ(doc->GetTitle()));
        top->setData(0, kRecordRole, QVariant::fromValue<void*>(doc));
        top->setData(0, kImageRole, 0);
        if (doc == m_pTargetDoc || (g_pCurrentTarget && g_pCurrentTarget == &doc->m_rootCata))
            tree->setCurrentItem(top);
        InsertCategories(top, doc->m_rootCata);
    }
    if (!tree->currentItem() && g_pCurrentTarget) {
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            if ((*it)->data(0, kImageRole).toInt() != 0 && RecordOfItem<CNoteCata>(*it) == g_pCurrentTarget) {
                tree->setCurrentItem(*it);
                break;
            }
    }
    for (QTreeWidgetItemIterator it(tree); *it; ++it) iconFor(*it);
    connect(tree, &QTreeWidget::itemExpanded, this, iconFor);
    connect(tree, &QTreeWidget::itemCollapsed, this, iconFor);
}

void CImportDlg::InsertCategories(QTreeWidgetItem* pParent, CNoteCata& cata) {
    std::vector<CNoteCata*> subs;
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) subs.push_back(it.value());
    std::sort(subs.begin(), subs.end(), [](CNoteCata* a, CNoteCata* b) { return a->m_strName < b->m_strName; });
    for (CNoteCata* sub : subs) {
        auto* item = new QTreeWidgetItem(pParent);
        item->setText(0, ToQ(sub->m_strName));
        item->setData(0, kRecordRole, QVariant::fromValue<void*>(sub));
        item->setData(0, kImageRole, 1);
        if (sub == g_pCurrentTarget) {
            // The way down to the preselected category is open.
            for (QTreeWidgetItem* up = pParent; up; up = up->parent()) up->setExpanded(true);
            item->treeWidget()->setCurrentItem(item);
        }
        InsertCategories(item, *sub);
    }
}

void CImportDlg::AddRow(std::unique_ptr<CImportItem> pItem) {
    if (!pItem) return;
    if (pItem->m_strTitle.empty()) pItem->m_strTitle = TitleForSource(pItem->m_strSource);
    auto* row = new CRowItem(ItemList());
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    row->setText(0, ToQ(pItem->m_strTitle));
    row->setData(0, kTitleRole, row->text(0));
    row->setText(1, ToQ(pItem->m_strSource));
    row->setCheckState(0, Qt::Checked);
    row->setData(0, kRecordRole, QVariant::fromValue<void*>(pItem.get()));
    m_items.push_back(std::move(pItem));
    MarkKept(row);
}

CClipVaultDoc* CImportDlg::TargetTreeDocument() const {
    QTreeWidget* tree = TargetTree();
    QTreeWidgetItem* top = tree ? tree->currentItem() : nullptr;
    if (!top) return m_pTargetDoc;
    while (top->parent()) top = top->parent();
    return RecordOfItem<CClipVaultDoc>(top);
}

const CKeptPages& CImportDlg::KeptPagesOf(CClipVaultDoc& doc) {
    std::unique_ptr<CKeptPages>& kept = m_kept[&doc];
    if (!kept) kept = std::make_unique<CKeptPages>(doc.m_rootCata);
    return *kept;
}

void CImportDlg::MarkKept(QTreeWidgetItem* row) {
    if (!row || IsTargetFixed()) return;
    auto* item = RecordOfItem<CImportItem>(row);
    CClipVaultDoc* pDoc = TargetTreeDocument();
    const CNote* pKept = item && pDoc ? KeptPagesOf(*pDoc).Newest(item->m_strSource) : nullptr;
    row->setText(2, pKept ? KeptMark(*pKept) : QString());
    row->setToolTip(2, pKept ? ToQ(pKept->m_strName) : QString());
}

void CImportDlg::MarkKeptRows() {
    QTreeWidget* list = ItemList();
    for (int i = 0; list && i < list->topLevelItemCount(); ++i) MarkKept(list->topLevelItem(i));
}

void CImportDlg::AddNoteRow(CNote* pNote) {
    if (!pNote) return;
    auto* row = new CRowItem(ItemList());
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    row->setText(0, ToQ(pNote->m_strName));
    row->setData(0, kTitleRole, row->text(0));
    row->setText(1, ToQ(pNote->m_strSource));
    row->setCheckState(0, Qt::Checked);
    row->setData(0, kRecordRole, QVariant::fromValue<void*>(pNote));
}

void CImportDlg::AddItems(CImportItemArray& items) {
    for (auto& item : items) AddRow(std::move(item));
    items.clear();
}

void CImportDlg::SetAllChecked(bool bChecked) {
    QTreeWidget* list = ItemList();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, bChecked ? Qt::Checked : Qt::Unchecked);
}

void CImportDlg::OnAddFiles() {
    if (!m_fnChooseFiles) return;
    for (const QString& path : m_fnChooseFiles()) {
        auto item = std::make_unique<CImportItem>();
        item->m_strSource = FromQ(path);
        item->m_strTitle = TitleForSource(item->m_strSource);
        item->m_nImportKind = 2;
        item->m_nContentMode = 2;
        item->m_bStartNow = 1;
        AddRow(std::move(item));
    }
}

void CImportDlg::OnAddAddress() {
    if (IsTargetFixed()) return;
    // The address box refuses what cannot become a row (ImportAddressRefusal)
    // and keeps the text for the user to mend.
    CEnterUrlDlg dlg(this);
    if (dlg.DoModal() != host::IDOK) return;
    const std::string address = FromQ(dlg.m_strUrl.trimmed());
    if (address.empty()) return;
    if (std::unique_ptr<CImportItem> item = ImportItemForAddress(address)) AddRow(std::move(item));
}

void CImportDlg::OnRemove() {
    QTreeWidget* list = ItemList();
    std::vector<int> rows;
    for (QTreeWidgetItem* item : list->selectedItems()) rows.push_back(list->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        QTreeWidgetItem* row = list->takeTopLevelItem(*it);
        if (!row) continue;
        if (!IsTargetFixed()) {
            auto* item = RecordOfItem<CImportItem>(row);
            m_items.erase(std::remove_if(m_items.begin(), m_items.end(),
                                         [item](const std::unique_ptr<CImportItem>& p) { return p.get() == item; }),
                          m_items.end());
        }
        delete row;
    }
}

bool CImportDlg::eventFilter(QObject* pWatched, QEvent* e) {
    QTreeWidget* list = ItemList();
    if (pWatched == list && e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Delete) {
        // (An open title editor takes its keys itself.)
        OnRemove();
        return true;
    }
    return CTemplateDialog::eventFilter(pWatched, e);
}

void CImportDlg::OnDirectImportToggled(bool bChecked) {
    if (!bChecked || m_bInDirectToggle) return;
    // Direct import needs its settings confirmed; without them the box
    // goes back.
    if (!EditImportSettings(this)) {
        m_bInDirectToggle = true;
        Control<QCheckBox>(IDC_DIRECT_IMPORT)->setChecked(false);
        m_bInDirectToggle = false;
    }
}

int CImportDlg::ContentType() const {
    auto* keep = Control<QAbstractButton>(IDC_CONTENT_FIRST);
    return keep && !keep->isChecked() ? 1 : 2;
}

void CImportDlg::OnOK() {
    RunGuarded([this] {
        if (auto* direct = Control<QCheckBox>(IDC_DIRECT_IMPORT)) g_bDirectImport = direct->isChecked();
        if (IsTargetFixed()) ImportFixed();
        else Import(true);
    });
}

void CImportDlg::OnCancel() {
    if (auto* direct = Control<QCheckBox>(IDC_DIRECT_IMPORT)) g_bDirectImport = direct->isChecked();
    CTemplateDialog::OnCancel();
}

void CImportDlg::Import(bool bStartNow) {
    if (IsTargetFixed()) return;
    QTreeWidgetItem* target = TargetTree()->currentItem();
    if (!target || !target->isSelected()) {
        AfxMessageBox(ids::IDS_IMPORT_NO_TARGET, host::MB_OK | host::MB_ICONEXCLAMATION);
        return;
    }
    CClipVaultDoc* pDoc = nullptr;
    CNoteCata* pCata = nullptr;
    if (target->data(0, kImageRole).toInt() == 0) {
        pDoc = RecordOfItem<CClipVaultDoc>(target);
        pCata = &pDoc->m_rootCata;
    } else {
        pCata = RecordOfItem<CNoteCata>(target);
        QTreeWidgetItem* top = target;
        while (top->parent()) top = top->parent();
        pDoc = RecordOfItem<CClipVaultDoc>(top);
    }
    if (!pDoc || !pCata) {
        AfxMessageBox(ids::IDS_IMPORT_NO_TARGET, host::MB_OK | host::MB_ICONEXCLAMATION);
        return;
    }
    if (RefuseChange(*pDoc)) return;
    const int nContent = ContentType();
    QTreeWidget* list = ItemList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked) continue;
        auto* raw = RecordOfItem<CImportItem>(row);
        auto it = std::find_if(m_items.begin(), m_items.end(),
                               [raw](const std::unique_ptr<CImportItem>& p) { return p.get() == raw; });
        if (it == m_items.end()) continue;
        std::unique_ptr<CImportItem> item = std::move(*it);
        m_items.erase(it);
        row->setData(0, kRecordRole, QVariant::fromValue<void*>(nullptr));
        item->m_strTitle = FromQ(row->text(0));
        item->m_nContentMode = nContent;
        item->m_pTargetDoc = pDoc;
        item->m_bStartNow = bStartNow ? 1 : 0;
        FileImportItem(std::move(item), *pCata);
    }
    EndDialog(host::IDOK);
}

void CImportDlg::ImportFixed() {
    if (RefuseChange(*m_pFixedDoc)) return;
    const int nContent = ContentType();
    QTreeWidget* list = ItemList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked) continue;
        auto* pNote = RecordOfItem<CNote>(row);
        if (!pNote) continue;
        const std::string title = FromQ(row->text(0));
        if (!title.empty() && title != pNote->m_strName) pNote->Rename(title);
        pNote->m_nContentType = static_cast<uint32_t>(nContent);
        m_pFixedDoc->SetModifiedFlag();
        // A note whose worker still runs keeps it; the others are fetched
        // again when the notebook is to hold their content.
        if (nContent != 2 || m_pFixedDoc->HasWorker(pNote)) {
            if (m_pFixedDoc->m_pViews) m_pFixedDoc->m_pViews->RefreshNote(pNote);
            continue;
        }
        auto& pending = m_pFixedDoc->m_pendingNotes;
        if (std::find(pending.begin(), pending.end(), pNote) == pending.end()) m_pFixedDoc->ListForDownload(pNote, true);
        else m_pFixedDoc->StartDownload(pNote);
    }
    EndDialog(host::IDOK);
}
