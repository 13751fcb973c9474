// Random pages through the HTML scan and its page edits: no crash, no hang,
// every span inside the scan text and in order, and an edited page that
// differs from the original only where the edits stand. With the first
// byte's high bit set the input is a stylesheet instead: its references in
// order and inside the text, and each replaced by an escaped name reads back
// as that name.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "capture/CssRefs.h"
#include "capture/HtmlRefs.h"

using fuzz::Check;

namespace {

void FuzzStylesheet(const char* css, size_t n) {
    const std::vector<CCssRef> refs = FindCssRefs(css, n);
    std::string out;
    size_t pos = 0;
    static const char kName[] = "vlt a(1)\"'.png";
    for (const CCssRef& r : refs) {
        Check(r.m_nOffset >= pos && r.m_nOffset <= n && r.m_nLength <= n - r.m_nOffset, "css span inside, in order");
        out.append(css + pos, r.m_nOffset - pos);
        out += CssEscapeForSpan(kName, r.m_cQuote);
        pos = r.m_nOffset + r.m_nLength;
    }
    out.append(css + pos, n - pos);
    const std::vector<CCssRef> again = FindCssRefs(out.data(), out.size());
    Check(again.size() == refs.size(), "a replaced stylesheet has as many references");
    for (size_t i = 0; i < again.size() && i < refs.size(); ++i) {
        Check(again[i].m_strValue == kName, "an escaped name reads back as itself");
        Check(again[i].m_nKind == refs[i].m_nKind, "a reference keeps its kind");
    }
    const std::string value(css, n);
    size_t last = 0;
    for (const CSrcsetCandidate& c : ParseSrcset(value)) {
        Check(c.m_nOffset >= last && c.m_nOffset + c.m_nLength <= n, "srcset candidate inside, in order");
        Check(value.compare(c.m_nOffset, c.m_nLength, c.m_strUrl) == 0, "srcset candidate is its span");
        last = c.m_nOffset + c.m_nLength;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (data[0] & 0x80) {
        FuzzStylesheet(reinterpret_cast<const char*>(data + 1), size - 1);
        return 0;
    }
    // The first byte picks the charset the answer would have named.
    static const char* const kCharsets[] = {"", "utf-16le", "shift_jis", "windows-1251"};
    const std::string charset = kCharsets[data[0] % 4];
    const uint8_t* page = data + 1;
    const size_t n = size - 1;

    const CHtmlScan scan = ScanHtml(page, n, charset);
    const std::string& text = scan.m_strText;
    const std::vector<size_t>& map = scan.m_offsetMap;
    if (map.empty()) {
        Check(text == std::string(reinterpret_cast<const char*>(page), n), "unmapped scan text is the page");
    } else {
        Check(map.size() == text.size() + 1, "one page offset per scan byte and one for the end");
        Check(map.back() == n, "the map ends at the page's end");
        for (size_t i = 1; i < map.size(); ++i) Check(map[i - 1] <= map[i], "the map keeps the order");
    }
    size_t last = 0;
    std::vector<CPageEdit> edits;
    for (const CHtmlRef& ref : scan.m_refs) {
        Check(ref.m_nOffset <= text.size() && ref.m_nLength <= text.size() - ref.m_nOffset, "span inside the text");
        Check(ref.m_nOffset >= last, "refs in the order they stand");
        last = ref.m_nOffset;
        Check(!ref.m_strTag.empty(), "a ref names its element");
        if (ref.m_bVerbatim) Check(text.compare(ref.m_nOffset, ref.m_nLength, ref.m_strValue) == 0, "verbatim span");
        EditInsideRef(ref, {{0, ref.m_strValue.size(), "vltx.png"}}, edits);
    }

    Check(ApplyPageEdits(scan, page, n, {}) == std::vector<uint8_t>(page, page + n), "no edit, the same page");
    const std::vector<uint8_t> out = ApplyPageEdits(scan, page, n, edits);
    if (scan.m_strEncoding == "UTF-8") {
        // The edits made by hand over the page's own bytes.
        std::stable_sort(edits.begin(), edits.end(),
                         [](const CPageEdit& a, const CPageEdit& b) { return a.m_nOffset < b.m_nOffset; });
        std::string expect;
        size_t pos = 0;
        for (const CPageEdit& e : edits) {
            if (e.m_nOffset < pos) continue;
            expect.append(text, pos, e.m_nOffset - pos);
            expect += e.m_strText;
            pos = e.m_nOffset + e.m_nLength;
        }
        expect.append(text, pos, std::string::npos);
        Check(std::string(out.begin(), out.end()) == expect, "edits where the refs stand, nothing else");
    } else if (!edits.empty()) {
        size_t first = text.size(), end = 0;
        for (const CPageEdit& e : edits) {
            first = std::min(first, e.m_nOffset);
            end = std::max(end, e.m_nOffset + e.m_nLength);
        }
        const size_t head = map[first], tail = n - map[end];
        Check(out.size() >= head + tail, "the edited page keeps what lies around the edits");
        Check(std::equal(page, page + head, out.begin()), "bytes before the first edit kept");
        Check(std::equal(page + n - tail, page + n, out.end() - static_cast<std::ptrdiff_t>(tail)),
              "bytes after the last edit kept");
    }
    return 0;
}
