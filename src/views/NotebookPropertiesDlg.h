// A notebook's two descriptive texts, with the size and times of its file.
#pragma once

#include "platform/gui/TemplateDialog.h"

#include <string>

class CClipVaultDoc;
class QWidget;

class CNotebookPropertiesDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned {
        IDD = 143,
        IDC_TEXT1 = 1017,
        IDC_TEXT2 = 1018,
        IDC_SIZE = 1037,
        IDC_MODIFIED = 1038,
        IDC_CREATED = 1039,
        IDC_READ_ONLY = 1108,  // why the texts cannot be changed, when they cannot
    };
    static constexpr int kHelpContext = 4007;

    CNotebookPropertiesDlg(CClipVaultDoc& doc, QWidget* pParent);

    std::string m_strText1;
    std::string m_strText2;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void ShowFileFacts();

    CClipVaultDoc& m_doc;
};

// The child frame's entry: true when the dialog ended with OK and the texts
// were stored in the notebook.
bool ShowNotebookProperties(CClipVaultDoc& doc, QWidget* pParent);
