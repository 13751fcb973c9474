// Finding what a page refers to, and pointing those references elsewhere.
//
// Plain text search, not an HTML parser: a lower-cased copy of the page is
// searched for a tag, then an attribute name after it, then "=", and the
// value after that is read from the page as written. This finds what
// matters in real pages, tolerates any broken markup, and keeps every byte
// of the page that is not a replaced reference.
#pragma once

#include "platform/Charset.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reference kinds.
enum PageRefKind : int {
    kRefEmbedded = 0,    // <img src>, <link href>
    kRefHyperlink = 1,   // <a href>
    kRefStylesheet = 2,  // xml-stylesheet href, frame pages, background: captured with their own resources
};

class CPageResource {
public:
    int m_nRefKind = kRefEmbedded;
    std::string m_strValue;  // normalised: quotes blanked, CR/LF removed, lower case, trimmed
    std::string m_strRaw;    // as written in the page; what a rewrite replaces
    std::string m_strURL;    // absolute, without the query
    int m_nOffset = 0;       // of the raw value in the page text
    int m_nLength = 0;
    int m_bReplace = 0;      // set by the capture
    std::string m_strReplace;
};

// Removed from a page by every rewrite: the capture puts it into hyperlink
// replacements so that later replacements of shorter values cannot match
// inside them.
extern const char kLinkMarker[];  // "@VAULTLINKATTATCH@"

class CPageScanner {
public:
    // The "background" pass follows the option to fetch the resources of
    // captured pages: the user's, or the one a download worker was given.
    CPageScanner();
    explicit CPageScanner(bool bBackgroundPass) : m_bBackgroundPass(bBackgroundPass) {}

    // Scans `text` (up to its first zero byte; positions at or beyond
    // `length` are ignored) of a page at `base`; `bLocal` for a page read
    // from disk. The old items are dropped.
    void ScanPage(const std::string& text, size_t length, const std::string& base, bool bLocal);
    // Replaces, in item order, every occurrence of each replaced item's raw
    // value that stands whole (not inside a longer value, path or word),
    // then removes the markers.
    void RewritePage(std::vector<uint8_t>& bytes) const;

    static bool IsFetchableType(const std::string& url);

    std::string m_strBase;
    int m_bLocal = 0;
    std::vector<std::unique_ptr<CPageResource>> m_items;
    bool m_bBackgroundPass;

private:
    void ScanPair(const std::string& lower, const std::string& text, size_t length, const char* tag,
                  const char* attr, int kind);
    // Reads the value at `pos`; returns where the scan goes on.
    size_t ReadAttributeValue(const std::string& text, size_t pos, size_t length, int kind);
    void AddResource(const std::string& raw, const std::string& value, size_t offset, size_t length, int kind);
    // "scheme://host[:port]path" of the page, or empty when it cannot be split.
    std::string m_strBaseForCombine;
};

// The page's title: on a lower-cased copy of the text, what stands between
// the ">" that closes "<title" and the next "</title" (so it is lower case and
// not trimmed). Empty when any of them is missing.
std::string GetPageTitle(const std::string& strText);

// A page's bytes as text in the process code page: a page that begins with
// the UTF-16LE byte order mark FF FE is converted, any other is taken as it is.
std::string PageBytesToText(const std::vector<uint8_t>& bytes);

// Text in the process code page back to a UTF-16LE page with its byte order
// mark FF FE.
std::vector<uint8_t> TextToUtf16Page(const std::string& text);

