// Asks for one web address to import (template 169).
#pragma once

#include "platform/gui/TemplateDialog.h"

class CEnterUrlDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 169, IDC_URL = 1057 };
    explicit CEnterUrlDlg(QWidget* pParent);

    QString m_strUrl;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};
