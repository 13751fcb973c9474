// The lock's password and an encrypted notebook's passphrase, as
// clipvault-cli is given them: from a file or standard input.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "app/cli/CliNotebook.h"
#include "platform/Charset.h"

namespace cli {

namespace {

// Longer than any passphrase a person types; a file past it is not a
// passphrase file but a mistaken name.
constexpr size_t kMaxSecretBytes = 4096;

// ArgToAnsi, without showing the text in the refusal.
bool SecretToAnsi(std::string& line, const char* pszWhat, std::string& out) {
    out = charset::Utf8ToAnsi(line);
    std::string back = charset::AnsiToUtf8(out);
    const bool ok = back == line;
    WipeSecret(back);
    WipeSecret(line);
    if (!ok) {
        WipeSecret(out);
        UsageError(std::string("the ") + pszWhat + " cannot be written in code page " + charset::ProcessCodePage());
    }
    return ok;
}

}  // namespace

// Reads with stdio rather than the notebook core's file reader, which takes
// only regular files: a secret often comes through a pipe, as from
// `--passphrase-file <(pass show book)`.
bool ReadSecretLine(const std::string& strFile, const char* pszWhat, std::string& out) {
    out.clear();
    FILE* f = strFile.empty() ? stdin : std::fopen(strFile.c_str(), "rb");
    if (!f) {
        Failure(std::string("cannot read the ") + pszWhat + " from " + strFile + ": " + std::strerror(errno));
        return false;
    }
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') {
        if (out.size() == kMaxSecretBytes) break;
        out.push_back(static_cast<char>(c));
    }
    const bool bReadFault = std::ferror(f) != 0;
    if (f != stdin) std::fclose(f);
    const std::string from = strFile.empty() ? std::string("standard input") : strFile;
    if (bReadFault) {
        WipeSecret(out);
        Failure(std::string("cannot read the ") + pszWhat + " from " + from);
        return false;
    }
    if (out.size() == kMaxSecretBytes) {
        WipeSecret(out);
        Failure(std::string("the first line of ") + from + " is too long for a " + pszWhat);
        return false;
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return true;
}

CSecretOptions::~CSecretOptions() {
    WipeSecret(m_strPassword);
    WipeSecret(m_strPassphrase);
}

std::vector<CliOption*> CSecretOptions::With(std::vector<CliOption*> own) {
    own.push_back(&m_passphraseFile);
    own.push_back(&m_passphraseStdin);
    if (m_bChanges) {
        own.push_back(&m_passwordFile);
        own.push_back(&m_passwordStdin);
    }
    return own;
}

int CSecretOptions::Read() {
    if (m_passwordFile.present && m_passwordStdin.present)
        return UsageError("--password-file and --password-stdin cannot both be given");
    if (m_passphraseFile.present && m_passphraseStdin.present)
        return UsageError("--passphrase-file and --passphrase-stdin cannot both be given");
    if (m_passwordStdin.present && m_passphraseStdin.present)
        return UsageError("only one of the password and the passphrase can come from standard input");

    std::string line;
    if (m_passwordFile.present || m_passwordStdin.present) {
        if (!ReadSecretLine(m_passwordFile.value, "password", line)) return kExitFailed;
        if (!SecretToAnsi(line, "password", m_strPassword)) return kExitUsage;
        m_bHasPassword = true;
    }
    if (m_passphraseFile.present || m_passphraseStdin.present) {
        if (const int rc = ReadPassphrase(m_passphraseFile.value, m_strPassphrase)) return rc;
        m_bHasPassphrase = true;
    }
    return kExitOk;
}

int ReadPassphrase(const std::string& strFile, std::string& out) {
    std::string line;
    if (!ReadSecretLine(strFile, "passphrase", line)) return kExitFailed;
    // The key comes from the passphrase's UTF-8 bytes, whatever code page the
    // notebook's names are in: the window and the tool, run with any
    // --codepage, then open a notebook with the same words.
    out = line;
    WipeSecret(line);
    // No notebook is given an empty passphrase, and none has one: an empty
    // line is a file named by mistake.
    if (out.empty()) return UsageError("the passphrase in " + (strFile.empty() ? "standard input" : strFile) +
                                       " is empty");
    return kExitOk;
}

}  // namespace cli
