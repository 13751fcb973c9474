#include "capture/HtmlRefs.h"
#include "platform/Charset.h"

#include <gumbo.h>
#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

// ---------------------------------------------------------------- text bits

bool IsHtmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string s) {
    for (char& c : s) c = LowerChar(c);
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsHtmlSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsHtmlSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return s.size() >= n && ::strncasecmp(s.data(), prefix, n) == 0;
}

bool StartsWithNoCase(const char* p, size_t n, const char* prefix) {
    const size_t k = std::strlen(prefix);
    return n >= k && ::strncasecmp(p, prefix, k) == 0;
}

// Length of the well-formed UTF-8 sequence at p (at most n bytes), 0 when
// it is not one; *pTruncated tells a sequence cut short by the end.
size_t Utf8SequenceLength(const uint8_t* p, size_t n, uint32_t* pCp, bool* pTruncated) {
    *pTruncated = false;
    const uint8_t c = p[0];
    if (c < 0x80) {
        *pCp = c;
        return 1;
    }
    size_t len;
    uint32_t cp;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (size_t i = 1; i < len; ++i) {
        if (i >= n) {
            *pTruncated = true;
            return 0;
        }
        const uint8_t t = p[i];
        if (t < lo || t > hi) return 0;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (t & 0x3F);
    }
    *pCp = cp;
    return len;
}

// A page cut short in the middle of its last character still counts as
// UTF-8: downloads stop anywhere.
bool IsUtf8(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp;
        bool truncated;
        const size_t len = Utf8SequenceLength(p + i, n - i, &cp, &truncated);
        if (len == 0) return truncated;
        i += len;
    }
    return true;
}

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

// ---------------------------------------------------------------- encodings

struct CLabel {
    const char* m_pszLabel;
    const char* m_pszName;
};

// The labels browsers accept, by the name this reader gives the encoding.
// latin1 and ASCII are read as windows-1252 as every browser does.
const CLabel kLabels[] = {
    {"utf-8", "UTF-8"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-8", "UTF-8"},
    {"unicode11utf8", "UTF-8"},
    {"unicode20utf8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"utf-16", "UTF-16LE"},
    {"utf-16le", "UTF-16LE"},
    {"unicode", "UTF-16LE"},
    {"ucs-2", "UTF-16LE"},
    {"csunicode", "UTF-16LE"},
    {"iso-10646-ucs-2", "UTF-16LE"},
    {"unicodefeff", "UTF-16LE"},
    {"utf-16be", "UTF-16BE"},
    {"unicodefffe", "UTF-16BE"},
    {"us-ascii", "WINDOWS-1252"},
    {"ascii", "WINDOWS-1252"},
    {"ansi_x3.4-1968", "WINDOWS-1252"},
    {"iso_8859-1:1987", "WINDOWS-1252"},
    {"latin1", "WINDOWS-1252"},
    {"l1", "WINDOWS-1252"},
    {"cp819", "WINDOWS-1252"},
    {"ibm819", "WINDOWS-1252"},
    {"csisolatin1", "WINDOWS-1252"},
    {"iso-ir-100", "WINDOWS-1252"},
    {"latin2", "ISO-8859-2"},
    {"l2", "ISO-8859-2"},
    {"csisolatin2", "ISO-8859-2"},
    {"latin3", "ISO-8859-3"},
    {"l3", "ISO-8859-3"},
    {"latin4", "ISO-8859-4"},
    {"l4", "ISO-8859-4"},
    {"cyrillic", "ISO-8859-5"},
    {"csisolatincyrillic", "ISO-8859-5"},
    {"arabic", "ISO-8859-6"},
    {"asmo-708", "ISO-8859-6"},
    {"greek", "ISO-8859-7"},
    {"greek8", "ISO-8859-7"},
    {"elot_928", "ISO-8859-7"},
    {"ecma-118", "ISO-8859-7"},
    {"hebrew", "ISO-8859-8"},
    {"visual", "ISO-8859-8"},
    {"iso-8859-8-i", "ISO-8859-8"},
    {"logical", "ISO-8859-8"},
    {"latin6", "ISO-8859-10"},
    {"l6", "ISO-8859-10"},
    {"l9", "ISO-8859-15"},
    {"latin5", "WINDOWS-1254"},
    {"l5", "WINDOWS-1254"},
    {"tis-620", "WINDOWS-874"},
    {"dos-874", "WINDOWS-874"},
    {"windows-874", "WINDOWS-874"},
    {"koi8-r", "KOI8-R"},
    {"koi8_r", "KOI8-R"},
    {"koi8", "KOI8-R"},
    {"koi", "KOI8-R"},
    {"cskoi8r", "KOI8-R"},
    {"koi8-u", "KOI8-U"},
    {"koi8-ru", "KOI8-U"},
    {"ibm866", "IBM866"},
    {"cp866", "IBM866"},
    {"866", "IBM866"},
    {"csibm866", "IBM866"},
    {"macintosh", "MACINTOSH"},
    {"mac", "MACINTOSH"},
    {"x-mac-roman", "MACINTOSH"},
    {"csmacintosh", "MACINTOSH"},
    {"x-mac-cyrillic", "MAC-CYRILLIC"},
    {"x-mac-ukrainian", "MAC-CYRILLIC"},
    {"gbk", "GBK"},
    {"gb2312", "GBK"},
    {"gb_2312", "GBK"},
    {"gb_2312-80", "GBK"},
    {"x-gbk", "GBK"},
    {"chinese", "GBK"},
    {"csgb2312", "GBK"},
    {"csiso58gb231280", "GBK"},
    {"iso-ir-58", "GBK"},
    {"cp936", "GBK"},
    {"windows-936", "GBK"},
    {"ms936", "GBK"},
    {"gb18030", "GB18030"},
    {"big5", "BIG5"},
    {"big5-hkscs", "BIG5"},
    {"cn-big5", "BIG5"},
    {"csbig5", "BIG5"},
    {"x-x-big5", "BIG5"},
    {"euc-jp", "EUC-JP"},
    {"x-euc-jp", "EUC-JP"},
    {"cseucpkdfmtjapanese", "EUC-JP"},
    {"iso-2022-jp", "ISO-2022-JP"},
    {"csiso2022jp", "ISO-2022-JP"},
    {"shift_jis", "SHIFT_JIS"},
    {"shift-jis", "SHIFT_JIS"},
    {"sjis", "SHIFT_JIS"},
    {"x-sjis", "SHIFT_JIS"},
    {"ms_kanji", "SHIFT_JIS"},
    {"ms932", "SHIFT_JIS"},
    {"cp932", "SHIFT_JIS"},
    {"windows-31j", "SHIFT_JIS"},
    {"csshiftjis", "SHIFT_JIS"},
    {"euc-kr", "EUC-KR"},
    {"cseuckr", "EUC-KR"},
    {"csksc56011987", "EUC-KR"},
    {"iso-ir-149", "EUC-KR"},
    {"korean", "EUC-KR"},
    {"ks_c_5601-1987", "EUC-KR"},
    {"ks_c_5601-1989", "EUC-KR"},
    {"ksc5601", "EUC-KR"},
    {"ksc_5601", "EUC-KR"},
    {"windows-949", "EUC-KR"},
    {"cp949", "EUC-KR"},
};

// The table iconv converts with. Browsers read these names as the Windows
// variants (Shift_JIS with ASCII's backslash and tilde, EUC-KR with the
// Unified Hangul Code, Big5 with the Hong Kong additions).
const char* IconvName(const std::string& encoding) {
    if (encoding == "SHIFT_JIS") return "CP932";
    if (encoding == "EUC-KR") return "CP949";
    if (encoding == "BIG5") return "BIG5-HKSCS";
    return encoding.c_str();
}

// Whether every byte below 0x80 that starts a character is that ASCII
// character (all but the stateful ISO-2022-JP and UTF-16).
bool AsciiCompatible(const std::string& encoding) {
    return encoding != "ISO-2022-JP" && encoding != "UTF-16LE" && encoding != "UTF-16BE";
}

// iso-8859-N, iso8859-N, iso_8859-N, iso8859N, windows-125N, cp125N,
// x-cp125N.
std::string NumberedEncoding(const std::string& label) {
    static const char* const kIsoPrefixes[] = {"iso-8859-", "iso_8859-", "iso8859-", "iso8859"};
    for (const char* prefix : kIsoPrefixes) {
        const size_t n = std::strlen(prefix);
        if (label.compare(0, n, prefix) != 0 || label.size() == n || label.size() > n + 2) continue;
        const std::string num = label.substr(n);
        if (num.find_first_not_of("0123456789") != std::string::npos) return "";
        const int k = std::atoi(num.c_str());
        if (k == 1) return "WINDOWS-1252";
        if (k == 9) return "WINDOWS-1254";
        if (k == 11) return "WINDOWS-874";
        if ((k >= 2 && k <= 8) || k == 10 || (k >= 13 && k <= 16)) return "ISO-8859-" + std::to_string(k);
        return "";
    }
    static const char* const kWinPrefixes[] = {"windows-", "x-cp", "cp"};
    for (const char* prefix : kWinPrefixes) {
        const size_t n = std::strlen(prefix);
        if (label.compare(0, n, prefix) != 0 || label.size() != n + 4) continue;
        const std::string num = label.substr(n);
        if (num.compare(0, 3, "125") == 0 && num[3] >= '0' && num[3] <= '8') return "WINDOWS-" + num;
        return "";
    }
    return "";
}

// The encoding a charset label names, or "" for a label this reader does
// not know (or iconv cannot convert).
std::string EncodingForLabel(const std::string& rawLabel) {
    std::string label = Lower(Trim(rawLabel));
    if (label.size() >= 2 && (label[0] == '"' || label[0] == '\'') && label.back() == label[0])
        label = Trim(label.substr(1, label.size() - 2));
    if (label.empty()) return "";
    std::string name;
    for (const CLabel& l : kLabels) {
        if (label == l.m_pszLabel) {
            name = l.m_pszName;
            break;
        }
    }
    if (name.empty()) name = NumberedEncoding(label);
    if (name.empty()) return "";
    if (name == "UTF-8" || name == "UTF-16LE" || name == "UTF-16BE") return name;
    CIconv probe("UTF-8", IconvName(name));
    return probe.ok() ? name : "";
}

// ----------------------------------------------------------------- prescan

class CPrescan {
public:
    CPrescan(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}

    // The encoding of the first usable meta charset or content-type, "" for
    // none.
    std::string Run() {
        while (m_pos < m_n) {
            if (At("<!--")) {
                m_pos = Find("-->", m_pos + 2);
                if (m_pos == std::string::npos) return "";
                m_pos += 3;
                continue;
            }
            if (AtNoCase("<meta") && m_pos + 5 < m_n && (IsHtmlSpace(m_p[m_pos + 5]) || m_p[m_pos + 5] == '/')) {
                m_pos += 6;
                std::string enc;
                if (!Meta(enc)) return "";
                if (!enc.empty()) return enc;
                continue;
            }
            if (m_p[m_pos] == '<' && m_pos + 1 < m_n &&
                (IsAlpha(m_p[m_pos + 1]) || (m_p[m_pos + 1] == '/' && m_pos + 2 < m_n && IsAlpha(m_p[m_pos + 2])))) {
                while (m_pos < m_n && !IsHtmlSpace(m_p[m_pos]) && m_p[m_pos] != '>') ++m_pos;
                std::string name, value;
                int got;
                while ((got = Attribute(name, value)) > 0) {
                }
                if (got < 0) return "";
                continue;
            }
            if (At("<!") || At("</") || At("<?")) {
                m_pos = Find(">", m_pos + 2);
                if (m_pos == std::string::npos) return "";
                ++m_pos;
                continue;
            }
            ++m_pos;
        }
        return "";
    }

private:
    static bool IsAlpha(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    bool At(const char* s) const {
        const size_t k = std::strlen(s);
        return m_pos + k <= m_n && std::memcmp(m_p + m_pos, s, k) == 0;
    }
    bool AtNoCase(const char* s) const {
        const size_t k = std::strlen(s);
        return m_pos + k <= m_n && ::strncasecmp(reinterpret_cast<const char*>(m_p + m_pos), s, k) == 0;
    }
    size_t Find(const char* s, size_t from) const {
        const size_t k = std::strlen(s);
        for (size_t i = from; i + k <= m_n; ++i)
            if (std::memcmp(m_p + i, s, k) == 0) return i;
        return std::string::npos;
    }

    // False when the bytes ran out inside the element.
    bool Meta(std::string& enc) {
        std::vector<std::string> seen;
        bool gotPragma = false;
        int needPragma = -1;  // unknown
        std::string charset;
        std::string name, value;
        int got;
        while ((got = Attribute(name, value)) > 0) {
            if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
            seen.push_back(name);
            if (name == "http-equiv") {
                if (value == "content-type") gotPragma = true;
            } else if (name == "content") {
                std::string cs;
                if (charset.empty() && CharsetFromContent(value, cs)) {
                    charset = cs;
                    needPragma = 1;
                }
            } else if (name == "charset") {
                charset = value;
                needPragma = 0;
            }
        }
        if (got < 0) return false;
        if (needPragma < 0 || (needPragma == 1 && !gotPragma) || charset.empty()) return true;
        enc = EncodingForLabel(charset);
        // A page read a byte at a time cannot be UTF-16, whatever it says.
        if (enc == "UTF-16LE" || enc == "UTF-16BE") enc = "UTF-8";
        return true;
    }

    // One attribute of a tag being skipped: 1 with name and value (lower
    // case), 0 at the tag's end, -1 when the bytes ran out.
    int Attribute(std::string& name, std::string& value) {
        name.clear();
        value.clear();
        while (m_pos < m_n && (IsHtmlSpace(m_p[m_pos]) || m_p[m_pos] == '/')) ++m_pos;
        if (m_pos >= m_n) return -1;
        if (m_p[m_pos] == '>') return 0;
        for (;;) {
            if (m_pos >= m_n) return -1;
            const char c = static_cast<char>(m_p[m_pos]);
            if (c == '=' && !name.empty()) {
                ++m_pos;
                break;
            }
            if (IsHtmlSpace(static_cast<unsigned char>(c))) {
                while (m_pos < m_n && IsHtmlSpace(m_p[m_pos])) ++m_pos;
                if (m_pos >= m_n) return -1;
                if (m_p[m_pos] != '=') return 1;
                ++m_pos;
                break;
            }
            if (c == '/' || c == '>') return 1;
            name += LowerChar(c);
            ++m_pos;
        }
        while (m_pos < m_n && IsHtmlSpace(m_p[m_pos])) ++m_pos;
        if (m_pos >= m_n) return -1;
        const char q = static_cast<char>(m_p[m_pos]);
        if (q == '"' || q == '\'') {
            ++m_pos;
            while (m_pos < m_n && m_p[m_pos] != static_cast<uint8_t>(q))
                value += LowerChar(static_cast<char>(m_p[m_pos++]));
            if (m_pos >= m_n) return -1;
            ++m_pos;
            return 1;
        }
        if (q == '>') return 1;
        while (m_pos < m_n && !IsHtmlSpace(m_p[m_pos]) && m_p[m_pos] != '>')
            value += LowerChar(static_cast<char>(m_p[m_pos++]));
        return m_pos >= m_n ? -1 : 1;
    }

    static bool CharsetFromContent(const std::string& s, std::string& out) {
        size_t pos = 0;
        for (;;) {
            pos = s.find("charset", pos);
            if (pos == std::string::npos) return false;
            pos += 7;
            while (pos < s.size() && IsHtmlSpace(static_cast<unsigned char>(s[pos]))) ++pos;
            if (pos >= s.size() || s[pos] != '=') continue;
            ++pos;
            while (pos < s.size() && IsHtmlSpace(static_cast<unsigned char>(s[pos]))) ++pos;
            if (pos >= s.size()) return false;
            if (s[pos] == '"' || s[pos] == '\'') {
                const size_t end = s.find(s[pos], pos + 1);
                if (end == std::string::npos) return false;
                out = s.substr(pos + 1, end - pos - 1);
                return true;
            }
            size_t end = pos;
            while (end < s.size() && !IsHtmlSpace(static_cast<unsigned char>(s[end])) && s[end] != ';') ++end;
            out = s.substr(pos, end - pos);
            return true;
        }
    }

    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

// encoding="..." of an XML declaration at the very start.
std::string XmlDeclarationEncoding(const uint8_t* p, size_t n) {
    const std::string head(reinterpret_cast<const char*>(p), std::min<size_t>(n, 1024));
    if (head.compare(0, 5, "<?xml") != 0 || head.size() < 6 || !IsHtmlSpace(static_cast<unsigned char>(head[5])))
        return "";
    const size_t end = head.find("?>");
    if (end == std::string::npos) return "";
    size_t pos = head.find("encoding", 5);
    if (pos == std::string::npos || pos > end) return "";
    pos += 8;
    while (pos < end && IsHtmlSpace(static_cast<unsigned char>(head[pos]))) ++pos;
    if (pos >= end || head[pos] != '=') return "";
    ++pos;
    while (pos < end && IsHtmlSpace(static_cast<unsigned char>(head[pos]))) ++pos;
    if (pos >= end || (head[pos] != '"' && head[pos] != '\'')) return "";
    const size_t close = head.find(head[pos], pos + 1);
    if (close == std::string::npos || close > end) return "";
    std::string enc = EncodingForLabel(head.substr(pos + 1, close - pos - 1));
    if (enc == "UTF-16LE" || enc == "UTF-16BE") enc = "UTF-8";
    return enc;
}

// The encoding and the length of the byte order mark.
std::string DetectEncoding(const uint8_t* p, size_t n, const std::string& httpCharset, size_t* pBom, int* pFrom) {
    *pBom = 0;
    *pFrom = kEncodingFromPage;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        *pBom = 3;
        return "UTF-8";
    }
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        *pBom = 2;
        return "UTF-16BE";
    }
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        *pBom = 2;
        return "UTF-16LE";
    }
    std::string enc = EncodingForLabel(httpCharset);
    // Said by the server; the page may say so too.
    const std::string inPage = [&] {
        std::string e = CPrescan(p, std::min<size_t>(n, 1024)).Run();
        return e.empty() ? XmlDeclarationEncoding(p, n) : e;
    }();
    if (!enc.empty()) {
        // A page that names another encoding than its server did would be
        // read by its own mark once stored, and shown garbled.
        if (inPage.empty() || EncodingForLabel(inPage) != enc) *pFrom = kEncodingFromHttp;
        return enc;
    }
    if (!inPage.empty()) return inPage;
    *pFrom = kEncodingGuessed;
    return IsUtf8(p, n) ? "UTF-8" : "WINDOWS-1252";
}

// --------------------------------------------------------------- decoding

void DecodeUtf16(const uint8_t* p, size_t n, size_t start, bool bigEndian, CHtmlScan& scan) {
    std::string& out = scan.m_strText;
    std::vector<size_t>& map = scan.m_offsetMap;
    out.reserve(n);
    map.reserve(n + 1);
    auto unit = [&](size_t i) -> uint32_t {
        return bigEndian ? (static_cast<uint32_t>(p[i]) << 8) | p[i + 1]
                         : (static_cast<uint32_t>(p[i + 1]) << 8) | p[i];
    };
    size_t i = start;
    while (i + 1 < n) {
        const size_t at = i;
        uint32_t cp = unit(i);
        i += 2;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
            const uint32_t lo = unit(i);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        const size_t before = out.size();
        AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD
        map.insert(map.end(), out.size() - before, at);
    }
    if (i < n) {  // an odd last byte
        const size_t before = out.size();
        AppendUtf8(out, 0xFFFD);
        map.insert(map.end(), out.size() - before, i);
    }
    map.push_back(n);
}

// One character at a time, so that every output byte knows the input
// bytes it came from. A byte that starts no valid character becomes
// U+FFFD and reading goes on at the next byte.
void DecodeLegacy(const uint8_t* p, size_t n, const std::string& encoding, CHtmlScan& scan) {
    std::string& out = scan.m_strText;
    std::vector<size_t>& map = scan.m_offsetMap;
    out.reserve(n + n / 2);
    map.reserve(n + n / 2 + 1);
    CIconv cv("UTF-8", IconvName(encoding));
    const bool ascii = AsciiCompatible(encoding);
    size_t pos = 0;
    // Bytes of a shift sequence belong to the character after them, so
    // that a span starting there takes the sequence along.
    size_t shiftStart = std::string::npos;
    auto emit = [&](const char* p8, size_t len, size_t at) {
        if (shiftStart != std::string::npos) at = shiftStart;
        shiftStart = std::string::npos;
        out.append(p8, len);
        map.insert(map.end(), len, at);
    };
    while (pos < n) {
        if (ascii && p[pos] < 0x80) {
            emit(reinterpret_cast<const char*>(p + pos), 1, pos);
            ++pos;
            continue;
        }
        bool done = false;
        if (cv.ok()) {
            for (size_t k = 1; k <= 4 && pos + k <= n; ++k) {
                char* src = const_cast<char*>(reinterpret_cast<const char*>(p + pos));
                size_t left = k;
                char buf[32];
                char* dst = buf;
                size_t room = sizeof buf;
                const size_t r = iconv(cv.get(), &src, &left, &dst, &room);
                const size_t used = k - left;
                if (used > 0) {
                    if (dst == buf) {
                        if (shiftStart == std::string::npos) shiftStart = pos;
                    } else {
                        emit(buf, static_cast<size_t>(dst - buf), pos);
                    }
                    pos += used;
                    done = true;
                    break;
                }
                if (r == static_cast<size_t>(-1) && errno == EINVAL) continue;  // not the whole character yet
                break;
            }
        }
        if (!done) {
            std::string bad;
            AppendUtf8(bad, 0xFFFD);
            emit(bad.data(), bad.size(), pos);
            ++pos;
        }
    }
    map.push_back(n);
}

// --------------------------------------------------------------- the walk

bool IsPlaceholderUrl(const std::string& raw) {
    const std::string v = Lower(Trim(raw));
    if (v.empty() || v.compare(0, 5, "data:") == 0) return true;
    std::string path = v.substr(0, v.find_first_of("?#"));
    path = path.substr(0, path.find_first_of(" \t\n\f\r,"));  // the first srcset candidate
    const size_t slash = path.rfind('/');
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    static const char* const kWords[] = {"blank", "placeholder", "spacer",  "pixel", "transparent",
                                         "1x1",   "lazy",        "loading", "grey",  "gray"};
    for (const char* w : kWords)
        if (file.find(w) != std::string::npos) return true;
    return false;
}

// What a parse may hold: the tree, the scan text and the references. Past it
// the parse is abandoned by an exception, which the arena makes safe: the
// parser owns nothing the arena does not free.
struct CTooLargeToParse {};
class CParseBound {
public:
    explicit CParseBound(size_t nMax) : m_nMax(nMax) {}
    void Charge(size_t n) {
        if (n > m_nMax - m_nUsed) throw CTooLargeToParse();
        m_nUsed += n;
    }
    void Release(size_t n) { m_nUsed -= std::min(n, m_nUsed); }
    size_t Used() const { return m_nUsed; }

private:
    size_t m_nMax;
    size_t m_nUsed = 0;
};

// A reference's cost: itself twice (the vector's spare room, the copy that
// drops duplicates) and the text of its strings beyond what they hold inline.
size_t RefBytes(const CHtmlRef& r) {
    size_t n = 2 * sizeof(CHtmlRef);
    for (const std::string* s : {&r.m_strValue, &r.m_strBefore, &r.m_strAfter, &r.m_strTag})
        if (s->capacity() > 15) n += s->capacity() + 1;
    return n;
}

class CCollector {
public:
    CCollector(const std::string& text, std::vector<CHtmlRef>& refs, CParseBound& bound)
        : m_text(text), m_refs(refs), m_bound(bound) {
        size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        while (i < text.size() && IsHtmlSpace(static_cast<unsigned char>(text[i]))) ++i;
        m_bXml = text.compare(i, 5, "<?xml") == 0;
    }

    void Walk(const GumboNode* root) {
        std::vector<const GumboNode*> stack{root};
        while (!stack.empty()) {
            const GumboNode* node = stack.back();
            stack.pop_back();
            const GumboVector* children = nullptr;
            switch (node->type) {
                case GUMBO_NODE_DOCUMENT: children = &node->v.document.children; break;
                case GUMBO_NODE_ELEMENT:
                case GUMBO_NODE_TEMPLATE:
                    Element(node->v.element);
                    children = &node->v.element.children;
                    break;
                case GUMBO_NODE_COMMENT: Comment(node->v.text); break;
                default: break;
            }
            for (; m_nCharged < m_refs.size(); ++m_nCharged) m_bound.Charge(RefBytes(m_refs[m_nCharged]));
            if (!children) continue;
            for (unsigned i = children->length; i-- > 0;)
                stack.push_back(static_cast<const GumboNode*>(children->data[i]));
        }
    }

private:
    bool Inside(const char* p, size_t n) const {
        const char* b = m_text.data();
        return p && p >= b && p <= b + m_text.size() && n <= static_cast<size_t>(b + m_text.size() - p);
    }

    static const GumboAttribute* Attr(const GumboElement& e, const char* name) {
        return gumbo_get_attribute(&e.attributes, name);
    }

    // The first of the names present with a non-blank value.
    static const GumboAttribute* FirstAttr(const GumboElement& e, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const GumboAttribute* a = Attr(e, name);
            if (a && !Trim(a->value).empty()) return a;
        }
        return nullptr;
    }

    std::string TagName(const GumboElement& e) const {
        if (e.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(e.tag);
        GumboStringPiece piece = e.original_tag;
        if (!Inside(piece.data, piece.length) || piece.length < 2) return "";
        gumbo_tag_from_original_text(&piece);
        return Lower(std::string(piece.data, piece.length));
    }

    // Where an attribute can be inserted: just after the tag name in the
    // source, npos when the element has no start tag of its own there.
    size_t TagNameEnd(const GumboElement& e) const {
        GumboStringPiece piece = e.original_tag;
        if (!Inside(piece.data, piece.length) || piece.length < 3 || piece.data[0] != '<' || piece.data[1] == '/')
            return std::string::npos;
        const char* tagEnd = piece.data + piece.length;
        gumbo_tag_from_original_text(&piece);
        if (!Inside(piece.data, piece.length) || piece.data + piece.length > tagEnd) return std::string::npos;
        return static_cast<size_t>(piece.data + piece.length - m_text.data());
    }

    // The span of an attribute's value, when it is one that can be trusted:
    // in the page, and reading as the value unless something in it was
    // decoded (a reference, a carriage return, a NUL, a byte that is no
    // UTF-8).
    bool Span(const GumboAttribute* a, CHtmlRef& ref) const {
        const GumboStringPiece& ov = a->original_value;
        if (!ov.data || ov.length == 0 || !Inside(ov.data, ov.length)) return false;
        const char* s = ov.data;
        size_t len = ov.length;
        char q = 0;
        if (*s == '"' || *s == '\'') {
            q = *s;
            if (len < 2 || s[len - 1] != q) return false;
            ++s;
            len -= 2;
        }
        ref.m_nOffset = static_cast<size_t>(s - m_text.data());
        ref.m_nLength = len;
        ref.m_cQuote = q;
        ref.m_strValue = a->value ? a->value : "";
        ref.m_bVerbatim = ref.m_strValue.size() == len && std::memcmp(s, ref.m_strValue.data(), len) == 0;
        if (!ref.m_bVerbatim) {
            bool decodable = false;
            for (size_t i = 0; i < len && !decodable; ++i) {
                const unsigned char c = static_cast<unsigned char>(s[i]);
                decodable = c == '&' || c == '\r' || c == 0 || c >= 0x80;
            }
            if (!decodable) return false;
        }
        return true;
    }

    enum : unsigned { kSkipFragment = 1, kSkipScriptish = 2 };

    static bool Wanted(const std::string& value, unsigned flags) {
        const std::string v = Trim(value);
        if (v.empty()) return false;
        if ((flags & kSkipFragment) && v[0] == '#') return false;
        if ((flags & kSkipScriptish) && (StartsWithNoCase(v, "about:") || StartsWithNoCase(v, "javascript:")))
            return false;
        return true;
    }

    void Add(const GumboAttribute* a, int kind, const std::string& tag, unsigned flags = 0) {
        if (!a) return;
        CHtmlRef ref;
        if (!Span(a, ref) || !Wanted(ref.m_strValue, flags)) return;
        ref.m_nKind = kind;
        ref.m_strTag = tag;
        m_refs.push_back(std::move(ref));
    }

    // src (or srcset) of an image or frame whose real address may wait in
    // a data- attribute for a script that never runs offline.
    void LazyAttr(const GumboElement& e, const std::string& tag, const char* name,
                  std::initializer_list<const char*> dataNames, int kind, unsigned flags) {
        const GumboAttribute* a = Attr(e, name);
        const GumboAttribute* data = FirstAttr(e, dataNames);
        // The loader script that moves it into place runs offline too, and
        // must find the stored file there.
        Add(data, kind, tag, flags);
        if (!data || (a && !IsPlaceholderUrl(a->value))) {
            Add(a, kind, tag, flags);
            return;
        }
        if (!Wanted(data->value, flags)) return;
        CHtmlRef ref;
        if (a) {
            // A src without a value cannot take one: a second src would
            // be ignored.
            if (!Span(a, ref)) return;
        } else {
            const size_t at = TagNameEnd(e);
            if (at == std::string::npos) return;
            ref.m_nOffset = at;
            ref.m_nLength = 0;
            ref.m_cQuote = '"';
            ref.m_strBefore = std::string(" ") + name + "=\"";
            ref.m_strAfter = "\"";
        }
        ref.m_strValue = data->value;
        ref.m_bVerbatim = false;
        ref.m_bLazy = true;
        ref.m_nKind = kind;
        ref.m_strTag = tag;
        m_refs.push_back(std::move(ref));
    }

    // An XML page shown through an XSL names its pictures in its own
    // elements (<item image="a.png">), and the transformation makes
    // references of them: values that name a picture, a sound or a film by
    // a relative address are taken as such.
    void DataFiles(const GumboElement& e, const std::string& tag) {
        static const char* const kExts[] = {"png", "jpg",  "jpeg", "gif", "webp", "svg", "ico", "bmp",
                                            "avif", "mp3", "mp4",  "webm", "ogg", "wav"};
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            const std::string v = Trim(a->value);
            if (v.empty() || v.size() > 2048 || v.find_first_of("{}<>\"' \t\r\n") != std::string::npos) continue;
            if (v.find("://") != std::string::npos || v.compare(0, 2, "//") == 0 || v.find(':') != std::string::npos)
                continue;
            const std::string path = v.substr(0, v.find_first_of("?#"));
            const size_t dot = path.rfind('.');
            if (dot == std::string::npos || path.find('/', dot) != std::string::npos) continue;
            const std::string ext = Lower(path.substr(dot + 1));
            if (std::find(std::begin(kExts), std::end(kExts), ext) == std::end(kExts)) continue;
            Add(a, kHtmlResource, tag);
        }
    }

    void LazyFlag(const GumboElement& e, const std::string& tag) {
        const GumboAttribute* a = Attr(e, "loading");
        if (!a || Lower(a->value) != "lazy") return;
        CHtmlRef ref;
        if (!Span(a, ref)) return;
        ref.m_nKind = kHtmlLazyFlag;
        ref.m_strTag = tag;
        m_refs.push_back(std::move(ref));
    }

    void Link(const GumboElement& e) {
        const GumboAttribute* rel = Attr(e, "rel");
        if (!rel) return;
        bool sheet = false, resource = false, preload = false;
        const std::string rels = Lower(rel->value);
        size_t pos = 0;
        while (pos < rels.size()) {
            while (pos < rels.size() && IsHtmlSpace(static_cast<unsigned char>(rels[pos]))) ++pos;
            size_t end = pos;
            while (end < rels.size() && !IsHtmlSpace(static_cast<unsigned char>(rels[end]))) ++end;
            const std::string token = rels.substr(pos, end - pos);
            pos = end;
            if (token == "stylesheet") sheet = true;
            if (token == "icon" || token == "apple-touch-icon" || token == "modulepreload") resource = true;
            if (token == "preload") preload = true;
        }
        if (preload) {
            const GumboAttribute* as = Attr(e, "as");
            if (as && Lower(Trim(as->value)) == "style")
                sheet = true;
            else
                resource = true;
        }
        if (sheet)
            Add(Attr(e, "href"), kHtmlStylesheet, "link");
        else if (resource)
            Add(Attr(e, "href"), kHtmlResource, "link");
    }

    // The text of a style element. In HTML it is raw text, read as it
    // stands; in SVG it is ordinary text where references are decoded.
    void StyleText(const GumboElement& e, bool raw) {
        const GumboVector& kids = e.children;
        if (kids.length == 0) return;
        const char* begin = nullptr;
        const char* end = nullptr;
        std::string decoded;
        for (unsigned i = 0; i < kids.length; ++i) {
            const GumboNode* kid = static_cast<const GumboNode*>(kids.data[i]);
            if (kid->type != GUMBO_NODE_TEXT && kid->type != GUMBO_NODE_WHITESPACE && kid->type != GUMBO_NODE_CDATA)
                return;
            const GumboStringPiece& t = kid->v.text.original_text;
            if (!Inside(t.data, t.length) || (end && t.data != end)) return;
            if (!begin) begin = t.data;
            end = t.data + t.length;
            if (kid->v.text.text) decoded += kid->v.text.text;
        }
        if (!begin) return;
        CHtmlRef ref;
        ref.m_nKind = kHtmlStyleText;
        ref.m_nOffset = static_cast<size_t>(begin - m_text.data());
        ref.m_nLength = static_cast<size_t>(end - begin);
        ref.m_bElementText = true;
        ref.m_strTag = "style";
        ref.m_strValue.assign(begin, ref.m_nLength);
        if (!raw && decoded != ref.m_strValue) {
            // CDATA sections and references: the span does not read as
            // the value.
            ref.m_strValue = decoded;
            ref.m_bVerbatim = false;
            if (kids.length != 1 || static_cast<const GumboNode*>(kids.data[0])->type == GUMBO_NODE_CDATA) return;
        }
        m_refs.push_back(std::move(ref));
    }

    void Element(const GumboElement& e) {
        const std::string tag = TagName(e);
        Add(Attr(e, "style"), kHtmlStyleText, tag);
        Add(Attr(e, "background"), kHtmlResource, tag);
        if (e.tag_namespace == GUMBO_NAMESPACE_SVG) {
            if (tag == "image" || tag == "use" || tag == "feimage") {
                Add(Attr(e, "href"), kHtmlResource, tag, kSkipFragment);
                Add(Attr(e, "xlink:href"), kHtmlResource, tag, kSkipFragment);
            } else if (tag == "a") {
                Add(Attr(e, "href"), kHtmlHyperlink, tag, kSkipFragment);
                Add(Attr(e, "xlink:href"), kHtmlHyperlink, tag, kSkipFragment);
            } else if (tag == "style") {
                StyleText(e, false);
            }
            return;
        }
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML) return;
        switch (e.tag) {
            case GUMBO_TAG_IMG:
                LazyAttr(e, tag, "src", {"data-src", "data-lazy-src", "data-original"}, kHtmlResource, 0);
                LazyAttr(e, tag, "srcset", {"data-srcset", "data-lazy-srcset"}, kHtmlSrcset, 0);
                LazyFlag(e, tag);
                break;
            case GUMBO_TAG_SOURCE:
                LazyAttr(e, tag, "src", {"data-src", "data-lazy-src", "data-original"}, kHtmlResource, 0);
                LazyAttr(e, tag, "srcset", {"data-srcset", "data-lazy-srcset"}, kHtmlSrcset, 0);
                break;
            case GUMBO_TAG_IFRAME:
                LazyAttr(e, tag, "src", {"data-src", "data-lazy-src", "data-original"}, kHtmlDocument, kSkipScriptish);
                LazyFlag(e, tag);
                break;
            case GUMBO_TAG_FRAME: Add(Attr(e, "src"), kHtmlDocument, tag, kSkipScriptish); break;
            case GUMBO_TAG_INPUT: {
                const GumboAttribute* type = Attr(e, "type");
                if (type && Lower(Trim(type->value)) == "image") Add(Attr(e, "src"), kHtmlResource, tag);
                break;
            }
            case GUMBO_TAG_LINK: Link(e); break;
            case GUMBO_TAG_SCRIPT:
            case GUMBO_TAG_AUDIO:
            case GUMBO_TAG_TRACK:
            case GUMBO_TAG_EMBED: Add(Attr(e, "src"), kHtmlResource, tag); break;
            case GUMBO_TAG_VIDEO:
                Add(Attr(e, "poster"), kHtmlResource, tag);
                Add(Attr(e, "src"), kHtmlResource, tag);
                break;
            case GUMBO_TAG_OBJECT: Add(Attr(e, "data"), kHtmlResource, tag); break;
            case GUMBO_TAG_STYLE: StyleText(e, true); break;
            case GUMBO_TAG_A:
            case GUMBO_TAG_AREA: Add(Attr(e, "href"), kHtmlHyperlink, tag, kSkipFragment); break;
            case GUMBO_TAG_BASE: {
                const GumboAttribute* href = Attr(e, "href");
                if (href && !m_bBaseSeen) {
                    m_bBaseSeen = true;
                    Add(href, kHtmlBase, tag);
                }
                break;
            }
            case GUMBO_TAG_UNKNOWN:
                // An XSL stylesheet read as HTML.
                if (tag == "xsl:import" || tag == "xsl:include") Add(Attr(e, "href"), kHtmlDocument, tag);
                else if (m_bXml && tag.compare(0, 4, "xsl:") != 0) DataFiles(e, tag);
                break;
            default: break;
        }
    }

    // <?xml-stylesheet href="..." type="..."?>, which the HTML parser
    // keeps as a comment.
    void Comment(const GumboText& c) {
        const GumboStringPiece& t = c.original_text;
        if (!Inside(t.data, t.length)) return;
        if (!StartsWithNoCase(t.data, t.length, "<?xml-stylesheet") &&
            !StartsWithNoCase(t.data, t.length, "<?xml:stylesheet"))
            return;
        const char* p = t.data;
        size_t end = t.length;
        if (end > 0 && p[end - 1] == '>') --end;
        if (end > 0 && p[end - 1] == '?') --end;
        size_t pos = 16;
        CHtmlRef href;
        bool haveHref = false;
        std::string type;
        while (pos < end) {
            while (pos < end && IsHtmlSpace(static_cast<unsigned char>(p[pos]))) ++pos;
            const size_t nameStart = pos;
            while (pos < end && !IsHtmlSpace(static_cast<unsigned char>(p[pos])) && p[pos] != '=') ++pos;
            const std::string name = Lower(std::string(p + nameStart, pos - nameStart));
            while (pos < end && IsHtmlSpace(static_cast<unsigned char>(p[pos]))) ++pos;
            if (name.empty() || pos >= end || p[pos] != '=') break;
            ++pos;
            while (pos < end && IsHtmlSpace(static_cast<unsigned char>(p[pos]))) ++pos;
            if (pos >= end || (p[pos] != '"' && p[pos] != '\'')) break;
            const char q = p[pos++];
            const size_t valueStart = pos;
            while (pos < end && p[pos] != q) ++pos;
            if (pos >= end) break;
            const std::string raw(p + valueStart, pos - valueStart);
            ++pos;
            if (name == "href" && !haveHref) {
                haveHref = true;
                href.m_nOffset = static_cast<size_t>(p + valueStart - m_text.data());
                href.m_nLength = raw.size();
                href.m_cQuote = q;
                href.m_strValue = DecodeXmlText(raw);
                href.m_bVerbatim = href.m_strValue == raw;
            } else if (name == "type") {
                type = Lower(Trim(DecodeXmlText(raw)));
            }
        }
        if (!haveHref || !Wanted(href.m_strValue, 0)) return;
        href.m_nKind = type == "text/css" ? kHtmlStylesheet : kHtmlDocument;
        href.m_strTag = "?xml-stylesheet";
        m_refs.push_back(std::move(href));
    }

    // The references XML knows: the five named ones and numeric ones.
    static std::string DecodeXmlText(const std::string& s) {
        if (s.find('&') == std::string::npos) return s;
        std::string out;
        size_t i = 0;
        while (i < s.size()) {
            if (s[i] != '&') {
                out += s[i++];
                continue;
            }
            const size_t semi = s.find(';', i);
            if (semi == std::string::npos || semi - i > 10) {
                out += s[i++];
                continue;
            }
            const std::string name = s.substr(i + 1, semi - i - 1);
            uint32_t cp = 0;
            if (name == "amp")
                cp = '&';
            else if (name == "lt")
                cp = '<';
            else if (name == "gt")
                cp = '>';
            else if (name == "quot")
                cp = '"';
            else if (name == "apos")
                cp = '\'';
            else if (name.size() > 1 && name[0] == '#') {
                const bool hex = name[1] == 'x' || name[1] == 'X';
                const std::string digits = name.substr(hex ? 2 : 1);
                if (!digits.empty() &&
                    digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos)
                    cp = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
                if (cp == 0 || cp > 0x10FFFF) cp = 0xFFFD;
            }
            if (cp == 0) {
                out += s[i++];
                continue;
            }
            AppendUtf8(out, cp);
            i = semi + 1;
        }
        return out;
    }

    const std::string& m_text;
    std::vector<CHtmlRef>& m_refs;
    CParseBound& m_bound;
    size_t m_nCharged = 0;  // references counted against the bound
    bool m_bXml = false;  // a page that starts with an XML declaration
    bool m_bBaseSeen = false;
};

// ---------------------------------------------------------------- writing

// Escapes of an attribute value; `whole` when it is all of an unquoted
// value, which cannot be empty.
std::string EscapeAttr(const std::string& value, char cQuote, bool whole) {
    std::string out;
    out.reserve(value.size() + 8);
    for (const char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"':
                if (cQuote == '\'')
                    out += c;
                else
                    out += "&quot;";
                break;
            case '\'':
                if (cQuote == '"')
                    out += c;
                else
                    out += "&#39;";
                break;
            case ' ':
            case '\t':
            case '\n':
            case '\f':
            case '\r':
            case '=':
            case '`':
                if (cQuote)
                    out += c;
                else
                    out += "&#" + std::to_string(static_cast<int>(c)) + ";";
                break;
            default: out += c;
        }
    }
    // An empty unquoted value would take the next attribute for its own.
    if (whole && !cQuote && out.empty()) out = "\"\"";
    return out;
}

std::string EscapeElementText(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// Writes UTF-8 text in the page's encoding. A character the encoding lacks
// becomes a reference that reads back as it: &#N; in markup, a CSS escape
// inside a style element.
class CEncoder {
public:
    explicit CEncoder(const std::string& encoding)
        : m_encoding(encoding),
          m_bUtf8(encoding == "UTF-8"),
          m_bUtf16(encoding == "UTF-16LE" || encoding == "UTF-16BE"),
          m_bBigEndian(encoding == "UTF-16BE"),
          m_bAscii(AsciiCompatible(encoding)),
          m_cv(m_bUtf8 || m_bUtf16 ? "UTF-8" : IconvName(encoding), "UTF-8") {}

    void Write(const std::string& text, bool css, std::vector<uint8_t>& out) {
        if (m_bUtf8) {
            out.insert(out.end(), text.begin(), text.end());
            return;
        }
        if (m_bUtf16) {
            ForEachCodePoint(text, [&](uint32_t cp, const char*, size_t) {
                if (cp >= 0x10000) {
                    Unit(0xD800 + ((cp - 0x10000) >> 10), out);
                    Unit(0xDC00 + ((cp - 0x10000) & 0x3FF), out);
                } else {
                    Unit(cp, out);
                }
            });
            return;
        }
        ForEachCodePoint(text, [&](uint32_t cp, const char*, size_t) {
            if (m_bAscii && cp < 0x80) {
                out.push_back(static_cast<uint8_t>(cp));
                return;
            }
            if (m_cv.ok() && cp != 0xFFFD) {
                std::string utf8;
                AppendUtf8(utf8, cp);
                char* src = utf8.data();
                size_t left = utf8.size();
                char buf[32];
                char* dst = buf;
                size_t room = sizeof buf;
                if (iconv(m_cv.get(), &src, &left, &dst, &room) != static_cast<size_t>(-1) && left == 0) {
                    out.insert(out.end(), buf, dst);
                    return;
                }
                iconv(m_cv.get(), nullptr, nullptr, nullptr, nullptr);
            }
            Shift(out);
            char ref[24];
            if (css)
                std::snprintf(ref, sizeof ref, "\\%X ", cp);
            else
                std::snprintf(ref, sizeof ref, "&#%u;", cp);
            out.insert(out.end(), ref, ref + std::strlen(ref));
        });
        Shift(out);
    }

private:
    void Unit(uint32_t u, std::vector<uint8_t>& out) const {
        const uint8_t hi = static_cast<uint8_t>(u >> 8), lo = static_cast<uint8_t>(u & 0xFF);
        if (m_bBigEndian) {
            out.push_back(hi);
            out.push_back(lo);
        } else {
            out.push_back(lo);
            out.push_back(hi);
        }
    }

    // Back to the initial (ASCII) state of a stateful encoding.
    void Shift(std::vector<uint8_t>& out) {
        if (!m_cv.ok() || m_bUtf8 || m_bUtf16) return;
        char buf[16];
        char* dst = buf;
        size_t room = sizeof buf;
        iconv(m_cv.get(), nullptr, nullptr, &dst, &room);
        out.insert(out.end(), buf, dst);
    }

    std::string m_encoding;
    bool m_bUtf8, m_bUtf16, m_bBigEndian, m_bAscii;
    CIconv m_cv;
};

// The parser's memory, released at once: gumbo frees its tree by recursion,
// which a page of a few hundred thousand nested tags would take beyond the
// stack. Each block is linked in a list so the parser may still free the
// ones it is done with.
class CParseArena {
public:
    explicit CParseArena(CParseBound& bound) : m_bound(bound) { m_head.m_pPrev = m_head.m_pNext = &m_head; }
    ~CParseArena() {
        for (Block* b = m_head.m_pNext; b != &m_head;) {
            Block* next = b->m_pNext;
            m_bound.Release(b->m_nSize);
            std::free(b);
            b = next;
        }
    }
    CParseArena(const CParseArena&) = delete;
    CParseArena& operator=(const CParseArena&) = delete;

    void Install(GumboOptions& options) {
        options.allocator = &CParseArena::Alloc;
        options.deallocator = &CParseArena::Free;
        options.userdata = this;
    }

private:
    struct alignas(std::max_align_t) Block {
        Block* m_pPrev;
        Block* m_pNext;
        size_t m_nSize;  // with this header
    };

    static void* Alloc(void* self, size_t size) {
        CParseArena* arena = static_cast<CParseArena*>(self);
        arena->m_bound.Charge(sizeof(Block) + size);
        Block* b = static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (!b) {
            arena->m_bound.Release(sizeof(Block) + size);
            throw std::bad_alloc();
        }
        b->m_nSize = sizeof(Block) + size;
        b->m_pNext = arena->m_head.m_pNext;
        b->m_pPrev = &arena->m_head;
        b->m_pNext->m_pPrev = b;
        arena->m_head.m_pNext = b;
        return b + 1;
    }

    static void Free(void* self, void* p) {
        if (!p) return;
        Block* b = static_cast<Block*>(p) - 1;
        static_cast<CParseArena*>(self)->m_bound.Release(b->m_nSize);
        b->m_pPrev->m_pNext = b->m_pNext;
        b->m_pNext->m_pPrev = b->m_pPrev;
        std::free(b);
    }

    CParseBound& m_bound;
    Block m_head;
};

void ParseInto(CHtmlScan& scan, const uint8_t* pData, size_t nLength, size_t bom, CParseBound& bound) {
    size_t parseFrom = 0;
    if (scan.m_strEncoding == "UTF-8") {
        if (nLength) scan.m_strText.assign(reinterpret_cast<const char*>(pData), nLength);
        parseFrom = bom;  // the parser would take the mark for text
    } else if (scan.m_strEncoding == "UTF-16LE" || scan.m_strEncoding == "UTF-16BE") {
        DecodeUtf16(pData, nLength, bom, scan.m_strEncoding == "UTF-16BE", scan);
    } else {
        DecodeLegacy(pData, nLength, scan.m_strEncoding, scan);
    }
    const size_t nText = scan.m_strText.capacity() + scan.m_offsetMap.capacity() * sizeof(size_t);
    if (nText > nLength) bound.Charge(nText - nLength);

    {
        CParseArena arena(bound);
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;  // nobody reads them
        arena.Install(options);
        const GumboOutput* output =
            gumbo_parse_with_options(&options, scan.m_strText.data() + parseFrom, scan.m_strText.size() - parseFrom);
        if (output) CCollector(scan.m_strText, scan.m_refs, bound).Walk(output->document);
    }

    std::stable_sort(scan.m_refs.begin(), scan.m_refs.end(),
                     [](const CHtmlRef& a, const CHtmlRef& b) { return a.m_nOffset < b.m_nOffset; });
    // Elements the parser re-creates (formatting elements reopened after a
    // misnested tag) share their attributes' source with the original.
    std::vector<CHtmlRef> unique;
    unique.reserve(scan.m_refs.size());
    for (CHtmlRef& ref : scan.m_refs) {
        bool dup = false;
        for (size_t i = unique.size(); i-- > 0 && unique[i].m_nOffset == ref.m_nOffset;) {
            if (unique[i].m_nLength == ref.m_nLength && unique[i].m_nKind == ref.m_nKind) dup = true;
        }
        if (!dup) unique.push_back(std::move(ref));
    }
    scan.m_refs.swap(unique);
}

}  // namespace

CHtmlScan ScanHtml(const uint8_t* pData, size_t nLength, const std::string& strHttpCharset, size_t nMaxBytes) {
    CHtmlScan scan;
    if (!pData) nLength = 0;
    size_t bom = 0;
    scan.m_strEncoding = DetectEncoding(pData, nLength, strHttpCharset, &bom, &scan.m_nEncodingFrom);
    CParseBound bound(nMaxBytes);
    try {
        // The text is at least a copy of the page: a page past the bound is
        // not even decoded.
        bound.Charge(nLength);
        ParseInto(scan, pData, nLength, bom, bound);
    } catch (const CTooLargeToParse&) {
        CHtmlScan refused;
        refused.m_strEncoding = scan.m_strEncoding;
        refused.m_nEncodingFrom = scan.m_nEncodingFrom;
        refused.m_bTooLarge = true;
        return refused;
    }
    scan.m_nBytes = bound.Used();
    return scan;
}

std::vector<uint8_t> ApplyPageEdits(const CHtmlScan& scan, const uint8_t* pData, size_t nLength,
                                    std::vector<CPageEdit> edits) {
    if (!pData) nLength = 0;
    std::stable_sort(edits.begin(), edits.end(),
                     [](const CPageEdit& a, const CPageEdit& b) { return a.m_nOffset < b.m_nOffset; });
    const size_t textSize = scan.m_strText.size();
    const std::vector<size_t>& map = scan.m_offsetMap;
    const bool mapped = !map.empty();
    // A scan offset as a page offset, npos when it falls inside a character.
    auto toPage = [&](size_t off) -> size_t {
        if (!mapped) return off;
        if (off >= map.size()) return std::string::npos;
        if (off > 0 && off < textSize && map[off] == map[off - 1]) return std::string::npos;
        return map[off];
    };
    // Style elements' text, in order and apart: characters the encoding
    // lacks are written there as CSS escapes.
    std::vector<std::pair<size_t, size_t>> cssSpans;
    for (const CHtmlRef& ref : scan.m_refs)
        if (ref.m_bElementText) cssSpans.emplace_back(ref.m_nOffset, ref.m_nOffset + ref.m_nLength);
    auto inCss = [&](size_t b, size_t e) {
        auto it = std::upper_bound(cssSpans.begin(), cssSpans.end(), b,
                                   [](size_t v, const std::pair<size_t, size_t>& s) { return v < s.first; });
        if (it == cssSpans.begin()) return false;
        --it;
        return b >= it->first && e <= it->second;
    };

    CEncoder encoder(scan.m_strEncoding);
    std::vector<uint8_t> out;
    out.reserve(nLength + nLength / 8);
    size_t copied = 0;   // page bytes written up to here
    size_t scanEnd = 0;  // end of the last edit made, in the scan text
    for (const CPageEdit& e : edits) {
        if (e.m_nOffset > textSize || e.m_nLength > textSize - e.m_nOffset) continue;
        if (e.m_nOffset < scanEnd) continue;
        const size_t b = toPage(e.m_nOffset), end = toPage(e.m_nOffset + e.m_nLength);
        if (b == std::string::npos || end == std::string::npos || b < copied || end < b || end > nLength) continue;
        out.insert(out.end(), pData + copied, pData + b);
        encoder.Write(e.m_strText, inCss(e.m_nOffset, e.m_nOffset + e.m_nLength), out);
        copied = end;
        scanEnd = e.m_nOffset + e.m_nLength;
    }
    out.insert(out.end(), pData + copied, pData + nLength);
    return out;
}

CBodySpan FindPageBody(const CHtmlScan& scan) {
    CBodySpan span;
    const std::string& text = scan.m_strText;
    const size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    CParseBound bound(SIZE_MAX);  // the page was scanned within its bound already
    CParseArena arena(bound);
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    arena.Install(options);
    const GumboOutput* output = gumbo_parse_with_options(&options, text.data() + from, text.size() - from);
    if (!output || !output->root || output->root->type != GUMBO_NODE_ELEMENT) return span;
    const char* base = text.data();
    auto inside = [&](const GumboStringPiece& p) {
        return p.data && p.length && p.data >= base && p.data + p.length <= base + text.size();
    };
    const GumboElement& html = output->root->v.element;
    const GumboElement* body = nullptr;
    for (unsigned i = 0; i < html.children.length && !body; ++i) {
        const auto* child = static_cast<const GumboNode*>(html.children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_BODY) body = &child->v.element;
    }
    if (!body) return span;
    span.m_bFound = true;
    if (inside(body->original_end_tag))
        span.m_nContentEnd = static_cast<size_t>(body->original_end_tag.data - base);
    else if (inside(html.original_end_tag))
        span.m_nContentEnd = static_cast<size_t>(html.original_end_tag.data - base);
    else
        span.m_nContentEnd = text.size();
    if (inside(body->original_tag) && body->original_tag.data[0] == '<') {
        span.m_nTagBegin = static_cast<size_t>(body->original_tag.data - base);
        span.m_nTagEnd = span.m_nTagBegin + body->original_tag.length;
        span.m_nContentBegin = span.m_nTagEnd;
    } else {
        // The body begins with its first node that stands in the page.
        span.m_nContentBegin = span.m_nContentEnd;
        for (unsigned i = 0; i < body->children.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(body->children.data[i]);
            size_t pos = std::string::npos;
            if (child->type == GUMBO_NODE_ELEMENT && inside(child->v.element.original_tag))
                pos = static_cast<size_t>(child->v.element.original_tag.data - base);
            else if (child->type != GUMBO_NODE_ELEMENT && child->type != GUMBO_NODE_TEMPLATE &&
                     inside(child->v.text.original_text))
                pos = static_cast<size_t>(child->v.text.original_text.data - base);
            if (pos != std::string::npos) {
                span.m_nContentBegin = std::min(pos, span.m_nContentEnd);
                break;
            }
        }
        span.m_nTagBegin = span.m_nTagEnd = span.m_nContentBegin;
    }
    if (span.m_nContentBegin > span.m_nContentEnd) span.m_nContentEnd = span.m_nContentBegin;
    return span;
}

std::string EncodingForCharsetLabel(const std::string& strLabel) { return EncodingForLabel(strLabel); }

std::string IconvNameForEncoding(const std::string& strEncoding) { return IconvName(strEncoding); }

std::string HtmlEscapeForAttr(const std::string& value, char cQuote) { return EscapeAttr(value, cQuote, true); }

void EditInsideRef(const CHtmlRef& ref, const std::vector<CPageEdit>& inner, std::vector<CPageEdit>& out) {
    std::vector<CPageEdit> sorted = inner;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CPageEdit& a, const CPageEdit& b) { return a.m_nOffset < b.m_nOffset; });
    // Only edits inside the value that do not overlap.
    std::vector<CPageEdit> usable;
    size_t end = 0;
    for (CPageEdit& e : sorted) {
        if (e.m_nOffset > ref.m_strValue.size() || e.m_nLength > ref.m_strValue.size() - e.m_nOffset) continue;
        if (e.m_nOffset < end) continue;
        end = e.m_nOffset + e.m_nLength;
        usable.push_back(std::move(e));
    }
    if (usable.empty() && !ref.m_bLazy) return;

    std::string value;
    size_t pos = 0;
    for (const CPageEdit& e : usable) {
        value.append(ref.m_strValue, pos, e.m_nOffset - pos);
        value += e.m_strText;
        pos = e.m_nOffset + e.m_nLength;
    }
    value.append(ref.m_strValue, pos, std::string::npos);

    const bool wholeAnew = !ref.m_bVerbatim || ref.m_bLazy || !ref.m_strBefore.empty() || !ref.m_strAfter.empty() ||
                           (!ref.m_cQuote && !ref.m_bElementText && value.empty());
    if (!wholeAnew) {
        for (const CPageEdit& e : usable) {
            CPageEdit edit;
            edit.m_nOffset = ref.m_nOffset + e.m_nOffset;
            edit.m_nLength = e.m_nLength;
            edit.m_strText = ref.m_bElementText ? e.m_strText : EscapeAttr(e.m_strText, ref.m_cQuote, false);
            out.push_back(std::move(edit));
        }
        return;
    }
    CPageEdit edit;
    edit.m_nOffset = ref.m_nOffset;
    edit.m_nLength = ref.m_nLength;
    edit.m_strText = ref.m_strBefore +
                     (ref.m_bElementText ? EscapeElementText(value) : EscapeAttr(value, ref.m_cQuote, true)) +
                     ref.m_strAfter;
    out.push_back(std::move(edit));
}
