#include "capture/PageScanner.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/Charset.h"

namespace {

struct Scan {
    explicit Scan(const std::string& page, const std::string& base = "http://host/dir/page.htm", bool local = false,
                  bool background = true) {
        s.m_bBackgroundPass = background;
        s.ScanPage(page, page.size(), base, local);
    }
    size_t size() const { return s.m_items.size(); }
    const CPageResource& operator[](size_t i) const { return *s.m_items.at(i); }
    CPageScanner s;
};

}  // namespace

TEST(PageScanner, MixedCaseTagsKeepTheCaseOfTheAddress) {
    const std::string page = "<P><IMG SRC=\"Pics/A.GIF\" ALT=x></P>";
    Scan scan(page);
    ASSERT_EQ(scan.size(), 1u);
    EXPECT_EQ(scan[0].m_nRefKind, kRefEmbedded);
    EXPECT_EQ(scan[0].m_strRaw, "Pics/A.GIF");
    EXPECT_EQ(scan[0].m_strValue, "pics/a.gif");
    EXPECT_EQ(scan[0].m_strURL, "http://host/dir/Pics/A.GIF");
    EXPECT_EQ(page.substr(scan[0].m_nOffset, scan[0].m_nLength), "Pics/A.GIF");
    EXPECT_EQ(scan[0].m_bReplace, 0);
}

TEST(PageScanner, ValuesAreReadByTheQuoteAndBlankRules) {
    // Unquoted after one blank; two blanks read nothing at the second one.
    Scan one("<img src= a.gif>");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].m_strRaw, "a.gif");
    Scan two("<img src=  a.gif>");
    EXPECT_EQ(two.size(), 0u) << "the second blank ends an empty value";

    Scan single("<img src='b.jpg'><img src=c.gif>");
    ASSERT_EQ(single.size(), 2u);
    EXPECT_EQ(single[0].m_strRaw, "b.jpg");
    EXPECT_EQ(single[1].m_strRaw, "c.gif");

    // No closing quote: skipped, and the scan goes on after the quote.
    Scan open("<img src=\"d.gif><img src=e.gif>");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].m_strRaw, "e.gif");

    // A value running to the end of the text with nothing after it.
    EXPECT_EQ(Scan("<img src=f.gif").size(), 0u);
    // "<img" without a later "src" ends the pass without a crash.
    EXPECT_EQ(Scan("<img alt=x><p>").size(), 0u);
    // The attribute may be found in a later element.
    Scan later("<img alt=x><script src=s.htm>");
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].m_strRaw, "s.htm");
}

TEST(PageScanner, TypesQueriesAndSkippedValues) {
    Scan scan(
        "<a href=#top>t</a><a href=' #x'>x</a><a href=other.htm>o</a>"
        "<img src=p.png><img src=\"a.gif?v=2\"><img src=/><a href=http://www.site.com>s</a>"
        "<a href=http://site.org>g</a><link href=Style.CSS rel=stylesheet><img src=\"\">");
    std::vector<std::string> raws;
    for (const auto& i : scan.s.m_items) raws.push_back(i->m_strRaw);
    // Passes run in order: images, links, hyperlinks.
    EXPECT_EQ(raws, (std::vector<std::string>{"a.gif?v=2", "Style.CSS", "other.htm", "http://www.site.com"}));
    EXPECT_EQ(scan[0].m_strURL, "http://host/dir/a.gif");
    EXPECT_EQ(scan[0].m_strValue, "a.gif?v=2");
    EXPECT_EQ(scan[2].m_nRefKind, kRefHyperlink);
    EXPECT_EQ(scan[2].m_strURL, "http://host/dir/other.htm");
    EXPECT_TRUE(CPageScanner::IsFetchableType("http://h/x.JPEG"));
    EXPECT_TRUE(CPageScanner::IsFetchableType("http://h/dir/"));
    EXPECT_TRUE(CPageScanner::IsFetchableType("page.htm#part"));
    EXPECT_FALSE(CPageScanner::IsFetchableType("script.js"));
    EXPECT_FALSE(CPageScanner::IsFetchableType("http://h/img.png"));
}

TEST(PageScanner, NormalisedValueAndStylesheetPasses) {
    Scan scan("<?xml-stylesheet type=\"text/xsl\" href=\"Show.XSL\"?><img src=\"\r\n  B.gif  \">"
              "<frameset><frame src=left.htm><iframe src=\"in.html\"></iframe></frameset>"
              "<body background=bg.jpg><table BACKGROUND='t.gif'>");
    std::vector<std::pair<int, std::string>> got;
    for (const auto& i : scan.s.m_items) got.emplace_back(i->m_nRefKind, i->m_strValue);
    EXPECT_EQ(got, (std::vector<std::pair<int, std::string>>{{kRefEmbedded, "b.gif"},
                                                             {kRefStylesheet, "show.xsl"},
                                                             {kRefStylesheet, "left.htm"},
                                                             {kRefStylesheet, "in.html"},
                                                             {kRefStylesheet, "bg.jpg"},
                                                             {kRefStylesheet, "t.gif"}}));
    EXPECT_EQ(scan[0].m_strURL, "http://host/dir/B.gif");
    EXPECT_EQ(scan[0].m_strRaw, "\r\n  B.gif  ");
    // Without the option the background pass does not run.
    Scan off("<body background=bg.jpg>", "http://host/", false, false);
    EXPECT_EQ(off.size(), 0u);
}

TEST(PageScanner, TheBaseKeepsSchemeAndPortAndLocalPagesUseFileUrls) {
    Scan https("<img src=a.gif><img src=//cdn.test/b.gif>", "https://secure.test/x/y.htm");
    ASSERT_EQ(https.size(), 2u);
    EXPECT_EQ(https[0].m_strURL, "https://secure.test/x/a.gif");
    EXPECT_EQ(https[1].m_strURL, "https://cdn.test/b.gif");
    Scan port("<img src=../img/a.gif>", "http://user:pw@127.0.0.1:8080/site/p/index.htm");
    ASSERT_EQ(port.size(), 1u);
    EXPECT_EQ(port[0].m_strURL, "http://127.0.0.1:8080/site/img/a.gif");
    Scan local("<img src=img/a.gif>", "/home/u/pages/page.htm", true);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_EQ(local[0].m_strURL, "file:///home/u/pages/img/a.gif");
    Scan webFromDisk("<img src=a.gif>", "http://host/p.htm", true);
    EXPECT_EQ(webFromDisk[0].m_strURL.rfind("file://", 0), 0u);
}

TEST(PageScanner, LengthBoundsTheScan) {
    const std::string page = "<img src=a.gif><img src=b.gif>";
    CPageScanner s;
    s.ScanPage(page, 15, "http://h/", false);
    ASSERT_EQ(s.m_items.size(), 1u) << "the second image starts beyond the length";
    std::string withNul = "<img src=a.gif>" + std::string(1, '\0') + "<img src=b.gif>";
    s.ScanPage(withNul, withNul.size(), "http://h/", false);
    EXPECT_EQ(s.m_items.size(), 1u) << "text ends at the first zero byte";
}

TEST(PageRewrite, ReplacesEveryOccurrenceAndRemovesMarkers) {
    const std::string page = "<img src=a.gif><a href=a.gif>x</a><img src=b.gif> a.gif";
    CPageScanner s;
    s.ScanPage(page, page.size(), "http://h/d/p.htm", false);
    ASSERT_EQ(s.m_items.size(), 3u);
    for (auto& i : s.m_items) {
        if (i->m_strRaw == "a.gif") {
            i->m_bReplace = 1;
            i->m_strReplace = "vlta.gif";
        }
    }
    std::vector<uint8_t> bytes(page.begin(), page.end());
    s.RewritePage(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "<img src=vlta.gif><a href=vlta.gif>x</a><img src=b.gif> vlta.gif")
        << "a value listed twice is replaced once, not inside its own replacement";

    // Markers go even when nothing else is replaced; text after a zero byte goes too.
    CPageScanner none;
    std::string marked = std::string("<a href=\"http://x/@VAULTLINKATTATCH@y.htm\">") + '\0' + "tail";
    std::vector<uint8_t> m(marked.begin(), marked.end());
    none.RewritePage(m);
    EXPECT_EQ(std::string(m.begin(), m.end()), "<a href=\"http://x/y.htm\">");
}

TEST(PageScanner, Utf16PagesAreScannedAsText) {
    const std::u16string u = u"<IMG SRC=\"\u00e9t\u00e9.gif\">";
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : u) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    const std::string text = PageBytesToText(bytes);
    Scan scan(text);
    ASSERT_EQ(scan.size(), 1u);
    EXPECT_EQ(scan[0].m_strRaw, "\xC3\xA9t\xC3\xA9.gif");
    EXPECT_EQ(charset::AnsiToUtf16(text), u);
}

namespace {
// Scans `page`, replaces the items whose raw value `to` names, and rewrites.
std::string Rewritten(const std::string& page, const std::map<std::string, std::string>& to) {
    CPageScanner s;
    s.m_bBackgroundPass = true;
    s.ScanPage(page, page.size(), "http://h/d/p.htm", false);
    for (auto& i : s.m_items) {
        auto it = to.find(i->m_strRaw);
        if (it == to.end()) continue;
        i->m_bReplace = 1;
        i->m_strReplace = it->second;
    }
    std::vector<uint8_t> bytes(page.begin(), page.end());
    s.RewritePage(bytes);
    return std::string(bytes.begin(), bytes.end());
}
}  // namespace

TEST(PageRewrite, OnlyWholeValuesAreReplacedInEitherOrder) {
    const std::map<std::string, std::string> to = {{"a.gif", "vlta.gif"}, {"banana.gif", "vltbanana.gif"}};
    // The script uses the value whole (replaced) and inside longer names,
    // paths and a query (kept).
    const std::string script =
        "<script>var s = \"a.gif\", t = 'banana.gif', u = \"img/a.gif\", v = \"a.gif2\", w = 'xa.gif';"
        "x = \"a.gif?v=1\"; el.style.background = 'url(a.gif)';</script>"
        "<a href=\"show.asp?pic=a.gif\">s</a><a href=\"show.asp?x=1&amp;pic=a.gif\">t</a> a.gif";
    const std::string expected =
        "<script>var s = \"vlta.gif\", t = 'vltbanana.gif', u = \"img/a.gif\", v = \"a.gif2\", w = 'xa.gif';"
        "x = \"a.gif?v=1\"; el.style.background = 'url(vlta.gif)';</script>"
        "<a href=\"show.asp?pic=a.gif\">s</a><a href=\"show.asp?x=1&amp;pic=a.gif\">t</a> vlta.gif";
    EXPECT_EQ(Rewritten("<img src=a.gif><img src=\"banana.gif\">" + script, to),
              "<img src=vlta.gif><img src=\"vltbanana.gif\">" + expected);
    EXPECT_EQ(Rewritten("<img src=\"banana.gif\"><img src=a.gif>" + script, to),
              "<img src=\"vltbanana.gif\"><img src=vlta.gif>" + expected);
}
