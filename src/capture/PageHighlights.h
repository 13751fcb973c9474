// Highlights kept in a page's own bytes. Each highlight is one or more
// <mark> elements, one per piece of text it covers, all carrying the same
// id:
//
//   <mark class="cv-highlight cv-highlight-yellow" style="background:#fff176"
//         data-cv-highlight="ID" data-cv-color="yellow"
//         data-cv-date="2026-12-09T18:00:00Z" data-cv-comment="...">text</mark>
//
// so the page shows its highlights in any browser after it is saved out or
// mailed, the notebook needs nothing beside the page, and a page without
// highlights costs nothing. Only the mark tags are written into the page:
// every other byte stays where it was, and removing a highlight gives back
// the bytes as they were around it.
//
// Text here (quotes, comments, the highlighted text) is UTF-8, as searched
// text is, whatever the page's own encoding is; tags are written in the
// page's encoding and characters it cannot hold as character references.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where a selection lies, as the browser saw it: the selected text, a little
// of the text before and after it, and roughly where it starts. Found again
// in the stored page by its text rather than by its place in a tree, so a
// selection made in the reader view (a different tree over the same text)
// lands on the same words. White space runs count as one space.
struct CHighlightQuote {
    std::string m_strExact;
    std::string m_strPrefix;  // up to ~32 characters before
    std::string m_strSuffix;  // up to ~32 characters after
    // Characters (code points, white space runs as one) of the page's text
    // before the selection; picks between equal candidates. npos: unknown.
    size_t m_nTextPos = static_cast<size_t>(-1);
};

struct CHighlight {
    std::string m_strId;       // unique within the notebook
    std::string m_strColor;    // "yellow", "green", "blue" or "pink"
    std::string m_strComment;  // may be empty
    std::string m_strDate;     // ISO 8601, UTC
    std::string m_strText;     // the highlighted text, its pieces joined (read back only)
};

enum class HighlightResult { kDone, kNotFound, kNoText, kUnknownId };

// A new id for a highlight: random, short, safe in an attribute.
std::string NewHighlightId();

// The page with `hl` (id, colour, comment, date) marked over the text
// `quote` finds. kNotFound when the text is not in the page; kNoText when it
// lies only where a mark cannot go (a script, a title, an attribute).
HighlightResult AddHighlight(const std::vector<uint8_t>& page, const CHighlightQuote& quote, const CHighlight& hl,
                             std::vector<uint8_t>& out);

// The page without the highlight `strId`: exactly its mark tags taken out.
HighlightResult RemoveHighlight(const std::vector<uint8_t>& page, const std::string& strId, std::vector<uint8_t>& out);

// The page with the comment (and colour, when not empty) of `strId` changed.
HighlightResult ChangeHighlight(const std::vector<uint8_t>& page, const std::string& strId,
                                const std::string& strComment, const std::string& strColor,
                                std::vector<uint8_t>& out);

// Cheap test before parsing: whether the bytes may hold a highlight.
bool MayHoldHighlights(const std::vector<uint8_t>& page);

// The page's highlights in the order they start in it, each once.
std::vector<CHighlight> ListHighlights(const std::vector<uint8_t>& page);
