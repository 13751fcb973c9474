// Writing a scanned page anew: escaping for where a value stands, the text
// in the page's own encoding, and the edits made on the page's bytes.
#include "capture/HtmlRefs.h"
#include "capture/HtmlEncoding.h"
#include "platform/Charset.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace htmlenc;

namespace {

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

}  // namespace

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
