#include "views/ImportSettingsDlg.h"

#include "platform/MessageHost.h"

int CImportSettingsDlg::s_nContent = 0;
int CImportSettingsDlg::s_nStart = 0;

CImportSettingsDlg::CImportSettingsDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CImportSettingsDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Radio(dx, IDC_CONTENT_FIRST, m_nContent);
    DDX_Radio(dx, IDC_START_FIRST, m_nStart);
}

bool CImportSettingsDlg::OnInitDialog() {
    m_nContent = s_nContent;
    m_nStart = s_nStart;
    return CTemplateDialog::OnInitDialog();
}

void CImportSettingsDlg::OnOK() {
    CTemplateDialog::OnOK();
    if (Result() != host::IDOK) return;
    // A group left with no button on keeps the choice in force.
    if (m_nContent == 0 || m_nContent == 1) s_nContent = m_nContent;
    if (m_nStart == 0 || m_nStart == 1) s_nStart = m_nStart;
}

bool EditImportSettings(QWidget* pParent) {
    CImportSettingsDlg dlg(pParent);
    return dlg.DoModal() == host::IDOK;
}
