// What the notebook commands of clipvault-cli share: the secrets a notebook
// needs, opening and saving a notebook file, and finding categories and notes
// by path or id.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "document/NotebookCipher.h"

class CClipVaultDoc;
class CNote;
class CNoteBase;
class CNoteCata;

namespace cli {

bool HasNotebookExtension(const std::string& strPath);

// Reads the first line of a file, without its line end (a lone "\r" before
// it goes too); standard input when strFile is empty. False after reporting.
bool ReadSecretLine(const std::string& strFile, const char* pszWhat, std::string& out);

// The secrets a notebook command can be given: the lock's password and an
// encrypted notebook's passphrase. Each comes from the first line of a file
// or of standard input, never from the command line itself, where every user
// of the machine can read it in the process list. Both are given in UTF-8;
// the password is taken in the --codepage code page, as names are (the lock
// stores it so), the passphrase as its UTF-8 bytes. Wiped when it goes.
class CSecretOptions {
public:
    // bChanges: the command may change the notebook, so the lock's password
    // options are accepted too; reading commands need none.
    explicit CSecretOptions(bool bChanges) : m_bChanges(bChanges) {}
    ~CSecretOptions();
    CSecretOptions(const CSecretOptions&) = delete;
    CSecretOptions& operator=(const CSecretOptions&) = delete;

    // The command's own options with these added, for TakeOptions.
    std::vector<CliOption*> With(std::vector<CliOption*> own);
    // After TakeOptions: reads what the options name. kExitOk, or the exit
    // code after reporting.
    int Read();

    bool HasPassword() const { return m_bHasPassword; }
    const std::string& Password() const { return m_strPassword; }
    bool HasPassphrase() const { return m_bHasPassphrase; }
    const std::string& Passphrase() const { return m_strPassphrase; }
    // Whether one of them was read from standard input already.
    bool StdinTaken() const { return m_passwordStdin.present || m_passphraseStdin.present; }

private:
    bool m_bChanges;
    CliOption m_passwordFile{"--password-file", true}, m_passwordStdin{"--password-stdin", false};
    CliOption m_passphraseFile{"--passphrase-file", true}, m_passphraseStdin{"--passphrase-stdin", false};
    bool m_bHasPassword = false, m_bHasPassphrase = false;
    std::string m_strPassword, m_strPassphrase;
};

// A passphrase from the first line of a file (standard input when strFile
// is empty), as its UTF-8 bytes; an empty one is refused. kExitOk, or the exit
// code after reporting.
int ReadPassphrase(const std::string& strFile, std::string& out);
using vault::WipeSecret;

enum class Opened {
    ok,
    damaged,          // read part-way: what was read is there, read-only
    failed,           // not opened (said why)
    wrongPassphrase,  // encrypted, and the passphrase given does not fit
    sealedDamaged,    // encrypted, and the file is damaged, cut or not its own
};
// The exit code for a notebook that was not opened.
int ExitFor(Opened opened);
// Opens a notebook, an encrypted one with the passphrase of `secrets`; a
// damaged one is reported on one line that ends with `pszConsequence` (what
// the command does about it).
Opened OpenNotebook(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets,
                    const char* pszConsequence);
// Opens a notebook that is about to be changed: a damaged one is refused,
// and a locked one only opens for change with its password. kExitOk, or the
// exit code after reporting.
int OpenForChange(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets);
// The same, for a notebook that is only read whole (password --check).
int OpenWhole(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets);
// Unlocks an opened notebook for a change with the password of `secrets`:
// refused without one, kExitWrongPassword with a wrong one.
int UnlockForChange(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets);
// Puts a new notebook that has no file yet under the passphrase of
// `secrets`, when one was given. The exit code.
int SealNew(CClipVaultDoc& doc, const CSecretOptions& secrets);
// Deletes the search index kept for a notebook beside the options file: an
// encrypted notebook keeps no plain copy of its texts.
void RemoveSearchIndex(const std::string& strNotebookPath, const std::string& strOptionsFile);
// Saves to the notebook's own path; the exit code.
int Save(CClipVaultDoc& doc);
// After a record operation said no: the exit code (the core said why).
int Refused();

// A category path: names joined by "/", "" and "/" being the top category.
bool SplitPath(const std::string& strPath, std::vector<std::string>& names);
CNoteCata* FindCategory(CNoteCata& root, const std::vector<std::string>& names, size_t nCount);
CNote* FindNoteById(const CNoteCata& cata, uint32_t nID);
bool IsAllDigits(const std::string& s);
// A category given by path on the command line; reports and gives null when
// there is none.
CNoteCata* CategoryArg(CClipVaultDoc& doc, const std::string& arg);

// What an ID|PATH argument names: a note or a category.
struct Item {
    CNote* pNote = nullptr;
    CNoteCata* pCata = nullptr;
    CNoteBase* Base() const;
};
// Finds what an ID|PATH argument names; reports and gives false when nothing.
bool ItemArg(CClipVaultDoc& doc, const std::string& arg, Item& item);

}  // namespace cli
