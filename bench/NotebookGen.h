// Text-heavy notebooks for the benches: pages of English-looking prose
// (about 27 KB a note, 21 KB of it visible text, sizes varied), a tree of
// categories, and a few small pictures shared by every tenth note. The same
// seed gives the same notebook.
#pragma once

#include <cstdint>
#include <string>

class CClipVaultDoc;

namespace benchgen {

struct CGenOptions {
    int nNotes = 10000;
    uint64_t nSeed = 1;
    // When set, each note's page is also written under this folder (one
    // subfolder per category), for grep to look through the same text.
    std::string strPagesDir;
};

struct CGenResult {
    uint64_t nPageBytes = 0;
    int nCategories = 0;
    int nPictureNotes = 0;
};

// Fills a fresh notebook in `doc` (OnNewDocument is called here). Returns
// false with `strError` set when a page file cannot be written.
bool GenerateNotebook(CClipVaultDoc& doc, const CGenOptions& options, CGenResult& result, std::string& strError);

}  // namespace benchgen
