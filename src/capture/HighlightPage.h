// A page read for its highlights: its text as a reader sees it, each
// character tied to the bytes it stands for, and the highlight marks in it
// with the place of their tags. Private to the highlight code.
#pragma once

#include "capture/HtmlRefs.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hlpage {

// White space and invisible characters: left out when text is compared, so
// that a selection finds its words whatever the layout made of the space
// between them (a paragraph break, a line break, a non-breaking space).
bool IsSkipped(uint32_t cp);

// The code points of UTF-8 text that are not skipped.
std::vector<uint32_t> Significant(const std::string& utf8);

// One significant character of the page's text.
struct CChar {
    uint32_t m_cp = 0;
    size_t m_nSrcBegin = 0, m_nSrcEnd = 0;  // in the scan text
    size_t m_nTextPos = 0;                  // as CHighlightQuote::m_nTextPos counts
    size_t m_nTextOffset = 0;               // byte offset in the text
    size_t m_nNode = 0;                     // the text node it is in
    bool m_bPlaced = true;                  // its node's bytes were matched to its text
};

// A highlight mark as it stands.
struct CMark {
    std::string m_strId, m_strColor, m_strDate, m_strComment;
    size_t m_nTagBegin = 0, m_nTagEnd = 0;  // the start tag, scan text
    bool m_bHasEndTag = false;
    size_t m_nEndBegin = 0, m_nEndEnd = 0;  // the end tag
    // The characters inside it: [m_nFirst, m_nLast) of CPage::m_chars.
    size_t m_nFirst = 0, m_nLast = 0;
};

struct CPage {
    CHtmlScan m_scan;
    bool m_bRead = false;       // false: too large or unreadable
    std::string m_strText;      // visible text, white space runs as one space (UTF-8)
    std::vector<CChar> m_chars; // its significant characters
    std::vector<CMark> m_marks; // in the order they start
};

// Reads the page: its encoding by its mark, what it declares, else the
// process code page.
void ReadPage(const std::vector<uint8_t>& bytes, CPage& page);

}  // namespace hlpage
