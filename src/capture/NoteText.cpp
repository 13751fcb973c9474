#include "capture/NoteText.h"

#include "capture/PageHighlights.h"
#include "document/Records.h"
#include "platform/Charset.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace notetext {

namespace {

// Appends the full case folding of one code point. Most characters (all of
// Chinese, for one) do not change, and the property lookup that says so is
// far cheaper than folding them.
void AppendFolded(std::string& out, UChar32 cp) {
    if (!u_hasBinaryProperty(cp, UCHAR_CHANGES_WHEN_CASEFOLDED)) {
        AppendUtf8(out, static_cast<char32_t>(cp));
        return;
    }
    UChar src[2];
    int32_t nSrc = 0;
    U16_APPEND_UNSAFE(src, nSrc, cp);
    UChar dst[8];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t nDst = u_strFoldCase(dst, 8, src, nSrc, U_FOLD_CASE_DEFAULT, &err);
    if (U_FAILURE(err) || nDst > 8) {
        AppendUtf8(out, static_cast<char32_t>(cp));
        return;
    }
    for (int32_t k = 0; k < nDst;) {
        UChar32 c;
        U16_NEXT(dst, k, nDst, c);
        AppendUtf8(out, static_cast<char32_t>(c));
    }
}

// Folds `s`; when `pOrigin` is given, it receives for every output byte the
// offset in `s` of the character it came from.
void Fold(const std::string& s, std::string& out, std::vector<uint32_t>* pOrigin) {
    const int32_t n = static_cast<int32_t>(s.size());
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    int32_t i = 0;
    while (i < n) {
        const uint8_t c = p[i];
        const int32_t from = i;
        if (c < 0x80 && !pOrigin) {
            // Runs of ASCII, most of most pages, in one go.
            int32_t j = i + 1;
            while (j < n && p[j] < 0x80) ++j;
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(j - i));
            char* d = &out[at];
            for (int32_t k = i; k < j; ++k) {
                const uint8_t b = p[k];
                *d++ = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
            }
            i = j;
            continue;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
        } else {
            UChar32 cp;
            U8_NEXT(p, i, n, cp);
            if (cp < 0) {
                out.append(s, static_cast<size_t>(from), static_cast<size_t>(i - from));
            } else {
                AppendFolded(out, cp);
            }
        }
        if (pOrigin) pOrigin->resize(out.size(), static_cast<uint32_t>(from));
    }
}

std::string Utf16ToUtf8(const uint8_t* p, size_t nBytes, bool bBigEndian) {
    std::string out;
    out.reserve(nBytes / 2);
    const size_t nUnits = nBytes / 2;
    auto unit = [&](size_t k) -> uint32_t {
        const uint8_t a = p[2 * k], b = p[2 * k + 1];
        return bBigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (size_t k = 0; k < nUnits; ++k) {
        uint32_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < nUnits) {
            const uint32_t lo = unit(k + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++k;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

std::string ToUtf8(const std::string& ansi) {
    return charset::ProcessCodePageIsUtf8() ? ansi : charset::AnsiToUtf8(ansi);
}

inline bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
inline bool IsAlpha(uint8_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool IsAlnum(uint8_t c) { return IsAlpha(c) || (c >= '0' && c <= '9'); }

// A tag name of up to eight letters as one number, for quick comparison.
constexpr uint64_t Packed(const char* name) {
    uint64_t v = 0;
    for (int k = 0; k < 8 && name[k]; ++k) v |= static_cast<uint64_t>(static_cast<uint8_t>(name[k])) << (8 * k);
    return v;
}

// Tags inside a line of text: the words around them run on as written.
// Every other tag ends a word (paragraphs, cells, line breaks, images).
bool IsInlineTag(uint64_t name) {
    static const uint64_t kInline[] = {
        Packed("a"),    Packed("abbr"), Packed("b"),      Packed("bdi"),    Packed("bdo"),  Packed("big"),
        Packed("cite"), Packed("code"), Packed("data"),   Packed("dfn"),    Packed("em"),   Packed("font"),
        Packed("i"),    Packed("kbd"),  Packed("mark"),   Packed("nobr"),   Packed("q"),    Packed("s"),
        Packed("samp"), Packed("small"), Packed("span"),  Packed("strike"), Packed("strong"), Packed("sub"),
        Packed("sup"),  Packed("time"), Packed("tt"),     Packed("u"),      Packed("var"),  Packed("wbr")};
    for (uint64_t v : kInline)
        if (v == name) return true;
    return false;
}

struct CEntity {
    const char* m_name;
    uint32_t m_cp;
};
// The named references of HTML 4 that pages use in practice (Latin-1,
// typography, a few symbols), sorted by name for the binary search.
const CEntity kEntities[] = {
    {"AElig", 198}, {"Aacute", 193}, {"Acirc", 194}, {"Agrave", 192}, {"Aring", 197}, {"Atilde", 195},
    {"Auml", 196}, {"Ccedil", 199}, {"Dagger", 8225}, {"ETH", 208}, {"Eacute", 201}, {"Ecirc", 202},
    {"Egrave", 200}, {"Euml", 203}, {"Iacute", 205}, {"Icirc", 206}, {"Igrave", 204}, {"Iuml", 207},
    {"Ntilde", 209}, {"Oacute", 211}, {"Ocirc", 212}, {"Ograve", 210}, {"Oslash", 216}, {"Otilde", 213},
    {"Ouml", 214}, {"THORN", 222}, {"Uacute", 218}, {"Ucirc", 219}, {"Ugrave", 217}, {"Uuml", 220},
    {"Yacute", 221}, {"aacute", 225}, {"acirc", 226}, {"acute", 180}, {"aelig", 230}, {"agrave", 224},
    {"amp", 38}, {"apos", 39}, {"aring", 229}, {"atilde", 227}, {"auml", 228}, {"bdquo", 8222},
    {"brvbar", 166}, {"bull", 8226}, {"ccedil", 231}, {"cedil", 184}, {"cent", 162}, {"copy", 169},
    {"curren", 164}, {"dagger", 8224}, {"deg", 176}, {"divide", 247}, {"eacute", 233}, {"ecirc", 234},
    {"egrave", 232}, {"emsp", 8195}, {"ensp", 8194}, {"eth", 240}, {"euml", 235}, {"euro", 8364},
    {"frac12", 189}, {"frac14", 188}, {"frac34", 190}, {"gt", 62}, {"hellip", 8230}, {"iacute", 237},
    {"icirc", 238}, {"iexcl", 161}, {"igrave", 236}, {"iquest", 191}, {"iuml", 239}, {"laquo", 171},
    {"ldquo", 8220}, {"lsaquo", 8249}, {"lsquo", 8216}, {"lt", 60}, {"macr", 175}, {"mdash", 8212},
    {"micro", 181}, {"middot", 183}, {"nbsp", 160}, {"ndash", 8211}, {"not", 172}, {"ntilde", 241},
    {"oacute", 243}, {"ocirc", 244}, {"ograve", 242}, {"ordf", 170}, {"ordm", 186}, {"oslash", 248},
    {"otilde", 245}, {"ouml", 246}, {"para", 182}, {"permil", 8240}, {"plusmn", 177}, {"pound", 163},
    {"quot", 34}, {"raquo", 187}, {"rdquo", 8221}, {"reg", 174}, {"rsaquo", 8250}, {"rsquo", 8217},
    {"sbquo", 8218}, {"sect", 167}, {"shy", 173}, {"sup1", 185}, {"sup2", 178}, {"sup3", 179},
    {"szlig", 223}, {"thinsp", 8201}, {"thorn", 254}, {"times", 215}, {"trade", 8482}, {"uacute", 250},
    {"ucirc", 251}, {"ugrave", 249}, {"uml", 168}, {"uuml", 252}, {"yacute", 253}, {"yen", 165},
    {"yuml", 255},
};

// Decodes the reference at `html[i]` ('&'). Returns the code point and sets
// `next` past it, or 0 when it is not a reference (the '&' is then text).
uint32_t DecodeReference(std::string_view html, size_t i, size_t& next) {
    const size_t n = html.size();
    size_t k = i + 1;
    if (k < n && html[k] == '#') {
        ++k;
        const bool bHex = k < n && (html[k] == 'x' || html[k] == 'X');
        if (bHex) ++k;
        uint32_t cp = 0;
        size_t nDigits = 0;
        for (; k < n && nDigits < 8; ++k, ++nDigits) {
            const char c = html[k];
            uint32_t d;
            if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
            else if (bHex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') d = static_cast<uint32_t>((c | 0x20) - 'a' + 10);
            else break;
            cp = cp * (bHex ? 16 : 10) + d;
        }
        if (nDigits == 0) return 0;
        if (k < n && html[k] == ';') ++k;
        next = k;
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
        return cp;
    }
    char name[8];
    size_t len = 0;
    while (k < n && len < sizeof(name) - 1 && IsAlnum(static_cast<uint8_t>(html[k]))) name[len++] = html[k++];
    if (len == 0) return 0;
    name[len] = 0;
    const auto* end = kEntities + sizeof(kEntities) / sizeof(kEntities[0]);
    const auto* it = std::lower_bound(kEntities, end, name,
                                      [](const CEntity& e, const char* s) { return std::strcmp(e.m_name, s) < 0; });
    if (it == end || std::strcmp(it->m_name, name) != 0) return 0;
    if (k < n && html[k] == ';') ++k;
    next = k;
    return it->m_cp;
}

// Where the element closing `</name` begins at or after `from`, any case;
// the end of the text when it is never closed.
size_t FindClosingTag(std::string_view html, size_t from, const char* name, size_t len) {
    const size_t n = html.size();
    size_t k = from;
    while (k < n) {
        const void* hit = std::memchr(html.data() + k, '<', n - k);
        if (!hit) return n;
        k = static_cast<size_t>(static_cast<const char*>(hit) - html.data());
        if (k + 2 + len <= n && html[k + 1] == '/') {
            size_t m = 0;
            while (m < len && (html[k + 2 + m] | 0x20) == name[m]) ++m;
            if (m == len && (k + 2 + len == n || !IsAlnum(static_cast<uint8_t>(html[k + 2 + len])))) return k;
        }
        ++k;
    }
    return n;
}

// Past the '>' that ends the tag whose name ends at `k`; quoted attribute
// values may hold '>'.
size_t SkipTag(std::string_view html, size_t k) {
    const size_t n = html.size();
    bool bAfterEquals = false;
    while (k < n) {
        const char c = html[k];
        if (c == '>') return k + 1;
        if (c == '=') {
            bAfterEquals = true;
        } else if ((c == '"' || c == '\'') && bAfterEquals) {
            const void* close = std::memchr(html.data() + k + 1, c, n - k - 1);
            if (!close) return n;
            k = static_cast<size_t>(static_cast<const char*>(close) - html.data());
            bAfterEquals = false;
        } else if (!IsSpace(static_cast<uint8_t>(c))) {
            bAfterEquals = false;
        }
        ++k;
    }
    return n;
}

}  // namespace

std::string FoldCase(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    Fold(utf8, out, nullptr);
    return out;
}

std::string PageBytesToUtf8(const std::vector<uint8_t>& bytes) {
    const size_t n = bytes.size();
    if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return Utf16ToUtf8(bytes.data() + 2, n - 2, false);
    if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return Utf16ToUtf8(bytes.data() + 2, n - 2, true);
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return std::string(bytes.begin() + 3, bytes.end());
    return ToUtf8(std::string(bytes.begin(), bytes.end()));
}

std::string VisibleText(std::string_view html) {
    std::string out;
    out.reserve(html.size() / 2);
    const size_t n = html.size();
    bool bSpace = false;  // white space waits until a word follows it
    auto flush = [&] {
        if (bSpace) {
            if (!out.empty()) out.push_back(' ');
            bSpace = false;
        }
    };
    auto put = [&](char c) {
        flush();
        out.push_back(c);
    };
    size_t i = 0;
    while (i < n) {
        const auto c = static_cast<uint8_t>(html[i]);
        if (c == '<' && i + 1 < n) {
            const auto next = static_cast<uint8_t>(html[i + 1]);
            if (next == '!' && html.compare(i, 4, "<!--") == 0) {
                const size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? n : end + 3;
                continue;
            }
            if (next == '!' || next == '?') {
                const void* end = std::memchr(html.data() + i, '>', n - i);
                i = end ? static_cast<size_t>(static_cast<const char*>(end) - html.data()) + 1 : n;
                continue;
            }
            const bool bClosing = next == '/';
            size_t k = i + (bClosing ? 2 : 1);
            if (k < n && IsAlpha(static_cast<uint8_t>(html[k]))) {
                char name[12];
                size_t len = 0;
                while (k < n && IsAlnum(static_cast<uint8_t>(html[k]))) {
                    if (len < sizeof(name) - 1) name[len] = static_cast<char>(html[k] | 0x20);
                    ++len;
                    ++k;
                }
                if (len >= sizeof(name)) len = sizeof(name) - 1;  // no tag that matters is that long
                name[len] = 0;
                i = SkipTag(html, k);
                const uint64_t packed = len <= 8 ? Packed(name) : 0;
                if (!IsInlineTag(packed)) bSpace = true;
                if (!bClosing && (packed == Packed("script") || packed == Packed("style") || packed == Packed("template"))) {
                    const size_t close = FindClosingTag(html, i, name, len);
                    i = close >= n ? n : SkipTag(html, close + 2 + len);
                }
                continue;
            }
            put('<');
            ++i;
            continue;
        }
        if (c == '&') {
            size_t next = i + 1;
            const uint32_t cp = DecodeReference(html, i, next);
            if (cp != 0) {
                i = next;
                if (cp == 160 || cp == 8194 || cp == 8195 || cp == 8201) {
                    bSpace = true;
                } else {
                    flush();
                    AppendUtf8(out, cp);
                }
                continue;
            }
        }
        if (IsSpace(c)) {
            bSpace = true;
            ++i;
            continue;
        }
        // The rest of the word, up to the next space, tag or reference.
        size_t j = i + 1;
        while (j < n) {
            const auto b = static_cast<uint8_t>(html[j]);
            if (b == '<' || b == '&' || IsSpace(b)) break;
            ++j;
        }
        flush();
        out.append(html.data() + i, j - i);
        i = j;
    }
    return out;
}

bool HasSearchableText(const std::string& strExt) {
    return SameType(strExt, "htm") || SameType(strExt, "html") || SameType(strExt, "xml") ||
           SameType(strExt, "txt");
}

namespace {
// The comments of a page's highlights are found as its text is: they are
// written in the page, in attributes the visible text leaves out. A page
// without highlights costs one byte search.
void AppendHighlightComments(const std::vector<uint8_t>& bytes, std::string& text) {
    if (!MayHoldHighlights(bytes)) return;
    for (const CHighlight& hl : ListHighlights(bytes)) {
        // White space runs as one space, as in the visible text.
        bool bSpace = !text.empty();
        bool bAny = false;
        for (const char c : hl.m_strComment) {
            if (IsSpace(static_cast<uint8_t>(c))) {
                bSpace = true;
                continue;
            }
            if (bSpace && (bAny || !text.empty())) text.push_back(' ');
            bSpace = false;
            bAny = true;
            text.push_back(c);
        }
    }
}

std::string SearchTextOfLocked(const CNote& note, const std::vector<uint8_t>& bytes) {
    if (!HasSearchableText(note.m_strExt)) return std::string();
    const bool bText = SameType(note.m_strExt, "txt");
    // The common page, UTF-8 without a mark in a UTF-8 process, is read
    // where it lies.
    const bool bAsItIs = charset::ProcessCodePageIsUtf8() && !(bytes.size() >= 2 && (bytes[0] == 0xFF || bytes[0] == 0xFE || bytes[0] == 0xEF));
    if (bText) return PageBytesToUtf8(bytes);
    std::string text =
        bAsItIs ? VisibleText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
                : VisibleText(PageBytesToUtf8(bytes));
    AppendHighlightComments(bytes, text);
    return text;
}
}  // namespace

std::string NoteSearchText(const CNote& note) {
    std::lock_guard<std::mutex> lock(note.m_dataLock);
    // A page still in the notebook's file is read for its text only, not
    // kept: a pass over every note must not bring the whole file into memory.
    std::vector<uint8_t> scratch;
    const std::vector<uint8_t>* pBytes = note.ContentForScan(scratch);
    return pBytes ? SearchTextOfLocked(note, *pBytes) : std::string();
}

CNoteQuery::CNoteQuery(const std::string& strText, bool bIgnoreCase, bool bSearchText)
    : m_strText(strText), m_bIgnoreCase(bIgnoreCase), m_bSearchText(bSearchText) {
    m_strNeedle = ToUtf8(strText);
    if (bIgnoreCase) m_strNeedle = FoldCase(m_strNeedle);
}

bool CNoteQuery::NameMatches(const std::string& strName) const {
    if (m_strText.empty()) return false;
    if (m_bIgnoreCase) return FoldCase(ToUtf8(strName)).find(m_strNeedle) != std::string::npos;
    // A UTF-8 byte search never matches inside a character; another code
    // page is searched as UTF-8 so that the same holds there.
    if (charset::ProcessCodePageIsUtf8()) return strName.find(m_strText) != std::string::npos;
    return charset::AnsiToUtf8(strName).find(m_strNeedle) != std::string::npos;
}

CNoteTextCache::CKey CNoteTextCache::KeyOf(const CNote& note) {
    CKey key;
    const std::vector<uint8_t>& content = note.Content();
    key.m_pData = content.data();
    key.m_nSize = content.size();
    key.m_strExt = note.m_strExt;
    // A sample of the bytes: the start, the end and eight places between
    // (each a memory access of its own, on every search).
    const uint8_t* p = content.data();
    const size_t n = content.size();
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](size_t from, size_t len) {
        for (size_t k = from; k < from + len && k < n; ++k) h = (h ^ p[k]) * 1099511628211ull;
    };
    mix(0, 64);
    if (n > 64) mix(n - std::min<size_t>(n, 64), 64);
    if (n > 256)
        for (size_t s = 1; s <= 8; ++s) mix(n * s / 9, 8);
    key.m_nSample = h;
    return key;
}

const std::string& CNoteTextCache::Text(const CNote& note, bool bFolded) {
    CEntry& entry = m_entries[&note];
    entry.m_nSeen = m_nRound;
    std::lock_guard<std::mutex> lock(note.m_dataLock);
    CKey key = KeyOf(note);
    if (!(entry.m_key == key)) {
        entry.m_key = std::move(key);
        entry.m_bHasText = entry.m_bHasFolded = false;
        entry.m_strText.clear();
        entry.m_strText.shrink_to_fit();
        entry.m_strFolded.clear();
        entry.m_strFolded.shrink_to_fit();
    }
    if (bFolded) {
        if (!entry.m_bHasFolded) {
            // Folding straight from the text, without keeping the text when
            // nobody asked for it.
            if (entry.m_bHasText) {
                entry.m_strFolded = FoldCase(entry.m_strText);
            } else {
                entry.m_strFolded = FoldCase(SearchTextOfLocked(note, note.Content()));
            }
            entry.m_bHasFolded = true;
        }
        return entry.m_strFolded;
    }
    if (!entry.m_bHasText) {
        entry.m_strText = SearchTextOfLocked(note, note.Content());
        entry.m_bHasText = true;
    }
    return entry.m_strText;
}

void CNoteTextCache::DropUnused() {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.m_nSeen != m_nRound) {
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    ++m_nRound;
}

bool NoteMatches(const CNote& note, const CNoteQuery& query, CNoteTextCache& cache) {
    if (query.Text().empty()) return false;
    if (query.NameMatches(note.m_strName)) return true;
    // The type is read with the content, under the note's lock: a download
    // may be changing both.
    if (!query.SearchText()) return false;
    const std::string& text = cache.Text(note, query.IgnoreCase());
    const std::string& needle = query.Needle();
    return !needle.empty() && memmem(text.data(), text.size(), needle.data(), needle.size()) != nullptr;
}

void SearchCategory(const CNoteCata& cata, const CNoteQuery& query, CNoteTextCache& cache,
                    const std::function<void(CNote*)>& fnFound) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) {
        CNote* pNote = it.value();
        if (pNote && NoteMatches(*pNote, query, cache)) fnFound(pNote);
    }
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
        if (it.value()) SearchCategory(*it.value(), query, cache, fnFound);
    }
}

std::string MatchPassage(const std::string& text, const CNoteQuery& query, size_t nContext, CPassageMatch* pMatch) {
    const std::string& needle = query.Needle();
    if (needle.empty()) return std::string();
    size_t start, end;
    if (query.IgnoreCase()) {
        std::string folded;
        folded.reserve(text.size());
        std::vector<uint32_t> origin;
        origin.reserve(text.size());
        Fold(text, folded, &origin);
        const size_t pos = folded.find(needle);
        if (pos == std::string::npos) return std::string();
        start = origin[pos];
        const size_t last = pos + needle.size() - 1;
        // Past the whole character the match ends in.
        end = last + 1 < origin.size() ? origin[last + 1] : text.size();
        if (end <= start) end = start + 1;
    } else {
        const size_t pos = text.find(needle);
        if (pos == std::string::npos) return std::string();
        start = pos;
        end = pos + needle.size();
    }
    auto isTrail = [&](size_t k) { return k < text.size() && (static_cast<uint8_t>(text[k]) & 0xC0) == 0x80; };
    size_t from = start > nContext ? start - nContext : 0;
    while (from > 0 && isTrail(from)) --from;
    size_t to = std::min(text.size(), end + nContext);
    while (to < text.size() && isTrail(to)) ++to;
    // Cut at a word where one is near, so the passage starts and ends whole.
    if (from > 0) {
        const size_t sp = text.find(' ', from);
        if (sp != std::string::npos && sp + 1 < start) from = sp + 1;
    }
    if (to < text.size()) {
        const size_t sp = text.rfind(' ', to);
        if (sp != std::string::npos && sp > end) to = sp;
    }
    std::string out;
    if (from > 0) out += "\xE2\x80\xA6";
    if (pMatch) {
        pMatch->m_nStart = out.size() + (start - from);
        pMatch->m_nLength = end - start;
    }
    out.append(text, from, to - from);
    if (to < text.size()) out += "\xE2\x80\xA6";
    return out;
}

}  // namespace notetext
