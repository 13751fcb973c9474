// Highlights kept in a page's own bytes. Each highlight is one or more
// <mark> elements, one per piece of text it covers, all carrying the same
// id:
//
//   <mark class="cv-highlight cv-highlight-yellow" style="background:#fff176"
//         data-cv-highlight="ID" data-cv-color="yellow"
//         data-cv-date="2026-12-09T18:00:00Z" data-cv-comment="..."
//         title="...">text</mark>
//
// (title, the comment again, only when there is one: any browser shows it
// when the pointer rests on the text). A piece is the text of one text node
// from its first to its last visible character, so marks always nest
// properly and never split a character reference. The tags themselves are
// ASCII (characters beyond it as numeric references), so they read the same
// in any ASCII-compatible code page, and are written as UTF-16 in a UTF-16
// page.
//
// so the page shows its highlights in any browser after it is saved out or
// mailed, the notebook needs nothing beside the page, and a page without
// highlights costs nothing. Only the mark tags are written into the page:
// every other byte stays where it was, and removing a highlight gives back
// the bytes as they were around it.
//
// Text here (quotes, comments, the highlighted text) is UTF-8, as searched
// text is, whatever the page's own encoding is. A page is read in the
// encoding its byte order mark or its own meta names, else as UTF-8 when it
// is valid UTF-8, else in the process code page (windows-1252 when that is
// UTF-8), as a browser shows the stored page.
//
// The page's text is what a reader sees: text in document order, leaving
// out the head, scripts, styles, templates, noscript, noembed, noframes,
// titles, text areas, selects, iframes and SVG/MathML. Thread-safe: no state
// is shared.
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
    // Characters of the page's text before the selection, as a script
    // counts them walking the body's text nodes past the hidden elements:
    // each code point one, each run of ASCII white space (within a node or
    // across nodes) one, nothing between blocks. Picks between candidates
    // whose surroundings agree equally well. npos: unknown (give npos from
    // the reader view, whose text is not the page's).
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

// The colours a highlight may have, yellow (the one an unknown name gets)
// first, each with the CSS colour its marks are painted in. The window's
// swatches and the reader view paint them from here too.
struct CHighlightColor {
    const char* m_pszName;
    const char* m_pszCss;
};
const std::vector<CHighlightColor>& HighlightColors();

// A new id for a highlight: random, short, safe in an attribute.
std::string NewHighlightId();

// The page with `hl` (id, colour, comment, date) marked over the text
// `quote` finds. White space and invisible characters (soft hyphens, zero
// widths) are left out of the comparison, so that line breaks between
// paragraphs in a selection find the paragraphs. Where the text stands more
// than once, the place whose text before and after agrees longest with the
// prefix and suffix wins, then the one nearest m_nTextPos, then the first.
// Text found nowhere as it is, is looked for again without regard to case
// (a style may show it in capitals, and the selection gives what it shows).
// An unknown colour is written as yellow; an empty date as the time now.
// kNotFound when the text is not in the page (or the page is too deep or
// large to parse: over 64 MiB); kNoText when it lies only where a mark cannot go (a
// script, a title, an attribute); kUnknownId when `hl` has no id or the page
// already holds one of that id. `out` may be `page` itself (here and below);
// on a failure it is left empty, or as it was when it is `page`.
HighlightResult AddHighlight(const std::vector<uint8_t>& page, const CHighlightQuote& quote, const CHighlight& hl,
                             std::vector<uint8_t>& out);

// The page without the highlight `strId`: exactly its mark tags taken out.
HighlightResult RemoveHighlight(const std::vector<uint8_t>& page, const std::string& strId, std::vector<uint8_t>& out);

// The page with the comment (and colour, when it is one of the four) of
// `strId` changed in each of its marks; the date stays.
HighlightResult ChangeHighlight(const std::vector<uint8_t>& page, const std::string& strId,
                                const std::string& strComment, const std::string& strColor,
                                std::vector<uint8_t>& out);

// Cheap test before parsing: whether the bytes may hold a highlight (a
// byte search for the attribute's name, in UTF-16 too for a UTF-16 page).
bool MayHoldHighlights(const std::vector<uint8_t>& page);

// The page's highlights in the order they start in it, each once. The text
// is the page's text from the first piece to the last (white space runs as
// one space); the comment is decoded.
std::vector<CHighlight> ListHighlights(const std::vector<uint8_t>& page);
