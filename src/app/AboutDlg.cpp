#include "app/AboutDlg.h"

#include "app/ClipVaultApp.h"
#include "app/Version.h"

#include <QLabel>

CAboutDlg::CAboutDlg(CClipVaultApp& app, QWidget* pParent) : CTemplateDialog(IDD, pParent), m_app(app) {
    m_strName = QStringLiteral("<b>%1 %2</b>").arg(app.Lang().StringPart(233, 0).toHtmlEscaped(),
                                                   QStringLiteral(CLIPVAULT_VERSION));
    m_strVersion = app.LoadString(33113);
    m_strCopyright = app.LoadString(33072);
}

void CAboutDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Text(dx, IDC_NAME, m_strName);
    DDX_Text(dx, IDC_VERSION, m_strVersion);
    DDX_Text(dx, IDC_COPYRIGHT, m_strCopyright);
}

bool CAboutDlg::OnInitDialog() {
    if (auto* icon = Control<QLabel>(IDC_ICON)) icon->setPixmap(m_app.Lang().Icon(233).pixmap(64, 64));
    return CTemplateDialog::OnInitDialog();
}
