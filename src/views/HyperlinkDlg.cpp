#include "views/HyperlinkDlg.h"

#include "capture/LinkHelpers.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

namespace {
constexpr unsigned kIdsRootItem = 33052;

// The button's own text names the file dialog, without its mnemonic.
QString CaptionOf(const QPushButton* pButton) {
    if (!pButton) return QString();
    QString text = pButton->text();
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text.trimmed();
}
}  // namespace

// ---------------------------------------------------------------- hyperlink

std::function<QString(QWidget*)> CHyperlinkDlg::s_fnChooseFile = [](QWidget* pParent) {
    auto* button = pParent ? pParent->findChild<QPushButton*>(QString::number(IDC_BROWSE_FILE)) : nullptr;
    // The file must exist: the dialog's open mode insists on it.
    return QFileDialog::getOpenFileName(pParent, CaptionOf(button));
};

CHyperlinkDlg::CHyperlinkDlg(QWidget* pParent, CClipVaultDoc* pDoc) : CTemplateDialog(IDD, pParent), m_pDoc(pDoc) {
    if (auto* b = Control<QPushButton>(IDC_BROWSE_FILE))
        connect(b, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnBrowseFile(); }); });
    if (auto* b = Control<QPushButton>(IDC_PICK_NOTE))
        connect(b, &QPushButton::clicked, this, [this] { RunGuarded([this] { OnPickNote(); }); });
}

void CHyperlinkDlg::DoDataExchange(CDataExchange& dx) { DDX_Text(dx, IDC_URL, m_strUrl); }

bool CHyperlinkDlg::OnInitDialog() {
    // The list goes in before the preset text, which it would otherwise
    // replace with its first entry.
    if (auto* combo = Control<QComboBox>(IDC_URL)) {
        combo->clear();
        for (const std::string& scheme : LinkSchemes()) combo->addItem(ToQ(scheme));
    }
    if (auto* b = Control<QPushButton>(IDC_PICK_NOTE)) b->setEnabled(m_pDoc != nullptr);
    return CTemplateDialog::OnInitDialog();
}

void CHyperlinkDlg::ShowUrl(const QString& strUrl) {
    m_strUrl = strUrl;
    if (auto* combo = Control<QComboBox>(IDC_URL)) combo->setEditText(strUrl);
}

void CHyperlinkDlg::OnBrowseFile() {
    const QString path = s_fnChooseFile ? s_fnChooseFile(this) : QString();
    if (path.isEmpty()) return;
    ShowUrl(QStringLiteral("file://") + path);
}

void CHyperlinkDlg::OnPickNote() {
    if (!m_pDoc) return;
    CPickNoteDlg dlg(this, *m_pDoc);
    if (dlg.DoModal() != host::IDOK || !dlg.m_pNote) return;
    // Only the number counts when the link is followed; the name is there
    // for people reading the page.
    const std::string link = "clipvault:" + std::to_string(dlg.m_pNote->m_nID) + " = " + dlg.m_pNote->m_strName;
    ShowUrl(ToQ(link));
}

// ---------------------------------------------------------------- pick a note

// A category's picture follows its expansion; the root keeps its own.
class CPickNoteDlg::CItem : public QTreeWidgetItem {
public:
    CItem(CPickNoteDlg& dlg, int nImage, CNoteBase* pRecord, const QString& strText)
        : QTreeWidgetItem(UserType), m_dlg(dlg), m_nImage(nImage), m_pRecord(pRecord) {
        setText(0, strText);
    }

    int Image() const {
        if (m_nImage == kImageCata || m_nImage == kImageCataOpen) return isExpanded() ? kImageCataOpen : kImageCata;
        return m_nImage;
    }
    bool IsNote() const { return m_nImage == kImageNote || m_nImage == kImageNoteHeld; }

    QVariant data(int column, int role) const override {
        if (column == 0 && role == Qt::DecorationRole) return m_dlg.Icon(Image());
        return QTreeWidgetItem::data(column, role);
    }

    CPickNoteDlg& m_dlg;
    const int m_nImage;
    CNoteBase* const m_pRecord;
    bool m_bFilled = false;
};

namespace {

bool HoldsAnything(const CNoteCata* pCata) { return pCata->m_notes.GetCount() > 0 || pCata->m_subCatas.GetCount() > 0; }

// The notebook's tree order: by the names' bytes, as they are stored.
template <class T>
std::vector<std::pair<std::string, T*>> SortedByKey(const CNameMap<T*>& map) {
    std::vector<std::pair<std::string, T*>> out;
    for (auto it = map.begin(); it != map.end(); ++it) out.emplace_back(it.key(), it.value());
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

}  // namespace

CPickNoteDlg::CPickNoteDlg(QWidget* pParent, CClipVaultDoc& doc) : CTemplateDialog(IDD, pParent), m_doc(doc) {
    const QPixmap strip = CurrentLanguage().Bitmap(237);
    for (int x = 0; x + 16 <= strip.width(); x += 16) m_icons << QIcon(strip.copy(x, 0, 16, 16));
    if (auto* tree = Control<QTreeWidget>(IDC_TREE)) {
        tree->setIconSize(QSize(16, 16));
        tree->setSelectionMode(QAbstractItemView::SingleSelection);
        connect(tree, &QTreeWidget::itemExpanded, this,
                [this](QTreeWidgetItem* p) { RunGuarded([this, p] { OnExpanded(p); }); });
        // The pictures follow the expansion.
        connect(tree, &QTreeWidget::itemCollapsed, tree, [tree](QTreeWidgetItem*) { tree->viewport()->update(); });
        connect(tree, &QTreeWidget::itemSelectionChanged, this,
                [this] { RunGuarded([this] { OnSelectionChanged(); }); });
        // A double click on a note chooses it at once.
        connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* p, int) {
            if (p && static_cast<CItem*>(p)->IsNote() && m_pNote) RunGuarded([this] { OnOK(); });
        });
    }
}

bool CPickNoteDlg::OnInitDialog() {
    if (!CTemplateDialog::OnInitDialog()) return false;
    auto* tree = Control<QTreeWidget>(IDC_TREE);
    if (!tree) return false;
    tree->clear();
    m_pNote = nullptr;
    auto* root = new CItem(*this, kImageRoot, &m_doc.m_rootCata, CurrentLanguage().String(kIdsRootItem));
    root->setChildIndicatorPolicy(HoldsAnything(&m_doc.m_rootCata) ? QTreeWidgetItem::ShowIndicator
                                                                  : QTreeWidgetItem::DontShowIndicator);
    tree->addTopLevelItem(root);
    if (auto* ok = Control<QPushButton>(host::IDOK)) ok->setEnabled(false);
    root->setExpanded(true);
    return true;
}

void CPickNoteDlg::OnExpanded(QTreeWidgetItem* pItem) {
    auto* item = static_cast<CItem*>(pItem);
    if (auto* tree = Control<QTreeWidget>(IDC_TREE)) tree->viewport()->update();
    if (item->m_bFilled || item->IsNote()) return;
    item->m_bFilled = true;
    const auto* pCata = static_cast<CNoteCata*>(item->m_pRecord);
    // Categories first, then notes, as the notebook's own tree shows them.
    QList<QTreeWidgetItem*> children;
    for (const auto& [name, sub] : SortedByKey(pCata->m_subCatas)) {
        auto* child = new CItem(*this, kImageCata, sub, ToQ(name));
        child->setChildIndicatorPolicy(HoldsAnything(sub) ? QTreeWidgetItem::ShowIndicator
                                                          : QTreeWidgetItem::DontShowIndicator);
        children << child;
    }
    for (const auto& [name, note] : SortedByKey(pCata->m_notes))
        children << new CItem(*this, note->m_nContentType == kContentHeld ? kImageNoteHeld : kImageNote, note,
                              ToQ(name));
    item->addChildren(children);
}

void CPickNoteDlg::OnSelectionChanged() {
    m_pNote = nullptr;
    auto* tree = Control<QTreeWidget>(IDC_TREE);
    const QList<QTreeWidgetItem*> selected = tree ? tree->selectedItems() : QList<QTreeWidgetItem*>();
    if (!selected.isEmpty()) {
        auto* item = static_cast<CItem*>(selected.first());
        if (item->IsNote()) m_pNote = static_cast<CNote*>(item->m_pRecord);
    }
    if (auto* ok = Control<QPushButton>(host::IDOK)) ok->setEnabled(m_pNote != nullptr);
}

void CPickNoteDlg::OnOK() {
    // Enter reaches here with OK disabled too: a category is no answer.
    if (!m_pNote) return;
    CTemplateDialog::OnOK();
}
