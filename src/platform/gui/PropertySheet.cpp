#include "platform/gui/PropertySheet.h"

#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr unsigned kIdsOk = 34329;
constexpr unsigned kIdsCancel = 34330;
constexpr unsigned kIdsApply = 34390;
}  // namespace

CPropertyPage::CPropertyPage(const QString& strTitle, QWidget* pParent) : QWidget(pParent), m_strTitle(strTitle) {
    setAccessibleName(strTitle);
}

void CPropertyPage::SetTitle(const QString& strTitle) {
    m_strTitle = strTitle;
    setAccessibleName(strTitle);
}

void CPropertyPage::SetModified(bool bModified) {
    if (m_bModified == bModified) return;
    m_bModified = bModified;
    emit modifiedChanged();
}

CPropertySheet::CPropertySheet(const QString& strCaption, QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(strCaption);
    setAccessibleName(strCaption);
    auto* layout = new QVBoxLayout(this);
    m_pTabs = new QTabWidget(this);
    layout->addWidget(m_pTabs);
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    layout->addWidget(m_pButtons);
    // The buttons speak the language module's language.
    const CLanguageModule& lang = CurrentLanguage();
    const std::pair<QDialogButtonBox::StandardButton, unsigned> texts[] = {
        {QDialogButtonBox::Ok, kIdsOk}, {QDialogButtonBox::Cancel, kIdsCancel}, {QDialogButtonBox::Apply, kIdsApply}};
    for (const auto& [button, nID] : texts)
        if (lang.HasString(nID)) m_pButtons->button(button)->setText(lang.String(nID));
    for (QAbstractButton* b : m_pButtons->buttons()) b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    m_pButtons->button(QDialogButtonBox::Apply)->setEnabled(false);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, [this] {
        if (Apply()) accept();
    });
    connect(m_pButtons, &QDialogButtonBox::rejected, this, [this] {
        for (CPropertyPage* page : m_pages) page->OnCancel();
        reject();
    });
    connect(m_pButtons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    connect(m_pTabs, &QTabWidget::currentChanged, this, &CPropertySheet::OnCurrentChanged);
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
    if (!pPage) return;
    m_pages.push_back(pPage);
    m_activated.push_back(false);
    connect(pPage, &CPropertyPage::modifiedChanged, this, [this] {
        bool any = false;
        for (CPropertyPage* page : m_pages) any = any || page->IsModified();
        m_pButtons->button(QDialogButtonBox::Apply)->setEnabled(any);
    });
    m_bSwitching = true;
    m_pTabs->addTab(pPage, pPage->Title());
    m_bSwitching = false;
}

int CPropertySheet::PageCount() const { return static_cast<int>(m_pages.size()); }

CPropertyPage* CPropertySheet::Page(int nIndex) const {
    return nIndex >= 0 && nIndex < PageCount() ? m_pages[static_cast<size_t>(nIndex)] : nullptr;
}

CPropertyPage* CPropertySheet::ActivePage() const { return Page(m_nCurrent); }

bool CPropertySheet::SetActivePage(int nIndex) {
    if (!Page(nIndex)) return false;
    m_pTabs->setCurrentIndex(nIndex);
    return m_nCurrent == nIndex;
}

void CPropertySheet::OnCurrentChanged(int nIndex) {
    if (m_bSwitching || nIndex == m_nCurrent) return;
    // A page that refuses its values keeps the user on it.
    if (CPropertyPage* old = ActivePage(); old && !old->OnKillActive()) {
        m_bSwitching = true;
        m_pTabs->setCurrentIndex(m_nCurrent);
        m_bSwitching = false;
        return;
    }
    m_nCurrent = nIndex;
    if (CPropertyPage* page = ActivePage()) {
        m_activated[static_cast<size_t>(nIndex)] = true;
        page->OnSetActive();
    }
}

bool CPropertySheet::Apply() {
    if (CPropertyPage* page = ActivePage(); page && !page->OnKillActive()) return false;
    // Only pages the user has seen hold values of theirs.
    for (size_t i = 0; i < m_pages.size(); ++i) {
        if (!m_activated[i]) continue;
        m_pages[i]->OnOK();
        m_pages[i]->SetModified(false);
    }
    m_pButtons->button(QDialogButtonBox::Apply)->setEnabled(false);
    return true;
}

int CPropertySheet::DoModal() {
    if (m_nCurrent < 0 && !m_pages.empty()) {
        m_nCurrent = m_pTabs->currentIndex();
        if (CPropertyPage* page = ActivePage()) {
            m_activated[static_cast<size_t>(m_nCurrent)] = true;
            page->OnSetActive();
        }
    }
    CAutoHideBlock block;
    return exec();
}
