#include "capture/HighlightPage.h"

#include "capture/HtmlEncoding.h"
#include "capture/ModernCapture.h"
#include "platform/Charset.h"

#include <gumbo.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace hlpage {

namespace {

// A page this large is a damaged or hostile one, not an article.
constexpr size_t kMaxPage = size_t{64} << 20;

bool IsSpaceCp(uint32_t cp) {
    return cp == ' ' || cp == '\t' || cp == '\n' || cp == '\r' || cp == '\f' || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

// Characters that take no room: soft hyphens, zero-width spaces and joiners.
bool IsInvisible(uint32_t cp) {
    return cp < 0x20 || cp == 0x7F || cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || cp == 0x2060 || cp == 0xFEFF;
}

// Elements whose text the reader does not see as text of the page.
bool IsHiddenElement(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_SELECT:
        return true;
    default:
        return false;
    }
}

// Elements inside a line of text: the words around them run on as written.
// Every other element ends a word, as for the search.
bool IsInlineElement(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_A: case GUMBO_TAG_ABBR: case GUMBO_TAG_B: case GUMBO_TAG_BDI: case GUMBO_TAG_BDO:
    case GUMBO_TAG_BIG: case GUMBO_TAG_CITE: case GUMBO_TAG_CODE: case GUMBO_TAG_DATA: case GUMBO_TAG_DFN:
    case GUMBO_TAG_EM: case GUMBO_TAG_FONT: case GUMBO_TAG_I: case GUMBO_TAG_KBD: case GUMBO_TAG_MARK:
    case GUMBO_TAG_NOBR: case GUMBO_TAG_Q: case GUMBO_TAG_S: case GUMBO_TAG_SAMP: case GUMBO_TAG_SMALL:
    case GUMBO_TAG_SPAN: case GUMBO_TAG_STRIKE: case GUMBO_TAG_STRONG: case GUMBO_TAG_SUB: case GUMBO_TAG_SUP:
    case GUMBO_TAG_TIME: case GUMBO_TAG_TT: case GUMBO_TAG_U: case GUMBO_TAG_VAR: case GUMBO_TAG_WBR:
        return true;
    default:
        return false;
    }
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }
bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The next code point of valid UTF-8 (the parser's text always is).
uint32_t NextCp(const char* p, size_t n, size_t& i) {
    UChar32 c;
    int32_t k = static_cast<int32_t>(i);
    U8_NEXT(reinterpret_cast<const uint8_t*>(p), k, static_cast<int32_t>(n), c);
    i = static_cast<size_t>(k);
    return c < 0 ? 0xFFFD : static_cast<uint32_t>(c);
}

// Whether `dec` from `j` goes on as `src` from `i` does, up to the next
// reference or a few bytes: says where a reference ended.
bool GoesOnAlike(const char* src, size_t n, size_t i, const std::string& dec, size_t j) {
    for (size_t k = 0; k < 12 && i + k < n; ++k) {
        const char c = src[i + k];
        if (c == '&' || c == '\r' || c == '\0') return true;
        if (j + k >= dec.size() || dec[j + k] != c) return false;
    }
    return true;
}

// The decoded text of a text node beside its source: for each code point
// of `dec`, the source bytes it came from. False when they cannot be
// matched (the parser took the node's text from several places). `breaks`
// receives the code points that follow an end tag the parser ignored: a
// mark must not take such a tag in, or the tag would end the mark.
bool AlignText(const char* src, size_t n, const std::string& dec, std::vector<std::pair<size_t, size_t>>& spans,
               std::vector<size_t>& breaks) {
    spans.clear();
    breaks.clear();
    size_t i = 0, j = 0;
    auto take = [&](size_t srcEnd, size_t nCps) {
        for (size_t k = 0; k < nCps && j < dec.size(); ++k) {
            NextCp(dec.data(), dec.size(), j);
            spans.emplace_back(i, srcEnd);
        }
        i = srcEnd;
    };
    while (j < dec.size()) {
        if (i >= n) return false;
        size_t jNext = j;
        const uint32_t cp = NextCp(dec.data(), dec.size(), jNext);
        const size_t len = jNext - j;
        if (src[i] == '&' && i + 1 < n && src[i + 1] == '#') {
            size_t k = i + 2;
            const bool hex = k < n && (src[k] == 'x' || src[k] == 'X');
            if (hex) ++k;
            const size_t digits = k;
            auto digit = [&](char c) {
                return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
            };
            while (k < n && digit(src[k])) ++k;
            if (k > digits) {
                if (k < n && src[k] == ';') ++k;
                take(k, 1);
                continue;
            }
        } else if (src[i] == '&' && i + 1 < n && IsAsciiAlnum(src[i + 1])) {
            size_t r = i + 1;
            while (r < n && IsAsciiAlnum(src[r])) ++r;
            if (cp == '&') {
                const std::string s(src + i, std::min<size_t>(5, n - i));
                if (s == "&amp;" || s == "&AMP;") {
                    take(i + 5, 1);
                    continue;
                }
                if (s.compare(0, 4, "&amp") == 0 || s.compare(0, 4, "&AMP") == 0) {
                    if (GoesOnAlike(src, n, i + 4, dec, jNext)) {
                        take(i + 4, 1);
                        continue;
                    }
                }
            } else {
                // A named reference: where it ends, and whether it gave one
                // character or two, is where the rest reads alike again.
                bool done = false;
                const size_t longest = r < n && src[r] == ';' ? r + 1 : r;
                for (size_t e = longest; e >= i + 2 && !done; --e) {
                    size_t jAfter = jNext;
                    for (size_t m = 1; m <= 2 && !done; ++m) {
                        if (m == 2) {
                            if (jAfter >= dec.size()) break;
                            NextCp(dec.data(), dec.size(), jAfter);
                        }
                        if (GoesOnAlike(src, n, e, dec, jAfter)) {
                            take(e, m);
                            done = true;
                        }
                    }
                }
                if (done) continue;
                return false;
            }
        }
        if (src[i] == '\r' && cp == '\n') {
            take(i + 1 < n && src[i + 1] == '\n' ? i + 2 : i + 1, 1);
            continue;
        }
        if (i + len <= n && std::memcmp(src + i, dec.data() + j, len) == 0) {
            take(i + len, 1);
            continue;
        }
        if (IsAsciiSpace(src[i]) || src[i] == '\0') {
            ++i;  // dropped by the parser (the line feed after <pre>, a NUL)
            continue;
        }
        if (src[i] == '<' && i + 2 < n && src[i + 1] == '/' && IsAsciiAlnum(src[i + 2])) {
            // An end tag the parser ignored (nothing of its name was open):
            // the text on either side is one node.
            const void* close = std::memchr(src + i, '>', n - i);
            if (!close) return false;
            i = static_cast<size_t>(static_cast<const char*>(close) - src) + 1;
            breaks.push_back(spans.size());
            continue;
        }
        if (cp == 0xFFFD) {
            size_t e = i + 1;
            while (e < n && (static_cast<uint8_t>(src[e]) & 0xC0) == 0x80) ++e;
            take(e, 1);
            continue;
        }
        return false;
    }
    for (; i < n; ++i)
        if (!IsAsciiSpace(src[i]) && src[i] != '\0') return false;
    return true;
}

std::string AttributeOf(const GumboElement& el, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&el.attributes, name);
    return a && a->value ? std::string(a->value) : std::string();
}

class CWalker {
public:
    CWalker(CPage& page, const char* base) : m_page(page), m_base(base) {}

    void Walk(const GumboNode* root) {
        struct CFrame {
            const GumboNode* m_pNode;
            unsigned m_nNext;
            size_t m_nMark;  // index of the mark it opened, or npos
        };
        std::vector<CFrame> stack;
        Enter(root, stack);
        while (!stack.empty()) {
            CFrame& top = stack.back();
            const bool bDocument = top.m_pNode->type == GUMBO_NODE_DOCUMENT;
            const GumboVector& kids = bDocument ? top.m_pNode->v.document.children : top.m_pNode->v.element.children;
            if (top.m_nNext < kids.length) {
                const auto* child = static_cast<const GumboNode*>(kids.data[top.m_nNext++]);
                Enter(child, stack);
                continue;
            }
            if (!bDocument && !IsInlineElement(top.m_pNode->v.element.tag)) m_bSpace = true;
            if (top.m_nMark != std::string::npos) m_page.m_marks[top.m_nMark].m_nLast = m_page.m_chars.size();
            stack.pop_back();
        }
    }

private:
    template <typename Stack>
    void Enter(const GumboNode* node, Stack& stack) {
        switch (node->type) {
        case GUMBO_NODE_DOCUMENT:
            stack.push_back({node, 0, std::string::npos});
            return;
        case GUMBO_NODE_ELEMENT: {
            const GumboElement& el = node->v.element;
            if (el.tag_namespace != GUMBO_NAMESPACE_HTML || IsHiddenElement(el.tag)) {
                m_bSpace = true;
                return;
            }
            if (!IsInlineElement(el.tag)) m_bSpace = true;
            size_t nMark = std::string::npos;
            if (el.tag == GUMBO_TAG_MARK && gumbo_get_attribute(&el.attributes, "data-cv-highlight"))
                nMark = AddMark(el);
            stack.push_back({node, 0, nMark});
            return;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            Text(node->v.text);
            return;
        default:  // comments, templates
            return;
        }
    }

    size_t AddMark(const GumboElement& el) {
        CMark mark;
        mark.m_strId = AttributeOf(el, "data-cv-highlight");
        mark.m_strColor = AttributeOf(el, "data-cv-color");
        mark.m_strDate = AttributeOf(el, "data-cv-date");
        mark.m_strComment = AttributeOf(el, "data-cv-comment");
        if (Inside(el.original_tag) && el.original_tag.data[0] == '<') {
            mark.m_nTagBegin = static_cast<size_t>(el.original_tag.data - m_base);
            mark.m_nTagEnd = mark.m_nTagBegin + el.original_tag.length;
        } else {
            return std::string::npos;  // made up by the parser: nothing to edit
        }
        if (Inside(el.original_end_tag) && el.original_end_tag.length >= 2 && el.original_end_tag.data[1] == '/') {
            mark.m_bHasEndTag = true;
            mark.m_nEndBegin = static_cast<size_t>(el.original_end_tag.data - m_base);
            mark.m_nEndEnd = mark.m_nEndBegin + el.original_end_tag.length;
        }
        mark.m_nFirst = mark.m_nLast = m_page.m_chars.size();
        m_page.m_marks.push_back(std::move(mark));
        return m_page.m_marks.size() - 1;
    }

    bool Inside(const GumboStringPiece& p) const {
        const std::string& text = m_page.m_scan.m_strText;
        return p.data && p.length && p.data >= text.data() && p.data + p.length <= text.data() + text.size();
    }

    void Text(const GumboText& t) {
        const std::string dec = t.text ? t.text : "";
        const bool placed = Inside(t.original_text) &&
                            AlignText(t.original_text.data, t.original_text.length, dec, m_spans, m_breaks);
        const size_t nodeStart = placed ? static_cast<size_t>(t.original_text.data - m_base) : 0;
        size_t node = m_nNode++;
        size_t j = 0, k = 0, nextBreak = 0;
        while (j < dec.size()) {
            const uint32_t cp = NextCp(dec.data(), dec.size(), j);
            const size_t at = k++;
            // Past an ignored end tag the text is a piece of its own.
            for (; placed && nextBreak < m_breaks.size() && m_breaks[nextBreak] <= at; ++nextBreak) node = m_nNode++;
            // The place as the browser counts it in its text nodes: ASCII
            // white space runs as one, every other character as one.
            const size_t nDomPos = m_nDomPos;
            const bool bAsciiSpace = cp < 0x80 && IsAsciiSpace(static_cast<char>(cp));
            if (!bAsciiSpace || !m_bDomSpace) ++m_nDomPos;
            m_bDomSpace = bAsciiSpace;
            if (IsSpaceCp(cp)) {
                m_bSpace = true;
                continue;
            }
            if (IsInvisible(cp)) continue;
            if (m_bSpace && !m_page.m_strText.empty()) {
                m_page.m_strText.push_back(' ');
            }
            m_bSpace = false;
            CChar c;
            c.m_cp = cp;
            c.m_nTextPos = nDomPos;
            c.m_nTextOffset = m_page.m_strText.size();
            c.m_nNode = node;
            c.m_bPlaced = placed;
            if (placed) {
                c.m_nSrcBegin = nodeStart + m_spans[at].first;
                c.m_nSrcEnd = nodeStart + m_spans[at].second;
            }
            AppendUtf8(m_page.m_strText, static_cast<char32_t>(cp));
            m_page.m_chars.push_back(c);
        }
    }

    CPage& m_page;
    const char* m_base;
    bool m_bSpace = false;
    size_t m_nDomPos = 0;
    bool m_bDomSpace = false;
    size_t m_nNode = 0;
    std::vector<std::pair<size_t, size_t>> m_spans;
    std::vector<size_t> m_breaks;
};

// The page's bytes as UTF-8 text, each byte knowing the bytes it came from,
// as the HTML reader decodes them (without its parse, which is not needed
// here).
CHtmlScan Decode(const std::vector<uint8_t>& bytes, const std::string& strCharset) {
    CHtmlScan scan;
    size_t bom = 0;
    scan.m_strEncoding = htmlenc::DetectEncoding(bytes.data(), bytes.size(), strCharset, &bom, &scan.m_nEncodingFrom);
    if (scan.m_strEncoding == "UTF-8")
        scan.m_strText.assign(bytes.begin(), bytes.end());
    else if (scan.m_strEncoding == "UTF-16LE" || scan.m_strEncoding == "UTF-16BE")
        htmlenc::DecodeUtf16(bytes.data(), bytes.size(), bom, scan.m_strEncoding == "UTF-16BE", scan);
    else
        htmlenc::DecodeLegacy(bytes.data(), bytes.size(), scan.m_strEncoding, scan);
    return scan;
}

// The bytes read with the process code page when nothing in them says
// otherwise: that is how the notebook keeps pages.
CHtmlScan DecodePage(const std::vector<uint8_t>& bytes) {
    CHtmlScan scan = Decode(bytes, std::string());
    if (scan.m_nEncodingFrom == kEncodingGuessed && scan.m_strEncoding != "UTF-8" &&
        !charset::ProcessCodePageIsUtf8()) {
        const std::string enc = EncodingForCharsetLabel(charset::ProcessCodePage());
        if (!enc.empty() && enc != scan.m_strEncoding) {
            scan = Decode(bytes, enc);
            scan.m_nEncodingFrom = kEncodingGuessed;
        }
    }
    return scan;
}

}  // namespace

bool IsSkipped(uint32_t cp) { return IsSpaceCp(cp) || IsInvisible(cp); }

std::vector<uint32_t> Significant(const std::string& utf8) {
    std::vector<uint32_t> out;
    size_t i = 0;
    while (i < utf8.size()) {
        const uint32_t cp = NextCp(utf8.data(), utf8.size(), i);
        if (!IsSkipped(cp)) out.push_back(cp);
    }
    return out;
}

void ReadPage(const std::vector<uint8_t>& bytes, CPage& page) {
    page = CPage();
    // The parser slows down with the square of the depth, and its tree
    // takes a few hundred bytes a tag.
    if (bytes.size() > kMaxPage || TooDeepToParse(bytes.data(), bytes.size())) return;
    page.m_scan = DecodePage(bytes);
    const std::string& text = page.m_scan.m_strText;
    const size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* output = gumbo_parse_with_options(&options, text.data() + from, text.size() - from);
    if (!output) return;
    if (output->document) {
        CWalker walker(page, text.data());
        walker.Walk(output->document);
        page.m_bRead = true;
    }
    gumbo_destroy_output(&options, output);
}

}  // namespace hlpage
