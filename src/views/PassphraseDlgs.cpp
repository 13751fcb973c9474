#include "views/PassphraseDlgs.h"

#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(unsigned nID) { return CurrentLanguage().String(nID); }


QLineEdit* MaskedEdit(QFormLayout* pForm, unsigned nLabel, const QString& strLabel, const char* pszName) {
    auto* pEdit = new QLineEdit;
    pEdit->setEchoMode(QLineEdit::Password);
    pEdit->setObjectName(QLatin1String(pszName));
    pEdit->setAccessibleName(SpokenLabel(strLabel.isEmpty() ? Text(nLabel) : strLabel));
    auto* pLabel = new QLabel(strLabel.isEmpty() ? Text(nLabel) : strLabel);
    pLabel->setBuddy(pEdit);
    pForm->addRow(pLabel, pEdit);
    return pEdit;
}

QDialogButtonBox* OkCancel(QDialog* pDlg) {
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    pButtons->button(QDialogButtonBox::Ok)->setText(Text(ids::IDS_CRYPT_OK));
    pButtons->button(QDialogButtonBox::Ok)->setAccessibleName(SpokenLabel(Text(ids::IDS_CRYPT_OK)));
    pButtons->button(QDialogButtonBox::Cancel)->setText(Text(ids::IDS_CRYPT_CANCEL));
    pButtons->button(QDialogButtonBox::Cancel)->setAccessibleName(SpokenLabel(Text(ids::IDS_CRYPT_CANCEL)));
    QObject::connect(pButtons, &QDialogButtonBox::accepted, pDlg, &QDialog::accept);
    QObject::connect(pButtons, &QDialogButtonBox::rejected, pDlg, &QDialog::reject);
    return pButtons;
}

QLabel* Note(const QString& strText) {
    auto* pLabel = new QLabel(strText);
    pLabel->setWordWrap(true);
    pLabel->setAccessibleName(strText);
    return pLabel;
}

std::string Utf8(const QLineEdit* pEdit) {
    const QByteArray bytes = pEdit->text().toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// What was typed stays in the edit's memory no longer than the dialog.
void Forget(QLineEdit* pEdit) {
    if (pEdit) pEdit->setText(QString(pEdit->text().size(), QLatin1Char(' ')));
    if (pEdit) pEdit->clear();
}

}  // namespace

// ---- a new passphrase

CNewPassphraseDlg::CNewPassphraseDlg(bool bChange, QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(Text(bChange ? ids::IDS_CRYPT_CHANGE_TITLE : ids::IDS_CRYPT_ENCRYPT_TITLE));
    setAccessibleName(windowTitle());
    auto* pLayout = new QVBoxLayout(this);
    // A fixed size, as the program's other dialogs have.
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
    auto* pForm = new QFormLayout;
    m_pNew = MaskedEdit(pForm, ids::IDS_CRYPT_NEW_LABEL, QString(), "newPassphrase");
    m_pConfirm = MaskedEdit(pForm, ids::IDS_CRYPT_CONFIRM_LABEL, QString(), "confirmPassphrase");
    pLayout->addLayout(pForm);
    pLayout->addWidget(Note(Text(ids::IDS_CRYPT_NO_RECOVERY)));
    pLayout->addWidget(OkCancel(this));
    m_pNew->setFocus();
}

CNewPassphraseDlg::~CNewPassphraseDlg() {
    Forget(m_pNew);
    Forget(m_pConfirm);
}

std::string CNewPassphraseDlg::Passphrase() const { return Utf8(m_pNew); }

void CNewPassphraseDlg::accept() {
    if (m_pNew->text().isEmpty()) {
        AfxMessageBox(ids::IDS_CRYPT_EMPTY, host::MB_OK | host::MB_ICONEXCLAMATION);
        m_pNew->setFocus();
        return;
    }
    if (m_pNew->text() != m_pConfirm->text()) {
        AfxMessageBox(ids::IDS_CRYPT_DIFFER, host::MB_OK | host::MB_ICONEXCLAMATION);
        m_pConfirm->clear();
        m_pNew->setFocus();
        m_pNew->selectAll();
        return;
    }
    QDialog::accept();
}

// ---- one passphrase

CPassphrasePromptDlg::CPassphrasePromptDlg(const QString& strTitle, const QString& strText, const QString& strLabel,
                                           QWidget* pParent)
    : QDialog(pParent) {
    setWindowTitle(strTitle);
    setAccessibleName(strTitle);
    auto* pLayout = new QVBoxLayout(this);
    // A fixed size, as the program's other dialogs have.
    pLayout->setSizeConstraint(QLayout::SetFixedSize);
    if (!strText.isEmpty()) pLayout->addWidget(Note(strText));
    auto* pForm = new QFormLayout;
    m_pEdit = MaskedEdit(pForm, 0, strLabel, "passphrase");
    pLayout->addLayout(pForm);
    pLayout->addWidget(OkCancel(this));
    m_pEdit->setFocus();
}

CPassphrasePromptDlg::~CPassphrasePromptDlg() { Forget(m_pEdit); }

std::string CPassphrasePromptDlg::Passphrase() const { return Utf8(m_pEdit); }

// ---- the window's questions

CPassphraseDialogs::~CPassphraseDialogs() { Busy(false); }

void CPassphraseDialogs::Busy(bool bBusy) {
    if (bBusy == m_bBusy) return;
    m_bBusy = bBusy;
    if (bBusy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void CPassphraseDialogs::OpenEnded() { Busy(false); }

bool CPassphraseDialogs::AskPassphrase(const std::string& strPath, int nAttempt, std::string& strPassphrase) {
    Busy(false);
    const QString name = QFileInfo(ToQ(strPath)).fileName();
    QString text;
    if (nAttempt >= 2)
        text = FormatMessageText(Text(ids::IDS_CRYPT_WRONG_TRIES),
                                 {std::to_string(CClipVaultDoc::kPassphraseTries - nAttempt + 1)});
    const QString label = FormatMessageText(Text(ids::IDS_CRYPT_OPEN_LABEL), {FromQ(name)});
    // Owned as the message boxes are: after a wrong try the key's work left
    // no window active, and an unowned dialog would open under the main
    // window, which stays on top.
    CPassphrasePromptDlg dlg(Text(ids::IDS_CRYPT_OPEN_TITLE), text, label, MessageBoxOwner());
    if (dlg.exec() != QDialog::Accepted) return false;
    strPassphrase = dlg.Passphrase();
    Busy(true);
    return true;
}

bool CPassphraseDialogs::AskNewPassphrase(QWidget* pParent, bool bChange, std::string& strPassphrase) {
    CNewPassphraseDlg dlg(bChange, pParent);
    if (dlg.exec() != QDialog::Accepted) return false;
    strPassphrase = dlg.Passphrase();
    return true;
}

bool CPassphraseDialogs::ConfirmRemoval(QWidget* pParent, const std::function<bool(const std::string&)>& isCurrent) {
    CPassphrasePromptDlg dlg(Text(ids::IDS_CRYPT_REMOVE_TITLE), Text(ids::IDS_CRYPT_REMOVE_TEXT),
                             Text(ids::IDS_CRYPT_CURRENT_LABEL), pParent);
    if (dlg.exec() != QDialog::Accepted) return false;
    bool bRight = false;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bRight = isCurrent(dlg.Passphrase());
        QApplication::restoreOverrideCursor();
    }
    if (!bRight) AfxMessageBox(ids::IDS_CRYPT_REMOVE_WRONG, host::MB_OK | host::MB_ICONEXCLAMATION);
    return bRight;
}
