#include "views/PasswordDlgs.h"

#include "document/ClipVaultDoc.h"
#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/MessageBox.h"

#include <QLineEdit>

namespace {
constexpr unsigned kIdsPasswordsDiffer = 33029;
constexpr unsigned kBoxType = host::MB_OK | host::MB_ICONEXCLAMATION;
}  // namespace

// ---- change password

CChangePasswordDlg::CChangePasswordDlg(CDocPassword& password, QWidget* pParent)
    : CTemplateDialog(IDD, pParent), m_password(password), m_bHadPassword(password.HasPassword()) {
    SetHelpContext(kHelpContext);
}

void CChangePasswordDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_CURRENT, m_strCurrent);
    DDV_MaxChars(dx, m_strCurrent, kMaxChars);
    DDX_Text(dx, IDC_NEW, m_strNew);
    DDV_MaxChars(dx, m_strNew, kMaxChars);
    DDX_Text(dx, IDC_CONFIRM, m_strConfirm);
    DDV_MaxChars(dx, m_strConfirm, kMaxChars);
}

bool CChangePasswordDlg::OnInitDialog() {
    if (!CTemplateDialog::OnInitDialog()) return false;
    if (!m_bHadPassword) {
        if (auto* e = Control<QLineEdit>(IDC_CURRENT)) e->setEnabled(false);
        FocusEdit(IDC_NEW);
    }
    return true;
}

void CChangePasswordDlg::FocusEdit(unsigned nID) {
    if (auto* e = Control<QLineEdit>(nID)) {
        e->setFocus();
        e->selectAll();
    }
}

void CChangePasswordDlg::OnOK() {
    RunGuarded([this] { Apply(); });
}

void CChangePasswordDlg::Apply() {
    if (!UpdateData(true)) return;
    if (m_bHadPassword) {
        if (m_strCurrent.empty()) {
            AfxMessageBox(ids::IDS_PASSWORD_EMPTY, kBoxType);
            FocusEdit(IDC_CURRENT);
            return;
        }
        if (!m_password.CheckPassword(m_strCurrent)) {
            AfxMessageBox(ids::IDS_PASSWORD_WRONG, kBoxType);
            if (++m_nFailures >= kMaxFailures) {
                EndDialog(host::IDCANCEL);
                return;
            }
            FocusEdit(IDC_CURRENT);
            return;
        }
    }
    if (m_strNew != m_strConfirm) {
        AfxMessageBox(kIdsPasswordsDiffer, kBoxType);
        FocusEdit(IDC_NEW);
        return;
    }
    // A new password locks the notebook, as a loaded one would be; an empty
    // one removes the password and unlocks.
    m_password.SetPassword(m_strNew);
    EndDialog(host::IDOK);
}

// ---- unlock

CUnlockDlg::CUnlockDlg(CDocPassword& password, QWidget* pParent) : CTemplateDialog(IDD, pParent), m_prompt(password) {}

void CUnlockDlg::DoDataExchange(CDataExchange& dx) {
    // No length limit here: a notebook whose stored password is longer than
    // the change dialog allows must still open.
    DDX_Text(dx, IDC_PASSWORD, m_strPassword);
}

void CUnlockDlg::OnOK() {
    RunGuarded([this] {
        if (!UpdateData(true)) return;
        switch (m_prompt.OnOk(m_strPassword)) {
        case CUnlockPrompt::keepOpen:
            if (auto* e = Control<QLineEdit>(IDC_PASSWORD)) {
                e->setFocus();
                e->selectAll();
            }
            break;
        case CUnlockPrompt::unlocked:
            EndDialog(host::IDOK);
            break;
        case CUnlockPrompt::giveUp:
            EndDialog(host::IDCANCEL);
            break;
        }
    });
}

// ---- entries

bool ChangeNotebookPassword(CClipVaultDoc& doc, QWidget* pParent) {
    CChangePasswordDlg dlg(doc.m_password, pParent);
    return dlg.DoModal() == host::IDOK;
}

bool UnlockNotebook(CClipVaultDoc& doc, QWidget* pParent) {
    if (!doc.IsLocked()) return true;
    CUnlockDlg dlg(doc.m_password, pParent);
    dlg.DoModal();
    return !doc.IsLocked();
}
