// The note editor's find bar and the engine's own dialogs.
#include "views/WebEditDialogs.h"

#include "platform/gui/LanguageModule.h"
#include "views/WebEditEngine.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// Text ids of the find bar's and the dialogs' strings.
constexpr unsigned kIdsFind = 34320;
constexpr unsigned kIdsFindNext = 34321;
constexpr unsigned kIdsFindPrevious = 34322;
constexpr unsigned kIdsMatchCase = 34323;
constexpr unsigned kIdsClose = 34324;
constexpr unsigned kIdsImageTitle = 34325;
constexpr unsigned kIdsImageAddress = 34326;
constexpr unsigned kIdsBrowse = 34327;
constexpr unsigned kIdsImageFilter = 34328;
constexpr unsigned kIdsOk = 34329;
constexpr unsigned kIdsCancel = 34330;

QString Text(unsigned nID) { return CurrentLanguage().String(nID); }

}  // namespace

// --- the find bar ------------------------------------------------------------

CEditFindBar::CEditFindBar(QWebEngineView* pView, QWidget* pParent) : QWidget(pParent), m_pView(pView) {
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(4, 2, 4, 2);
    auto* pLabel = new QLabel(Text(kIdsFind), this);
    m_pEdit = new QLineEdit(this);
    pLabel->setBuddy(m_pEdit);
    m_pEdit->setAccessibleName(pLabel->text().remove(QLatin1Char('&')));
    auto* pNext = new QPushButton(Text(kIdsFindNext), this);
    auto* pPrevious = new QPushButton(Text(kIdsFindPrevious), this);
    m_pCase = new QCheckBox(Text(kIdsMatchCase), this);
    auto* pClose = new QPushButton(Text(kIdsClose), this);
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(pNext), static_cast<QAbstractButton*>(pPrevious),
                               static_cast<QAbstractButton*>(m_pCase), static_cast<QAbstractButton*>(pClose)})
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    pLayout->addWidget(pLabel);
    pLayout->addWidget(m_pEdit, 1);
    pLayout->addWidget(pNext);
    pLayout->addWidget(pPrevious);
    pLayout->addWidget(m_pCase);
    pLayout->addWidget(pClose);
    connect(pNext, &QPushButton::clicked, this, [this] { Find(false); });
    connect(pPrevious, &QPushButton::clicked, this, [this] { Find(true); });
    connect(m_pEdit, &QLineEdit::returnPressed, this, [this] { Find(false); });
    connect(pClose, &QPushButton::clicked, this, [this] {
        m_pView->page()->findText(QString());
        hide();
        m_pView->setFocus();
    });
}

void CEditFindBar::Open() {
    show();
    m_pEdit->setFocus();
    m_pEdit->selectAll();
}

void CEditFindBar::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        m_pView->page()->findText(QString());
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}

void CEditFindBar::Find(bool bBackward) {
    QWebEnginePage::FindFlags flags;
    if (bBackward) flags |= QWebEnginePage::FindBackward;
    if (m_pCase->isChecked()) flags |= QWebEnginePage::FindCaseSensitively;
    m_pView->page()->findText(m_pEdit->text(), flags);
}

// --- dialogs -----------------------------------------------------------------

std::function<bool(QFont&, QWidget*)> CWebEditEngine::s_fnChooseFont = [](QFont& font, QWidget* pParent) {
    bool bOk = false;
    const QFont chosen = QFontDialog::getFont(&bOk, font, pParent);
    if (bOk) font = chosen;
    return bOk;
};

std::function<bool(QString&, QWidget*)> CWebEditEngine::s_fnChooseImage = [](QString& strAddress, QWidget* pParent) {
    QDialog dlg(pParent);
    dlg.setWindowTitle(Text(kIdsImageTitle));
    auto* pLayout = new QVBoxLayout(&dlg);
    auto* pRow = new QHBoxLayout;
    auto* pLabel = new QLabel(Text(kIdsImageAddress), &dlg);
    auto* pEdit = new QLineEdit(strAddress, &dlg);
    pLabel->setBuddy(pEdit);
    pEdit->setAccessibleName(pLabel->text().remove(QLatin1Char('&')));
    auto* pBrowse = new QPushButton(Text(kIdsBrowse), &dlg);
    pBrowse->setAccessibleName(pBrowse->text().remove(QLatin1Char('&')));
    pRow->addWidget(pLabel);
    pRow->addWidget(pEdit, 1);
    pRow->addWidget(pBrowse);
    pLayout->addLayout(pRow);
    auto* pButtons = new QDialogButtonBox(&dlg);
    QPushButton* pOk = pButtons->addButton(Text(kIdsOk), QDialogButtonBox::AcceptRole);
    QPushButton* pCancel = pButtons->addButton(Text(kIdsCancel), QDialogButtonBox::RejectRole);
    pOk->setAccessibleName(pOk->text().remove(QLatin1Char('&')));
    pCancel->setAccessibleName(pCancel->text().remove(QLatin1Char('&')));
    pOk->setDefault(true);
    pLayout->addWidget(pButtons);
    QObject::connect(pButtons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(pButtons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    QObject::connect(pBrowse, &QPushButton::clicked, &dlg, [&] {
        const QString file = QFileDialog::getOpenFileName(&dlg, Text(kIdsImageTitle), QString(), Text(kIdsImageFilter));
        if (!file.isEmpty()) pEdit->setText(file);
    });
    if (dlg.exec() != QDialog::Accepted) return false;
    strAddress = pEdit->text().trimmed();
    return !strAddress.isEmpty();
};

std::function<bool(QPrinter&, QWidget*)> CWebEditEngine::s_fnAskPrinter = [](QPrinter& printer, QWidget* pParent) {
    QPrintDialog dlg(&printer, pParent);
    return dlg.exec() == QDialog::Accepted;
};
