// What the command handlers of clipvault-cli share: their arguments, exit
// codes, one-line error reports and option parsing.
#pragma once

#include <string>
#include <vector>

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // the command could not be done or was refused
constexpr int kExitUsage = 2;    // the command line itself is wrong
constexpr int kExitDamaged = 3;  // a damaged notebook (dump and search: after what could be read)
constexpr int kExitWrongPassword = 4;    // the password given for a locked notebook does not match
constexpr int kExitWrongPassphrase = 5;  // the passphrase given for an encrypted notebook does not fit

struct CliArgs {
    std::vector<std::string> words;  // the command's own arguments
};

// Each writes "clipvault-cli: TEXT" as one line on stderr and returns the
// exit code to end with.
int UsageError(const std::string& text);
int Failure(const std::string& text);

// A "--name" the command accepts; `takesValue` ones consume the next word.
struct CliOption {
    CliOption(const char* pszName, bool bTakesValue) : name(pszName), takesValue(bTakesValue) {}
    const char* name;
    bool takesValue;
    bool present = false;
    std::string value;
};

// Takes the options out of `args.words`, leaving the positional words. A
// "--" ends the options; the words after it are positional even when they
// start with "--". False (after reporting) on an unknown option or a missing
// value.
bool TakeOptions(CliArgs& args, std::vector<CliOption*> options);

// A command-line text (UTF-8, as terminals give it) in the process code page.
// False (after reporting) when it does not survive the trip: bytes that are
// not UTF-8, or characters the code page cannot hold. Names that were quietly
// turned into '?' would be worse than a refusal.
bool ArgToAnsi(const std::string& arg, std::string& out);

// Handlers; each returns the exit code.
int CmdNew(CliArgs& args);
int CmdDump(CliArgs& args);
int CmdAddCategory(CliArgs& args);
int CmdAddNote(CliArgs& args);
int CmdRename(CliArgs& args);
int CmdDelete(CliArgs& args);
int CmdMove(CliArgs& args);
int CmdPassword(CliArgs& args);
int CmdEncrypt(CliArgs& args);
int CmdDecrypt(CliArgs& args);
int CmdOptions(CliArgs& args);
int CmdScan(CliArgs& args);
int CmdSearch(CliArgs& args);
int CmdHighlights(CliArgs& args);
int CmdFetch(CliArgs& args);
int CmdCapture(CliArgs& args);
int CmdImport(CliArgs& args);
int CmdOpen(CliArgs& args);
int CmdExport(CliArgs& args);
int CmdCat(CliArgs& args);
int CmdExportMd(CliArgs& args);
int CmdText(CliArgs& args);
int CmdAddUrl(CliArgs& args);
int CmdAddPage(CliArgs& args);
int CmdAddFiles(CliArgs& args);
int CmdStartImport(CliArgs& args);

}  // namespace cli
