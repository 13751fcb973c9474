#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "capture/HtmlRefs.h"

namespace {

CHtmlScan Scan(const std::string& page, const std::string& charset = "") {
    return ScanHtml(reinterpret_cast<const uint8_t*>(page.data()), page.size(), charset);
}

std::string SpanOf(const CHtmlScan& scan, const CHtmlRef& ref) {
    return scan.m_strText.substr(ref.m_nOffset, ref.m_nLength);
}

// Every ref's span inside the text, in order; verbatim ones read as their
// value.
void CheckSpans(const CHtmlScan& scan) {
    size_t last = 0;
    for (const CHtmlRef& ref : scan.m_refs) {
        ASSERT_LE(ref.m_nOffset, scan.m_strText.size());
        ASSERT_LE(ref.m_nLength, scan.m_strText.size() - ref.m_nOffset);
        ASSERT_GE(ref.m_nOffset, last);
        last = ref.m_nOffset;
        if (ref.m_bVerbatim) {
            EXPECT_EQ(SpanOf(scan, ref), ref.m_strValue) << ref.m_strTag;
        }
    }
}

// "kind tag value" of each ref, and its span when it differs from the
// value, for comparing whole scans at once.
std::vector<std::string> Describe(const CHtmlScan& scan) {
    std::vector<std::string> out;
    for (const CHtmlRef& ref : scan.m_refs) {
        std::string d = std::to_string(ref.m_nKind) + " " + ref.m_strTag + " " + ref.m_strValue;
        const std::string span = SpanOf(scan, ref);
        if (span != ref.m_strValue) d += " [" + span + "]";
        out.push_back(d);
    }
    return out;
}

using V = std::vector<std::string>;

std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string out;
    for (const char c : ascii) {
        if (bigEndian) {
            out += '\0';
            out += c;
        } else {
            out += c;
            out += '\0';
        }
    }
    return out;
}

std::vector<uint8_t> EditAll(const CHtmlScan& scan, const std::string& page, const std::string& text, int kind = -1) {
    std::vector<CPageEdit> edits;
    for (const CHtmlRef& ref : scan.m_refs) {
        if (kind >= 0 && ref.m_nKind != kind) continue;
        CPageEdit e;
        e.m_nOffset = 0;
        e.m_nLength = ref.m_strValue.size();
        e.m_strText = text;
        std::vector<CPageEdit> inner{e};
        EditInsideRef(ref, inner, edits);
    }
    return ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits);
}

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(HtmlRefs, KindsOfReference) {
    const std::string page =
        "<!DOCTYPE html><html><head><base href='http://h/b/'><base href='ignored/'>"
        "<link rel=stylesheet href=a.css><link rel='Shortcut Icon' href=i.ico>"
        "<link rel=apple-touch-icon href=t.png><link rel=preload as=style href=p.css>"
        "<link rel=preload as=font href=f.woff2><link rel=modulepreload href=m.js>"
        "<link rel=prefetch href=no.js><link rel=canonical href=no.htm>"
        "<style>body{background:url(x.png)}</style><script src=s.js>var a='<img src=no.png>';</script></head>"
        "<body background=bg.gif><img src=i.png srcset='a.png 1x, b.png 2x' loading=lazy>"
        "<picture><source srcset=w.webp type=image/webp><img src=f.jpg></picture>"
        "<input type=IMAGE src=btn.png><input type=text src=no.png>"
        "<video poster=v.jpg src=v.mp4><source src=v.webm><track src=t.vtt></video><audio src=a.ogg></audio>"
        "<object data=o.swf></object><embed src=e.swf><iframe src=f.htm loading=lazy></iframe>"
        "<iframe src='about:blank'></iframe><iframe src='javascript:0'></iframe><iframe src=''></iframe>"
        "<image src=im.png><a href=page.htm>x</a><a href=''>e</a><a href='#top'>t</a><a "
        "href='mailto:a@b'>m</a><map><area href=ar.htm></map>"
        "<p style='color:red'>p</p><!-- <img src=comment.png> --></body></html>";
    const CHtmlScan scan = Scan(page);
    EXPECT_EQ(scan.m_strEncoding, "UTF-8");
    EXPECT_TRUE(scan.m_offsetMap.empty());
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan),
              (V{"6 base http://h/b/", "1 link a.css",    "0 link i.ico",    "0 link t.png",
                 "1 link p.css",       "0 link f.woff2",  "0 link m.js",     "5 style body{background:url(x.png)}",
                 "0 script s.js",      "0 body bg.gif",   "0 img i.png",     "4 img a.png 1x, b.png 2x",
                 "7 img lazy",         "4 source w.webp", "0 img f.jpg",     "0 input btn.png",
                 "0 video v.jpg",      "0 video v.mp4",   "0 source v.webm", "0 track t.vtt",
                 "0 audio a.ogg",      "0 object o.swf",  "0 embed e.swf",   "2 iframe f.htm",
                 "7 iframe lazy",      "0 img im.png",    "3 a page.htm",    "3 a mailto:a@b",
                 "3 area ar.htm",      "5 p color:red"}));
    for (const CHtmlRef& ref : scan.m_refs) {
        if (ref.m_strTag == "style") {
            EXPECT_TRUE(ref.m_bElementText);
            EXPECT_EQ(ref.m_cQuote, 0);
        }
        if (ref.m_strValue == "http://h/b/") {
            EXPECT_EQ(ref.m_cQuote, '\'');
        }
        if (ref.m_strValue == "a.css") {
            EXPECT_EQ(ref.m_cQuote, 0);
        }
    }
}

TEST(HtmlRefs, AttributeSpellings) {
    const std::string page =
        "<IMG SRC=\"Up.PNG\"><img src = 'sq.png' ><img src=a&amp;b.png><img src=\"x&#x41;.png\">"
        "<img src=\"plain&.png\"><img src=\"first.png\" src=\"second.png\"><img src><img src=\"\">"
        "<img src=\"line\r\nbreak.png\">";
    const CHtmlScan scan = Scan(page);
    CheckSpans(scan);
    ASSERT_EQ(Describe(scan),
              (V{"0 img Up.PNG", "0 img sq.png", "0 img a&b.png [a&amp;b.png]", "0 img xA.png [x&#x41;.png]",
                 "0 img plain&.png", "0 img first.png", "0 img line\nbreak.png [line\r\nbreak.png]"}));
    EXPECT_EQ(scan.m_refs[0].m_cQuote, '"');
    EXPECT_EQ(scan.m_refs[1].m_cQuote, '\'');
    EXPECT_EQ(scan.m_refs[2].m_cQuote, 0);
    EXPECT_FALSE(scan.m_refs[2].m_bVerbatim);
    EXPECT_FALSE(scan.m_refs[3].m_bVerbatim);
    EXPECT_TRUE(scan.m_refs[4].m_bVerbatim);  // a lone & decodes to itself
    EXPECT_FALSE(scan.m_refs[6].m_bVerbatim);
}

TEST(HtmlRefs, BrokenMarkup) {
    // Unclosed elements, attributes on end tags, a second body whose
    // attributes join the first, formatting elements the parser reopens
    // (their clones share the source and must not give a second ref),
    // elements after </html>, a tag cut off by the end.
    const std::string page =
        "<html><body style='a:b'><p><b><a href=one.htm>x<p>y</b></p src=end.png>"
        "<body background=second.gif style='c:d'><div><img src=deep.png"
        "</html><img src=after.png><table><tr><td background=td.gif><img src=t.png></table>"
        "<img src=cut.png";
    const CHtmlScan scan = Scan(page);
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan), (V{"5 body a:b", "3 a one.htm", "0 body second.gif", "0 img deep.png</html",
                                 "0 img after.png", "0 td td.gif", "0 img t.png"}));
}

TEST(HtmlRefs, TemplateNoscriptScriptAndComments) {
    // Template contents are markup; noscript is read as markup (scripting
    // off), so an offline copy keeps what it shows without scripts.
    const std::string page =
        "<head><noscript><link rel=stylesheet href=ns.css></noscript></head><body>"
        "<template><img src=tpl.png></template><noscript><img src=ns.png></noscript>"
        "<script>document.write('<img src=js.png>')</script><textarea><img src=ta.png></textarea>"
        "<!-- <img src=c.png> --><xmp><img src=xmp.png></xmp><noembed><img src=ne.png></noembed></body>";
    const CHtmlScan scan = Scan(page);
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan), (V{"1 link ns.css", "0 img tpl.png", "0 img ns.png"}));
}

TEST(HtmlRefs, LazyImages) {
    const std::string page =
        "<img data-src=real1.jpg>"
        "<img src=\"data:image/gif;base64,R0lGOD\" data-src=\"real2.jpg\">"
        "<img src='/img/blank.gif' data-lazy-src='real3.jpg'>"
        "<img src=\"\" data-original=real4.jpg>"
        "<img src=photo.jpg data-src=ignored.jpg>"
        "<img src=/a/Spacer.GIF?v=1 data-src=real5.jpg data-srcset='r5.jpg 1x, r5@2.jpg 2x'>"
        "<img src=ph.jpg srcset=ok.jpg data-srcset=ignored.jpg>"
        "<picture><source data-srcset=s.webp><img src=loading.svg data-src=real6.jpg></picture>"
        "<iframe data-src=frame.htm></iframe><iframe src=about:blank data-src=frame2.htm></iframe>"
        "<img src data-src=valueless.jpg>";
    const CHtmlScan scan = Scan(page);
    CheckSpans(scan);
    // Each data- attribute is a reference of its own as well: the loader
    // script, which runs offline too, moves it into place.
    EXPECT_EQ(Describe(scan),
              (V{"0 img real1.jpg []", "0 img real1.jpg", "0 img real2.jpg [data:image/gif;base64,R0lGOD]",
                 "0 img real2.jpg", "0 img real3.jpg [/img/blank.gif]", "0 img real3.jpg", "0 img real4.jpg []",
                 "0 img real4.jpg", "0 img photo.jpg", "0 img ignored.jpg",
                 "4 img r5.jpg 1x, r5@2.jpg 2x []",  // inserted before src
                 "0 img real5.jpg [/a/Spacer.GIF?v=1]", "0 img real5.jpg", "4 img r5.jpg 1x, r5@2.jpg 2x",
                 "0 img ph.jpg", "4 img ok.jpg", "4 img ignored.jpg", "4 source s.webp []", "4 source s.webp",
                 "0 img real6.jpg [loading.svg]", "0 img real6.jpg", "2 iframe frame.htm []", "2 iframe frame.htm",
                 "2 iframe frame2.htm [about:blank]", "2 iframe frame2.htm", "0 img valueless.jpg"}));
    const CHtmlRef& inserted = scan.m_refs[0];
    EXPECT_EQ(inserted.m_nOffset, 4u);  // just after "<img"
    EXPECT_EQ(inserted.m_strBefore, " src=\"");
    EXPECT_EQ(inserted.m_strAfter, "\"");
    EXPECT_TRUE(inserted.m_bLazy);
    EXPECT_FALSE(inserted.m_bVerbatim);

    // Written back: the placeholder gives way to the real address, an
    // inserted attribute is well formed, and nothing else moves.
    const std::vector<uint8_t> out = EditAll(scan, page, "local.jpg");
    const std::string s = Str(out);
    EXPECT_EQ(s.substr(0, 46), "<img src=\"local.jpg\" data-src=local.jpg><img s");
    EXPECT_NE(s.find("<img src=\"local.jpg\" data-src=\"local.jpg\">"), std::string::npos);
    EXPECT_NE(s.find("<img srcset=\"local.jpg\" src=local.jpg data-src=local.jpg data-srcset='local.jpg'>"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("<img src=local.jpg data-src=local.jpg>"), std::string::npos);
    EXPECT_NE(s.find("<img src data-src=local.jpg>"), std::string::npos) << "a valueless src stays as it is";
    const CHtmlScan again = Scan(s);
    for (const CHtmlRef& ref : again.m_refs) EXPECT_EQ(ref.m_strValue, "local.jpg") << s;
}

TEST(HtmlRefs, SvgAndXsl) {
    const std::string page =
        "<?xml-stylesheet type=\"text/xsl\" href=\"view.xsl\"?>"
        "<?xml-stylesheet href='s&amp;t.css' type='text/css'?>"
        "<?xml-stylesheet href=\"plain.xsl\"?><!--?xml-stylesheet href=no.css-->"
        "<html><body><svg xmlns:xlink='http://www.w3.org/1999/xlink'>"
        "<image xlink:href='pic.png'/><image href=pic2.png /><use href='#local'/><use xlink:href='sprite.svg#i'/>"
        "<a xlink:href='svglink.htm'><text>t</text></a><style>.a{fill:url(g.svg#p)}</style></svg>"
        "<xsl:import href='imp.xsl'/><xsl:include href='inc.xsl'/></body></html>";
    const CHtmlScan scan = Scan(page);
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan),
              (V{"2 ?xml-stylesheet view.xsl", "1 ?xml-stylesheet s&t.css [s&amp;t.css]", "2 ?xml-stylesheet plain.xsl",
                 "0 image pic.png", "0 image pic2.png", "0 use sprite.svg#i", "3 a svglink.htm",
                 "5 style .a{fill:url(g.svg#p)}", "2 xsl:import imp.xsl", "2 xsl:include inc.xsl"}));
    EXPECT_FALSE(scan.m_refs[1].m_bVerbatim);
}

TEST(HtmlRefs, AnXmlPageNamesItsPicturesInItsOwnElements) {
    const std::string xml =
        "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"v.xsl\"?>"
        "<catalog><item image=\"img/a.png\" name=\"a.png x\" link=\"http://h/b.png\" tpl=\"{@x}.png\" "
        "dir=\"img.png/\" clip='m/c.MP4?t=3'>one</item><xsl:value-of select=\"a.png\"/></catalog>";
    const CHtmlScan scan = Scan(xml);
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan), (V{"2 ?xml-stylesheet v.xsl", "0 item img/a.png", "0 item m/c.MP4?t=3"}));
    // In a page that is no XML, made-up elements are nobody's references.
    EXPECT_EQ(Describe(Scan("<html><item image=\"img/a.png\"></item></html>")), V{});
}

TEST(HtmlRefs, TheEncodingSaysWhereItWasFound) {
    const std::string plain = "<html><p>caf\xC3\xA9</p></html>";
    EXPECT_EQ(Scan(plain).m_nEncodingFrom, kEncodingGuessed);
    const CHtmlScan fromHttp = Scan(plain, "utf-8");
    EXPECT_EQ(fromHttp.m_strEncoding, "UTF-8");
    EXPECT_EQ(fromHttp.m_nEncodingFrom, kEncodingFromHttp);
    // The server wins; a page that says so too needs no mark on disk, one
    // that names another encoding does, or its copy is read by the wrong one.
    const CHtmlScan both = Scan("<meta charset=cp1251>" + plain, "windows-1251");
    EXPECT_EQ(both.m_strEncoding, "WINDOWS-1251");
    EXPECT_EQ(both.m_nEncodingFrom, kEncodingFromPage);
    const CHtmlScan differ = Scan("<meta charset=koi8-r>" + plain, "windows-1251");
    EXPECT_EQ(differ.m_strEncoding, "WINDOWS-1251");
    EXPECT_EQ(differ.m_nEncodingFrom, kEncodingFromHttp);
    EXPECT_EQ(Scan("\xEF\xBB\xBF" + plain, "windows-1251").m_nEncodingFrom, kEncodingFromPage);
    EXPECT_EQ(Scan("<?xml version='1.0' encoding='iso-8859-2'?><a/>").m_nEncodingFrom, kEncodingFromPage);
}

TEST(HtmlRefs, Utf16WithBomAndFromTheHttpCharset) {
    const std::string body = "<html><head><meta charset=windows-1252></head><body><img src=\"a.png\"> \xE9";
    for (const bool be : {false, true}) {
        SCOPED_TRACE(be ? "BE" : "LE");
        std::string page = Utf16("<html><p>", be);
        page += be ? std::string("\x00\xE9", 2) : std::string("\xE9\x00", 2);                  // é
        page += be ? std::string("\xD8\x3D\xDE\x00", 4) : std::string("\x3D\xD8\x00\xDE", 4);  // U+1F600
        page += Utf16("<img src=\"pic.png\" alt=x><a href='p.htm'>", be);
        for (const bool bom : {true, false}) {
            const std::string bytes = bom ? (be ? std::string("\xFE\xFF") : std::string("\xFF\xFE")) + page : page;
            const CHtmlScan scan = Scan(bytes, bom ? "" : (be ? "utf-16be" : "utf-16le"));
            EXPECT_EQ(scan.m_strEncoding, be ? "UTF-16BE" : "UTF-16LE");
            EXPECT_EQ(scan.m_offsetMap.size(), scan.m_strText.size() + 1);
            EXPECT_EQ(scan.m_offsetMap.back(), bytes.size());
            EXPECT_EQ(scan.m_strText.compare(0, 13, "<html><p>\xC3\xA9\xF0\x9F"), 0);
            CheckSpans(scan);
            ASSERT_EQ(Describe(scan), (V{"0 img pic.png", "3 a p.htm"}));

            // The image renamed: a UTF-16 page where only its value changed.
            std::vector<CPageEdit> edits{{scan.m_refs[0].m_nOffset, scan.m_refs[0].m_nLength, "n\xC3\xA9w.png"}};
            const std::string out =
                Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), edits));
            const size_t at = bytes.find(Utf16("pic.png", be));
            ASSERT_NE(at, std::string::npos);
            const std::string newValue =
                Utf16("n", be) + (be ? std::string("\x00\xE9", 2) : std::string("\xE9\x00", 2)) + Utf16("w.png", be);
            EXPECT_EQ(out, bytes.substr(0, at) + newValue + bytes.substr(at + 14));
            const CHtmlScan again = Scan(out, bom ? "" : (be ? "utf-16be" : "utf-16le"));
            ASSERT_EQ(again.m_refs.size(), 2u);
            EXPECT_EQ(again.m_refs[0].m_strValue, "n\xC3\xA9w.png");
        }
    }
    // A meta naming UTF-16 in a page read byte by byte means UTF-8.
    EXPECT_EQ(Scan("<meta charset=utf-16><p>\xC3\xA9").m_strEncoding, "UTF-8");
    EXPECT_EQ(Scan(body).m_strEncoding, "WINDOWS-1252");
}

TEST(HtmlRefs, EncodingDetection) {
    struct Case {
        std::string page, http, expect;
    } cases[] = {
        {"\xEF\xBB\xBF<meta charset=koi8-r>", "windows-1252", "UTF-8"},
        {"<meta charset=koi8-r>", "Shift_JIS", "SHIFT_JIS"},
        {"<meta charset=koi8-r>", "bogus", "KOI8-R"},
        {"<meta charset=koi8-r>", "\"UTF-8\"", "UTF-8"},
        {"<meta charset=\"x-sjis\">", "", "SHIFT_JIS"},
        {"<meta http-equiv=Content-Type content='text/html; charset=GB2312'>", "", "GBK"},
        {"<meta content='text/html; charset=big5' http-equiv='content-type'>", "", "BIG5"},
        {"<meta content='text/html; charset=big5'>", "", "UTF-8"},  // content without http-equiv
        {"<meta charset=latin1>\xE9", "", "WINDOWS-1252"},
        {"<meta charset=iso-8859-2>", "", "ISO-8859-2"},
        {"<meta charset=iso8859-15>", "", "ISO-8859-15"},
        {"<meta charset=cp1251>", "", "WINDOWS-1251"},
        {"<meta charset=nonsense><meta charset=euc-jp>", "", "EUC-JP"},
        {"<!-- <meta charset=koi8-r> --><meta charset=ks_c_5601-1987>", "", "EUC-KR"},
        {"<script a='<meta charset=koi8-r>'></script>", "", "UTF-8"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?><html>", "", "ISO-8859-7"},
        {"<p>caf\xC3\xA9", "", "UTF-8"},
        {"<p>caf\xE9 ", "", "WINDOWS-1252"},
        {"<p>cut \xE2\x82", "", "UTF-8"},
        {std::string(1100, ' ') + "<meta charset=koi8-r>\xE9 ", "", "WINDOWS-1252"},
    };
    EXPECT_EQ(EncodingForCharsetLabel(" Latin1 "), "WINDOWS-1252");
    EXPECT_EQ(EncodingForCharsetLabel("x-unknown"), "");
    EXPECT_EQ(IconvNameForEncoding(EncodingForCharsetLabel("sjis")), "CP932");
    EXPECT_EQ(IconvNameForEncoding("KOI8-R"), "KOI8-R");
    for (const Case& c : cases) EXPECT_EQ(Scan(c.page, c.http).m_strEncoding, c.expect) << c.page << " / " << c.http;
}

TEST(HtmlRefs, LegacyCodePages) {
    // windows-1252: a non-ASCII byte before the reference.
    {
        const std::string page = "<meta charset=windows-1252><p>caf\xE9 \x80<img src='r\xE9sum\xE9.png'><p>end";
        const CHtmlScan scan = Scan(page);
        EXPECT_EQ(scan.m_strEncoding, "WINDOWS-1252");
        CheckSpans(scan);
        ASSERT_EQ(Describe(scan), (V{"0 img r\xC3\xA9sum\xC3\xA9.png"}));
        // Written back: é exists in the code page, a Cyrillic letter does not.
        std::vector<CPageEdit> edits{{scan.m_refs[0].m_nOffset, scan.m_refs[0].m_nLength, "\xC3\xA9-\xD0\x96.png"}};
        EXPECT_EQ(Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits)),
                  "<meta charset=windows-1252><p>caf\xE9 \x80<img src='\xE9-&#1046;.png'><p>end");
    }
    // Shift_JIS: double-byte characters, one with an ASCII trail byte.
    {
        const std::string page = "<p>\x83\x5C\x83\x74\x83\x67<a href=\"\x95\x5C.htm\">x</a>";
        const CHtmlScan scan = Scan(page, "shift_jis");
        EXPECT_EQ(scan.m_strEncoding, "SHIFT_JIS");
        CheckSpans(scan);
        ASSERT_EQ(Describe(scan), (V{"3 a \xE8\xA1\xA8.htm"}));
        std::vector<CPageEdit> edits{{scan.m_refs[0].m_nOffset, scan.m_refs[0].m_nLength, "\xE8\xA1\xA8_\\~.htm"}};
        EXPECT_EQ(Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits)),
                  "<p>\x83\x5C\x83\x74\x83\x67<a href=\"\x95\x5C_\\~.htm\">x</a>");
    }
    // A stateful encoding: the shift sequences around a value are part of
    // its span, so a replacement leaves none of them behind.
    {
        const std::string page = "<p>\x1B$BI=\x1B(B<a href=\"\x1B$BI=\x1B(B.htm\">x</a>";
        const CHtmlScan scan = Scan(page, "iso-2022-jp");
        EXPECT_EQ(scan.m_strEncoding, "ISO-2022-JP");
        CheckSpans(scan);
        ASSERT_EQ(Describe(scan), (V{"3 a \xE8\xA1\xA8.htm"}));
        std::vector<CPageEdit> edits{{scan.m_refs[0].m_nOffset, scan.m_refs[0].m_nLength, "x.htm"}};
        EXPECT_EQ(Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits)),
                  "<p>\x1B$BI=\x1B(B<a href=\"x.htm\">x</a>");
        edits[0].m_strText = "\xE8\xA1\xA8/\xC3\xA9";  // one the encoding has, one it lacks
        const std::string out =
            Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits));
        EXPECT_EQ(out, "<p>\x1B$BI=\x1B(B<a href=\"\x1B$BI=\x1B(B/&#233;\">x</a>");
        EXPECT_EQ(Scan(out, "iso-2022-jp").m_refs.at(0).m_strValue, "\xE8\xA1\xA8/\xC3\xA9");
    }
    // Invalid bytes become U+FFFD and reading goes on.
    {
        const std::string page = "<p>\x81\xFF<img src=x.png>";
        const CHtmlScan scan = Scan(page, "shift_jis");
        CheckSpans(scan);
        ASSERT_EQ(Describe(scan), (V{"0 img x.png"}));
        EXPECT_EQ(scan.m_offsetMap[scan.m_refs[0].m_nOffset], page.find("x.png"));
    }
    // Inside a style element a missing character becomes a CSS escape.
    {
        const std::string page = "<meta charset=koi8-r><style>a{b:url(x.png)}</style><p style='b:url(y.png)'>";
        const CHtmlScan scan = Scan(page);
        ASSERT_EQ(scan.m_refs.size(), 2u);
        std::vector<CPageEdit> edits;
        EditInsideRef(scan.m_refs[0], {{8, 5, "\xE2\x82\xAC.png"}}, edits);
        EditInsideRef(scan.m_refs[1], {{6, 5, "\xE2\x82\xAC.png"}}, edits);
        EXPECT_EQ(Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits)),
                  "<meta charset=koi8-r><style>a{b:url(\\20AC .png)}</style><p style='b:url(&#8364;.png)'>");
    }
}

TEST(HtmlRefs, Utf8ByteOrderMark) {
    const std::string page = "\xEF\xBB\xBF<!DOCTYPE html><title>t</title><link rel=stylesheet href=\"s.css\">";
    const CHtmlScan scan = Scan(page);
    EXPECT_EQ(scan.m_strEncoding, "UTF-8");
    EXPECT_EQ(scan.m_strText, page);
    CheckSpans(scan);
    ASSERT_EQ(Describe(scan), (V{"1 link s.css"}));
    EXPECT_EQ(scan.m_refs[0].m_nOffset, page.find("s.css"));
    const std::string out = Str(EditAll(scan, page, "z.css"));
    EXPECT_EQ(out, "\xEF\xBB\xBF<!DOCTYPE html><title>t</title><link rel=stylesheet href=\"z.css\">");
}

TEST(HtmlRefs, EscapingAndEditsInsideValues) {
    EXPECT_EQ(HtmlEscapeForAttr("a&b\"c'<d>", '"'), "a&amp;b&quot;c'&lt;d&gt;");
    EXPECT_EQ(HtmlEscapeForAttr("a&b\"c'", '\''), "a&amp;b\"c&#39;");
    EXPECT_EQ(HtmlEscapeForAttr("a b=c`d\"'", 0), "a&#32;b&#61;c&#96;d&quot;&#39;");
    EXPECT_EQ(HtmlEscapeForAttr("", 0), "\"\"");
    EXPECT_EQ(HtmlEscapeForAttr("", '"'), "");

    const std::string page =
        "<img srcset='a.png 1x, b.png 2x'><img srcset=\"a&amp;.png 1x, b.png 2x\"><img src=u.png>"
        "<style>a{x:url(p q.png)}</style>";
    const CHtmlScan scan = Scan(page);
    ASSERT_EQ(scan.m_refs.size(), 4u);
    std::vector<CPageEdit> edits;
    // Verbatim: one edit per candidate, escaped for the quote.
    EditInsideRef(scan.m_refs[0], {{11, 5, "it's.png"}, {0, 5, "n&m.png"}}, edits);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].m_nOffset, scan.m_refs[0].m_nOffset);
    EXPECT_EQ(edits[0].m_strText, "n&amp;m.png");
    EXPECT_EQ(edits[1].m_strText, "it&#39;s.png");
    // With a reference in it the whole value is written anew.
    EditInsideRef(scan.m_refs[1], {{0, 6, "c.png"}}, edits);
    ASSERT_EQ(edits.size(), 3u);
    EXPECT_EQ(edits[2].m_nOffset, scan.m_refs[1].m_nOffset);
    EXPECT_EQ(edits[2].m_nLength, scan.m_refs[1].m_nLength);
    EXPECT_EQ(edits[2].m_strText, "c.png 1x, b.png 2x");
    // Unquoted: a space cannot end the value; nothing empty either.
    EditInsideRef(scan.m_refs[2], {{0, 5, "s p.png"}}, edits);
    EXPECT_EQ(edits.back().m_strText, "s&#32;p.png");
    EditInsideRef(scan.m_refs[2], {{0, 5, ""}}, edits);
    EXPECT_EQ(edits.back().m_strText, "\"\"");
    // Element text is not markup-escaped: the CSS writer escapes for CSS.
    EditInsideRef(scan.m_refs[3], {{8, 7, "a&b.png"}}, edits);
    EXPECT_EQ(edits.back().m_strText, "a&b.png");
    // A style attribute with references: the CSS sees the decoded value,
    // and the value comes back whole, escaped again.
    {
        const std::string styled = "<p style=\"background:url(&quot;a.png&quot;)\">";
        const CHtmlScan s2 = Scan(styled);
        ASSERT_EQ(Describe(s2), (V{"5 p background:url(\"a.png\") [background:url(&quot;a.png&quot;)]"}));
        std::vector<CPageEdit> e2;
        EditInsideRef(s2.m_refs[0], {{16, 5, "b&c.png"}}, e2);
        EXPECT_EQ(Str(ApplyPageEdits(s2, reinterpret_cast<const uint8_t*>(styled.data()), styled.size(), e2)),
                  "<p style=\"background:url(&quot;b&amp;c.png&quot;)\">");
    }
    // Out of range and overlapping inner edits are dropped.
    const size_t before = edits.size();
    EditInsideRef(scan.m_refs[0], {{100, 1, "x"}}, edits);
    EXPECT_EQ(edits.size(), before);
}

TEST(HtmlRefs, PageEditsNeverCorrupt) {
    const std::string page = "<img src=a.png><img src=b.png>";
    const CHtmlScan scan = Scan(page);
    ASSERT_EQ(scan.m_refs.size(), 2u);
    const size_t a = scan.m_refs[0].m_nOffset, b = scan.m_refs[1].m_nOffset;
    std::vector<CPageEdit> edits{{b, 5, "B"},
                                 {a, 5, "A"},
                                 {a + 1, 2, "overlap"},
                                 {page.size(), 1, "out"},
                                 {page.size() - 1, 2, "out"},
                                 {page.size(), 0, "<!--end-->"}};
    EXPECT_EQ(Str(ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(page.data()), page.size(), edits)),
              "<img src=A><img src=B><!--end-->");
    // An edit starting inside a character of a converted page is refused.
    const std::string legacy = "<p>\x95\x5C<img src=x>";
    const CHtmlScan sj = Scan(legacy, "shift_jis");
    std::vector<CPageEdit> mid{{4, 1, "?"}};
    EXPECT_EQ(Str(ApplyPageEdits(sj, reinterpret_cast<const uint8_t*>(legacy.data()), legacy.size(), mid)), legacy);
}

TEST(HtmlRefs, EveryPrefixOfAPage) {
    const std::string page =
        "\xFF\xFE" + Utf16(
                         "<html><head><style>a{}</style><base href=b/></head><body><img data-src=x src='p&amp;'>"
                         "<?xml-stylesheet href=\"s\"?><svg><image href=i/></svg><a href=\"q\">",
                         false);
    const std::string utf8 =
        "<meta charset=shift_jis><p>\x83\x5C<img src=\"a.png\" srcset='b 1x' loading=lazy><iframe data-src=f>"
        "<a href=x>\x95\x5C</a><template><video poster=p></template><svg><use href=u /></svg>";
    for (const std::string* p : {&page, &utf8}) {
        for (size_t n = 0; n <= p->size(); ++n) {
            const std::string cut = p->substr(0, n);
            const CHtmlScan scan = Scan(cut);
            ASSERT_NO_FATAL_FAILURE(CheckSpans(scan)) << n;
            if (!scan.m_offsetMap.empty()) {
                ASSERT_EQ(scan.m_offsetMap.size(), scan.m_strText.size() + 1);
            }
            const std::vector<uint8_t> same =
                ApplyPageEdits(scan, reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), {});
            ASSERT_EQ(Str(same), cut);
            EditAll(scan, cut, "vltx.png");
        }
        // The whole page with every value replaced still reads, in its own
        // encoding, as the same references with the new values.
        const CHtmlScan scan = Scan(*p);
        const std::string out = Str(EditAll(scan, *p, "vltx.png"));
        const CHtmlScan again = Scan(out);
        EXPECT_EQ(again.m_strEncoding, scan.m_strEncoding);
        EXPECT_GE(again.m_refs.size(), scan.m_refs.size() - 1);  // less the lazy flag
        for (const CHtmlRef& ref : again.m_refs) EXPECT_EQ(ref.m_strValue, "vltx.png") << ref.m_strTag;
    }
}

TEST(HtmlRefs, Frameset) {
    const CHtmlScan scan = Scan(
        "<html><head><title>f</title></head><frameset cols='50%,*'><frame src=left.htm>"
        "<frame src='javascript:void(0)'><frame src=\"right.htm\"></frameset></html>");
    CheckSpans(scan);
    EXPECT_EQ(Describe(scan), (V{"2 frame left.htm", "2 frame right.htm"}));
}

TEST(HtmlRefs, DeeplyNestedPage) {
    // The tree is as deep as the page is long: neither the walk nor the
    // tree's release may recurse on it. On a small stack, a recursion of
    // this depth would overflow it.
    std::string page;
    for (int i = 0; i < 8000; ++i) page += "<div>";
    page += "<img src=deep.png>";
    struct Job {
        const std::string* page;
        CHtmlScan scan;
    } job{&page, {}};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* p) -> void* {
                      Job* j = static_cast<Job*>(p);
                      j->scan = Scan(*j->page);
                      return nullptr;
                  },
                  &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(job.scan.m_refs.size(), 1u);
    EXPECT_EQ(job.scan.m_refs[0].m_strValue, "deep.png");
}
