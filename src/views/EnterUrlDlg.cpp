#include "views/EnterUrlDlg.h"

CEnterUrlDlg::CEnterUrlDlg(QWidget* pParent) : CTemplateDialog(IDD, pParent) {}

void CEnterUrlDlg::DoDataExchange(CDataExchange& dx) { DDX_Text(dx, IDC_URL, m_strUrl); }
