#include "capture/HtmlRefs.h"
#include "capture/HtmlEncoding.h"
#include "platform/Charset.h"

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

using namespace htmlenc;

namespace {

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

// The parser's memory, released at once: gumbo frees its tree by recursion,
// which a page of a few hundred thousand nested tags would take beyond the
// stack. The parser makes a small allocation for nearly every character
// run, tag and attribute and frees most of them soon after, so small sizes
// come from free lists carved out of large chunks (half the time of a
// capture of a long page went to malloc and its page faults); large ones
// are linked in a list so the parser may still free the ones it is done
// with. Chunks count against the bound when taken and stay until the end.
class CParseArena {
public:
    explicit CParseArena(CParseBound& bound) : m_bound(bound) { m_large.m_pPrev = m_large.m_pNext = &m_large; }
    ~CParseArena() {
        for (Large* b = m_large.m_pNext; b != &m_large;) {
            Large* next = b->m_pNext;
            m_bound.Release(b->m_nSize);
            std::free(b);
            b = next;
        }
        for (void* c : m_chunks) std::free(c);
        m_bound.Release(m_chunks.size() * kChunk);
    }
    CParseArena(const CParseArena&) = delete;
    CParseArena& operator=(const CParseArena&) = delete;

    void Install(GumboOptions& options) {
        options.allocator = &CParseArena::Alloc;
        options.deallocator = &CParseArena::Free;
        options.userdata = this;
    }

private:
    static constexpr size_t kAlign = alignof(std::max_align_t);
    static constexpr size_t kClasses = 32;  // sizes up to 32 * kAlign bytes
    static constexpr size_t kChunk = 256 * 1024;
    static constexpr uint32_t kLargeMark = 0xFFFFFFFFu;

    // Before every allocation; its last four bytes, right before the
    // allocation's, hold the size class, or kLargeMark.
    struct alignas(kAlign) Small {
        Small* m_pNextFree;  // while on a free list
        uint32_t m_nPad;
        uint32_t m_nClass;
    };
    struct alignas(kAlign) Large {
        Large* m_pPrev;
        Large* m_pNext;
        size_t m_nSize;  // with this header
        uint32_t m_nPad;
        uint32_t m_nClass;
    };
    static_assert(offsetof(Small, m_nClass) + 4 == sizeof(Small) && offsetof(Large, m_nClass) + 4 == sizeof(Large),
                  "the class stands right before the allocation");

    static uint32_t& ClassOf(void* p) { return *(static_cast<uint32_t*>(p) - 1); }

    void* AllocSmall(size_t nClass) {
        if (Small* s = m_free[nClass]) {
            m_free[nClass] = s->m_pNextFree;
            return s + 1;
        }
        const size_t need = sizeof(Small) + (nClass + 1) * kAlign;
        if (m_nChunkLeft < need) {
            m_bound.Charge(kChunk);
            void* c = std::malloc(kChunk);
            if (!c) {
                m_bound.Release(kChunk);
                throw std::bad_alloc();
            }
            m_chunks.push_back(c);
            m_pChunkNext = static_cast<char*>(c);
            m_nChunkLeft = kChunk;
        }
        Small* s = reinterpret_cast<Small*>(m_pChunkNext);
        m_pChunkNext += need;
        m_nChunkLeft -= need;
        s->m_nClass = static_cast<uint32_t>(nClass);
        return s + 1;
    }

    void* AllocLarge(size_t size) {
        m_bound.Charge(sizeof(Large) + size);
        Large* b = static_cast<Large*>(std::malloc(sizeof(Large) + size));
        if (!b) {
            m_bound.Release(sizeof(Large) + size);
            throw std::bad_alloc();
        }
        b->m_nSize = sizeof(Large) + size;
        b->m_pNext = m_large.m_pNext;
        b->m_pPrev = &m_large;
        b->m_pNext->m_pPrev = b;
        m_large.m_pNext = b;
        b->m_nClass = kLargeMark;
        return b + 1;
    }

    static void* Alloc(void* self, size_t size) {
        CParseArena* arena = static_cast<CParseArena*>(self);
        const size_t nClass = size ? (size - 1) / kAlign : 0;
        return nClass < kClasses ? arena->AllocSmall(nClass) : arena->AllocLarge(size);
    }

    static void Free(void* self, void* p) {
        if (!p) return;
        CParseArena* arena = static_cast<CParseArena*>(self);
        const uint32_t nClass = ClassOf(p);
        if (nClass != kLargeMark) {
            Small* s = static_cast<Small*>(p) - 1;
            s->m_pNextFree = arena->m_free[nClass];
            arena->m_free[nClass] = s;
            return;
        }
        Large* b = static_cast<Large*>(p) - 1;
        arena->m_bound.Release(b->m_nSize);
        b->m_pPrev->m_pNext = b->m_pNext;
        b->m_pNext->m_pPrev = b->m_pPrev;
        std::free(b);
    }

    CParseBound& m_bound;
    Large m_large;
    Small* m_free[kClasses] = {};
    std::vector<void*> m_chunks;
    char* m_pChunkNext = nullptr;
    size_t m_nChunkLeft = 0;
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
