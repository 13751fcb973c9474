// clipvault-cli search: the window's search form on the command line, on the
// same search, so that a script sees the rows the form would show, in its
// order. Texts are looked up in the notebook's search index (kept in the
// program's data folder), built first when the notebook file is not the one
// it describes.
#include <cstdio>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "app/cli/CliNotebook.h"
#include "capture/NoteIndex.h"
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

// The notebook's index, current for the file as it was read; null when
// there is none to be had (the search then scans, as the form does before
// its index is ready).
std::unique_ptr<notetext::CNoteIndex> CurrentIndex(const CClipVaultDoc& doc, const std::string& strPath,
                                                   const std::string& strOptionsFile,
                                                   const notetext::CFileStamp& stamp) {
    using notetext::CNoteIndex;
    const std::string folder = CNoteIndex::FolderBesideOptions(strOptionsFile);
    std::string error;
    std::unique_ptr<CNoteIndex> index = CNoteIndex::Open(CNoteIndex::IndexFileFor(folder, strPath), &error);
    if (!index) {
        std::fprintf(stderr, "%s; searched without an index\n", error.c_str());
        return nullptr;
    }
    if (index->IsCurrentFor(stamp)) return index;
    if (!notetext::BuildIndex(*index, doc.m_rootCata, stamp)) {
        std::fprintf(stderr, "cannot build the search index %s: %s; searched without it\n", index->File().c_str(),
                     index->LastError().c_str());
        return nullptr;
    }
    return index;
}

}  // namespace

void RemoveSearchIndex(const std::string& strNotebookPath, const std::string& strOptionsFile) {
    using notetext::CNoteIndex;
    CNoteIndex::RemoveFiles(CNoteIndex::IndexFileFor(CNoteIndex::FolderBesideOptions(strOptionsFile), strNotebookPath));
}

int CmdSearch(CliArgs& args) {
    CliOption text("--text", false), ignoreCase("--ignore-case", false), noIndex("--no-index", false),
        options("--options", true);
    CSecretOptions secrets(false);
    if (!TakeOptions(args, secrets.With({&text, &ignoreCase, &noIndex, &options}))) return kExitUsage;
    if (args.words.size() != 2) return UsageError("search needs FILE.vlt TEXT");
    // The form refuses an empty search too: it would find nothing.
    if (args.words[1].empty()) return UsageError("search needs a non-empty TEXT");
    std::string strText;
    if (!ArgToAnsi(args.words[1], strText)) return kExitUsage;
    if (const int rc = secrets.Read()) return rc;

    CClipVaultDoc doc;
    const std::string& strPath = args.words[0];
    const notetext::CFileStamp before = notetext::CFileStamp::Of(strPath);
    const Opened opened = OpenNotebook(doc, strPath, secrets, "searched what was read before the damage");
    if (opened != Opened::ok && opened != Opened::damaged) return ExitFor(opened);
    const notetext::CNoteQuery query(strText, ignoreCase.present, text.present);
    notetext::CNoteTextCache cache;
    std::string out;
    auto found = [&out](CNote* pNote) {
        out += std::to_string(pNote->m_nID) + '\t' + AnsiToJsonText(NotePath(*pNote)) + '\n';
    };
    // Only a whole notebook that did not change while it was read is worth
    // an index: the next search of the same file finds it ready. An
    // encrypted notebook has none, since the index would hold its texts in
    // plain: it is read page by page, and an index left from when it was
    // plain goes.
    const std::string strOptions = options.present ? options.value : CAppOptions::DefaultOptionsPath();
    std::unique_ptr<notetext::CNoteIndex> index;
    if (doc.IsEncrypted()) {
        RemoveSearchIndex(strPath, strOptions);
    } else if (!noIndex.present && text.present && opened == Opened::ok && before.m_bValid &&
               before == notetext::CFileStamp::Of(strPath) && notetext::CNoteIndex::CanAnswer(query)) {
        index = CurrentIndex(doc, strPath, strOptions, before);
    }
    if (index) {
        notetext::SearchCategoryIndexed(doc.m_rootCata, query, *index, cache, found);
    } else {
        notetext::SearchCategory(doc.m_rootCata, query, cache, found);
    }
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return Failure("cannot write the results");
    return opened == Opened::damaged ? kExitDamaged : kExitOk;
}

}  // namespace cli
