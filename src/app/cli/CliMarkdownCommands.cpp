// The commands that give a note's words to other tools: export-md (Markdown
// folders, the same bytes as the window's Save as Markdown) and text (a
// note's plain text, or the article the reader view shows).
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "app/cli/CliNotebook.h"
#include "capture/MarkdownExport.h"
#include "capture/NodeScript.h"
#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"

namespace cli {
namespace {

// Exit status of js/src/reader-text.js when Readability finds no article.
constexpr int kScriptNoArticle = 3;
constexpr int kReaderTimeoutMs = 60000;

// Opens the notebook for reading whole: a damaged one is not exported in
// part as if it were all. kExitOk or the exit code after reporting.
int OpenForReading(CClipVaultDoc& doc, const std::string& strPath, const CSecretOptions& secrets) {
    const Opened opened = OpenNotebook(doc, strPath, secrets, "not read");
    if (opened == Opened::damaged) return kExitDamaged;
    return opened == Opened::ok ? kExitOk : ExitFor(opened);
}

bool WriteOut(const std::string& text) {
    return (text.empty() || std::fwrite(text.data(), 1, text.size(), stdout) == text.size()) && std::fflush(stdout) == 0;
}

}  // namespace

int CmdExportMd(CliArgs& args) {
    CSecretOptions secrets(false);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.size() != 3) return UsageError("export-md takes a notebook, a note id or category path and a folder");
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForReading(doc, args.words[0], secrets)) return rc;
    Item item;
    if (!ItemArg(doc, args.words[1], item)) return kExitFailed;
    const markdown::CMarkdownPlan plan = markdown::PlanExport(doc, item.pNote, item.pCata);
    const markdown::CMarkdownResult r = markdown::WriteExport(plan, args.words[2]);
    if (!r.m_bDone) return Failure(r.m_strError);
    std::printf("%zu notes and %zu pictures or files written to %s\n", r.m_nNotes, r.m_nAssets, args.words[2].c_str());
    return kExitOk;
}

int CmdText(CliArgs& args) {
    CSecretOptions secrets(false);
    CliOption reader("--reader", false);
    if (!TakeOptions(args, secrets.With({&reader}))) return kExitUsage;
    if (args.words.size() != 2) return UsageError("text takes a notebook and a note id");
    if (const int rc = secrets.Read()) return rc;
    CClipVaultDoc doc;
    if (const int rc = OpenForReading(doc, args.words[0], secrets)) return rc;
    Item item;
    if (!ItemArg(doc, args.words[1], item)) return kExitFailed;
    if (!item.pNote) return Failure("'" + args.words[1] + "' is a category; text takes a note");
    CNote& note = *item.pNote;
    const std::string what = "note " + std::to_string(note.m_nID) + " (" + charset::AnsiToUtf8(note.m_strName) + ")";
    const bool bText = SameType(note.m_strExt, "txt");
    const bool bPage = SameType(note.m_strExt, "htm") || SameType(note.m_strExt, "html");
    if (note.m_nContentType != kContentHeld || (!bText && !bPage))
        return Failure(what + " holds no page or text");
    const std::vector<uint8_t>& content = note.Content();
    if (content.size() != note.ContentSize()) return Failure("cannot read the content from the notebook's file");
    const std::string utf8 = notetext::PageBytesToUtf8(content);
    if (!reader.present) {
        std::string text = bText ? utf8 : notetext::VisibleText(utf8);
        if (!text.empty() && text.back() != '\n') text += '\n';
        return WriteOut(text) ? kExitOk : Failure("cannot write the text");
    }
    if (!bPage) return Failure(what + " is a text note; --reader reads pages");
    const nodescript::CScriptResult run =
        nodescript::RunScript("reader-text.js", {charset::AnsiToUtf8(note.m_strSource)}, utf8, kReaderTimeoutMs);
    if (run.m_nExit == kScriptNoArticle) return Failure(what + ": the page has no article");
    if (!run.m_bOk) return Failure("cannot read the article of " + what + ": " + run.m_strError);
    return WriteOut(run.m_strOut) ? kExitOk : Failure("cannot write the text");
}

}  // namespace cli
