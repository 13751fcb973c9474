#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/CssRefs.h"

namespace {

std::vector<CCssRef> Refs(const std::string& css) { return FindCssRefs(css.data(), css.size()); }

// The values found, an import marked with a leading '@'.
std::vector<std::string> Values(const std::string& css) {
    std::vector<std::string> out;
    for (const CCssRef& ref : Refs(css)) out.push_back((ref.m_nKind == kCssImport ? "@" : "") + ref.m_strValue);
    return out;
}

// The bytes each reference's span covers.
std::vector<std::string> Spans(const std::string& css) {
    std::vector<std::string> out;
    for (const CCssRef& ref : Refs(css)) {
        EXPECT_LE(ref.m_nOffset + ref.m_nLength, css.size());
        out.push_back(css.substr(ref.m_nOffset, ref.m_nLength));
    }
    return out;
}

using Strings = std::vector<std::string>;

std::vector<std::string> SrcsetUrls(const std::string& value) {
    std::vector<std::string> out;
    for (const CSrcsetCandidate& c : ParseSrcset(value)) {
        EXPECT_EQ(value.substr(c.m_nOffset, c.m_nLength), c.m_strUrl) << value;
        out.push_back(c.m_strUrl);
    }
    return out;
}

}  // namespace

TEST(CssRefs, UrlFunctionsQuotedOrNot) {
    const std::string css = "a{background:url(a.png)} b{background:URL( \"b.png\" )} c{x:url('c.png')}";
    const std::vector<CCssRef> refs = Refs(css);
    ASSERT_EQ(refs.size(), 3u);
    EXPECT_EQ(refs[0].m_cQuote, 0);
    EXPECT_EQ(refs[1].m_cQuote, '"');
    EXPECT_EQ(refs[2].m_cQuote, '\'');
    for (const CCssRef& ref : refs) EXPECT_EQ(ref.m_nKind, kCssUrl);
    EXPECT_EQ(Values(css), (Strings{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(Spans(css), (Strings{"a.png", "b.png", "c.png"}));

    // White space inside the parentheses is no part of the URL or its span;
    // inside quotes the span is the whole string, the value trimmed.
    EXPECT_EQ(Spans("x{a:url(  \t\n a.png \n )}"), (Strings{"a.png"}));
    EXPECT_EQ(Spans("x{a:url(\r\n\"b.png\"\r\n)}"), (Strings{"b.png"}));
    EXPECT_EQ(Spans("x{a:url(' c.png ')}"), (Strings{" c.png "}));
    EXPECT_EQ(Values("x{a:url(' c.png ')}"), (Strings{"c.png"}));

    // Empty ones are reported where the text would stand, with no value.
    const std::string empty = "a{b:url()} c{d:url(\"\")} e{f:url(   )}";
    const std::vector<CCssRef> none = Refs(empty);
    ASSERT_EQ(none.size(), 3u);
    EXPECT_EQ(none[0].m_nOffset, empty.find("url()") + 4);
    EXPECT_EQ(none[1].m_nOffset, empty.find("\"\"") + 1);
    EXPECT_EQ(none[2].m_nOffset, empty.find("   )") + 3);
    for (const CCssRef& ref : none) {
        EXPECT_EQ(ref.m_nLength, 0u);
        EXPECT_EQ(ref.m_strValue, "");
    }

    // A data: URL is one more reference; url() counts in any property.
    EXPECT_EQ(Values("a{--bg:url(data:image/png;base64,AAAA);cursor:url(c.cur),auto}"),
              (Strings{"data:image/png;base64,AAAA", "c.cur"}));
    EXPECT_EQ(Values("<!-- a{b:url(x.png)} -->"), (Strings{"x.png"}));
}

TEST(CssRefs, CommentsAndOtherStringsHideNothingAndAreNoReferences) {
    EXPECT_EQ(Values("/* url(a.png) */ b{c:url(b.png)} /* @import 'x.css'; */"), (Strings{"b.png"}));
    EXPECT_EQ(Values("a{b:url(/*not-a-comment*/x.png)}"), (Strings{"/*not-a-comment*/x.png"}));
    EXPECT_EQ(Values("a{content:\"url(x.png)\"} b{content:'\\'url(y.png)'}"), Strings{});
    EXPECT_EQ(Values("a{content:\"x\";background:url(z.png)}"), (Strings{"z.png"}));
    EXPECT_EQ(Values("a{quotes:\"\\\"\" url(q.png)}"), (Strings{"q.png"}))
        << "an escaped quote does not end the string";
    EXPECT_EQ(Values("a{b:url(a.png)} /* never closed url(b.png)"), (Strings{"a.png"}));
    EXPECT_EQ(Values("a{b:c}/"), Strings{});
}

TEST(CssRefs, EscapesAreResolvedInNamesUrlsAndStrings) {
    // An escape spells the function's name as well as the letters do.
    EXPECT_EQ(Values("a{b:u\\72l(a.png)}"), (Strings{"a.png"}));
    EXPECT_EQ(Values("a{b:\\75\\52L(b.png)}"), (Strings{"b.png"}));
    EXPECT_EQ(Values("a{b:\\-webkit-image-set(\"c.png\" 1x)}"), (Strings{"c.png"}));

    const std::string css =
        "a{b:url(a\\ b\\(1\\).png)} c{d:url(\\61 .png)} e{f:url(\"q\\\"\\\\x\")} g{h:url('line\\\r\njoined')}";
    EXPECT_EQ(Values(css), (Strings{"a b(1).png", "a.png", "q\"\\x", "linejoined"}));
    EXPECT_EQ(Spans(css), (Strings{"a\\ b\\(1\\).png", "\\61 .png", "q\\\"\\\\x", "line\\\r\njoined"}));

    // Code points become UTF-8; zero, surrogates and what lies past Unicode
    // become U+FFFD, and so does a NUL byte.
    EXPECT_EQ(Values("a{b:url(\\e9\\1F600 x)}"), (Strings{"\xC3\xA9\xF0\x9F\x98\x80x"}));
    EXPECT_EQ(Values("a{b:url(\\0 \\D800 \\110000 )}"), (Strings{"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}));
    EXPECT_EQ(Values(std::string("a{b:url(x\0y)}", 14)), (Strings{"x\xEF\xBF\xBDy"}));
    // Six hex digits at most; the seventh is a character. One white space
    // (CR LF as one) after an escape belongs to it.
    EXPECT_EQ(Values("a{b:url(\\0000411)}"), (Strings{"A1"}));
    EXPECT_EQ(Values("a{b:url('\\41\r\nB')}"), (Strings{"AB"}));
    EXPECT_EQ(Values("a{b:url('\\41  B')}"), (Strings{"A B"}));
    // An escaped non-ASCII byte passes through with the rest of its character.
    EXPECT_EQ(Values("a{b:url(\\\xC3\xA9.png)}"), (Strings{"\xC3\xA9.png"}));
}

TEST(CssRefs, MalformedUrlsAndStringsAreSkippedAndTheScanGoesOn) {
    // Bad URLs: white space inside, a quote or a parenthesis, a control
    // character, a backslash before a newline. Each ends at its ")" and the
    // next reference is still found.
    EXPECT_EQ(Values("a{b:url(a b.png)} c{d:url(c.png)}"), (Strings{"c.png"}));
    EXPECT_EQ(Values("a{b:url(a\"b)} c{d:url(x'y) url(c(d) url(e\x01) url(f\\\ng)} h{i:url(h.png)}"),
              (Strings{"h.png"}));
    // An escaped ")" does not end a bad URL's remnant.
    EXPECT_EQ(Values("a{b:url(a b\\) url(x.png)) url(y.png)}"), (Strings{"y.png"}));
    // A newline cuts a string: no reference, and the next line reads on.
    EXPECT_EQ(Values("a{b:url(\"a.png\n) c{d:url(c.png)}"), (Strings{"c.png"}));
    EXPECT_EQ(Values("@import 'a.css\n@import 'b.css'; @import 'c.css';"), (Strings{"@c.css"}))
        << "the cut string leaves a malformed rule up to its ';', and b.css is in it";
    // Unclosed at the end of the text: nothing.
    EXPECT_EQ(Values("a{b:url(a.png)} c{d:url(c.png"), (Strings{"a.png"}));
    EXPECT_EQ(Values("a{b:url(c.png  "), Strings{});
    EXPECT_EQ(Values("a{b:url(\"c.png\""), (Strings{"c.png"})) << "the string is closed, the function need not be";
    EXPECT_EQ(Values("a{b:url(\"c.png"), Strings{});
    EXPECT_EQ(Values("a{b:url(\"c.png\\"), Strings{});
    EXPECT_EQ(Values("@import 'c.css"), Strings{});
    EXPECT_EQ(Values("a{b:url("), Strings{});
    EXPECT_EQ(Values("a{b:url(x\\"), Strings{});
}

TEST(CssRefs, ImportsInEveryForm) {
    const std::string css =
        "@import url(a.css);\n@import \"b.css\";\n@import url(\"c.css\") screen;\n@IMPORT 'd.css';\n"
        "@import/**/\"e.css\";@import\"f.css\" layer(x) supports(display:grid);@im\\70 ort url( g.css ) print;\n"
        "a{background:url(h.png)}";
    EXPECT_EQ(Values(css), (Strings{"@a.css", "@b.css", "@c.css", "@d.css", "@e.css", "@f.css", "@g.css", "h.png"}));
    EXPECT_EQ(Spans(css), (Strings{"a.css", "b.css", "c.css", "d.css", "e.css", "f.css", "g.css", "h.png"}));

    // Only what @import names is imported; its later strings are no
    // references, its later url() an ordinary one.
    EXPECT_EQ(Values("@import \"a.css\" \"b.css\" url(c.png);"), (Strings{"@a.css", "c.png"}));
    EXPECT_EQ(Values("@import screen url(a.css);"), (Strings{"a.css"}));
    EXPECT_EQ(Values("@imports 'a.css'; @media print { a { b: url(p.png) } }"), (Strings{"p.png"}));
    // A stylesheet's own rules only: after @charset, between <!-- -->, after
    // a block, but not inside one, nor inside another rule's prelude.
    EXPECT_EQ(Values("@charset \"utf-8\";<!-- @import 'a.css'; --> @import 'b.css'; a{} @import 'c.css';"),
              (Strings{"@a.css", "@b.css", "@c.css"}));
    EXPECT_EQ(Values("@media print { @import 'a.css'; @import url(b.css); } x @import 'c.css'; @import url(d.css);"),
              (Strings{"b.css", "d.css"}))
        << "a style rule's prelude runs on over ';'";
    EXPECT_EQ(Values("a{b:c; @import 'a.css'} d{} } @import 'b.css'; @import url(c.css);"), (Strings{"c.css"}))
        << "a stray '}' begins a style rule";
    EXPECT_EQ(Values("@import 'a.css' } @import 'b.css'; @import 'c.css';"), (Strings{"@a.css", "@c.css"}))
        << "an at-rule's prelude runs on over '}' to its ';'";
    // A namespace's URL names it and is no file.
    EXPECT_EQ(Values("@namespace url(http://www.w3.org/1999/xhtml); @namespace svg url(x); a{b:url(a.png)}"),
              (Strings{"a.png"}));
}

TEST(CssRefs, FontFaceSourcesImageSetsAndNestedFunctions) {
    const std::string font =
        "@font-face{font-family:F;src:local(\"F Bold\"),url(f.woff2) format(\"woff2\"),"
        "url('f.woff') format('woff'),url(f.ttf)format(\"truetype\")}";
    EXPECT_EQ(Values(font), (Strings{"f.woff2", "f.woff", "f.ttf"}));

    EXPECT_EQ(Values("a{b:image-set(\"a.png\" 1x, \"a-2x.png\" 2x)}"), (Strings{"a.png", "a-2x.png"}));
    EXPECT_EQ(Values("a{b:-webkit-image-set(url(a.png) 1x, 'b.png' 2x)}"), (Strings{"a.png", "b.png"}));
    EXPECT_EQ(Values("a{b:IMAGE-SET('a.avif' type(\"image/avif\"), url(\"b.jpg\") type('image/jpeg'))}"),
              (Strings{"a.avif", "b.jpg"}))
        << "type()'s string is inside a function of its own, and a url() string is not counted twice";
    EXPECT_EQ(Values("a{b:image-set(linear-gradient(red, \"x\") 1x, \"c.png\" 2x); content:\"d.png\"}"),
              (Strings{"c.png"}));
    EXPECT_EQ(Spans("a{b:image-set( 'a b.png' 1x)}"), (Strings{"a b.png"}));

    EXPECT_EQ(Values("a{background:linear-gradient(to right, rgba(0,0,0,.5), #fff 10%), url(a.png) no-repeat}"),
              (Strings{"a.png"}));
    EXPECT_EQ(Values("a{mask:url(m.svg#x),url(n.svg);filter:drop-shadow(1px 1px url(o.svg))}"),
              (Strings{"m.svg#x", "n.svg", "o.svg"}));
}

TEST(CssRefs, NamesThatOnlyLookLikeUrl) {
    // A unit, a hash, a longer name, a gap before the parenthesis: none is
    // the url function. A custom property's value is scanned like any other.
    EXPECT_EQ(Values("a{b:1url(a.png);c:#url(b.png);d:-url(c.png);e:xurl(d.png);f:url (e.png);--g:url(g.png)}"),
              (Strings{"g.png"}));
    EXPECT_EQ(Values("a{b:1e3url(a.png);c:.5url(b.png)} d{e:url(d.png)}"), (Strings{"d.png"}));
    EXPECT_EQ(Values("a{b:image-sets(\"a.png\");c:image-set (\"b.png\");d:image-set(\"c.png\")}"), (Strings{"c.png"}));
    // A stray closer does not end the image-set it stands in.
    EXPECT_EQ(Values("a{b:image-set(] } \"a.png\")} \"b.png\""), (Strings{"a.png"}));
}

TEST(CssRefs, AnyBytesAreSafe) {
    EXPECT_TRUE(FindCssRefs(nullptr, 0).empty());
    EXPECT_TRUE(FindCssRefs(nullptr, 10).empty());
    // The length is the end: nothing after it is read, so a url() cut by it
    // is unclosed.
    const std::string cut = "a{b:url(a.png)}";
    EXPECT_TRUE(FindCssRefs(cut.data(), cut.size() - 2).empty());
    EXPECT_EQ(FindCssRefs(cut.data(), cut.size() - 1).size(), 1u);

    // Deep nesting is a count, not a call stack.
    const std::string deep = std::string(200000, '(') + "image-set(\"a.png\")" + std::string(200000, ')');
    EXPECT_EQ(Values(deep), (Strings{"a.png"}));
    std::string nested;
    for (int i = 0; i < 50000; ++i) nested += "image-set(";
    nested += "'b.png'";
    EXPECT_EQ(Values(nested), (Strings{"b.png"}));

    // Every byte value, and every prefix of a text full of edge cases.
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_TRUE(Refs(all + all).empty());
    const std::string mix = "@import url(\"a\\\r\n.css\") x;b{c:u\\72l( \\31 \x80\\ ) image-set('\\\n' 1x)}/*";
    for (size_t n = 0; n <= mix.size(); ++n)
        for (const CCssRef& ref : FindCssRefs(mix.data(), n)) EXPECT_LE(ref.m_nOffset + ref.m_nLength, n);
}

TEST(CssEscape, ReplacementsReadBackAsTheirValue) {
    const Strings values = {"a.png",
                            "a b.png",
                            "q\"u'o.png",
                            "x(1).png",
                            "back\\slash",
                            "line\nbreak",
                            "cr\rff\fend",
                            "tab\tx",
                            "\x01\x1f\x7f"
                            "ctl",
                            "a\nb",
                            "x\nfeed\n 1",
                            "caf\xC3\xA9.png",
                            "/*c*/",
                            "\\41",
                            "a\n\tb",
                            "1\n2"};
    for (const char quote : {'"', '\'', '\0'}) {
        for (const std::string& value : values) {
            const std::string esc = CssEscapeForSpan(value, quote);
            const std::string q = quote ? std::string(1, quote) : std::string();
            for (const std::string& css :
                 {"a{b:url(" + q + esc + q + ")}", "a{b:url( " + q + esc + q + " )} c{d:url(next.png)}"}) {
                const std::vector<CCssRef> refs = Refs(css);
                ASSERT_GE(refs.size(), 1u) << css;
                EXPECT_EQ(refs[0].m_strValue, value) << css;
                EXPECT_EQ(css.substr(refs[0].m_nOffset, refs[0].m_nLength), esc) << css;
                EXPECT_EQ(refs.size(), css.find("next") == std::string::npos ? 1u : 2u) << css;
            }
            if (quote) {
                const std::string css = "@import " + q + esc + q + "; a{b:image-set(" + q + esc + q + " 1x)}";
                EXPECT_EQ(Values(css), (Strings{"@" + value, value})) << css;
            }
        }
    }
    EXPECT_EQ(CssEscapeForSpan("a b(c).png", 0), "a\\20 b\\28 c\\29.png");
    EXPECT_EQ(CssEscapeForSpan("it's \"x\"\n", '"'), "it's \\\"x\\\"\\a");
    EXPECT_EQ(CssEscapeForSpan("l1\nb2", '\''), "l1\\a b2") << "a hex digit after the escape needs the space";
    EXPECT_EQ(CssEscapeForSpan("x\ny", '\''), "x\\ay");

    // The rewrite the capture makes: each span replaced, back to front, and
    // the text read again.
    std::string css = "@import 'a.css'; a{b:url( b.png ) image-set(\"c.png\" 2x)} d{e:url(\"\\64.png\")}";
    const Strings local = {"local 1.css", "it's (2).png", "\"3\".png", "4\\.png"};
    const std::vector<CCssRef> refs = Refs(css);
    ASSERT_EQ(refs.size(), local.size());
    for (size_t i = refs.size(); i-- > 0;)
        css.replace(refs[i].m_nOffset, refs[i].m_nLength, CssEscapeForSpan(local[i], refs[i].m_cQuote));
    EXPECT_EQ(Values(css), (Strings{"@local 1.css", "it's (2).png", "\"3\".png", "4\\.png"})) << css;
}

TEST(Srcset, CandidatesByTheHtmlRules) {
    EXPECT_EQ(SrcsetUrls("a.png 1x, b.png 2x"), (Strings{"a.png", "b.png"}));
    EXPECT_EQ(SrcsetUrls("a.jpg 100w,b.jpg 200w"), (Strings{"a.jpg", "b.jpg"}));
    EXPECT_EQ(SrcsetUrls("a.png"), (Strings{"a.png"}));
    // A URL runs to white space: commas inside it are its own, commas that
    // end it separate.
    EXPECT_EQ(SrcsetUrls("a.png,b.png"), (Strings{"a.png,b.png"}));
    EXPECT_EQ(SrcsetUrls("a.png, b.png,, c.png,"), (Strings{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(SrcsetUrls("image,1.png 1x, image,2.png 2x"), (Strings{"image,1.png", "image,2.png"}));
    EXPECT_EQ(SrcsetUrls("data:image/png;base64,AAAA 1x"), (Strings{"data:image/png;base64,AAAA"}));
    // Leading and trailing white space and commas are separators too.
    EXPECT_EQ(SrcsetUrls(" \t\n,, a.png 1x ,\r\n b.png  2x , "), (Strings{"a.png", "b.png"}));
    EXPECT_EQ(SrcsetUrls(" , ,\n"), Strings{});
    EXPECT_EQ(SrcsetUrls(""), Strings{});
    // A comma inside parentheses of a descriptor does not end it, even
    // unclosed; descriptors are passed over whatever they say.
    EXPECT_EQ(SrcsetUrls("a.png f(1, 2) 1x, b.png 2x"), (Strings{"a.png", "b.png"}));
    EXPECT_EQ(SrcsetUrls("a.png (1, b.png 2x"), (Strings{"a.png"}));
    EXPECT_EQ(SrcsetUrls("a.png nonsense 3q, b.png"), (Strings{"a.png", "b.png"}));

    const std::string value = "  x.png 1x,  y,z.png 2x";
    const std::vector<CSrcsetCandidate> c = ParseSrcset(value);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].m_nOffset, 2u);
    EXPECT_EQ(c[0].m_nLength, 5u);
    EXPECT_EQ(c[1].m_nOffset, value.find("y,z"));
    EXPECT_EQ(c[1].m_nLength, 7u);
}
