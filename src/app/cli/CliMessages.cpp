#include "app/cli/CliMessages.h"

#include <cstdio>

#include "document/DocPassword.h"
#include "platform/Charset.h"
#include "platform/StringIds.h"

namespace cli {
namespace {

// Message arguments are core strings (process code page); the terminal wants
// UTF-8.
std::string Arg(const std::vector<std::string>& args, size_t i) {
    return i < args.size() ? charset::AnsiToUtf8(args[i]) : std::string("?");
}

}  // namespace

std::string CliMessageHost::LoadString(unsigned nStringID) {
    const std::string text = Text(nStringID, {});
    return text.rfind("message ", 0) == 0 ? std::string() : text;
}

std::string CliMessageHost::Text(unsigned nStringID, const std::vector<std::string>& args) {
    switch (nStringID) {
    case ids::IDS_NAME_TAKEN: return "the name is already taken in that category";
    case ids::IDS_OPERATION_FAILED: return "the operation failed";
    case ids::IDS_FILE_MISSING: return args.empty() ? "the file does not exist" : Arg(args, 0) + ": no such file";
    case ids::IDS_FILE_NOT_WRITABLE: return "cannot write the options file " + Arg(args, 0);
    case ids::IDS_NOT_A_NOTEBOOK: return Arg(args, 0) + ": not a notebook (the name must end in .vlt)";
    case ids::IDS_FAILED_TO_OPEN_DOC: return "cannot open " + Arg(args, 0) + ": " + Arg(args, 1);
    case ids::IDS_FAILED_TO_SAVE_DOC: return "cannot save " + Arg(args, 0) + ": " + Arg(args, 1);
    case ids::IDS_PASSWORD_WRONG: return "the password does not match";
    case ids::IDS_PASSWORD_EMPTY: return "no password given";
    case ids::IDS_SEALED_NEEDS_PASSPHRASE:
        return Arg(args, 0) + " is an encrypted notebook; give its passphrase with --passphrase-file FILE or "
                              "--passphrase-stdin";
    case ids::IDS_SEALED_NO_KEY: return "the key for the passphrase could not be made (not enough memory)";
    case ids::IDS_FETCH_BAD_URL: return "the address cannot be fetched";
    case ids::IDS_FETCH_REDIRECTED: return "the page still redirected elsewhere after every attempt";
    case ids::IDS_FETCH_NOT_FOUND: return "the server did not find the page on any attempt";
    case ids::IDS_FETCH_FAILED: return "the page could not be fetched";
    // Kept as formats: the core fills them in for a note's error text.
    case ids::IDS_FILE_TOO_LARGE: return "the file has %s bytes; files of %s bytes or more are not imported "
                                         "(option download.max_file_bytes)";
    case ids::IDS_FILE_NOT_READ: return "%s could not be read: %s";
    case ids::IDS_NOT_A_REGULAR_FILE: return "not a regular file (a pipe or device is never read)";
    case ids::IDS_FILE_HAS_NO_TYPE: return "%s has no type (no extension after a dot), so it is not imported";
    default: break;
    }
    std::string text = "message " + std::to_string(nStringID);
    for (size_t i = 0; i < args.size(); ++i) text += (i ? ", " : ": ") + Arg(args, i);
    return text;
}

int CliMessageHost::ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) {
    const std::string line = "clipvault-cli: " + Text(nStringID, args) + "\n";
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bErrorShown = true;
        if (m_bHolding) m_held.push_back(line);
        else std::fputs(line.c_str(), stderr);
    }
    return host::CautiousAnswer(nType);
}

bool CliMessageHost::ErrorShown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bErrorShown;
}

void CliMessageHost::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bErrorShown = false;
}

void CliMessageHost::Hold() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bHolding = true;
}

void CliMessageHost::PrintHeld() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::string& line : m_held) std::fputs(line.c_str(), stderr);
    m_held.clear();
    m_bHolding = false;
}

void CliMessageHost::DropHeld() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_held.clear();
    m_bHolding = false;
}

CliMessageHost& Messages() {
    static CliMessageHost host;
    return host;
}

}  // namespace cli
