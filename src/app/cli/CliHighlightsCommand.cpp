// clipvault-cli highlights: the window's Highlights tab on the command line,
// one JSON object a line, so that a script can read text and comments that
// hold tabs and line breaks.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "app/cli/CliNotebook.h"
#include "capture/NotebookHighlights.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

namespace cli {

namespace {

std::string Line(const CNotebookHighlight& h) {
    const CHighlight& hl = h.m_highlight;
    const std::string path = h.m_note.m_strCategoryPath + '/' + h.m_note.m_strNoteName;
    // Ids, colours and dates come from the page's own attributes: UTF-8, as
    // the page's text is.
    return "{\"id\": " + JsonWriter::Quote(hl.m_strId) + ", \"color\": " + JsonWriter::Quote(hl.m_strColor) +
           ", \"date\": " + JsonWriter::Quote(hl.m_strDate) + ", \"note\": " + std::to_string(h.m_note.m_nNoteId) +
           ", \"path\": " + JsonWriter::Quote(AnsiToJsonText(path)) +
           ", \"text\": " + JsonWriter::Quote(hl.m_strText) + ", \"comment\": " + JsonWriter::Quote(hl.m_strComment) +
           "}\n";
}

}  // namespace

int CmdHighlights(CliArgs& args) {
    CSecretOptions secrets(false);
    if (!TakeOptions(args, secrets.With({}))) return kExitUsage;
    if (args.words.empty() || args.words.size() > 2) return UsageError("highlights needs FILE.vlt [ID]");
    const bool bOne = args.words.size() == 2;
    if (bOne && (!IsAllDigits(args.words[1]) || args.words[1].size() > 10))
        return UsageError("a note is named by its id: " + args.words[1]);
    if (const int rc = secrets.Read()) return rc;

    CClipVaultDoc doc;
    const Opened opened = OpenNotebook(doc, args.words[0], secrets, "listed what was read before the damage");
    if (opened != Opened::ok && opened != Opened::damaged) return ExitFor(opened);
    std::vector<CNotebookHighlight> list;
    if (bOne) {
        const unsigned long long n = std::strtoull(args.words[1].c_str(), nullptr, 10);
        CNote* pNote = n <= UINT32_MAX ? FindNoteById(doc.m_rootCata, static_cast<uint32_t>(n)) : nullptr;
        if (!pNote) return Failure("no note with id " + args.words[1]);
        for (const CHighlightNote& note : HighlightNotes(doc.m_rootCata)) {
            if (note.m_pNote != pNote) continue;
            for (CHighlight& hl : NoteHighlights(*pNote)) list.push_back({note, std::move(hl)});
        }
    } else {
        list = NotebookHighlights(doc);
    }
    std::string out;
    for (const CNotebookHighlight& h : list) out += Line(h);
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return Failure("cannot write the highlights");
    return opened == Opened::damaged ? kExitDamaged : kExitOk;
}

}  // namespace cli
