// The about box (template 100): the program's icon, name and version, what
// the program is (string 33113) and whose work it holds (string 33072).
#pragma once

#include "platform/gui/TemplateDialog.h"

class CClipVaultApp;

class CAboutDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 100, IDC_ICON = 1001, IDC_NAME = 1002, IDC_VERSION = 1003, IDC_COPYRIGHT = 1004 };
    CAboutDlg(CClipVaultApp& app, QWidget* pParent);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;

private:
    CClipVaultApp& m_app;
    QString m_strName;
    QString m_strVersion;
    QString m_strCopyright;
};
