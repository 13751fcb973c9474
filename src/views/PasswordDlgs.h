// The two dialogs around a notebook's password: changing (or setting, or
// removing) it, and the prompt that unlocks a locked notebook.
#pragma once

#include "document/DocPassword.h"
#include "platform/gui/TemplateDialog.h"

#include <string>

class CClipVaultDoc;
class QWidget;

class CChangePasswordDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 141, IDC_CURRENT = 1040, IDC_NEW = 1015, IDC_CONFIRM = 1016 };
    static constexpr int kHelpContext = 4008;
    static constexpr int kMaxChars = 20;
    // Wrong current passwords after which the dialog gives up.
    static constexpr int kMaxFailures = 3;

    CChangePasswordDlg(CDocPassword& password, QWidget* pParent);

    int Failures() const { return m_nFailures; }
    bool HadPassword() const { return m_bHadPassword; }

    std::string m_strCurrent;
    std::string m_strNew;
    std::string m_strConfirm;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void Apply();
    void FocusEdit(unsigned nID);

    CDocPassword& m_password;
    // Taken when the dialog is made: a password set meanwhile does not
    // suddenly ask for itself.
    const bool m_bHadPassword;
    int m_nFailures = 0;
};

class CUnlockDlg : public CTemplateDialog {
    Q_OBJECT
public:
    enum : unsigned { IDD = 142, IDC_PASSWORD = 1040 };

    CUnlockDlg(CDocPassword& password, QWidget* pParent);

    int Failures() const { return m_prompt.Failures(); }

    std::string m_strPassword;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnOK() override;

private:
    CUnlockPrompt m_prompt;
};

// The child frame's entries. ChangeNotebookPassword: true when the dialog
// ended with OK, i.e. the password was set, changed or removed (the caller
// marks the notebook modified and shows the note again when it is now
// locked). UnlockNotebook: true when the notebook is unlocked afterwards.
bool ChangeNotebookPassword(CClipVaultDoc& doc, QWidget* pParent);
bool UnlockNotebook(CClipVaultDoc& doc, QWidget* pParent);
