#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/AppOptions.h"
#include "capture/CaptureContext.h"
#include "capture/FetchShared.h"
#include "capture/LinkHelpers.h"
#include "capture/PageScanner.h"
#include "capture/TestServer.h"
#include "document/ClipVaultDoc.h"
#include "support/TestSupport.h"
#include "platform/Charset.h"
#include "platform/FileUtil.h"
#include "platform/TempFiles.h"
#include "platform/UiQueue.h"

using namespace testserver;

namespace {

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

// A site in a folder, served by the loopback test server under /files/.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prevFetch = AppOptions().m_download.m_bFetchResources;
        m_prevRetries = AppOptions().m_download.m_nRetries;
        m_prevModern = AppOptions().m_download.m_bModernCapture;
        AppOptions().m_download.m_bFetchResources = true;
        // These are the first rules' cases; the modern capture has its own.
        AppOptions().m_download.m_bModernCapture = false;
        m_prevRoot = tempfiles::TempRoot();
        tempfiles::SetTempRoot(m_tmp.Path());
        std::filesystem::create_directories(m_site.Path() + "/img");
        std::filesystem::create_directories(m_site.Path() + "/css");
    }
    void TearDown() override {
        AppOptions().m_download.m_bFetchResources = m_prevFetch;
        AppOptions().m_download.m_nRetries = m_prevRetries;
        AppOptions().m_download.m_bModernCapture = m_prevModern;
        tempfiles::SetTempRoot(m_prevRoot);
    }
    void Put(const std::string& rel, const std::string& bytes) {
        ASSERT_TRUE(fileutil::WriteWholeFile(m_site.File(rel), bytes.data(), bytes.size())) << rel;
    }
    TestServer& Server(const std::string& tls = "") {
        if (!m_server) m_server = std::make_unique<TestServer>(tls, m_site.Path());
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
    bool Capture(CNote* n, const std::string& caFile = "", const CTransferLimits& limits = {}) {
        CCaptureContext ctx;
        ctx.m_proxy = "";
        ctx.m_limits = limits;
        ctx.m_strCaFile = caFile;
        const CDownloadSettings settings = AppOptions().DownloadSettings();
        return n->m_nSourceKind == kSourceWebFile ? ctx.CaptureWebFile(n->m_strSource, n, settings)
                                                  : ctx.CaptureWebPage(n->m_strSource, n, settings);
    }

    TempDir m_site, m_tmp;
    CClipVaultDoc m_doc;
    std::unique_ptr<TestServer> m_server;
    bool m_prevFetch = true;
    bool m_prevModern = true;
    uint32_t m_prevRetries = 10;
    std::string m_prevRoot;
};

}  // namespace

TEST_F(CaptureTest, ImagesBecomeAttachmentsOnceAndLinksBecomeAbsolute) {
    Put("img/a.gif", "GIF89a-a");
    Put("page.htm", "<html><title>P</title><img src=\"img/a.gif\"> <IMG SRC='img/a.gif'>"
                    "<a href=\"next.htm\">next</a><a href=#top>top</a></html>");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(n->m_strExt, "htm");
    EXPECT_EQ(n->m_attachNames, std::vector<std::string>{"vlta.gif"});
    EXPECT_EQ(Text(n->Content()), "<html><title>P</title><img src=\"vlta.gif\"> <IMG SRC='vlta.gif'><a href=\"" +
                                      s.Url("/files/next.htm") + "\">next</a><a href=#top>top</a></html>");
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 1u);
    EXPECT_EQ(m_doc.FindAttachment("vlta.gif")->Data(), (Bytes{'G', 'I', 'F', '8', '9', 'a', '-', 'a'}));
    EXPECT_EQ(s.Count("/files/img/a.gif"), 1);
    EXPECT_TRUE(n->m_bLinksRewritten);

    // A second page using the same image address reuses the attachment
    // without fetching it; a page already pointing at an attachment keeps it.
    Put("two.htm", "<img src=\"" + s.Url("/files/img/a.gif") + "\"><img src=\"vlta.gif\">");
    CNote* two = NewNote("two", s.Url("/files/two.htm"));
    ASSERT_TRUE(Capture(two));
    EXPECT_EQ(Text(two->Content()), "<img src=\"vlta.gif\"><img src=\"vlta.gif\">");
    EXPECT_EQ(two->m_attachNames, std::vector<std::string>{"vlta.gif"});
    EXPECT_EQ(s.Count("/files/img/a.gif"), 1);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 1u);
}

// Servers that answer "HTTP/1.1 200" without a Connection header and then
// close leave a connection that looks reusable; a resource asked for on it
// just as it closes must still arrive.
TEST_F(CaptureTest, EveryResourceArrivesFromAServerThatClosesUnannounced) {
    constexpr int kResources = 200;
    std::string page = "<html><body>";
    for (int i = 0; i < kResources; ++i) {
        const std::string name = "img/r" + std::to_string(i) + ".gif";
        Put(name, "GIF89a-" + std::to_string(i));
        page += "<img src=\"" + name + "\">";
    }
    Put("many.htm", page + "</body></html>");
    TestServer s("", m_site.Path(), true);
    ASSERT_TRUE(s.Ok());
    for (int round = 0; round < 20; ++round) {
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("many");
        n->m_strSource = s.Url("/files/many.htm");
        n->m_nSourceKind = kSourceWebPage;
        n->m_nStatus = kStatusRunning;
        ASSERT_TRUE(Capture(n)) << "round " << round;
        ASSERT_EQ(n->m_attachNames.size(), size_t(kResources)) << "round " << round;
        ASSERT_EQ(doc.m_attachments.GetCount(), size_t(kResources)) << "round " << round;
        EXPECT_EQ(Text(n->Content()).find("img/r"), std::string::npos) << "round " << round << ": a resource is still remote";
        CNoteAttatch* last = doc.FindAttachment("vltr" + std::to_string(kResources - 1) + ".gif");
        ASSERT_NE(last, nullptr) << "round " << round;
        EXPECT_EQ(Text(last->Data()), "GIF89a-" + std::to_string(kResources - 1));
    }
}

TEST_F(CaptureTest, WithoutTheResourceOptionOnlyHyperlinksChange) {
    AppOptions().m_download.m_bFetchResources = false;
    Put("img/a.gif", "GIF89a");
    Put("page.htm", "<img src=img/a.gif><a href=b.htm>b</a>    ");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()), "<img src=img/a.gif><a href=" + s.Url("/files/b.htm") + ">b</a>    ");
    EXPECT_TRUE(n->m_attachNames.empty());
    EXPECT_EQ(s.Count("/files/img/a.gif"), 0);
}

TEST_F(CaptureTest, StylesheetsAndFramesAreCapturedWithTheirOwnResources) {
    Put("img/bg.gif", "GIF-bg");
    Put("css/show.xsl", "<xsl:stylesheet><img src=\"../img/bg.gif\"/></xsl:stylesheet>");
    Put("data.xml", "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"css/show.xsl\"?><d/>");
    Put("left.htm", "<html><img src=\"img/bg.gif\"><a href=\"right.htm\">r</a></html>");
    Put("frames.htm", "<frameset><frame src=\"left.htm\"></frameset>");
    // A stylesheet that names itself must not be captured without end.
    Put("css/self.xsl", "<?xml-stylesheet href=\"self.xsl\"?><x/>");
    Put("self.xml", "<?xml-stylesheet href=\"css/self.xsl\"?><y/>");
    TestServer& s = Server();

    CNote* xml = NewNote("xml", s.Url("/files/data.xml"));
    ASSERT_TRUE(Capture(xml));
    EXPECT_EQ(xml->m_strExt, "xml");
    EXPECT_NE(Text(xml->Content()).find("href=\"vltshow.xsl\""), std::string::npos) << Text(xml->Content());
    CNoteAttatch* xsl = m_doc.FindAttachment("vltshow.xsl");
    ASSERT_NE(xsl, nullptr);
    EXPECT_EQ(Text(xsl->Data()), "<xsl:stylesheet><img src=\"vltbg.gif\"/></xsl:stylesheet>");
    EXPECT_NE(m_doc.FindAttachment("vltbg.gif"), nullptr);
    EXPECT_EQ(xml->m_attachNames, (std::vector<std::string>{"vltbg.gif", "vltshow.xsl"}));

    CNote* frames = NewNote("frames", s.Url("/files/frames.htm"));
    ASSERT_TRUE(Capture(frames));
    EXPECT_EQ(Text(frames->Content()), "<frameset><frame src=\"vltleft.htm\"></frameset>");
    CNoteAttatch* left = m_doc.FindAttachment("vltleft.htm");
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(Text(left->Data()), "<html><img src=\"vltbg.gif\"><a href=\"" + s.Url("/files/right.htm") + "\">r</a></html>");
    EXPECT_EQ(s.Count("/files/img/bg.gif"), 1) << "the frame's image was already in the notebook";

    CNote* self = NewNote("self", s.Url("/files/self.xml"));
    ASSERT_TRUE(Capture(self));
    EXPECT_EQ(Text(self->Content()), "<?xml-stylesheet href=\"vltself.xsl\"?><y/>");
    CNoteAttatch* selfXsl = m_doc.FindAttachment("vltself.xsl");
    ASSERT_NE(selfXsl, nullptr);
    EXPECT_EQ(Text(selfXsl->Data()), "<?xml-stylesheet href=\"vltself.xsl\"?><x/>");
    EXPECT_EQ(self->m_attachNames, std::vector<std::string>{"vltself.xsl"});
    EXPECT_EQ(s.Count("/files/css/self.xsl"), 1);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 4u) << "vltbg.gif, vltshow.xsl, vltleft.htm and vltself.xsl only";

    // Two that name each other: each stored once, each pointing at the other.
    Put("css/ping.xsl", "<?xml-stylesheet href=\"pong.xsl\"?><ping/>");
    Put("css/pong.xsl", "<?xml-stylesheet href=\"ping.xsl\"?><pong/>");
    Put("cycle.xml", "<?xml-stylesheet href=\"css/ping.xsl\"?><z/>");
    CNote* cycle = NewNote("cycle", s.Url("/files/cycle.xml"));
    ASSERT_TRUE(Capture(cycle));
    EXPECT_EQ(Text(cycle->Content()), "<?xml-stylesheet href=\"vltping.xsl\"?><z/>");
    ASSERT_NE(m_doc.FindAttachment("vltping.xsl"), nullptr);
    ASSERT_NE(m_doc.FindAttachment("vltpong.xsl"), nullptr);
    EXPECT_EQ(Text(m_doc.FindAttachment("vltping.xsl")->Data()), "<?xml-stylesheet href=\"vltpong.xsl\"?><ping/>");
    EXPECT_EQ(Text(m_doc.FindAttachment("vltpong.xsl")->Data()), "<?xml-stylesheet href=\"vltping.xsl\"?><pong/>");
    EXPECT_EQ(s.Count("/files/css/ping.xsl"), 1);
    EXPECT_EQ(s.Count("/files/css/pong.xsl"), 1);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 6u);
    std::vector<std::string> names = cycle->m_attachNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"vltping.xsl", "vltpong.xsl"}));
}

TEST_F(CaptureTest, OnlyWholeValuesAreRewritten) {
    Put("a.gif", "GIF-a");
    Put("banana.gif", "GIF-banana");
    Put("ab.htm", "<img src=a.gif><img src=\"banana.gif\"><script>var pic = \"a.gif\", other = 'img/a.gif';</script>");
    std::filesystem::create_directories(m_site.Path() + "/rev");
    Put("rev/a.gif", "GIF-rev-a");
    Put("rev/banana.gif", "GIF-rev-banana");
    Put("rev/ba.htm", "<img src='banana.gif'><img src=a.gif>");
    TestServer& s = Server();

    CNote* ab = NewNote("ab", s.Url("/files/ab.htm"));
    ASSERT_TRUE(Capture(ab));
    EXPECT_EQ(Text(ab->Content()),
              "<img src=vlta.gif><img src=\"vltbanana.gif\">"
              "<script>var pic = \"vlta.gif\", other = 'img/a.gif';</script>");
    CNote* ba = NewNote("ba", s.Url("/files/rev/ba.htm"));
    ASSERT_TRUE(Capture(ba));
    EXPECT_EQ(Text(ba->Content()), "<img src='vlt-1banana.gif'><img src=vlt-1a.gif>");
    EXPECT_EQ(Text(m_doc.FindAttachment("vlt-1banana.gif")->Data()), "GIF-rev-banana");
    EXPECT_EQ(Text(m_doc.FindAttachment("vlt-1a.gif")->Data()), "GIF-rev-a");
}

TEST_F(CaptureTest, UpperCaseAddressesGivePageTypes) {
    std::filesystem::create_directories(m_site.Path() + "/UP");
    Put("UP/A.GIF", "GIF-A");
    Put("UP/PAGE.HTM", "<img src=\"A.GIF\"><a href=\"NEXT.HTM\">n</a>");
    Put("UP/Other.Html", "<img src=\"A.GIF\">");
    Put("UP/S.XSL", "<xsl:stylesheet/>");
    Put("UP/DATA.XML", "<?xml-stylesheet href=\"S.XSL\"?><d/>");
    TestServer& s = Server();

    CNote* page = NewNote("page", s.Url("/files/UP/PAGE.HTM"));
    ASSERT_TRUE(Capture(page));
    EXPECT_EQ(page->m_strExt, "htm");
    EXPECT_EQ(Text(page->Content()), "<img src=\"vltA.GIF\"><a href=\"" + s.Url("/files/UP/NEXT.HTM") + "\">n</a>");
    EXPECT_EQ(page->m_attachNames, std::vector<std::string>{"vltA.GIF"});
    CNote* other = NewNote("other", s.Url("/files/UP/Other.Html"));
    ASSERT_TRUE(Capture(other));
    EXPECT_EQ(other->m_strExt, "htm");
    CNote* xml = NewNote("xml", s.Url("/files/UP/DATA.XML"));
    ASSERT_TRUE(Capture(xml));
    EXPECT_EQ(xml->m_strExt, "xml");
    EXPECT_EQ(Text(xml->Content()), "<?xml-stylesheet href=\"vltS.XSL\"?><d/>");

    // A note an earlier version stored with an upper-case type is still a
    // page: shown with its attachment, written out, its links taken in.
    page->m_strExt = "HTM";
    ASSERT_TRUE(page->WriteWorkingCopy());
    const std::string work = page->GetWorkPath();
    std::vector<uint8_t> onDisk;
    ASSERT_TRUE(fileutil::ReadWholeFile(work.substr(0, work.rfind('/')) + "/vltA.GIF", onDisk));
    EXPECT_EQ(Text(onDisk), "GIF-A");
    TempDir out;
    ASSERT_TRUE(page->WriteWorkingCopy(out.File("page.htm"), true));
    ASSERT_TRUE(fileutil::ReadWholeFile(out.File("page.htm"), onDisk));
    EXPECT_EQ(Text(onDisk).rfind("<img src=\"./page.files/vltA.GIF\">", 0), 0u) << Text(onDisk);
    // The editor puts a picture it inserts beside the page.
    const std::string newGif = work.substr(0, work.rfind('/')) + "/new.gif";
    ASSERT_TRUE(fileutil::WriteWholeFile(newGif, "GIF-new", 7));
    const std::string edited = "<img src=\"vltA.GIF\"><img src=\"" + newGif + "\">";
    page->m_nSourceKind = kSourceLocalFile;
    ASSERT_TRUE(fileutil::WriteWholeFile(work, edited.data(), edited.size()));
    ASSERT_TRUE(page->ReadBackAndAbsorb());
    EXPECT_EQ(Text(page->Content()), "<img src=\"vltA.GIF\"><img src=\"vltnew.gif\">");
}

TEST_F(CaptureTest, NewAttachmentNamesLeaveOutTheQuery) {
    Put("css/style.css", "body{}");
    Put("img/q.gif", "GIF-q");
    std::filesystem::create_directories(m_site.Path() + "/x");
    std::filesystem::create_directories(m_site.Path() + "/y");
    Put("x/a.css", "x{}");
    Put("y/a.css", "y{}");
    Put("page.htm",
        "<link href=\"css/style.css?v=3\"><link href=\"css/style.css?v=4\"><img src=img/q.gif?u=/p/q>"
        "<link href=x/a.css?v=1><link href=y/a.css?v=2><img src=\"vltold.gif?v=1\">");
    // An attachment stored by an earlier version under a name with its query.
    m_doc.MakeAttachment("vltold.gif?v=1", "http://elsewhere/old.gif", Bytes{'o'});
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()),
              "<link href=\"vltstyle.css\"><link href=\"vltstyle.css\"><img src=vltq.gif>"
              "<link href=vlta.css><link href=vlt-1a.css><img src=\"vltold.gif?v=1\">");
    EXPECT_EQ(n->m_attachNames,
              (std::vector<std::string>{"vltq.gif", "vltold.gif?v=1", "vltstyle.css", "vlta.css", "vlt-1a.css"}));
    EXPECT_EQ(s.Count("/files/css/style.css"), 1) << "one address, one attachment";
    EXPECT_EQ(Text(m_doc.FindAttachment("vlta.css")->Data()), "x{}");
    EXPECT_EQ(Text(m_doc.FindAttachment("vlt-1a.css")->Data()), "y{}");
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 5u);
}

TEST_F(CaptureTest, NestedPagesStopEightLevelsDown) {
    // 10,000 frame pages, each the only frame of the one before.
    TestServer& s = Server();
    CNote* n = NewNote("deep", s.Url("/chain/1.htm"));
    ASSERT_TRUE(Capture(n));
    EXPECT_EQ(Text(n->Content()), "<frameset><frame src=\"vlt2.htm\"></frameset>");
    std::vector<std::string> names = n->m_attachNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"vlt2.htm", "vlt3.htm", "vlt4.htm", "vlt5.htm", "vlt6.htm",
                                               "vlt7.htm", "vlt8.htm", "vlt9.htm"}));
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 8u);
    ASSERT_NE(m_doc.FindAttachment("vlt8.htm"), nullptr);
    EXPECT_EQ(Text(m_doc.FindAttachment("vlt8.htm")->Data()), "<frameset><frame src=\"vlt9.htm\"></frameset>");
    ASSERT_NE(m_doc.FindAttachment("vlt9.htm"), nullptr);
    EXPECT_EQ(Text(m_doc.FindAttachment("vlt9.htm")->Data()),
              "<frameset><frame src=\"" + s.Url("/chain/10.htm") + "\"></frameset>")
        << "the page below the last level is linked to its address";
    EXPECT_EQ(s.Count("/chain/9.htm"), 1);
    EXPECT_EQ(s.Count("/chain/10.htm"), 0);

    // Pages read from disk stop at the same depth.
    for (int i = 1; i <= 12; ++i)
        Put("l" + std::to_string(i) + ".htm", "<iframe src=\"l" + std::to_string(i + 1) + ".htm\"></iframe>");
    CNote* local = m_doc.m_rootCata.AddNewNote("local");
    local->m_strSource = m_site.File("l1.htm");
    local->m_nSourceKind = kSourceLocalFile;
    ASSERT_TRUE(local->ImportLocalFile());
    EXPECT_EQ(local->m_attachNames.size(), 8u);
    ASSERT_NE(m_doc.FindAttachment("vltl9.htm"), nullptr);
    EXPECT_EQ(Text(m_doc.FindAttachment("vltl9.htm")->Data()),
              "<iframe src=\"file://" + m_site.File("l10.htm") + "\"></iframe>");
    EXPECT_EQ(m_doc.FindAttachment("vltl10.htm"), nullptr);
}

TEST_F(CaptureTest, ReadBackOfAnyNoteTakesInOnlyFilesOfTheWorkingFolder) {
    Put("secret", "PRIVATE KEY");
    Put("img/pic.gif", "GIF-pic");
    for (uint32_t kind : {kSourceWebPage, kSourceWebFile, kSourceLocalFile, kSourceWritten}) {
        SCOPED_TRACE(kind);
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("n");
        n->m_nSourceKind = kind;
        n->m_strSource = kind == kSourceLocalFile ? m_site.File("page.htm") : "http://example.invalid/page.htm";
        n->m_strExt = "htm";
        const std::string work = n->GetWorkPath();
        ASSERT_FALSE(work.empty());
        const std::string folder = work.substr(0, work.rfind('/'));
        // Inside the folder: a new file, and a link that leads out of it.
        std::filesystem::create_directories(folder + "/sub");
        ASSERT_TRUE(fileutil::WriteWholeFile(folder + "/sub/in.gif", "GIF-in", 6));
        std::filesystem::remove(folder + "/link.txt");
        std::filesystem::create_symlink(m_site.File("secret"), folder + "/link.txt");
        const std::string page = "<img src=\"sub/in.gif\"><img src=\"file://" + m_site.File("secret") +
                                 "\"><img src=\"" + m_site.File("img/pic.gif") + "\"><img src=\"link.txt\">"
                                 "<img src=\"" +
                                 std::filesystem::relative(m_site.File("secret"), folder).string() + "\">";
        ASSERT_TRUE(fileutil::WriteWholeFile(work, page.data(), page.size()));
        ASSERT_TRUE(n->ReadBackAndAbsorb());
        std::vector<std::string> taken;
        for (const std::string& name : n->m_attachNames) taken.push_back(Text(doc.FindAttachment(name)->Data()));
        // A page imported from disk took its own folder's files in when it
        // came; edited, it is a page of the working folder like any other.
        EXPECT_EQ(taken, std::vector<std::string>{"GIF-in"});
        EXPECT_EQ(doc.m_attachments.GetCount(), 1u);
        EXPECT_EQ(Text(n->Content()).substr(0, 21), "<img src=\"vltin.gif\">");
    }
}

TEST_F(CaptureTest, Utf16PagesStayUtf16AndTypesFollowTheAddress) {
    const std::u16string u = u"<IMG SRC=\"img/\u00e9.gif\"><a href=x.htm>\u4e2d</a>";
    std::string page = "\xFF\xFE";
    for (char16_t c : u) {
        page += static_cast<char>(c & 0xFF);
        page += static_cast<char>(c >> 8);
    }
    Put("wide.htm", page);
    Put("img/\xC3\xA9.gif", "GIF-e");
    Put("index.htm", "<p>folder index</p>");
    Put("doc.pdf", "%PDF-1.4 test");
    Put("show.asp", "<p>asp</p>");
    TestServer& s = Server();
    AppOptions().m_download.m_nRetries = 0;  // the folder and the missing page fail at once

    CNote* wide = NewNote("wide", s.Url("/files/wide.htm"));
    ASSERT_TRUE(Capture(wide));
    ASSERT_GE(wide->Content().size(), 2u);
    EXPECT_EQ(wide->Content()[0], 0xFF);
    EXPECT_EQ(wide->Content()[1], 0xFE);
    const std::string text = PageBytesToText(wide->Content());
    EXPECT_EQ(charset::AnsiToUtf16(text),
              u"<IMG SRC=\"vlt\u00e9.gif\"><a href=" + charset::AnsiToUtf16(s.Url("/files/x.htm")) + u">\u4e2d</a>");
    EXPECT_NE(m_doc.FindAttachment("vlt\xC3\xA9.gif"), nullptr);

    CNote* folder = NewNote("folder", s.Url("/files/"));
    Capture(folder);
    EXPECT_EQ(folder->m_strExt, "htm") << "an address ending in / is a page";
    CNote* pdf = NewNote("pdf", s.Url("/files/doc.pdf"), kSourceWebFile);
    ASSERT_TRUE(Capture(pdf));
    EXPECT_EQ(pdf->m_strExt, "pdf");
    EXPECT_EQ(Text(pdf->Content()), "%PDF-1.4 test");
    EXPECT_EQ(CCaptureContext::MakeLocalPageName("http://h/show.asp?id=3", true), "show.asp.htm");
    EXPECT_EQ(CCaptureContext::MakeLocalPageName("http://h/a.MHTML", true), "a.MHTML");
    EXPECT_EQ(CCaptureContext::MakeLocalPageName("http://h/dir/", true), "index.htm");
    EXPECT_EQ(CCaptureContext::MakeLocalPageName("http://h/dir/", false), "unknown.fil");

    CNote* missing = NewNote("missing", s.Url("/status/404/gone.htm"));
    EXPECT_FALSE(Capture(missing));
    AppOptions().m_download.m_nRetries = 10;
    EXPECT_FALSE(missing->m_strError.empty());
}

TEST_F(CaptureTest, AStopAfterThePageKeepsThePageWithoutItsResources) {
    Put("page.htm", "<img src=\"/stall/slow.gif\"><img src=\"img/never.gif\">");
    Put("img/never.gif", "GIF");
    TestServer& s = Server();
    CNote* n = NewNote("p", s.Url("/files/page.htm"));
    std::thread stopper([&] {
        for (int i = 0; i < 200 && s.Count("/stall/slow.gif") < 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        n->m_nStatus = kStatusStopRequested;
    });
    const bool ok = Capture(n);
    stopper.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(Text(n->Content()), "<img src=\"/stall/slow.gif\"><img src=\"img/never.gif\">");
    EXPECT_TRUE(n->m_attachNames.empty()) << "a resource cut short by the stop is not kept";
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 0u);
    EXPECT_EQ(s.Count("/files/img/never.gif"), 0);
}

// Shows what a note's error text is made of: the string's id, then the
// arguments in the places of its formats.
class CFormatHost : public RecordingHost {
public:
    std::string LoadString(unsigned nStringID) override { return std::to_string(nStringID) + ":%s:%s"; }
};

TEST_F(CaptureTest, AStalledOrEndlessTransferFailsAndTheNoteSaysWhy) {
    CFormatHost host;
    TestServer& s = Server();
    struct Case {
        const char* path;
        long nMaxSeconds;  // far from the slow limit, so a loaded machine cannot swap the two
        const char* error;
    };
    // Headers and then nothing; a byte at a time; quick enough but endless.
    const Case cases[] = {{"/silent/", 30, "34465:100:1"},
                          {"/drip/1/200/", 30, "34465:100:1"},
                          {"/drip/2000/100/", 2, "34467:2:%s"}};
    for (const bool bModern : {true, false}) {
        AppOptions().m_download.m_bModernCapture = bModern;
        for (const Case& c : cases) {
            CTransferLimits limits;
            limits.m_nMinBytesPerSecond = 100;
            limits.m_nSlowSeconds = 1;
            limits.m_nMaxSeconds = c.nMaxSeconds;
            const std::string path = std::string(c.path) + (bModern ? "m.htm" : "c.htm");
            CNote* n = NewNote(path, s.Url(path));
            EXPECT_FALSE(Capture(n, "", limits)) << path;
            EXPECT_EQ(n->m_strError, c.error) << path;
            EXPECT_TRUE(n->Content().empty()) << path;
            EXPECT_EQ(s.Count(path), 1) << path << ": a limit is final, not tried again";
        }
    }
    // The limits the user gets: about 1 KB a minute, and half an hour in all.
    CTransferLimits defaults;
    EXPECT_EQ(fetchutil::LimitText(kFetchTooSlow, defaults), "34465:16:60");
    EXPECT_EQ(fetchutil::LimitText(kFetchTooLong, defaults), "34466:30:%s");
}

// Modern rules: an answer that will not change is asked once; only what may
// pass is asked again. The first rules keep asking a 404.
TEST_F(CaptureTest, ModernCaptureAsksDeadReferencesOnceAndRetriesWhatMayPass) {
    CFormatHost host;
    TestServer& s = Server();
    AppOptions().m_download.m_nRetries = 1;
    const std::vector<std::string> dead = {"400", "403", "404", "405", "410", "414", "501"};
    std::string page;
    for (const std::string& code : dead) page += "<img src=\"/status/" + code + "/m.gif\">";
    Put("dead.htm", page + "<img src=\"/status/503/m.gif\"><img src=\"/status/429/m.gif\">"
                           "<img src=\"/flaky/1/m.gif\">");
    AppOptions().m_download.m_bModernCapture = true;
    ASSERT_TRUE(Capture(NewNote("modern", s.Url("/files/dead.htm"))));
    for (const std::string& code : dead) EXPECT_EQ(s.Count("/status/" + code + "/m.gif"), 1) << code;
    EXPECT_EQ(s.Count("/status/503/m.gif"), 2);
    EXPECT_EQ(s.Count("/status/429/m.gif"), 2);
    EXPECT_EQ(s.Count("/flaky/1/m.gif"), 2);
    EXPECT_EQ(m_doc.m_attachments.GetCount(), 1u) << "the reference that recovered comes in";
    // The page itself: not found at once, and the note says so.
    CNote* gone = NewNote("gone", s.Url("/status/404/gone.htm"));
    EXPECT_FALSE(Capture(gone));
    EXPECT_EQ(gone->m_strError.substr(0, 6), "33144:");
    EXPECT_EQ(s.Count("/status/404/gone.htm"), 1);

    // The classic rules still retry, but a dead picture the page names many
    // times is asked for once in the capture, and every place keeps its
    // address.
    AppOptions().m_download.m_bModernCapture = false;
    std::string many;
    for (int i = 0; i < 20; ++i) many += "<img src=\"/status/404/c.gif\">";
    Put("classic.htm", many);
    CNote* classic = NewNote("classic", s.Url("/files/classic.htm"));
    ASSERT_TRUE(Capture(classic));
    EXPECT_EQ(s.Count("/status/404/c.gif"), 2);
    std::string expected;
    for (int i = 0; i < 20; ++i) expected += "<img src=\"" + s.Url("/status/404/c.gif") + "\">";
    EXPECT_EQ(Text(classic->Content()), expected);
}

TEST_F(CaptureTest, HttpsPagesCaptureHttpsImages) {
    Put("img/a.gif", "GIF-tls");
    Put("page.htm", "<img src=\"img/a.gif\">");
    TempDir tls;
    TestServer& s = Server(tls.Path());
    CNote* n = NewNote("p", s.TlsUrl("/files/page.htm"));
    ASSERT_TRUE(Capture(n, tls.File("ca.pem")));
    EXPECT_EQ(Text(n->Content()), "<img src=\"vlta.gif\">");
    EXPECT_EQ(m_doc.FindAttachment("vlta.gif")->m_strOrigin, s.TlsUrl("/files/img/a.gif"));
}

TEST_F(CaptureTest, WorkingCopiesExportsAndLocalImports) {
    // A local page with its image on disk.
    Put("img/a.gif", "GIF-local");
    Put("local.HTML", "<img src=\"img/a.gif\"><a href=\"other.htm\">o</a>");
    CNote* n = m_doc.m_rootCata.AddNewNote("local");
    n->m_strSource = m_site.File("local.HTML");
    n->m_nSourceKind = kSourceLocalFile;
    ASSERT_TRUE(n->ImportLocalFile());
    EXPECT_EQ(n->m_strExt, "htm");
    EXPECT_EQ(Text(n->Content()),
              "<img src=\"vlta.gif\"><a href=\"file://" + m_site.File("other.htm") + "\">o</a>");
    EXPECT_EQ(n->m_attachNames, std::vector<std::string>{"vlta.gif"});

    // Shown from the working folder: the page and its attachment side by side.
    const std::string work = n->GetWorkPath();
    ASSERT_FALSE(work.empty());
    EXPECT_EQ(work.rfind(m_tmp.Path() + "/vlt", 0), 0u);
    EXPECT_EQ(work.substr(work.size() - 4), ".htm");
    ASSERT_TRUE(n->WriteWorkingCopy());
    const std::string folder = work.substr(0, work.rfind('/'));
    std::vector<uint8_t> onDisk;
    ASSERT_TRUE(fileutil::ReadWholeFile(folder + "/vlta.gif", onDisk));
    EXPECT_EQ(Text(onDisk), "GIF-local");

    // Edited there and read back: a newly linked image beside it, where the
    // editor puts a picture it inserts, is taken in.
    ASSERT_TRUE(fileutil::WriteWholeFile(folder + "/new.gif", "GIF-new", 7));
    const std::string edited = "<img src=\"vlta.gif\"><img src=\"" + folder + "/new.gif\">";
    ASSERT_TRUE(fileutil::WriteWholeFile(work, edited.data(), edited.size()));
    ASSERT_TRUE(n->ReadBackAndAbsorb());
    EXPECT_EQ(Text(n->Content()), "<img src=\"vlta.gif\"><img src=\"vltnew.gif\">");
    EXPECT_EQ(n->m_attachNames, (std::vector<std::string>{"vlta.gif", "vltnew.gif"}));

    // Written out: page.files beside page.htm, links pointed there.
    TempDir out;
    ASSERT_TRUE(n->WriteWorkingCopy(out.File("page.htm"), true));
    ASSERT_TRUE(fileutil::ReadWholeFile(out.File("page.htm"), onDisk));
    EXPECT_EQ(Text(onDisk), "<img src=\"./page.files/vlta.gif\"><img src=\"./page.files/vltnew.gif\">");
    ASSERT_TRUE(fileutil::ReadWholeFile(out.File("page.files/vltnew.gif"), onDisk));
    EXPECT_EQ(Text(onDisk), "GIF-new");

    // Other files come in as they are; MHTML in any case is "mht".
    Put("saved.MHTML", "MIME-Version: 1.0\r\n<img src=\"img/a.gif\">");
    CNote* mht = m_doc.m_rootCata.AddNewNote("mht");
    mht->m_strSource = m_site.File("saved.MHTML");
    ASSERT_TRUE(mht->ImportLocalFile());
    EXPECT_EQ(mht->m_strExt, "mht");
    EXPECT_EQ(Text(mht->Content()), "MIME-Version: 1.0\r\n<img src=\"img/a.gif\">");
    CNote* bad = m_doc.m_rootCata.AddNewNote("bad");
    bad->m_strSource = m_site.Path() + "/noext";
    EXPECT_FALSE(bad->ImportLocalFile());
}

// A page written out takes every file it uses, however deep, into its
// folder, and points there whatever a browser follows: an XSL's output
// stands at the page's place, and the attribute a lazy loader replaces is
// shown too. The notebook keeps its bytes.
TEST_F(CaptureTest, AWrittenOutPageTakesEveryFileItUsesAtAnyDepth) {
    auto put = [&](const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(m_doc.MakeAttachment(name, "http://site/" + name, Bytes(bytes.begin(), bytes.end())));
    };
    const std::string xsl =
        "<?xml version=\"1.0\"?><xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
        "<xsl:import href=\"vltbase.xsl\"/><xsl:template match=\"/\"><html><head>"
        "<link rel=\"stylesheet\" href=\"vlts.css\"/></head><body><img src=\"{@image}\"/><img src=\"vltgz.png\"/>"
        "</body></html></xsl:template></xsl:stylesheet>";
    put("vltpage.xsl", xsl);
    put("vltbase.xsl", "<?xml version=\"1.0\"?><xsl:stylesheet><xsl:template name=\"t\"><img src=\"vltdeep.png\"/>"
                       "</xsl:template></xsl:stylesheet>");
    put("vlts.css", "@import \"vltt.css\"; body{background:url(vltbg.png)}");
    put("vltt.css", "p{background:url(vltsprite.svg#dot)}");
    put("vltf.htm", "<html><body><img src=\"vltframe.png\"></body></html>");
    for (const char* name : {"vltgz.png", "vltdeep.png", "vltbg.png", "vltsprite.svg", "vltitem.png", "vltframe.png",
                             "vltset.png", "vltx2.png", "vltspacer.gif", "vltblank.gif", "vltreal.png"})
        put(name, std::string("bytes of ") + name);

    // The note lists only the files it names itself.
    CNote* xml = m_doc.m_rootCata.AddNewNote("xml");
    xml->m_strExt = "xml";
    xml->m_nContentType = kContentHeld;
    const std::string xmlPage = "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"vltpage.xsl\"?>"
                                "<catalog><item image=\"vltitem.png\">a</item></catalog>";
    xml->SetContent(Bytes(xmlPage.begin(), xmlPage.end()));
    xml->m_attachNames = {"vltpage.xsl", "vltitem.png"};
    TempDir out;
    auto written = [&](const std::string& rel) {
        std::vector<uint8_t> bytes;
        return fileutil::ReadWholeFile(out.File(rel), bytes) ? Text(bytes) : "(not written)";
    };
    ASSERT_TRUE(xml->WriteWorkingCopy(out.File("page.xml"), true));
    EXPECT_EQ(written("page.xml"),
              "<?xml version=\"1.0\"?><?xml-stylesheet type=\"text/xsl\" href=\"./page.files/vltpage.xsl\"?>"
              "<catalog><item image=\"./page.files/vltitem.png\">a</item></catalog>");
    // The XSL's output is pointed, its own import is read beside it.
    std::string expected = xsl;
    for (const char* name : {"vlts.css", "vltgz.png"})
        expected.replace(expected.find(name), std::strlen(name), std::string("./page.files/") + name);
    EXPECT_EQ(written("page.files/vltpage.xsl"), expected);
    EXPECT_NE(written("page.files/vltbase.xsl").find("<img src=\"./page.files/vltdeep.png\"/>"), std::string::npos);
    // A stylesheet's files stand beside it, at any depth, as they are.
    EXPECT_EQ(written("page.files/vltt.css"), "p{background:url(vltsprite.svg#dot)}");
    for (const char* name : {"vltgz.png", "vltdeep.png", "vlts.css", "vltbg.png", "vltsprite.svg", "vltitem.png"})
        EXPECT_TRUE(std::filesystem::exists(out.File(std::string("page.files/") + name))) << name;
    EXPECT_EQ(Text(xml->Content()), xmlPage);
    EXPECT_EQ(Text(m_doc.FindAttachment("vltpage.xsl")->Data()), xsl);

    // The attribute a lazy loader swaps out is the page's too, and so are
    // a frame's files.
    CNote* page = m_doc.m_rootCata.AddNewNote("lazy");
    page->m_strExt = "htm";
    page->m_nContentType = kContentHeld;
    const std::string lazy =
        "<img srcset=\"vltset.png 1x, vltx2.png 2x\" src=\"vltspacer.gif\" data-srcset=\"vltset.png 1x, vltx2.png 2x\">"
        "<img src=vltblank.gif data-src=vltreal.png><iframe src=\"vltf.htm\"></iframe>";
    page->SetContent(Bytes(lazy.begin(), lazy.end()));
    page->m_attachNames = {"vltset.png"};
    ASSERT_TRUE(page->WriteWorkingCopy(out.File("lazy.htm"), true));
    EXPECT_EQ(written("lazy.htm"),
              "<img srcset=\"./lazy.files/vltset.png 1x, ./lazy.files/vltx2.png 2x\" "
              "src=\"./lazy.files/vltspacer.gif\" "
              "data-srcset=\"./lazy.files/vltset.png 1x, ./lazy.files/vltx2.png 2x\">"
              "<img src=./lazy.files/vltblank.gif data-src=./lazy.files/vltreal.png>"
              "<iframe src=\"./lazy.files/vltf.htm\"></iframe>");
    for (const char* name : {"vltset.png", "vltx2.png", "vltspacer.gif", "vltblank.gif", "vltreal.png", "vltframe.png"})
        EXPECT_TRUE(std::filesystem::exists(out.File(std::string("lazy.files/") + name))) << name;
    EXPECT_EQ(Text(page->Content()), lazy);
}

TEST_F(CaptureTest, AFailedImportSaysWhyAndTheSizeLimitIsTheUsers) {
    CFormatHost host;
    const std::string big = m_site.File("big.pdf");
    {
        const int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 10240000), 0);
        ::close(fd);
    }
    CNote* n = NewNote("big", big, kSourceLocalFile);
    CDownloadSettings settings;
    EXPECT_FALSE(n->ImportLocalFile(&settings));
    EXPECT_EQ(n->m_strError, "34431:10240000:10240000");
    EXPECT_TRUE(n->Content().empty());
    settings.m_nMaxFileBytes = 10240001;
    EXPECT_TRUE(n->ImportLocalFile(&settings));
    EXPECT_EQ(n->Content().size(), 10240000u);

    // A lower limit refuses a small page; the other failures name the file.
    Put("small.htm", std::string(100, 'x'));
    settings.m_nMaxFileBytes = 100;
    CNote* small = NewNote("small", m_site.File("small.htm"), kSourceLocalFile);
    EXPECT_FALSE(small->ImportLocalFile(&settings));
    EXPECT_EQ(small->m_strError, "34431:100:100");
    // A page's own files are held to the same limit, in both captures
    // (each its own picture: one stored already would be listed as it is).
    for (const bool bModern : {true, false}) {
        settings.m_bModernCapture = bModern;
        const std::string page = bModern ? "m" : "c";
        Put(page + ".gif", std::string(200, 'p'));
        Put(page + ".htm", "<html><body><img src=" + page + ".gif></body></html>");
        for (const uint64_t nLimit : {150u, 201u}) {
            settings.m_nMaxFileBytes = nLimit;
            CNote* n = NewNote(page + std::to_string(nLimit), m_site.File(page + ".htm"), kSourceLocalFile);
            EXPECT_TRUE(n->ImportLocalFile(&settings));
            EXPECT_EQ(n->m_attachNames.size(), nLimit > 200 ? 1u : 0u) << page << " " << nLimit;
        }
    }
    settings.m_nMaxFileBytes = 100;
    CNote* gone = NewNote("gone", m_site.File("gone.txt"), kSourceLocalFile);
    EXPECT_FALSE(gone->ImportLocalFile(&settings));
    EXPECT_EQ(gone->m_strError, "34432:" + m_site.File("gone.txt") + ":" + std::strerror(ENOENT));
    CNote* bare = NewNote("bare", m_site.Path() + "/noext", kSourceLocalFile);
    EXPECT_FALSE(bare->ImportLocalFile(&settings));
    EXPECT_EQ(bare->m_strError, "34433:" + m_site.Path() + "/noext:%s");

    // The user's limit reaches the worker; reading back a page of the
    // notebook's own is never held to less than the built-in limit.
    const uint32_t nPrevious = AppOptions().m_download.m_nMaxFileBytes;
    AppOptions().m_download.m_nMaxFileBytes = 100;
    EXPECT_EQ(AppOptions().DownloadSettings().m_nMaxFileBytes, 100u);
    small->m_strExt = "htm";
    small->m_nContentType = kContentHeld;
    small->SetContent(std::vector<uint8_t>(5000, 'y'));
    ASSERT_TRUE(small->WriteWorkingCopy());
    small->SetContent({});
    EXPECT_TRUE(small->ReadBack());
    AppOptions().m_download.m_nMaxFileBytes = nPrevious;
    EXPECT_EQ(small->Content().size(), 5000u);
}

TEST_F(CaptureTest, DownloadWorkersFillNotesThroughTheNotebook) {
    Put("img/a.gif", "GIF");
    Put("page.htm", "<img src=img/a.gif>");
    TestServer& s = Server();
    host::CSimpleUiQueue queue;
    host::IUiQueue* prev = host::SetUiQueue(&queue);
    ::setenv("no_proxy", "127.0.0.1", 1);
    std::vector<CNote*> notes;
    for (const std::string& url : {s.Url("/files/page.htm"), s.Url("/status/500/x.htm")}) {
        CNote* n = m_doc.m_rootCata.AddNewNote(url);
        n->m_strSource = url;
        n->m_nSourceKind = kSourceWebPage;
        m_doc.ListForDownload(n, true);
        notes.push_back(n);
    }
    for (int i = 0; i < 400 && (m_doc.IsDownloading() || m_doc.m_pendingNotes.size() > 1); ++i)
        queue.WaitAndRun(std::chrono::milliseconds(50));
    host::SetUiQueue(prev);
    EXPECT_EQ(notes[0]->m_nStatus, kStatusDone);
    EXPECT_EQ(Text(notes[0]->Content()), "<img src=vlta.gif>");
    EXPECT_EQ(notes[1]->m_nStatus, kStatusFailed);
    EXPECT_FALSE(notes[1]->m_strError.empty());
    EXPECT_EQ(m_doc.m_pendingNotes, std::vector<CNote*>{notes[1]});
}
