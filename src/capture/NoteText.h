// What the search reads of a note: its name, and the text a reader sees in
// it (a page's visible text, or a text note's lines), with or without regard
// to letter case.
//
// Searched text is UTF-8 whatever the process code page is, so that one
// case folding (ICU's full folding: "Straße" finds "STRASSE", Greek and
// Cyrillic fold as well) serves every notebook. Pages are read with a
// scanner of their own rather than a parser: it has to get through 200 MB
// of pages in about a second, and needs no tree, only the text between the
// tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CNote;
class CNoteCata;

namespace notetext {

// Full Unicode case folding of UTF-8 text. Bytes that are not valid UTF-8
// are kept as they are.
std::string FoldCase(const std::string& utf8);

// A page's bytes as UTF-8: a UTF-16 page (byte order mark FF FE or FE FF)
// and a UTF-8 one with its mark are converted by the mark; any other is in
// the process code page, as the capture stores pages.
std::string PageBytesToUtf8(const std::vector<uint8_t>& bytes);

// The text a browser shows of an HTML page (UTF-8): tags, comments,
// scripts and styles are left out, character references decoded, runs of
// white space become one space, and block elements (paragraphs, cells,
// line breaks) keep the words on either side apart.
std::string VisibleText(std::string_view html);

// Whether a note of this type has text to search: pages and text notes.
bool HasSearchableText(const std::string& strExt);

// The searchable text of a note (UTF-8), empty when it has none: a page's
// visible text followed by the comments of its highlights. Reads the note's
// content under its data lock.
std::string NoteSearchText(const CNote& note);

// What the user searches for, with the two options of the form.
class CNoteQuery {
public:
    CNoteQuery(const std::string& strText, bool bIgnoreCase, bool bSearchText);

    const std::string& Text() const { return m_strText; }
    bool IgnoreCase() const { return m_bIgnoreCase; }
    bool SearchText() const { return m_bSearchText; }
    // The text as it is looked for in UTF-8 text: folded when case is
    // ignored.
    const std::string& Needle() const { return m_strNeedle; }

    // The name alone. Without ignoring case the name is compared byte for
    // byte, whole characters of the code page only.
    bool NameMatches(const std::string& strName) const;

private:
    std::string m_strText;  // process code page
    bool m_bIgnoreCase;
    bool m_bSearchText;
    std::string m_strNeedle;
};

// The extracted text of each note, kept between searches. An entry is
// keyed on the note and a fingerprint of its content (where the bytes are,
// how many, a sample of them, its type), so a note that was captured again,
// edited or read back is read again on its next search.
class CNoteTextCache {
public:
    // The note's searchable text, folded when asked; extracted on first use.
    const std::string& Text(const CNote& note, bool bFolded);
    // Forgets the entries of notes not looked at since the last call (notes
    // that were deleted), keeping memory to the notebook's size.
    void DropUnused();
    void Clear() { m_entries.clear(); }
    size_t Size() const { return m_entries.size(); }

private:
    struct CKey {
        const void* m_pData = nullptr;
        size_t m_nSize = 0;
        uint64_t m_nSample = 0;
        std::string m_strExt;
        bool operator==(const CKey& o) const {
            return m_pData == o.m_pData && m_nSize == o.m_nSize && m_nSample == o.m_nSample && m_strExt == o.m_strExt;
        }
    };
    struct CEntry {
        CKey m_key;
        bool m_bHasText = false;
        bool m_bHasFolded = false;
        std::string m_strText;
        std::string m_strFolded;
        uint32_t m_nSeen = 0;
    };
    static CKey KeyOf(const CNote& note);

    std::unordered_map<const CNote*, CEntry> m_entries;
    uint32_t m_nRound = 1;
};

// Whether the note matches: the query is not empty and occurs in its name,
// or (when the query asks) in its text.
bool NoteMatches(const CNote& note, const CNoteQuery& query, CNoteTextCache& cache);

// Scans a category depth first (its notes in map order, then each
// subcategory), calling `fnFound` for every note that matches.
void SearchCategory(const CNoteCata& cata, const CNoteQuery& query, CNoteTextCache& cache,
                    const std::function<void(CNote*)>& fnFound);

// The passage of the note's text around the first match of the query
// (UTF-8, about `nContext` bytes on either side, "…" where it was cut);
// empty when the text does not contain it. `pMatch`, when given, receives
// where in the passage the match lies and how long it is there.
struct CPassageMatch {
    size_t m_nStart = 0;
    size_t m_nLength = 0;
};
std::string MatchPassage(const std::string& text, const CNoteQuery& query, size_t nContext = 60,
                         CPassageMatch* pMatch = nullptr);

}  // namespace notetext
