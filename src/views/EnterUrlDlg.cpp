#include "views/EnterUrlDlg.h"

#include "platform/gui/QtText.h"
#include "views/ImportDlg.h"

CEnterUrlDlg::CEnterUrlDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CEnterUrlDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_URL, m_strUrl);
    if (!dx.m_bSaveAndValidate || dx.m_bFailed) return;
    // A row that could only fail later would leave the user guessing why:
    // the box stays, with the text as typed, until it is an address.
    const std::string address = FromQ(m_strUrl.trimmed());
    if (address.empty()) return;
    if (const unsigned nRefusal = ImportAddressRefusal(address)) dx.Fail(nRefusal, {address});
}
