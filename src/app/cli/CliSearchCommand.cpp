// clipvault-cli search: the window's search form on the command line, on the
// same scan, so that a script sees the rows the form would show, in its order.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "app/cli/CliNotebook.h"
#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"

namespace cli {

namespace {

// The categories from the top one down, each followed by "/", then the name:
// "Web/News/front", "/top" for a note in the top category. Read back as an
// ID|PATH argument it names the same note, even one named with digits only.
std::string NotePath(const CNote& note) {
    std::vector<const CNoteCata*> chain;
    for (const CNoteCata* p = note.m_pParent; p && p->m_pParent; p = p->m_pParent) chain.push_back(p);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += '/';
        path += (*it)->m_strName;
    }
    return path + '/' + note.m_strName;
}

}  // namespace

int CmdSearch(CliArgs& args) {
    CliOption text("--text", false), ignoreCase("--ignore-case", false);
    if (!TakeOptions(args, {&text, &ignoreCase})) return kExitUsage;
    if (args.words.size() != 2) return UsageError("search needs FILE.vlt TEXT");
    // The form refuses an empty search too: it would find nothing.
    if (args.words[1].empty()) return UsageError("search needs a non-empty TEXT");
    std::string strText;
    if (!ArgToAnsi(args.words[1], strText)) return kExitUsage;

    CClipVaultDoc doc;
    const Opened opened = OpenNotebook(doc, args.words[0], "searched what was read before the damage");
    if (opened == Opened::failed) return kExitFailed;
    const notetext::CNoteQuery query(strText, ignoreCase.present, text.present);
    notetext::CNoteTextCache cache;
    std::string out;
    notetext::SearchCategory(doc.m_rootCata, query, cache, [&out](CNote* pNote) {
        out += std::to_string(pNote->m_nID) + '\t' + AnsiToJsonText(NotePath(*pNote)) + '\n';
    });
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return Failure("cannot write the results");
    return opened == Opened::damaged ? kExitDamaged : kExitOk;
}

}  // namespace cli
