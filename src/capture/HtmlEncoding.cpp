// Which encoding a page is in, and its reading into the UTF-8 scan text.
#include "capture/HtmlEncoding.h"
#include "platform/Charset.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace htmlenc {

// ---------------------------------------------------------------- text bits

namespace {

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

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

namespace {

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

}  // namespace

const char* IconvName(const std::string& encoding) {
    if (encoding == "SHIFT_JIS") return "CP932";
    if (encoding == "EUC-KR") return "CP949";
    if (encoding == "BIG5") return "BIG5-HKSCS";
    return encoding.c_str();
}

bool AsciiCompatible(const std::string& encoding) {
    return encoding != "ISO-2022-JP" && encoding != "UTF-16LE" && encoding != "UTF-16BE";
}

namespace {

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

}  // namespace

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

}  // namespace htmlenc

std::string EncodingForCharsetLabel(const std::string& strLabel) { return htmlenc::EncodingForLabel(strLabel); }

std::string IconvNameForEncoding(const std::string& strEncoding) { return htmlenc::IconvName(strEncoding); }

