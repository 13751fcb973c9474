// Which encoding a page's bytes are in (byte order mark, the answer's
// charset, a meta in the first bytes, an XML declaration, a look at the
// bytes) and their reading into the UTF-8 scan text, with the small text
// helpers the parse and the page edits share. Used only inside the HTML
// reader; callers elsewhere go through HtmlRefs.h.
#pragma once

#include "capture/HtmlRefs.h"

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace htmlenc {

inline bool IsHtmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

std::string Lower(std::string s);
std::string Trim(const std::string& s);
bool StartsWithNoCase(const std::string& s, const char* prefix);
bool StartsWithNoCase(const char* p, size_t n, const char* prefix);

// Length of the well-formed UTF-8 sequence at p (at most n bytes), 0 when
// it is not one; *pTruncated tells a sequence cut short by the end.
size_t Utf8SequenceLength(const uint8_t* p, size_t n, uint32_t* pCp, bool* pTruncated);

// Code points of UTF-8 text; an ill-formed byte reads as U+FFFD.
template <typename F>
void ForEachCodePoint(const std::string& s, F f) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
    size_t i = 0;
    while (i < s.size()) {
        uint32_t cp;
        bool truncated;
        size_t len = Utf8SequenceLength(p + i, s.size() - i, &cp, &truncated);
        if (len == 0) {
            cp = 0xFFFD;
            len = 1;
        }
        f(cp, s.data() + i, len);
        i += len;
    }
}

class CIconv {
public:
    CIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CIconv() {
        if (ok()) iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// The table iconv converts with. Browsers read these names as the Windows
// variants (Shift_JIS with ASCII's backslash and tilde, EUC-KR with the
// Unified Hangul Code, Big5 with the Hong Kong additions).
const char* IconvName(const std::string& encoding);

// Whether every byte below 0x80 that starts a character is that ASCII
// character (all but the stateful ISO-2022-JP and UTF-16).
bool AsciiCompatible(const std::string& encoding);

// The encoding and the length of the byte order mark.
std::string DetectEncoding(const uint8_t* p, size_t n, const std::string& httpCharset, size_t* pBom, int* pFrom);

// The page's bytes read into scan.m_strText, with scan.m_offsetMap.
void DecodeUtf16(const uint8_t* p, size_t n, size_t start, bool bigEndian, CHtmlScan& scan);
void DecodeLegacy(const uint8_t* p, size_t n, const std::string& encoding, CHtmlScan& scan);

}  // namespace htmlenc
