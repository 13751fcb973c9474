#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "app/AppOptions.h"
#include "capture/CaptureContext.h"
#include "capture/ModernCapture.h"
#include "capture/TestServer.h"
#include "document/ClipVaultDoc.h"
#include "platform/Charset.h"
#include "platform/FileUtil.h"
#include "platform/TempFiles.h"
#include "support/TestSupport.h"

using namespace testserver;

namespace {

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

// A site in a folder, served by the loopback test server under /files/,
// captured with the modern rules.
class ModernCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prev = AppOptions().m_download;
        AppOptions().m_download.m_bFetchResources = true;
        AppOptions().m_download.m_bModernCapture = true;
        AppOptions().m_download.m_nRetries = 1;
        m_prevRoot = tempfiles::TempRoot();
        tempfiles::SetTempRoot(m_tmp.Path());
        for (const char* d : {"/img", "/css", "/css/deep", "/frames"}) std::filesystem::create_directories(m_site.Path() + d);
    }
    void TearDown() override {
        AppOptions().m_download = m_prev;
        tempfiles::SetTempRoot(m_prevRoot);
    }
    void Put(const std::string& rel, const std::string& bytes) {
        ASSERT_TRUE(fileutil::WriteWholeFile(m_site.File(rel), bytes.data(), bytes.size())) << rel;
    }
    TestServer& Server() {
        if (!m_server) m_server = std::make_unique<TestServer>("", m_site.Path());
        EXPECT_TRUE(m_server->Ok());
        return *m_server;
    }
    CNote* NewNote(const std::string& name, const std::string& url, uint32_t kind = kSourceWebPage) {
        CNote* n = m_doc.m_rootCata.AddNewNote(name);
        n->m_strSource = url;
        n->m_nSourceKind = kind;
        n->m_nStatus = kStatusRunning;
        return n;
    }
    bool Capture(CNote* n) {
        CCaptureContext ctx;
        ctx.m_proxy = "";
        const CDownloadSettings settings = AppOptions().DownloadSettings();
        return n->m_nSourceKind == kSourceWebFile ? ctx.CaptureWebFile(n->m_strSource, n, settings)
                                                  : ctx.CaptureWebPage(n->m_strSource, n, settings);
    }
    std::string Attachment(const std::string& name) {
        CNoteAttatch* p = m_doc.FindAttachment(name);
        return p ? Text(p->Data()) : "<missing " + name + ">";
    }

    TempDir m_site, m_tmp;
    CClipVaultDoc m_doc;
    std::unique_ptr<TestServer> m_server;
    CDownloadOptions m_prev;
    std::string m_prevRoot;
};

}  // namespace

TEST(ModernNames, TheAddressNamesTheFileAndTheAnswerFillsInTheType) {
    EXPECT_EQ(ModernAttachmentName("http://h/img/a.png", "image/png", kUseFile), "a.png");
    EXPECT_EQ(ModernAttachmentName("http://h/img/Photo.JPG?size=2#x", "image/jpeg", kUseFile), "Photo.JPG");
    // Servers that call everything text/plain do not rename known files.
    EXPECT_EQ(ModernAttachmentName("http://h/icons.svg", "text/plain", kUseFile), "icons.svg");
    EXPECT_EQ(ModernAttachmentName("http://h/pic?id=3", "image/png", kUseFile), "pic.png");
    EXPECT_EQ(ModernAttachmentName("http://h/image.aspx?id=3", "image/webp", kUseFile), "image.aspx.webp");
    EXPECT_EQ(ModernAttachmentName("http://h/pic", "", kUseFile), "pic");
    // What a browser reads from disk by its name.
    EXPECT_EQ(ModernAttachmentName("http://h/style.php?v=1", "text/css", kUseStylesheet), "style.php.css");
    EXPECT_EQ(ModernAttachmentName("http://h/style.css", "text/plain", kUseStylesheet), "style.css");
    EXPECT_EQ(ModernAttachmentName("http://h/frame.asp", "text/html", kUseDocument), "frame.asp.htm");
    EXPECT_EQ(ModernAttachmentName("http://h/", "text/html", kUseDocument), "index.htm");
    EXPECT_EQ(ModernAttachmentName("http://h", "", kUseFile), "file");
    // Only safe characters, nothing hidden, nothing endless.
    EXPECT_EQ(ModernAttachmentName("http://h/caf%C3%A9%20menu.png", "", kUseFile), "caf___menu.png");
    EXPECT_EQ(ModernAttachmentName("http://h/..%2F..%2Fetc%2Fpasswd", "", kUseFile), "_.._etc_passwd");
    EXPECT_EQ(ModernAttachmentName("file:///tmp/.hidden.png", "", kUseFile), "hidden.png");
    const std::string longName = ModernAttachmentName("http://h/" + std::string(300, 'x') + ".woff2", "", kUseFile);
    EXPECT_LE(longName.size(), 80u);
    EXPECT_EQ(longName.substr(longName.size() - 6), ".woff2");
    // A short stem before an endless extension keeps to plain characters.
    const std::string longTail = ModernAttachmentName("http://h/a." + std::string(100, 'x'), "", kUseFile);
    EXPECT_EQ(longTail, "a.xxxxxxxx");
}

TEST(ModernNames, ReferencesResolveAsInABrowser) {
    const std::string base = "http://h:8080/dir/page.htm?q=1";
    EXPECT_EQ(ResolveReference(base, "img/a.png"), "http://h:8080/dir/img/a.png");
    EXPECT_EQ(ResolveReference(base, "../up.png"), "http://h:8080/up.png");
    EXPECT_EQ(ResolveReference(base, "/root.png"), "http://h:8080/root.png");
    EXPECT_EQ(ResolveReference(base, "//other/x.png"), "http://other/x.png");
    EXPECT_EQ(ResolveReference(base, "?v=2"), "http://h:8080/dir/page.htm?v=2");
    EXPECT_EQ(ResolveReference(base, "  a.png\n"), "http://h:8080/dir/a.png");
    EXPECT_EQ(ResolveReference(base, "a\tb\n.png"), "http://h:8080/dir/ab.png");
    EXPECT_EQ(ResolveReference(base, "my pic.png"), "http://h:8080/dir/my%20pic.png");
    EXPECT_EQ(ResolveReference(base, "caf\xC3\xA9.png"), "http://h:8080/dir/caf%C3%A9.png");
    EXPECT_EQ(ResolveReference(base, "HTTPS://Else/y.css"), "https://Else/y.css");
    EXPECT_EQ(ResolveReference("file:///home/u/site/p.htm", "img/a b.png"), "file:///home/u/site/img/a%20b.png");
    // Nothing to fetch.
    EXPECT_EQ(ResolveReference(base, "data:image/png;base64,AAAA"), "");
    EXPECT_EQ(ResolveReference(base, "javascript:alert(1)"), "");
    EXPECT_EQ(ResolveReference(base, "mailto:a@b"), "");
    EXPECT_EQ(ResolveReference(base, "   "), "");
    // The parsed base is kept between calls: another base, a bad one, and
    // back again each resolve against their own.
    EXPECT_EQ(ResolveReference("http://o/x/y.htm", "a.png"), "http://o/x/a.png");
    EXPECT_EQ(ResolveReference("not a base", "a.png"), "");
    EXPECT_EQ(ResolveReference(base, "img/a.png"), "http://h:8080/dir/img/a.png");
}

TEST_F(ModernCaptureTest, EveryKindOfReferenceIsTakenInAndOnlyItsValueChanges) {
    Put("img/a.png", "PNG-a");
    Put("img/b.png", "PNG-b");
    Put("img/b2.png", "PNG-b2");
    Put("img/c.webp", "WEBP-c");
    Put("img/bg.gif", "GIF-bg");
    Put("img/deep.jpg", "JPG-deep");
    Put("img/icons.svg", "<svg/>");
    Put("img/frame.png", "PNG-frame");
    Put("css/main.css", "@import url(\"deep/more.css\");\nbody { background: url(../img/bg.gif) }\n");
    Put("css/deep/more.css", "p { background-image: url('../../img/deep.jpg') }");
    Put("app.js", "document.title = 'x';");
    Put("frames/f.htm", "<p><img src=\"../img/frame.png\"></p>");
    const std::string page =
        "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"css/main.css\">"
        "<script src=\"app.js\"></script><style>h1 { background: url(img/a.png) }</style></head>"
        "<body><img src=\"img/a.png\" srcset=\"img/b.png 1x, img/b2.png 2x\">"
        "<picture><source srcset=\"img/c.webp\"></picture>"
        "<p style=\"background: url(&quot;img/bg.gif&quot;)\">x</p>"
        "<svg><use href=\"img/icons.svg#home\"></use></svg>"
        "<iframe src=\"frames/f.htm\"></iframe><a href=\"next.htm\">n</a></body></html>";
    Put("page.htm", page);
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(n->m_strExt, "htm");
    EXPECT_EQ(Text(n->Content()),
              "<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"vltmain.css\">"
              "<script src=\"vltapp.js\"></script><style>h1 { background: url(vlta.png) }</style></head>"
              "<body><img src=\"vlta.png\" srcset=\"vltb.png 1x, vltb2.png 2x\">"
              "<picture><source srcset=\"vltc.webp\"></picture>"
              "<p style=\"background: url(&quot;vltbg.gif&quot;)\">x</p>"
              "<svg><use href=\"vlticons.svg#home\"></use></svg>"
              "<iframe src=\"vltf.htm\"></iframe><a href=\"" +
                  s.Url("/files/next.htm") + "\">n</a></body></html>");
    // In the order they stand, a stylesheet's own files right after it.
    EXPECT_EQ(n->m_attachNames,
              (std::vector<std::string>{"vltmain.css", "vltmore.css", "vltdeep.jpg", "vltbg.gif", "vltapp.js",
                                        "vlta.png", "vltb.png", "vltb2.png", "vltc.webp", "vlticons.svg", "vltf.htm",
                                        "vltframe.png"}));
    EXPECT_EQ(Attachment("vltmain.css"), "@import url(\"vltmore.css\");\nbody { background: url(vltbg.gif) }\n");
    EXPECT_EQ(Attachment("vltmore.css"), "p { background-image: url('vltdeep.jpg') }");
    EXPECT_EQ(Attachment("vltf.htm"), "<p><img src=\"vltframe.png\"></p>");
    EXPECT_EQ(Attachment("vltdeep.jpg"), "JPG-deep");
    for (const char* path : {"/files/img/a.png", "/files/img/bg.gif", "/files/css/main.css"})
        EXPECT_EQ(s.Count(path), 1) << path << " is fetched once however often it is used";
    EXPECT_TRUE(n->m_bLinksRewritten);
}

TEST_F(ModernCaptureTest, FilesAreSharedReusedAndCyclesEnd) {
    Put("img/a.png", "PNG-a");
    Put("css/ping.css", "@import 'pong.css'; a { background: url(../img/a.png) }");
    Put("css/pong.css", "@import 'ping.css';");
    Put("one.htm", "<link rel=stylesheet href=css/ping.css><img src=img/a.png><img src='img/a.png'>");
    TestServer& s = Server();
    CNote* one = NewNote("one", s.Url("/files/one.htm"));
    ASSERT_TRUE(Capture(one));
    EXPECT_EQ(Text(one->Content()), "<link rel=stylesheet href=vltping.css><img src=vlta.png><img src='vlta.png'>");
    EXPECT_EQ(Attachment("vltping.css"), "@import 'vltpong.css'; a { background: url(vlta.png) }");
    EXPECT_EQ(Attachment("vltpong.css"), "@import 'vltping.css';");
    EXPECT_EQ(s.Count("/files/css/ping.css"), 1);
    EXPECT_EQ(s.Count("/files/img/a.png"), 1);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 3u);

    // A second page reuses what came from the same address, and one that
    // already names an attachment keeps it; both are listed.
    Put("two.htm", "<img src=\"" + s.Url("/files/img/a.png") + "\"><img src=\"vltpong.css\">");
    CNote* two = NewNote("two", s.Url("/files/two.htm"));
    ASSERT_TRUE(Capture(two));
    EXPECT_EQ(Text(two->Content()), "<img src=\"vlta.png\"><img src=\"vltpong.css\">");
    EXPECT_EQ(two->m_attachNames, (std::vector<std::string>{"vlta.png", "vltpong.css"}));
    EXPECT_EQ(s.Count("/files/img/a.png"), 1);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 3u);
}

TEST_F(ModernCaptureTest, LazyImagesMissingFilesAndTheBaseAreMadeToWorkOffline) {
    Put("img/real.png", "PNG-real");
    Put("img/r2.png", "PNG-r2");
    Put("lazy.htm",
        "<img src=\"blank.gif\" data-src=\"img/real.png\" loading=\"lazy\">"
        "<img data-srcset=\"img/r2.png 2x\" class=lazy>"
        "<img src=\"img/gone.png\">");
    TestServer& s = Server();
    CNote* n = NewNote("lazy", s.Url("/files/lazy.htm"));
    ASSERT_TRUE(Capture(n));
    // The loader script, which runs offline too, finds the stored files.
    EXPECT_EQ(Text(n->Content()), "<img src=\"vltreal.png\" data-src=\"vltreal.png\" loading=\"eager\">"
                                  "<img srcset=\"vltr2.png 2x\" data-srcset=\"vltr2.png 2x\" class=lazy>"
                                  "<img src=\"" + s.Url("/files/img/gone.png") + "\">");
    EXPECT_EQ(s.Count("/files/blank.gif"), 0) << "a placeholder is not worth keeping";
    EXPECT_EQ(s.Count("/files/img/gone.png"), 1) << "a missing file is a final answer, asked once";

    std::filesystem::create_directories(m_site.Path() + "/sub");
    Put("sub/in.png", "PNG-in");
    Put("based.htm", "<head><base href=\"sub/\"></head><img src=in.png><a href=more.htm>m</a>");
    CNote* b = NewNote("based", s.Url("/files/based.htm"));
    ASSERT_TRUE(Capture(b));
    EXPECT_EQ(Text(b->Content()),
              "<head><base href=\"\"></head><img src=vltin.png><a href=" + s.Url("/files/sub/more.htm") + ">m</a>");
}

TEST_F(ModernCaptureTest, AUtf16PageStaysUtf16) {
    Put("img/a.png", "PNG-a");
    const std::u16string page = u"<html><meta charset=utf-16><p>caf\u00e9</p><img src=\"img/a.png\"></html>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : page) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Put("wide.htm", bytes);
    TestServer& s = Server();
    CNote* n = NewNote("wide", s.Url("/files/wide.htm"));
    ASSERT_TRUE(Capture(n));
    const std::u16string want = u"<html><meta charset=utf-16><p>caf\u00e9</p><img src=\"vlta.png\"></html>";
    std::string wantBytes = "\xFF\xFE";
    for (char16_t c : want) {
        wantBytes += static_cast<char>(c & 0xFF);
        wantBytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Text(n->Content()), wantBytes);
    EXPECT_EQ(Attachment("vlta.png"), "PNG-a");
}

TEST_F(ModernCaptureTest, OnlyHyperlinksChangeWithoutTheResourceOption) {
    AppOptions().m_download.m_bFetchResources = false;
    Put("img/a.png", "PNG");
    Put("page.htm", "<base href=sub/><img src=img/a.png loading=lazy><a href=b.htm>b</a>");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()),
              "<base href=sub/><img src=img/a.png loading=lazy><a href=" + s.Url("/files/sub/b.htm") + ">b</a>");
    EXPECT_TRUE(n->m_attachNames.empty());
    EXPECT_EQ(s.Count("/files/img/a.png"), 0);
}

TEST_F(ModernCaptureTest, AWebPageReadsNoFileOfThisComputer) {
    TempDir outside;
    ASSERT_TRUE(fileutil::WriteWholeFile(outside.File("secret.png"), "SECRET", 6));
    Put("page.htm", "<img src=\"file://" + outside.File("secret.png") + "\"><img src=\"/files/none.png\">");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_TRUE(n->m_attachNames.empty());
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 0u);
    EXPECT_EQ(Text(n->Content()).find("SECRET"), std::string::npos);
}

TEST_F(ModernCaptureTest, ALocalPageTakesInItsFilesFromDisk) {
    std::filesystem::create_directories(m_site.Path() + "/my pics");
    Put("my pics/a b.png", "PNG-ab");
    Put("css/l.css", "i { background: url(\"../my%20pics/a%20b.png\") }");
    Put("local.htm", "<link rel=stylesheet href=\"css/l.css\"><img src=\"my pics/a b.png\">");
    CNote* n = m_doc.m_rootCata.AddNewNote("local");
    n->m_strSource = m_site.File("local.htm");
    n->m_nSourceKind = kSourceLocalFile;
    ASSERT_TRUE(n->ImportLocalFile());
    EXPECT_EQ(Text(n->Content()), "<link rel=stylesheet href=\"vltl.css\"><img src=\"vlta_b.png\">");
    EXPECT_EQ(Attachment("vltl.css"), "i { background: url(\"vlta_b.png\") }");
    EXPECT_EQ(Attachment("vlta_b.png"), "PNG-ab");
}

TEST_F(ModernCaptureTest, TheClassicRulesStayForThoseWhoChooseThem) {
    Put("img/a.png", "PNG-a");
    Put("img/b.gif", "GIF-b");
    Put("page.htm", "<img src=\"img/a.png\"><img src=\"img/b.gif\">");
    TestServer& s = Server();
    AppOptions().m_download.m_bModernCapture = false;
    CNote* classic = NewNote("classic", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(classic));
    EXPECT_EQ(Text(classic->Content()), "<img src=\"img/a.png\"><img src=\"vltb.gif\">");
    AppOptions().m_download.m_bModernCapture = true;
    CNote* modern = NewNote("modern", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(modern));
    EXPECT_EQ(Text(modern->Content()), "<img src=\"vlta.png\"><img src=\"vltb.gif\">");
}

TEST_F(ModernCaptureTest, AStoppedCaptureKeepsThePageAsItCame) {
    Put("img/a.png", "PNG-a");
    Put("page.htm", "<img src=\"img/a.png\"><a href=b.htm>b</a>");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    n->SetContent(std::vector<uint8_t>({'<', 'i', 'm', 'g', ' ', 's', 'r', 'c', '=', 'x', '.', 'p', 'n', 'g', '>'}));
    n->m_strExt = "htm";
    n->m_nStatus = kStatusStopRequested;
    CCaptureContext ctx;
    ctx.m_proxy = "";
    ctx.m_pNote = n;
    EXPECT_TRUE(n->CaptureResources(s.Url("/files/page.htm"), &ctx, nullptr, nullptr));
    EXPECT_EQ(Text(n->Content()), "<img src=x.png>");
    EXPECT_EQ(s.Count("/files/x.png"), 0);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 0u);
}

TEST_F(ModernCaptureTest, ManyFilesArriveInAnyOrderAndAreListedInPageOrder) {
    constexpr int kResources = 200;
    std::string page = "<html><body>";
    std::vector<std::string> expected;
    for (int i = 0; i < kResources; ++i) {
        const std::string name = "img/r" + std::to_string(i) + ".gif";
        Put(name, "GIF89a-" + std::to_string(i));
        page += "<img src=\"" + name + "\">";
        expected.push_back("vltr" + std::to_string(i) + ".gif");
    }
    Put("many.htm", page + "</body></html>");
    // A server that answers HTTP/1.1 and closes without saying so: a file
    // asked for on a connection just as it closes must still arrive.
    TestServer s("", m_site.Path(), true);
    ASSERT_TRUE(s.Ok());
    for (int round = 0; round < 5; ++round) {
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("many");
        n->m_strSource = s.Url("/files/many.htm");
        n->m_nSourceKind = kSourceWebPage;
        n->m_nStatus = kStatusRunning;
        ASSERT_TRUE(Capture(n)) << "round " << round;
        ASSERT_EQ(n->m_attachNames, expected) << "round " << round;
        EXPECT_EQ(Text(n->Content()).find("img/r"), std::string::npos) << "round " << round;
        for (int i : {0, 99, kResources - 1})
            EXPECT_EQ(Text(doc.FindAttachment(expected[i])->Data()), "GIF89a-" + std::to_string(i));
    }
}

TEST_F(ModernCaptureTest, AChainOfFramesEndsAtTheNestingLimit) {
    TestServer& s = Server();
    CNote* n = NewNote("chain", s.Url("/chain/0.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()), "<frameset><frame src=\"vlt1.htm\"></frameset>");
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 8u);
    EXPECT_EQ(Attachment("vlt8.htm"), "<frameset><frame src=\"" + s.Url("/chain/9.htm") + "\"></frameset>");
    EXPECT_EQ(s.Count("/chain/9.htm"), 0);
}

TEST_F(ModernCaptureTest, APageOnlyItsServerGaveAnEncodingSaysItOnDisk) {
    Put("img/a.png", "PNG-a");
    const auto utf16be = [](const std::string& ascii) {
        std::string out;
        for (char c : ascii) out += std::string(1, '\0') + c;
        return out;
    };
    Put("be.htm", utf16be("<p>caf") + std::string("\0\xE9", 2) + utf16be("</p><img src=img/a.png>"));
    Put("ru.htm", "<!DOCTYPE html><p>\xEF\xF0\xE8\xE2\xE5\xF2</p><img src=img/a.png>");
    Put("says.htm", "<meta charset=windows-1251><p>\xEF\xF0\xE8</p>");
    Put("typed.htm", "<p>caf\xC3\xA9</p>");
    // The test server names no charset: the page's answer is played here.
    TestServer& s = Server();
    CCaptureContext ctx;
    ctx.m_proxy = "";
    ctx.OpenSession(AppOptions().DownloadSettings());
    auto capture = [&](const std::string& file, const std::string& charset) {
        CNote* n = NewNote(file, s.Url("/files/" + file));
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(fileutil::ReadWholeFile(m_site.File(file), bytes));
        n->SetContent(bytes);
        n->m_strExt = "htm";
        ctx.m_pNote = n;
        ctx.m_strPageCharset = charset;
        EXPECT_TRUE(n->CaptureResources(s.Url("/files/" + file), &ctx, nullptr, nullptr));
        return Text(n->Content());
    };
    const std::string wide = capture("be.htm", "UTF-16BE");
    EXPECT_EQ(wide.substr(0, 2), "\xFE\xFF") << "a byte order mark leads";
    EXPECT_EQ(wide.substr(2), utf16be("<p>caf") + std::string("\0\xE9", 2) + utf16be("</p><img src=vlta.png>"));
    EXPECT_EQ(capture("ru.htm", "windows-1251"),
              "<!DOCTYPE html><meta charset=\"windows-1251\"><p>\xEF\xF0\xE8\xE2\xE5\xF2</p><img src=vlta.png>");
    EXPECT_EQ(capture("says.htm", "windows-1251"), "<meta charset=windows-1251><p>\xEF\xF0\xE8</p>");
    EXPECT_EQ(capture("typed.htm", "utf-8"), "\xEF\xBB\xBF<p>caf\xC3\xA9</p>");
}

TEST_F(ModernCaptureTest, APageTooDeepForTheParserGetsTheTextSearch) {
    std::string deep;
    for (int i = 0; i < 30000; ++i) deep += "<div>";
    EXPECT_TRUE(TooDeepToParse(reinterpret_cast<const uint8_t*>(deep.data()), deep.size()));
    // Many pictures, paragraphs and closed elements are no depth at all.
    std::string wide;
    for (int i = 0; i < 30000; ++i) wide += "<p><img src=a.png><br><span>x</span><li>";
    EXPECT_FALSE(TooDeepToParse(reinterpret_cast<const uint8_t*>(wide.data()), wide.size()));

    Put("img/a.gif", "GIF-a");
    Put("deep.htm", "<img src=\"img/a.gif\">" + deep);
    TestServer& s = Server();
    CNote* n = NewNote("deep", s.Url("/files/deep.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()), "<img src=\"vlta.gif\">" + deep);
}

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

// Pages of one site in one notebook: a file stored by an earlier page is the
// later page's too, with everything it refers to, and is not fetched again.
TEST_F(ModernCaptureTest, ALaterPageListsASharedFileWithEverythingItUses) {
    Put("img/bg.gif", "GIF-bg");
    Put("img/b2.png", "PNG-b2");
    Put("img/own.png", "PNG-own");
    std::filesystem::create_directories(m_site.Path() + "/fonts");
    Put("fonts/f.woff2", "WOFF2");
    Put("css/main.css", "@import 'base.css'; body { background: url(../img/bg.gif) } "
                        "@font-face { font-family: f; src: url(../fonts/f.woff2) }");
    Put("css/base.css", "@import 'main.css'; p { background: url(../img/b2.png) }");  // a cycle
    Put("one.htm", "<link rel=stylesheet href=css/main.css><p>one");
    Put("two.htm", "<link rel=stylesheet href=css/main.css><img src=img/own.png><p>two");
    Put("frames/f.htm", "<img src=\"../img/bg.gif\"><iframe src=\"g.htm\"></iframe>");
    Put("img/g.gif", "GIF-g");
    Put("frames/g.htm", "<img src=\"../img/g.gif\">");
    Put("c.htm", "<iframe src=\"frames/f.htm\"></iframe>");
    TestServer& s = Server();
    CNote* one = NewNote("one", s.Url("/files/one.htm"));
    ASSERT_TRUE(Capture(one));
    const std::vector<std::string> shared{"vltb2.png", "vltbase.css", "vltbg.gif", "vltf.woff2", "vltmain.css"};
    EXPECT_EQ(Sorted(one->m_attachNames), shared);
    CNote* two = NewNote("two", s.Url("/files/two.htm"));
    ASSERT_TRUE(Capture(two));
    EXPECT_EQ(Text(two->Content()), "<link rel=stylesheet href=vltmain.css><img src=vltown.png><p>two");
    std::vector<std::string> withOwn = shared;
    withOwn.push_back("vltown.png");
    EXPECT_EQ(Sorted(two->m_attachNames), Sorted(withOwn));
    for (const char* path : {"/files/css/main.css", "/files/css/base.css", "/files/img/bg.gif", "/files/fonts/f.woff2"})
        EXPECT_EQ(s.Count(path), 1) << path << " is stored already";
    EXPECT_EQ(Attachment("vltbase.css"), "@import 'vltmain.css'; p { background: url(vltb2.png) }")
        << "the stored file stays as it is";

    // The first rules list a stored frame page's files the same way.
    AppOptions().m_download.m_bModernCapture = false;
    CNote* c1 = NewNote("c1", s.Url("/files/c.htm"));
    ASSERT_TRUE(Capture(c1));
    CNote* c2 = NewNote("c2", s.Url("/files/c.htm"));
    ASSERT_TRUE(Capture(c2));
    EXPECT_EQ(Sorted(c1->m_attachNames), Sorted({"vltf.htm", "vltbg.gif", "vltg.htm", "vltg.gif"}));
    EXPECT_EQ(Sorted(c2->m_attachNames), Sorted(c1->m_attachNames));
    EXPECT_EQ(s.Count("/files/frames/f.htm"), 1);
}

// Two workers capturing pages that share files at the same time: each file
// is fetched and stored once, and both notes list all of them.
TEST_F(ModernCaptureTest, TwoCapturesAtOnceStoreEachSharedFileOnce) {
    // The held picture keeps the first worker busy while the second one
    // meets the stylesheet it is fetching.
    Put("css/main.css", "@import 'base.css'; body { background: url(/hold/300/slow.gif) }");
    Put("css/base.css", "i { background: url(../img/i.gif) }");
    Put("img/i.gif", "GIF-i");
    Put("img/a.gif", "GIF-a");
    Put("img/b.gif", "GIF-b");
    Put("a.htm", "<link rel=stylesheet href=css/main.css><img src=img/a.gif><img src=img/i.gif>");
    Put("b.htm", "<img src=img/i.gif><img src=img/b.gif><link rel=stylesheet href=css/main.css>");
    TestServer& s = Server();
    const int kRounds = 4;
    for (int round = 0; round < kRounds; ++round) {
        CClipVaultDoc doc;
        auto make = [&](const char* name) {
            CNote* n = doc.m_rootCata.AddNewNote(name);
            n->m_strSource = s.Url(std::string("/files/") + name);
            n->m_nSourceKind = kSourceWebPage;
            n->m_nStatus = kStatusRunning;
            return n;
        };
        CNote* a = make("a.htm");
        CNote* b = make("b.htm");
        const CDownloadSettings settings = AppOptions().DownloadSettings();
        bool okA = false, okB = false;
        auto run = [&settings](CNote* n, bool* ok) {
            CCaptureContext ctx;
            ctx.m_proxy = "";
            *ok = ctx.CaptureWebPage(n->m_strSource, n, settings);
        };
        std::thread ta(run, a, &okA), tb(run, b, &okB);
        ta.join();
        tb.join();
        ASSERT_TRUE(okA && okB) << "round " << round;
        std::vector<std::string> names;
        for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it) names.push_back(it.key());
        EXPECT_EQ(Sorted(names), Sorted({"vlta.gif", "vltb.gif", "vltbase.css", "vlti.gif", "vltmain.css", "vltslow.gif"}))
            << "round " << round;
        EXPECT_EQ(Sorted(a->m_attachNames), Sorted({"vlta.gif", "vltbase.css", "vlti.gif", "vltmain.css", "vltslow.gif"}))
            << "round " << round;
        EXPECT_EQ(Sorted(b->m_attachNames), Sorted({"vltb.gif", "vltbase.css", "vlti.gif", "vltmain.css", "vltslow.gif"}))
            << "round " << round;
        EXPECT_EQ(Text(b->Content()), "<img src=vlti.gif><img src=vltb.gif><link rel=stylesheet href=vltmain.css>");
        EXPECT_TRUE(doc.m_reservedOrigins.empty());
    }
    EXPECT_EQ(s.Count("/files/css/main.css"), kRounds);
    EXPECT_EQ(s.Count("/hold/300/slow.gif"), kRounds);
}

// An edited page read back keeps every attachment it still names, with what
// a named stylesheet names, whether or not files are to be fetched, under
// either rules.
TEST_F(ModernCaptureTest, AnEditedPageReadBackKeepsEveryFileItStillNames) {
    Put("img/bg.gif", "GIF-bg");
    Put("img/a.gif", "GIF-a");
    Put("img/gone.gif", "GIF-gone");
    Put("css/main.css", "@import 'base.css'; body { background: url(../img/bg.gif) }");
    Put("css/base.css", "p { color: red }");
    Put("page.htm", "<link rel=\"stylesheet\" href=\"css/main.css\"><img src=\"img/a.gif\"><img src=\"img/gone.gif\">");
    TestServer& s = Server();
    CNote* n = NewNote("page", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    ASSERT_EQ(Sorted(n->m_attachNames), Sorted({"vltmain.css", "vltbase.css", "vltbg.gif", "vlta.gif", "vltgone.gif"}));
    const std::string path = n->GetWorkPath();
    ASSERT_TRUE(n->WriteWorkingCopy(std::string(), false));
    for (bool bModern : {true, false}) {
        for (bool bFetch : {false, true}) {
            AppOptions().m_download.m_bModernCapture = bModern;
            AppOptions().m_download.m_bFetchResources = bFetch;
            // The user took one picture out and wrote a line.
            const std::string edited =
                "<link rel=\"stylesheet\" href=\"vltmain.css\"><img src=\"vlta.gif\"><p>my note</p>";
            ASSERT_TRUE(fileutil::WriteWholeFile(path, edited.data(), edited.size()));
            ASSERT_TRUE(n->ReadBackAndAbsorb(std::string()));
            EXPECT_EQ(Text(n->Content()), edited);
            EXPECT_EQ(Sorted(n->m_attachNames), Sorted({"vltmain.css", "vltbase.css", "vltbg.gif", "vlta.gif"}))
                << (bModern ? "modern" : "classic") << (bFetch ? ", fetching" : ", not fetching");
        }
    }
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 5u);
}
