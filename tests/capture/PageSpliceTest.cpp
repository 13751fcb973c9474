#include "capture/PageSplice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Charset.h"

#include "support/TextConvert.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

CBodyEdit Inner(const std::string& html) {
    CBodyEdit e;
    e.m_bInnerChanged = true;
    e.m_strInner = html;
    return e;
}

class CCodePage {
public:
    explicit CCodePage(const char* name) : m_old(charset::ProcessCodePage()) { charset::SetProcessCodePage(name); }
    ~CCodePage() { charset::SetProcessCodePage(m_old); }

private:
    std::string m_old;
};

}  // namespace

TEST(PageSplice, OnlyTheBodyChangesAndEverythingAroundItKeepsItsBytes) {
    const std::string head =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\r\n<HTML><Head><TITLE>t</TITLE>\n"
        "<script>if (a < b && '</body>') x();</script><style>p{color:red}</style></Head>\n";
    const std::string tag = "<BODY  class=x onload='go()'>";
    const std::string tail = "</BODY>\n<!-- kept after the body --></HTML>\n";
    const std::vector<uint8_t> page = Bytes(head + tag + "<P>old text</P>" + tail);
    std::vector<uint8_t> out;

    ASSERT_TRUE(ReplacePageBody(page, Inner("<p>new <b>text</b></p>"), out));
    EXPECT_EQ(Text(out), head + tag + "<p>new <b>text</b></p>" + tail);

    CBodyEdit attrs;
    attrs.m_bStartTagChanged = true;
    attrs.m_strStartTag = "<body class=\"x\" bgcolor=\"#FF0000\">";
    ASSERT_TRUE(ReplacePageBody(page, attrs, out));
    EXPECT_EQ(Text(out), head + attrs.m_strStartTag + "<P>old text</P>" + tail);

    // Nothing changed: the page as it was.
    ASSERT_TRUE(ReplacePageBody(page, CBodyEdit(), out));
    EXPECT_EQ(out, page);
}

TEST(PageSplice, PagesThatLeaveTagsOut) {
    std::vector<uint8_t> out;
    // No body tags at all: the body is from its first node to the end.
    const std::string noBody = "<html><head><title>t</title></head>\n<p>one</p><p>two</p>";
    ASSERT_TRUE(ReplacePageBody(Bytes(noBody), Inner("<p>three</p>"), out));
    EXPECT_EQ(Text(out), "<html><head><title>t</title></head>\n<p>three</p>");

    // A new background needs a start tag to stand in.
    CBodyEdit both = Inner("<p>x</p>");
    both.m_bStartTagChanged = true;
    both.m_strStartTag = "<body bgcolor=\"#FF0000\">";
    ASSERT_TRUE(ReplacePageBody(Bytes(noBody), both, out));
    EXPECT_EQ(Text(out), "<html><head><title>t</title></head>\n<body bgcolor=\"#FF0000\"><p>x</p>");
    CBodyEdit tagOnly;
    tagOnly.m_bStartTagChanged = true;
    tagOnly.m_strStartTag = "<body bgcolor=\"#FF0000\">";
    ASSERT_TRUE(ReplacePageBody(Bytes(noBody), tagOnly, out));
    EXPECT_EQ(Text(out), "<html><head><title>t</title></head>\n<body bgcolor=\"#FF0000\"><p>one</p><p>two</p>");

    // No body end tag: the html end tag ends it.
    ASSERT_TRUE(ReplacePageBody(Bytes("<body><p>a</p></html>"), Inner("b"), out));
    EXPECT_EQ(Text(out), "<body>b</html>");

    // A frameset has no body to replace.
    EXPECT_FALSE(ReplacePageBody(Bytes("<html><frameset cols=\"50%,50%\"><frame src=a.htm></frameset></html>"),
                                 Inner("x"), out));
    EXPECT_TRUE(out.empty());
}

TEST(PageSplice, TheBodyIsWrittenInThePagesOwnEncoding) {
    std::vector<uint8_t> out;
    // UTF-16LE with its mark stays so.
    const std::string utf8Page = "<html><body><p>\xC3\xA9t\xC3\xA9</p></body></html>";
    std::string utf16 = "\xFF\xFE" + ConvertText(utf8Page, "UTF-16LE", "UTF-8");
    ASSERT_TRUE(ReplacePageBody(Bytes(utf16), Inner("<p>\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80</p>"), out));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[1], 0xFE);
    EXPECT_EQ(ConvertText(Text(out).substr(2), "UTF-8", "UTF-16LE"),
              "<html><body><p>\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80</p></body></html>");

    // GBK keeps its bytes outside the body; what it cannot hold becomes a
    // character reference, never a question mark.
    const std::string gbkHead = ConvertText(
        "<html><head><meta charset=\"gbk\"><title>\xE4\xB8\xAD\xE6\x96\x87</title></head>", "GBK", "UTF-8");
    const std::string gbkPage = gbkHead + "<body>" + ConvertText("\xE6\x97\xA7", "GBK", "UTF-8") + "</body></html>";
    ASSERT_TRUE(ReplacePageBody(Bytes(gbkPage), Inner("\xE6\x96\xB0 \xE0\xB8\x81"), out));
    EXPECT_EQ(Text(out), gbkHead + "<body>" + ConvertText("\xE6\x96\xB0", "GBK", "UTF-8") + " &#3585;</body></html>");
}

TEST(PageSplice, TextFilesKeepTheirEncoding) {
    const std::string text = "caf\xC3\xA9\n\xE4\xB8\xAD";
    std::vector<uint8_t> out = EncodeTextPage(text, {0xFF, 0xFE, 'a', 0});
    EXPECT_EQ(Text(out), "\xFF\xFE" + ConvertText(text, "UTF-16LE", "UTF-8"));
    out = EncodeTextPage(text, {0xEF, 0xBB, 0xBF, 'a'});
    EXPECT_EQ(Text(out), "\xEF\xBB\xBF" + text);
    out = EncodeTextPage(text, Bytes("plain"));
    EXPECT_EQ(Text(out), text);
    {
        // A code-page system: the text goes in its code page while it can,
        // and as marked UTF-8 when it cannot.
        CCodePage cp("CP1252");
        out = EncodeTextPage("caf\xC3\xA9", Bytes("old"));
        EXPECT_EQ(Text(out), "caf\xE9");
        out = EncodeTextPage(text, Bytes("old"));
        EXPECT_EQ(Text(out), "\xEF\xBB\xBF" + text);
        // A file that was UTF-8 stays UTF-8.
        out = EncodeTextPage("caf\xC3\xA9", Bytes("\xC3\xA9"));
        EXPECT_EQ(Text(out), "caf\xC3\xA9");
    }
}

TEST(PageSplice, AttachmentsArePointedIntoTheFolderWhereverABrowserFindsThem) {
    const std::string page =
        "<html><head><link rel=stylesheet href=\"vlts.css\"><style>p{background:url(vltb.png)}</style></head>"
        "<body style=\"background-image:url('vltb.png')\"><img src=vlta.png srcset=\"vlta.png 1x, vltc.webp 2x\">"
        "<img src=\"other.png\"><a href=\"vlta.png\">link</a><iframe src=\"vltf.htm\"></iframe>"
        "<img src=\"vlta.png&#x3f;x\"></body></html>";
    const std::vector<std::string> held{"vlts.css", "vltb.png", "vlta.png", "vltc.webp", "vltf.htm"};
    std::vector<std::string> pointed;
    const std::string out = Text(PointAttachmentsInto(
        Bytes(page), "./p.files/",
        [&](const std::string& n) { return std::find(held.begin(), held.end(), n) != held.end(); }, pointed));
    EXPECT_NE(out.find("href=\"./p.files/vlts.css\""), std::string::npos) << out;
    EXPECT_NE(out.find("url(./p.files/vltb.png)"), std::string::npos) << out;
    EXPECT_NE(out.find("url('./p.files/vltb.png')"), std::string::npos) << out;
    EXPECT_NE(out.find("src=./p.files/vlta.png "), std::string::npos) << out;
    EXPECT_NE(out.find("srcset=\"./p.files/vlta.png 1x, ./p.files/vltc.webp 2x\""), std::string::npos) << out;
    EXPECT_NE(out.find("src=\"./p.files/vltf.htm\""), std::string::npos) << out;
    // Not the notebook's, a hyperlink, or a name that is only part of a value.
    EXPECT_NE(out.find("src=\"other.png\""), std::string::npos) << out;
    EXPECT_NE(out.find("href=\"vlta.png\""), std::string::npos) << out;
    EXPECT_NE(out.find("vlta.png&#x3f;x"), std::string::npos) << out;
    EXPECT_EQ(pointed, (std::vector<std::string>{"vlts.css", "vltb.png", "vlta.png", "vltc.webp", "vltf.htm"}));

    // Nothing of the notebook's: the page as it was, byte for byte.
    std::vector<std::string> none;
    const std::vector<uint8_t> same = Bytes("<img src=\"x.png\">");
    EXPECT_EQ(PointAttachmentsInto(same, "./p.files/", [](const std::string&) { return false; }, none), same);
    EXPECT_TRUE(none.empty());
}
