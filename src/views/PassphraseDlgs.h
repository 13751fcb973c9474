// The dialogs around an encrypted notebook's passphrase: a new one typed
// twice (encrypting, changing), the current one to take the encryption off,
// and the question at open.
#pragma once

#include "document/ClipVaultDoc.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;

// What the window asks the user about encrypted notebooks, and how much
// work a new key costs. The program uses CPassphraseDialogs; tests keep its
// dialogs and make cheap keys.
class IPassphraseQuestions : public IPassphraseAsker {
public:
    // A new passphrase, typed twice alike; false when cancelled.
    virtual bool AskNewPassphrase(QWidget* pParent, bool bChange, std::string& strPassphrase) = 0;
    // Yes to storing the notebook unencrypted: the current passphrase was
    // typed and `isCurrent` took it. False when cancelled or wrong (said).
    virtual bool ConfirmRemoval(QWidget* pParent, const std::function<bool(const std::string&)>& isCurrent) = 0;
    virtual vault::KdfLimits NewKeyLimits() const = 0;
    // The open that asked has ended, whatever came of it.
    virtual void OpenEnded() {}
};

class CPassphraseDialogs : public IPassphraseQuestions {
public:
    ~CPassphraseDialogs() override;
    bool AskPassphrase(const std::string& strPath, int nAttempt, std::string& strPassphrase) override;
    bool AskNewPassphrase(QWidget* pParent, bool bChange, std::string& strPassphrase) override;
    bool ConfirmRemoval(QWidget* pParent, const std::function<bool(const std::string&)>& isCurrent) override;
    vault::KdfLimits NewKeyLimits() const override { return vault::ModerateLimits(); }
    void OpenEnded() override;

private:
    // The key is derived after the dialog closes: about a second of work.
    void Busy(bool bBusy);
    bool m_bBusy = false;
};

// A new passphrase typed twice. An empty one or two that differ are refused
// with a message, and the dialog stays.
class CNewPassphraseDlg : public QDialog {
    Q_OBJECT
public:
    CNewPassphraseDlg(bool bChange, QWidget* pParent);
    ~CNewPassphraseDlg() override;
    // UTF-8, whatever code page the notebooks use: the same passphrase
    // opens the file in the command-line tool.
    std::string Passphrase() const;
    void accept() override;

private:
    QLineEdit* m_pNew = nullptr;
    QLineEdit* m_pConfirm = nullptr;
};

// One masked passphrase with a text above it: at open, and before the
// encryption is taken off.
class CPassphrasePromptDlg : public QDialog {
    Q_OBJECT
public:
    CPassphrasePromptDlg(const QString& strTitle, const QString& strText, const QString& strLabel, QWidget* pParent);
    ~CPassphrasePromptDlg() override;
    std::string Passphrase() const;

private:
    QLineEdit* m_pEdit = nullptr;
};
