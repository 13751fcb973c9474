// How direct imports are filed (template 189): whether the notebook keeps
// the content or only a link, and whether the download starts at once.
// The choice holds for the rest of the run.
#pragma once

#include "platform/gui/TemplateDialog.h"

class CImportSettingsDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 189, IDC_CONTENT_FIRST = 1085, IDC_START_FIRST = 1083 };
    explicit CImportSettingsDlg(QWidget* pParent);

    // The program-wide choice: 0 or 1 each, both 0 at start.
    // Content: 0 the notebook keeps the content, 1 only a link.
    static int ContentSetting() { return s_nContent; }
    // Start: 0 the download starts at once, 1 it waits.
    static int StartSetting() { return s_nStart; }
    // What an import request takes from the choice: content type 2 (held)
    // or 1 (linked), and whether its download starts now.
    static unsigned ImportContentType() { return s_nContent == 1 ? 1u : 2u; }
    static bool ImportStartsNow() { return s_nStart != 1; }

    int m_nContent = 0;
    int m_nStart = 0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

private:
    static int s_nContent;
    static int s_nStart;
};

// Shows the settings modally over `pParent`; true when they were confirmed
// with OK (and are now in force).
bool EditImportSettings(QWidget* pParent);
