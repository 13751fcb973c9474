// The about box: the program's icon, name, version and notice.
#pragma once

#include <QDialog>

class CClipVaultApp;
class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(CClipVaultApp& app, QWidget* pParent);
    QLabel* m_pVersion = nullptr;    // string 33113: what the program is
    QLabel* m_pCopyright = nullptr;  // string 33072: whose work it holds
};
