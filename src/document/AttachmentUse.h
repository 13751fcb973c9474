// Which attachments of a notebook are still in use. A stored page points at
// its files by their bare attachment names, and so do the stylesheets and
// frame pages it keeps as attachments; a note's list of names can fall
// behind its page (an edit, an older capture), so the bytes are what count.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CClipVaultDoc;

// Finds attachment names wherever they stand in a file's bytes: in a link,
// a style, a script or a comment alike. Finding a name where no browser would
// follow it keeps a file too many, which costs only its bytes; missing one
// would lose a file for good. A page in UTF-16 is read as text first, and a
// name is also found written with percent escapes or as an HTML entity.
class CAttachmentNameFinder {
public:
    explicit CAttachmentNameFinder(const std::vector<std::string>& names);
    // Adds to `found` every name that `bytes` mention.
    void FindIn(const std::vector<uint8_t>& bytes, std::set<std::string>& found) const;

private:
    void FindInText(const std::string& text, std::set<std::string>& found) const;

    // Every way a name may be written -> the name.
    std::unordered_map<std::string, std::string> m_spellings;
    // Lengths of the spellings that begin with "vlt", as every name the
    // notebook gives does; those are looked up where "vlt" stands.
    std::set<size_t> m_lengths;
    // Spellings that do not begin with "vlt" (notebooks of other origin):
    // searched one by one.
    std::vector<std::string> m_others;
};

// True for the kinds of files that can point at other files: stylesheets,
// pages, scripts, SVG.
bool AttachmentMayReferToOthers(const std::string& strName);

// The names of the attachments that something kept still uses: a note lists
// it, a note's page names it, or a kept stylesheet or frame page names it,
// through any number of steps. False when a kept file that may name others
// could not be read: what it uses is then unknown.
bool CollectAttachmentsInUse(CClipVaultDoc& doc, std::unordered_set<std::string>& inUse);
