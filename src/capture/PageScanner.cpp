#include "capture/PageScanner.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_set>

#include "platform/DownloadSettings.h"
#include "platform/Charset.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/Url.h"

const char kLinkMarker[] = "@VAULTLINKATTATCH@";

namespace {

void Failed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string TrimLeft(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    return s.substr(i);
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Quotes become blanks and line breaks go, so that a value broken over lines
// or with stray quotes still names its resource.
std::string Blanked(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\r' || c == '\n') continue;
        out += (c == '"' || c == '\'') ? ' ' : c;
    }
    return out;
}

std::string CutAtQuery(const std::string& s) {
    const size_t q = s.find('?');
    return q == std::string::npos ? s : s.substr(0, q);
}

const char* const kFetchable[] = {".htm", ".html", ".shtm", ".htms", ".shtml", ".xml", ".xsl",
                                  ".gif", ".jpg",  ".jpeg", ".wav",  ".au",    ".asp", ".bmp",
                                  ".pdf", ".txt",  ".class", ".mid", ".midi",  ".css"};

}  // namespace

std::string GetPageTitle(const std::string& strText) {
    try {
        const std::string lower = LowerAscii(strText);
        const size_t tag = lower.find("<title");
        if (tag == std::string::npos) return std::string();
        const size_t gt = lower.find('>', tag);
        if (gt == std::string::npos) return std::string();
        const size_t end = lower.find("</title", gt + 1);
        if (end == std::string::npos) return std::string();
        return lower.substr(gt + 1, end - gt - 1);
    } catch (...) {
        Failed();
        return std::string();
    }
}

std::string PageBytesToText(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return charset::Utf16LeToAnsi(bytes.data() + 2, bytes.size() - 2);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> TextToUtf16Page(const std::string& text) {
    const std::u16string u = charset::AnsiToUtf16(text);
    std::vector<uint8_t> out = {0xFF, 0xFE};
    out.reserve(2 + u.size() * 2);
    for (char16_t c : u) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// ---------------------------------------------------------------- scanner

CPageScanner::CPageScanner() : m_bBackgroundPass(CurrentDownloadSettings().m_bFetchResources) {}

bool CPageScanner::IsFetchableType(const std::string& url) {
    size_t cut = url.find_last_of("/\\");
    const std::string file = cut == std::string::npos ? url : url.substr(cut + 1);
    const size_t dot = file.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : LowerAscii(file.substr(dot));
    const size_t hash = ext.find('#');
    if (hash != std::string::npos) ext.erase(hash);
    if (ext.empty() || ext == ".com") return true;
    return std::any_of(std::begin(kFetchable), std::end(kFetchable), [&](const char* e) { return ext == e; });
}

void CPageScanner::ScanPage(const std::string& textIn, size_t length, const std::string& base, bool bLocal) {
    m_items.clear();
    m_strBase = base;
    m_bLocal = bLocal ? 1 : 0;
    try {
        const size_t nul = textIn.find('\0');
        const std::string text = nul == std::string::npos ? textIn : textIn.substr(0, nul);
        length = std::min(length, text.size());
        const std::string lower = LowerAscii(text);

        // The page's own scheme and port stay in the base: an https page's
        // resources are https, and a page served from another port has its
        // resources there too. User name and password are not carried over.
        m_strBaseForCombine.clear();
        url::CUrlParts parts;
        if (url::CrackUrl(base, parts)) {
            std::string scheme = "http";
            if (!bLocal && parts.m_strScheme == "https") scheme = "https";
            m_strBaseForCombine = (bLocal ? std::string("file") : scheme) + "://" + parts.m_strHost;
            if (!bLocal && parts.m_nPort) m_strBaseForCombine += ":" + std::to_string(parts.m_nPort);
            m_strBaseForCombine += parts.m_strPath.empty() ? std::string("/") : parts.m_strPath;
        }

        ScanPair(lower, text, length, "<img", "src", kRefEmbedded);
        ScanPair(lower, text, length, "<link", "href", kRefEmbedded);
        ScanPair(lower, text, length, "<a", "href", kRefHyperlink);
        ScanPair(lower, text, length, "<?xml:stylesheet", "href", kRefStylesheet);
        ScanPair(lower, text, length, "<?xml-stylesheet", "href", kRefStylesheet);
        // Frame pages are captured like stylesheets, with their own
        // resources; without them a captured frameset shows empty frames.
        ScanPair(lower, text, length, "<frame", "src", kRefStylesheet);
        ScanPair(lower, text, length, "<iframe", "src", kRefStylesheet);
        if (m_bBackgroundPass) ScanPair(lower, text, length, nullptr, "background", kRefStylesheet);
    } catch (...) {
        Failed();
    }
}

void CPageScanner::ScanPair(const std::string& lower, const std::string& text, size_t length, const char* tag,
                            const char* attr, int kind) {
    size_t pos = 0;
    for (;;) {
        size_t from = pos;
        if (tag) {
            const size_t t = lower.find(tag, pos);
            if (t == std::string::npos || t >= length) return;
            from = t;
        }
        const size_t a = lower.find(attr, from);
        if (a == std::string::npos || a >= length) return;
        const size_t eq = lower.find('=', a);
        if (eq == std::string::npos || eq >= length) return;
        pos = ReadAttributeValue(text, eq + 1, length, kind);
    }
}

size_t CPageScanner::ReadAttributeValue(const std::string& text, size_t pos, size_t length, int kind) {
    size_t p = pos;
    if (p < text.size() && text[p] == ' ') ++p;  // exactly one blank
    const size_t stop = text.find_first_of("\"' >", p);
    if (stop == std::string::npos || stop >= length) return pos;
    size_t begin, end, next;
    if (text[stop] == '"' || text[stop] == '\'') {
        begin = stop + 1;
        end = text.find(text[stop], begin);
        if (end == std::string::npos || end >= length) return begin;  // no closing quote: skipped
        next = end;
    } else {
        begin = p;
        end = stop;
        next = stop;
    }
    const std::string raw = text.substr(begin, end - begin);
    const std::string value = TrimLeft(raw);
    if (kind == kRefHyperlink && !value.empty() && value[0] == '#') return next;  // a place in this page
    AddResource(raw, value, begin, end - begin, kind);
    return next;
}

void CPageScanner::AddResource(const std::string& raw, const std::string& value, size_t offset, size_t length,
                               int kind) {
    const std::string kept = Trim(Blanked(value));
    const std::string normalised = LowerAscii(kept);
    // Nothing to fetch, and an empty raw value would match everywhere in a
    // rewrite.
    if (normalised.empty() || raw.empty()) return;
    if (normalised == "\\" || normalised == "/") return;
    const std::string cut = CutAtQuery(normalised);
    if (!IsFetchableType(cut)) return;
    // The address keeps the letter case of the page: on most servers
    // Pics/A.GIF and pics/a.gif are different files.
    std::string absolute;
    if (!url::CombineUrl(m_strBaseForCombine, CutAtQuery(kept), absolute)) return;
    auto item = std::make_unique<CPageResource>();
    item->m_nRefKind = kind;
    item->m_strValue = normalised;
    item->m_strRaw = raw;
    item->m_strURL = absolute;
    item->m_nOffset = static_cast<int>(offset);
    item->m_nLength = static_cast<int>(length);
    m_items.push_back(std::move(item));
}

namespace {
// Where `what` next occurs in `text` from `from`, or npos. memmem, because a
// rewrite searches the whole page once for every replaced value.
size_t FindFrom(const std::string& text, const std::string& what, size_t from) {
    if (from > text.size()) return std::string::npos;
    const void* hit = memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : std::string::npos;
}

// Whether `c` can stand inside a URL or a word: letters, digits, URL
// punctuation, a backslash (a Windows path) and every byte of a multi-byte
// character. Blanks, quotes, "=", brackets and the like end a value.
bool ContinuesUrl(unsigned char c) {
    if (c <= ' ' || c == 0x7F) return false;
    switch (c) {
    case '"': case '\'': case '`': case '=': case '(': case ')': case '<': case '>':
    case '{': case '}': case '|': case '^':
        return false;
    default:
        return true;
    }
}

// Replaces every occurrence of `from` in `text`, left to right, without
// overlaps; one pass over the text. With `bWholeOnly` only occurrences that
// stand as a whole value: one next to a character that could continue it is
// only part of a longer value (a.gif in banana.gif or img/a.gif) and stays.
// After "=" it is whole unless that "=" belongs to a query
// (show.asp?pic=a.gif).
void ReplaceAll(std::string& text, const std::string& from, const std::string& to, bool bWholeOnly) {
    if (from.empty()) return;
    const auto u = [](char c) { return static_cast<unsigned char>(c); };
    const bool bCheckBefore = bWholeOnly && ContinuesUrl(u(from.front()));
    const bool bCheckAfter = bWholeOnly && ContinuesUrl(u(from.back()));
    // After a refused occurrence the next one to try: one that starts inside
    // it behind a character that continues a URL is refused as well.
    size_t step = 1;
    if (bCheckBefore)
        while (step < from.size() && ContinuesUrl(u(from[step - 1]))) ++step;

    // Where the run of URL text before the current position began, and the
    // last "?" or "&" seen; kept up to date as the search moves on.
    size_t tracked = 0, runStart = 0, lastQuery = std::string::npos;
    const auto inQuery = [&](size_t eq) {
        for (; tracked < eq; ++tracked) {
            const char c = text[tracked];
            if (c == '?' || c == '&') lastQuery = tracked;
            else if (c != '=' && !ContinuesUrl(u(c))) runStart = tracked + 1;
        }
        return lastQuery != std::string::npos && lastQuery >= runStart;
    };
    const auto whole = [&](size_t hit) {
        if (bCheckBefore && hit > 0) {
            const char c = text[hit - 1];
            if (ContinuesUrl(u(c))) return false;
            if (c == '=' && inQuery(hit - 1)) return false;
        }
        const size_t end = hit + from.size();
        return !(bCheckAfter && end < text.size() && ContinuesUrl(u(text[end])));
    };

    size_t hit = FindFrom(text, from, 0);
    if (hit == std::string::npos) return;
    std::string out;
    size_t at = 0;
    while (hit != std::string::npos) {
        if (!whole(hit)) {
            hit = FindFrom(text, from, hit + step);
            continue;
        }
        if (out.empty()) out.reserve(text.size());
        out.append(text, at, hit - at);
        out += to;
        at = hit + from.size();
        hit = FindFrom(text, from, at);
    }
    if (at == 0) return;  // nothing stood whole
    out.append(text, at, std::string::npos);
    text.swap(out);
}
}  // namespace

void CPageScanner::RewritePage(std::vector<uint8_t>& bytes) const {
    try {
        const auto* p = reinterpret_cast<const char*>(bytes.data());
        const size_t n = bytes.empty() ? 0 : strnlen(p, bytes.size());
        std::string text(p ? p : "", n);
        std::unordered_set<std::string_view> done;
        for (const auto& item : m_items) {
            if (!item->m_bReplace) continue;
            // Once every occurrence of a value was replaced, a second item
            // with the same value would only find it again inside the
            // replacements themselves.
            if (!done.insert(item->m_strRaw).second) continue;
            ReplaceAll(text, item->m_strRaw, item->m_strReplace, true);
        }
        ReplaceAll(text, kLinkMarker, "", false);
        bytes.assign(text.begin(), text.end());
    } catch (...) {
        Failed();
    }
}
