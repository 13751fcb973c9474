// What a page refers to, found by parsing it as a browser does (gumbo's
// HTML5 parser), with the exact place of each value in the page's bytes, so
// that a rewrite replaces those values and leaves every other byte as it
// was.
//
// Offsets are in the scan text: the page converted to UTF-8 from the
// encoding it was found to be in (for a UTF-8 page, the page's own bytes).
// ApplyPageEdits maps them back onto the page's bytes and writes the
// replacements in the page's encoding, so a UTF-16 or a legacy code-page
// page stays in its encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum HtmlRefKind : int {
    kHtmlResource = 0,    // stored as it is: img src, input type=image, link rel=icon|preload, script src,
                          // video/audio src and poster, source src, object data, embed src, track src,
                          // svg image/use href
    kHtmlStylesheet = 1,  // a stylesheet whose own url() and @import are captured: link rel=stylesheet,
                          // link rel=preload as=style, xml-stylesheet type text/css
    kHtmlDocument = 2,    // a page captured with its own resources: frame src, iframe src,
                          // xml-stylesheet of XSL, xsl:import and xsl:include href
    kHtmlHyperlink = 3,   // a href, area href: made absolute
    kHtmlSrcset = 4,      // a srcset value (img, source; data-srcset for lazy images): candidates inside
    kHtmlStyleText = 5,   // the text of a style element or the value of a style attribute: CSS inside
    kHtmlBase = 6,        // base href (the first only): the base of every other reference
    kHtmlLazyFlag = 7,    // the value of loading=lazy: a copy shown offline loads every image at once
};

struct CHtmlRef {
    int m_nKind = kHtmlResource;
    // The span of the value in the scan text: between the quotes of a quoted
    // attribute value, the whole of an unquoted one, the text of a style
    // element. For a lazy image whose real address is in data-src, the span
    // is that of its placeholder src value, or an empty span just after the
    // tag name when it has none; m_strBefore and m_strAfter then hold what
    // makes an attribute of the replacement (" src=\"" and "\"").
    size_t m_nOffset = 0;
    size_t m_nLength = 0;
    // '"' or '\'' for a quoted attribute value, 0 for an unquoted one or for
    // element text.
    char m_cQuote = 0;
    // The span's bytes read as the value exactly: no character references
    // in it (always so for element text). Positions inside m_strValue are
    // then positions inside the span.
    bool m_bVerbatim = true;
    std::string m_strValue;  // the value as the parser gave it (references decoded), UTF-8
    std::string m_strBefore, m_strAfter;
    // The span is the text of an element (a style element's CSS), not an
    // attribute value: no character references are read in it.
    bool m_bElementText = false;
    // m_strValue came from data-src or data-srcset of a lazy image and
    // replaces the placeholder in the span (or is inserted): the span must
    // be written even when the value itself is kept.
    bool m_bLazy = false;
    // The element the value belongs to, lower case ("img", "link", "style",
    // "?xml-stylesheet" for the processing instruction).
    std::string m_strTag;
};

// Where a page's encoding was found.
enum HtmlEncodingFrom : int {
    kEncodingFromPage = 0,  // a byte order mark, a meta or an XML declaration
    kEncodingFromHttp = 1,  // only the answer's Content-Type: a copy on disk would not know it
    kEncodingGuessed = 2,   // nowhere: the bytes were looked at
};

struct CHtmlScan {
    // What the page was read as: "UTF-8", "UTF-16LE", "UTF-16BE" or the
    // iconv name of a legacy code page ("WINDOWS-1252", "SHIFT_JIS").
    std::string m_strEncoding;
    int m_nEncodingFrom = kEncodingFromPage;
    std::string m_strText;        // the scan text (UTF-8)
    std::vector<CHtmlRef> m_refs;  // in the order they stand in the page
    // Offset in the page's bytes of each byte of the scan text, and one past
    // the end; empty when the scan text is the page's bytes.
    std::vector<size_t> m_offsetMap;
    // The parse would have passed its bound: nothing but the encoding is set.
    bool m_bTooLarge = false;
    // About what the scan holds (text, offsets, references), for a budget.
    size_t m_nBytes = 0;
};

// Parses a page. The encoding is taken from a byte order mark, then
// `strHttpCharset` (the charset of the answer's Content-Type, may be
// empty), then a meta charset or content-type in the first 1024 bytes or an
// XML declaration, else UTF-8 when the bytes are valid UTF-8, else
// WINDOWS-1252. Never fails: any bytes give some scan.
//
// The parser's tree costs a few hundred bytes a tag and attribute, so a
// page of millions of empty tags would take gigabytes: its memory, with
// the scan text and the references collected, stays within `nMaxBytes`, and
// a page that needs more gives an empty scan marked m_bTooLarge.
CHtmlScan ScanHtml(const uint8_t* pData, size_t nLength, const std::string& strHttpCharset,
                   size_t nMaxBytes = SIZE_MAX);

// Where a page's body stands in its scan text, as a browser finds it.
struct CBodySpan {
    bool m_bFound = false;  // false for a frameset page
    // The body's start tag as written; an empty span at m_nContentBegin when
    // the page leaves it out.
    size_t m_nTagBegin = 0, m_nTagEnd = 0;
    // What the body holds: from its first node to its end tag (or the
    // html end tag, or the end of the page, when that is left out).
    size_t m_nContentBegin = 0, m_nContentEnd = 0;
};
CBodySpan FindPageBody(const CHtmlScan& scan);

// The encoding a charset label names as ScanHtml names encodings ("latin1"
// and "us-ascii" are WINDOWS-1252, "x-sjis" is SHIFT_JIS, ...), or "" for a
// label it does not know. For the charset of a stylesheet or a frame.
std::string EncodingForCharsetLabel(const std::string& strLabel);

// The table iconv converts such an encoding with: browsers read SHIFT_JIS,
// EUC-KR and BIG5 as the Windows variants (CP932 keeps ASCII's backslash,
// which CSS escapes need), so these differ from the name.
std::string IconvNameForEncoding(const std::string& strEncoding);

struct CPageEdit {
    size_t m_nOffset = 0;  // in the scan text
    size_t m_nLength = 0;
    std::string m_strText;  // UTF-8, already escaped for where it stands
};

// The page's bytes with the edits made (non-overlapping; any order), the
// replacement text in the page's encoding.
std::vector<uint8_t> ApplyPageEdits(const CHtmlScan& scan, const uint8_t* pData, size_t nLength,
                                    std::vector<CPageEdit> edits);

// `value` escaped for an attribute value delimited by `cQuote` (0:
// unquoted, where it is quoted when it must be).
std::string HtmlEscapeForAttr(const std::string& value, char cQuote);

// Edits that replace parts of a reference's value: `inner` are spans of
// m_strValue with their new (unescaped) text. When the value is verbatim
// each becomes an edit of its own, escaped for the attribute; otherwise
// the whole value is written anew. Appends to `out`.
void EditInsideRef(const CHtmlRef& ref, const std::vector<CPageEdit>& inner, std::vector<CPageEdit>& out);
