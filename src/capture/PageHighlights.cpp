#include "capture/PageHighlights.h"

#include "capture/HighlightPage.h"
#include "capture/HtmlRefs.h"
#include "platform/Charset.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

using hlpage::CChar;
using hlpage::CMark;
using hlpage::CPage;

const std::vector<CHighlightColor>& HighlightColors() {
    static const std::vector<CHighlightColor> colors = {
        {"yellow", "#fff176"},
        {"green", "#aed581"},
        {"blue", "#81d4fa"},
        {"pink", "#f48fb1"},
    };
    return colors;
}

namespace {

const CHighlightColor* FindColor(const std::string& name) {
    for (const CHighlightColor& c : HighlightColors())
        if (name == c.m_pszName) return &c;
    return nullptr;
}

// An attribute value between double quotes, in ASCII: whatever the page's
// encoding holds or lacks, the tag reads the same.
std::string EscapeAttr(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size() + 8);
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<uint8_t>(utf8[i]);
        if (c < 0x80) {
            ++i;
            switch (c) {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\n': out += "&#10;"; break;
            case '\t': out += "&#9;"; break;
            default:
                if (c >= 0x20 && c != 0x7F) out.push_back(static_cast<char>(c));  // other controls are not text
            }
            continue;
        }
        UChar32 cp;
        int32_t k = static_cast<int32_t>(i);
        U8_NEXT(reinterpret_cast<const uint8_t*>(utf8.data()), k, static_cast<int32_t>(utf8.size()), cp);
        i = static_cast<size_t>(k);
        char ref[16];
        std::snprintf(ref, sizeof ref, "&#%u;", static_cast<unsigned>(cp < 0 ? 0xFFFD : cp));
        out += ref;
    }
    return out;
}

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string StartTag(const std::string& strId, const std::string& strColor, const std::string& strDate,
                     const std::string& strComment) {
    const CHighlightColor* color = FindColor(strColor);
    if (!color) color = &HighlightColors().front();
    std::string tag = "<mark class=\"cv-highlight cv-highlight-";
    tag += color->m_pszName;
    tag += "\" style=\"background:";
    tag += color->m_pszCss;
    tag += "\" data-cv-highlight=\"" + EscapeAttr(strId) + "\" data-cv-color=\"" + color->m_pszName +
           "\" data-cv-date=\"" + EscapeAttr(strDate) + "\" data-cv-comment=\"" + EscapeAttr(strComment) + "\"";
    // Any browser shows the comment when the pointer rests on the text.
    if (!strComment.empty()) tag += " title=\"" + EscapeAttr(strComment) + "\"";
    tag += ">";
    return tag;
}

bool HasId(const CPage& page, const std::string& strId) {
    for (const CMark& m : page.m_marks)
        if (m.m_strId == strId) return true;
    return false;
}

// Characters compared as they are, or, for text a style shows in capitals
// (the browser's selection gives what it shows), without regard to case.
struct CSame {
    bool m_bFold = false;
    bool operator()(uint32_t a, uint32_t b) const {
        return a == b || (m_bFold && u_foldCase(static_cast<UChar32>(a), U_FOLD_CASE_DEFAULT) ==
                                         u_foldCase(static_cast<UChar32>(b), U_FOLD_CASE_DEFAULT));
    }
};

// How many characters before `nAt` agree with the end of `prefix`.
size_t PrefixAgreement(const CPage& page, size_t nAt, const std::vector<uint32_t>& prefix, CSame same) {
    size_t n = 0;
    while (n < prefix.size() && n < nAt && same(page.m_chars[nAt - 1 - n].m_cp, prefix[prefix.size() - 1 - n])) ++n;
    return n;
}

size_t SuffixAgreement(const CPage& page, size_t nEnd, const std::vector<uint32_t>& suffix, CSame same) {
    size_t n = 0;
    while (n < suffix.size() && nEnd + n < page.m_chars.size() && same(page.m_chars[nEnd + n].m_cp, suffix[n])) ++n;
    return n;
}

// Where the quote is among the page's characters: the place whose
// surroundings agree best with the quote's, then the one nearest where the
// browser saw it, then the first. npos when the text is not there.
size_t FindQuote(const CPage& page, const CHighlightQuote& quote, const std::vector<uint32_t>& exact, CSame same) {
    const std::vector<uint32_t> prefix = hlpage::Significant(quote.m_strPrefix);
    const std::vector<uint32_t> suffix = hlpage::Significant(quote.m_strSuffix);
    const auto& chars = page.m_chars;
    size_t best = std::string::npos, bestScore = 0, bestDistance = 0;
    for (size_t at = 0; at + exact.size() <= chars.size(); ++at) {
        if (!same(chars[at].m_cp, exact[0])) continue;
        size_t k = 1;
        while (k < exact.size() && same(chars[at + k].m_cp, exact[k])) ++k;
        if (k < exact.size()) continue;
        const size_t score =
            PrefixAgreement(page, at, prefix, same) + SuffixAgreement(page, at + exact.size(), suffix, same);
        const size_t pos = chars[at].m_nTextPos;
        const size_t distance = quote.m_nTextPos == static_cast<size_t>(-1) ? 0
                                : pos > quote.m_nTextPos                   ? pos - quote.m_nTextPos
                                                                           : quote.m_nTextPos - pos;
        if (best == std::string::npos || score > bestScore || (score == bestScore && distance < bestDistance)) {
            best = at;
            bestScore = score;
            bestDistance = distance;
        }
    }
    return best;
}

size_t FindQuote(const CPage& page, const CHighlightQuote& quote, const std::vector<uint32_t>& exact) {
    const size_t at = FindQuote(page, quote, exact, CSame{false});
    return at != std::string::npos ? at : FindQuote(page, quote, exact, CSame{true});
}

// Whether the quote's characters are anywhere in the page's source: in a
// script, a title, an attribute, where no mark can go.
bool InSource(const CPage& page, const std::vector<uint32_t>& exact) {
    const std::vector<uint32_t> all = hlpage::Significant(page.m_scan.m_strText);
    return std::search(all.begin(), all.end(), exact.begin(), exact.end()) != all.end();
}

// The pieces of the characters [nFirst, nLast): one per text node, from its
// first character to its last.
std::vector<std::pair<size_t, size_t>> Pieces(const CPage& page, size_t nFirst, size_t nLast) {
    std::vector<std::pair<size_t, size_t>> pieces;
    for (size_t i = nFirst; i < nLast;) {
        size_t j = i;
        while (j + 1 < nLast && page.m_chars[j + 1].m_nNode == page.m_chars[i].m_nNode) ++j;
        if (page.m_chars[i].m_bPlaced) pieces.emplace_back(page.m_chars[i].m_nSrcBegin, page.m_chars[j].m_nSrcEnd);
        i = j + 1;
    }
    return pieces;
}

size_t CountMarks(const CPage& page, const std::string& strId, bool* pAllClosed) {
    size_t n = 0;
    *pAllClosed = true;
    for (const CMark& m : page.m_marks) {
        if (m.m_strId != strId) continue;
        ++n;
        if (!m.m_bHasEndTag) *pAllClosed = false;
    }
    return n;
}

// A failure leaves `out` empty, unless it is the page itself: a caller may
// hand the same vector in and out.
HighlightResult Fail(HighlightResult r, const std::vector<uint8_t>& page, std::vector<uint8_t>& out) {
    if (&out != &page) out.clear();
    return r;
}

size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

}  // namespace

std::string NewHighlightId() {
    static const char kDigits[] = "abcdefghijkmnpqrstuvwxyz23456789";
    std::random_device rd;
    std::string id = "h";
    for (int k = 0; k < 3; ++k) {
        uint32_t v = rd();
        for (int d = 0; d < 5; ++d, v >>= 5) id.push_back(kDigits[v & 31]);
    }
    return id;
}

HighlightResult AddHighlight(const std::vector<uint8_t>& page, const CHighlightQuote& quote, const CHighlight& hl,
                             std::vector<uint8_t>& out) {
    const std::vector<uint32_t> exact = hlpage::Significant(quote.m_strExact);
    if (exact.empty()) return Fail(HighlightResult::kNotFound, page, out);
    CPage p;
    hlpage::ReadPage(page, p);
    if (!p.m_bRead) return Fail(HighlightResult::kNotFound, page, out);
    if (hl.m_strId.empty() || HasId(p, hl.m_strId)) return Fail(HighlightResult::kUnknownId, page, out);
    const size_t at = FindQuote(p, quote, exact);
    if (at == std::string::npos)
        return Fail(InSource(p, exact) ? HighlightResult::kNoText : HighlightResult::kNotFound, page, out);
    const auto pieces = Pieces(p, at, at + exact.size());
    if (pieces.empty()) return Fail(HighlightResult::kNoText, page, out);
    const std::string tag = StartTag(hl.m_strId, hl.m_strColor, hl.m_strDate.empty() ? NowUtc() : hl.m_strDate,
                                     hl.m_strComment);
    std::vector<CPageEdit> edits;
    for (const auto& piece : pieces) {
        edits.push_back({piece.first, 0, tag});
        edits.push_back({piece.second, 0, "</mark>"});
    }
    std::vector<uint8_t> result = ApplyPageEdits(p.m_scan, page.data(), page.size(), std::move(edits));
    // Every piece marked and closed, or the page stays as it was: half a
    // highlight would spill its colour over the rest of the page.
    CPage check;
    hlpage::ReadPage(result, check);
    bool bClosed = false;
    if (CountMarks(check, hl.m_strId, &bClosed) != pieces.size() || !bClosed)
        return Fail(HighlightResult::kNoText, page, out);
    out = std::move(result);
    return HighlightResult::kDone;
}

HighlightResult RemoveHighlight(const std::vector<uint8_t>& page, const std::string& strId, std::vector<uint8_t>& out) {
    if (strId.empty() || !MayHoldHighlights(page)) return Fail(HighlightResult::kUnknownId, page, out);
    CPage p;
    hlpage::ReadPage(page, p);
    std::vector<CPageEdit> edits;
    for (const CMark& m : p.m_marks) {
        if (m.m_strId != strId) continue;
        edits.push_back({m.m_nTagBegin, m.m_nTagEnd - m.m_nTagBegin, std::string()});
        if (m.m_bHasEndTag) edits.push_back({m.m_nEndBegin, m.m_nEndEnd - m.m_nEndBegin, std::string()});
    }
    if (edits.empty()) return Fail(HighlightResult::kUnknownId, page, out);
    std::vector<uint8_t> result = ApplyPageEdits(p.m_scan, page.data(), page.size(), std::move(edits));
    out = std::move(result);
    return HighlightResult::kDone;
}

HighlightResult ChangeHighlight(const std::vector<uint8_t>& page, const std::string& strId,
                                const std::string& strComment, const std::string& strColor,
                                std::vector<uint8_t>& out) {
    if (strId.empty() || !MayHoldHighlights(page)) return Fail(HighlightResult::kUnknownId, page, out);
    CPage p;
    hlpage::ReadPage(page, p);
    std::vector<CPageEdit> edits;
    for (const CMark& m : p.m_marks) {
        if (m.m_strId != strId) continue;
        // An unknown colour keeps the one the highlight has.
        const std::string color = FindColor(strColor) ? strColor : m.m_strColor;
        edits.push_back({m.m_nTagBegin, m.m_nTagEnd - m.m_nTagBegin, StartTag(strId, color, m.m_strDate, strComment)});
    }
    if (edits.empty()) return Fail(HighlightResult::kUnknownId, page, out);
    std::vector<uint8_t> result = ApplyPageEdits(p.m_scan, page.data(), page.size(), std::move(edits));
    out = std::move(result);
    return HighlightResult::kDone;
}

bool MayHoldHighlights(const std::vector<uint8_t>& page) {
    // The parser reads attribute names in any case. Each '-' is a place to
    // look: "data" before it, "cv-highlight" after it, one byte a character,
    // or two in a UTF-16 page.
    static const char kBefore[] = "data", kAfter[] = "cv-highlight";
    const size_t nBefore = sizeof kBefore - 1, nAfter = sizeof kAfter - 1;
    const bool bWide =
        page.size() >= 2 && ((page[0] == 0xFF && page[1] == 0xFE) || (page[0] == 0xFE && page[1] == 0xFF));
    const size_t step = bWide ? 2 : 1;
    // Where the ASCII byte of a character stands among its two.
    const size_t low = bWide && page[0] == 0xFE ? 1 : 0;
    auto same = [&](size_t at, const char* word, size_t n) {
        for (size_t k = 0; k < n; ++k) {
            const size_t i = at + k * step;
            if ((page[i] | 0x20) != static_cast<uint8_t>(word[k])) return false;
            if (bWide && page[low ? i - 1 : i + 1] != 0) return false;
        }
        return true;
    };
    const uint8_t* p = page.data();
    const size_t n = page.size();
    for (size_t i = 0; i < n;) {
        const void* hit = std::memchr(p + i, '-', n - i);
        if (!hit) return false;
        const size_t at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - p);
        i = at + 1;
        if (bWide && (at % 2) != (2 + low) % 2) continue;
        if (at < nBefore * step || at + (1 + nAfter) * step > n) continue;
        if (same(at - nBefore * step, kBefore, nBefore) && same(at + step, kAfter, nAfter)) return true;
    }
    return false;
}

std::vector<CHighlight> ListHighlights(const std::vector<uint8_t>& page) {
    std::vector<CHighlight> list;
    if (!MayHoldHighlights(page)) return list;
    CPage p;
    hlpage::ReadPage(page, p);
    struct CRange {
        size_t m_nFirst = std::string::npos, m_nLast = 0;
    };
    std::vector<CRange> ranges;
    for (const CMark& m : p.m_marks) {
        if (m.m_strId.empty()) continue;
        auto it = std::find_if(list.begin(), list.end(), [&](const CHighlight& h) { return h.m_strId == m.m_strId; });
        if (it == list.end()) {
            CHighlight hl;
            hl.m_strId = m.m_strId;
            hl.m_strColor = m.m_strColor;
            hl.m_strComment = m.m_strComment;
            hl.m_strDate = m.m_strDate;
            list.push_back(std::move(hl));
            ranges.emplace_back();
            it = list.end() - 1;
        }
        CRange& r = ranges[static_cast<size_t>(it - list.begin())];
        if (m.m_nLast > m.m_nFirst) {
            r.m_nFirst = std::min(r.m_nFirst, m.m_nFirst);
            r.m_nLast = std::max(r.m_nLast, m.m_nLast);
        }
    }
    for (size_t i = 0; i < list.size(); ++i) {
        const CRange& r = ranges[i];
        if (r.m_nFirst == std::string::npos) continue;
        const CChar& first = p.m_chars[r.m_nFirst];
        const CChar& last = p.m_chars[r.m_nLast - 1];
        list[i].m_strText = p.m_strText.substr(first.m_nTextOffset,
                                               last.m_nTextOffset + Utf8Length(last.m_cp) - first.m_nTextOffset);
    }
    return list;
}
