#include "capture/PageSplice.h"

#include "capture/CssRefs.h"
#include "capture/HtmlRefs.h"
#include "platform/Charset.h"

#include <algorithm>

namespace {

bool StartsWith(const std::vector<uint8_t>& v, std::initializer_list<uint8_t> mark) {
    if (v.size() < mark.size()) return false;
    size_t i = 0;
    for (uint8_t b : mark)
        if (v[i++] != b) return false;
    return true;
}

// The next code point of UTF-8 text at `i`, moving past it; U+FFFD for a
// byte that starts no whole character.
char32_t NextCodePoint(const uint8_t* p, size_t n, size_t& i, bool* pValid = nullptr) {
    const uint8_t c = p[i];
    const size_t extra = c < 0x80 ? 0 : c >= 0xC2 && c < 0xE0 ? 1 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
    if (extra == 0) {
        ++i;
        return c;
    }
    bool ok = extra < 4 && i + extra < n;
    char32_t cp = ok ? (c & (0x3F >> extra)) : 0;
    for (size_t k = 1; ok && k <= extra; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) ok = false;
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (!ok) {
        if (pValid) *pValid = false;
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return cp;
}

bool ValidUtf8WithNonAscii(const std::vector<uint8_t>& v) {
    bool valid = true, nonAscii = false;
    for (size_t i = 0; i < v.size() && valid;) nonAscii |= NextCodePoint(v.data(), v.size(), i, &valid) >= 0x80;
    return valid && nonAscii;
}

}  // namespace

bool ReplacePageBody(const std::vector<uint8_t>& page, const CBodyEdit& edit, std::vector<uint8_t>& out) {
    out.clear();
    const CHtmlScan scan = ScanHtml(page.data(), page.size(), std::string());
    const CBodySpan body = FindPageBody(scan);
    if (!body.m_bFound) return false;
    std::vector<CPageEdit> edits;
    if (edit.m_bStartTagChanged && body.m_nTagEnd > body.m_nTagBegin)
        edits.push_back({body.m_nTagBegin, body.m_nTagEnd - body.m_nTagBegin, edit.m_strStartTag});
    if (edit.m_bInnerChanged || (edit.m_bStartTagChanged && body.m_nTagEnd == body.m_nTagBegin)) {
        // A page that left its start tag out gets one when the body's
        // attributes changed: there is nowhere else to keep them.
        std::string text = edit.m_bStartTagChanged && body.m_nTagEnd == body.m_nTagBegin ? edit.m_strStartTag : "";
        if (edit.m_bInnerChanged) {
            text += edit.m_strInner;
            edits.push_back({body.m_nContentBegin, body.m_nContentEnd - body.m_nContentBegin, text});
        } else {
            edits.push_back({body.m_nContentBegin, 0, text});
        }
    }
    out = ApplyPageEdits(scan, page.data(), page.size(), std::move(edits));
    return true;
}

std::vector<uint8_t> EncodeTextPage(const std::string& strUtf8, const std::vector<uint8_t>& original) {
    std::vector<uint8_t> out;
    auto utf8WithMark = [&] {
        out = {0xEF, 0xBB, 0xBF};
        out.insert(out.end(), strUtf8.begin(), strUtf8.end());
        return out;
    };
    if (StartsWith(original, {0xFF, 0xFE}) || StartsWith(original, {0xFE, 0xFF})) {
        const bool bBig = original[0] == 0xFE;
        out = {original[0], original[1]};
        std::u16string units;
        const auto* p = reinterpret_cast<const uint8_t*>(strUtf8.data());
        for (size_t i = 0; i < strUtf8.size();) {
            const char32_t cp = NextCodePoint(p, strUtf8.size(), i);
            if (cp >= 0x10000) {
                units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                units.push_back(static_cast<char16_t>(cp));
            }
        }
        for (char16_t u : units) {
            const uint8_t hi = static_cast<uint8_t>(u >> 8), lo = static_cast<uint8_t>(u & 0xFF);
            if (bBig) {
                out.push_back(hi);
                out.push_back(lo);
            } else {
                out.push_back(lo);
                out.push_back(hi);
            }
        }
        return out;
    }
    if (StartsWith(original, {0xEF, 0xBB, 0xBF})) return utf8WithMark();
    if (ValidUtf8WithNonAscii(original) || charset::ProcessCodePageIsUtf8()) {
        out.assign(strUtf8.begin(), strUtf8.end());
        return out;
    }
    const std::string ansi = charset::Utf8ToAnsi(strUtf8);
    if (charset::AnsiToUtf8(ansi) != strUtf8) return utf8WithMark();
    out.assign(ansi.begin(), ansi.end());
    return out;
}

namespace {

std::string NameOf(const std::string& value) { return value.substr(0, value.find('#')); }

int UseOf(const CHtmlRef& ref) {
    switch (ref.m_nKind) {
    case kHtmlStylesheet: return kPointedStylesheet;
    case kHtmlDocument:
        return ref.m_strTag == "?xml-stylesheet" || ref.m_strTag.compare(0, 4, "xsl:") == 0 ? kPointedTransform
                                                                                            : kPointedFrame;
    default: return kPointedFile;
    }
}

// A lazy image's span holds what the page shows before its loader runs: a
// stored page keeps a real attribute there (the capture put the file in),
// and that attribute is a reference of its own. One the capture is still
// to insert is nothing yet.
bool AsStored(const CHtmlScan& scan, CHtmlRef& ref) {
    if (!ref.m_bLazy) return true;
    if (!ref.m_strBefore.empty() || ref.m_nOffset + ref.m_nLength > scan.m_strText.size()) return false;
    std::string raw = scan.m_strText.substr(ref.m_nOffset, ref.m_nLength);
    if (raw.find('&') != std::string::npos) return false;
    ref.m_strValue = std::move(raw);
    ref.m_bVerbatim = true;
    ref.m_bLazy = false;
    return true;
}

}  // namespace

std::vector<uint8_t> PointFilesInto(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                    const std::function<bool(const std::string&)>& fnHeld, bool bXslOutput,
                                    std::vector<CPointedFile>& used) {
    const CHtmlScan scan = ScanHtml(page.data(), page.size(), std::string());
    auto held = [&](const std::string& value, int nUse) {
        const std::string name = NameOf(value);
        if (name.empty() || !fnHeld(name)) return false;
        used.push_back({name, nUse});
        return true;
    };
    std::vector<CPageEdit> edits;
    for (CHtmlRef ref : scan.m_refs) {
        if (!AsStored(scan, ref)) continue;
        std::vector<CPageEdit> inner;
        switch (ref.m_nKind) {
        case kHtmlResource:
        case kHtmlStylesheet:
        case kHtmlDocument:
            // An XSL reads its own imports from beside itself.
            if (held(ref.m_strValue, UseOf(ref)) && !(bXslOutput && ref.m_strTag.compare(0, 4, "xsl:") == 0))
                edits.push_back({ref.m_nOffset, ref.m_nLength, HtmlEscapeForAttr(strPrefix + ref.m_strValue, ref.m_cQuote)});
            continue;
        case kHtmlSrcset:
            for (const CSrcsetCandidate& c : ParseSrcset(ref.m_strValue))
                if (held(c.m_strUrl, kPointedFile)) inner.push_back({c.m_nOffset, c.m_nLength, strPrefix + c.m_strUrl});
            break;
        case kHtmlStyleText:
            for (const CCssRef& c : FindCssRefs(ref.m_strValue.data(), ref.m_strValue.size()))
                if (held(c.m_strValue, c.m_nKind == kCssImport ? kPointedStylesheet : kPointedFile))
                    inner.push_back({c.m_nOffset, c.m_nLength, CssEscapeForSpan(strPrefix + c.m_strValue, c.m_cQuote)});
            break;
        default:
            continue;
        }
        if (inner.empty()) continue;
        if (ref.m_bElementText) {
            // A style element's text is CSS as it stands.
            for (const CPageEdit& e : inner) edits.push_back({ref.m_nOffset + e.m_nOffset, e.m_nLength, e.m_strText});
        } else {
            EditInsideRef(ref, inner, edits);
        }
    }
    if (edits.empty()) return page;
    std::sort(edits.begin(), edits.end(), [](const CPageEdit& a, const CPageEdit& b) { return a.m_nOffset < b.m_nOffset; });
    return ApplyPageEdits(scan, page.data(), page.size(), std::move(edits));
}

std::vector<uint8_t> PointAttachmentsInto(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                          const std::function<bool(const std::string&)>& fnHeld,
                                          std::vector<std::string>& pointed) {
    std::vector<CPointedFile> used;
    std::vector<uint8_t> out = PointFilesInto(page, strPrefix, fnHeld, false, used);
    for (const CPointedFile& f : used)
        if (std::find(pointed.begin(), pointed.end(), f.m_strName) == pointed.end()) pointed.push_back(f.m_strName);
    return out;
}
