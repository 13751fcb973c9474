// Which files of this computer a page takes in: a saved page only those of
// its own folder, a page read back from the editor only those of the
// working folder; every other local reference stays as the page wrote it.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/AppOptions.h"
#include "capture/LocalReadRules.h"
#include "document/ClipVaultDoc.h"
#include "platform/FileUtil.h"
#include "platform/TempFiles.h"
#include "support/TestSupport.h"

namespace {

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

void Write(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(fileutil::WriteWholeFile(path, bytes.data(), bytes.size())) << path;
}

// What the notebook stored, attachment by attachment.
std::vector<std::string> Stored(CClipVaultDoc& doc) {
    std::vector<std::string> all;
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it)
        all.push_back(Text(it.value()->Data()));
    return all;
}

// Nothing of the machine's or the user's secrets among the attachments.
void ExpectNothingFromOutside(CClipVaultDoc& doc) {
    for (const std::string& data : Stored(doc)) {
        EXPECT_EQ(data.find("SECRET"), std::string::npos) << data;
        EXPECT_EQ(data.find("root:"), std::string::npos) << "/etc/passwd taken in";
        EXPECT_EQ(data.find("PATH="), std::string::npos) << "/proc/self/environ taken in";
    }
}

class LocalReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prevRoot = tempfiles::TempRoot();
        tempfiles::SetTempRoot(m_tmp.Path());
        m_prevModern = AppOptions().m_download.m_bModernCapture;
        m_prevFetch = AppOptions().m_download.m_bFetchResources;
        AppOptions().m_download.m_bFetchResources = true;
    }
    void TearDown() override {
        tempfiles::SetTempRoot(m_prevRoot);
        AppOptions().m_download.m_bModernCapture = m_prevModern;
        AppOptions().m_download.m_bFetchResources = m_prevFetch;
    }
    TempDir m_tmp;
    std::string m_prevRoot;
    bool m_prevModern = true, m_prevFetch = true;
};

TEST_F(LocalReadTest, SavedPageTakesInOnlyFilesOfItsOwnFolder) {
    TempDir root;
    const std::string site = root.Path() + "/site";
    Write(root.File("outside/secret.txt"), "SECRET-KEY");
    Write(root.File("outside/frame.htm"), "<p>SECRET frame</p>");
    Write(root.File("outside/evil.css"), "p{color:red} /* SECRET css */");
    Write(site + "/page_files/pic.gif", "GIF-good");
    Write(site + "/page_files/bg.gif", "GIF-bg");
    // A stylesheet of the folder that tries to climb out in its own turn.
    Write(site + "/page_files/style.css",
          "@import \"../../outside/evil.css\"; body{background:url(\"bg.gif\")} p{background:url(file://" +
              root.File("outside/secret.txt") + ")}");
    Write(site + "/page_files/frame.htm", "<img src=\"../../outside/secret.txt\"><img src=\"pic.gif\">");
    ASSERT_EQ(mkfifo((site + "/fifo.gif").c_str(), 0600), 0);
    std::filesystem::create_symlink(root.File("outside/secret.txt"), site + "/out-link.gif");
    std::filesystem::create_symlink(root.File("outside"), site + "/out-dir");
    std::filesystem::create_symlink("/proc/self", site + "/proc-link");
    const std::vector<std::string> refused = {
        "<img src=\"../outside/secret.txt\">",
        "<img src=\"file:///etc/passwd\">",
        "<link rel=\"stylesheet\" href=\"file:///proc/self/environ\">",
        "<img src=\"file://" + root.File("outside/secret.txt") + "\">",
        "<img src=\"/dev/zero\">",
        "<img src=\"fifo.gif\">",
        "<img src=\"out-link.gif\">",
        "<img src=\"out-dir/secret.txt\">",
        "<img src=\"proc-link/environ\">",
        "<iframe src=\"../outside/frame.htm\"></iframe>",
        "<img src=\"page_files/../../outside/secret.txt\">",
    };
    std::string page = "<html><body>";
    for (const std::string& r : refused) page += r;
    page += "<img src=\"page_files/pic.gif\"><link rel=\"stylesheet\" href=\"page_files/style.css\">"
            "<iframe src=\"page_files/frame.htm\"></iframe></body></html>";
    Write(site + "/page.htm", page);

    for (bool bModern : {false, true}) {
        SCOPED_TRACE(bModern ? "modern" : "classic");
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("saved");
        n->m_strSource = site + "/page.htm";
        n->m_nSourceKind = kSourceLocalFile;
        CDownloadSettings settings = AppOptions().DownloadSettings();
        settings.m_bModernCapture = bModern;
        settings.m_bFetchResources = true;
        ASSERT_TRUE(n->ImportLocalFile(&settings));
        const std::string text = Text(n->Content());
        // Each refused reference stands exactly as the page wrote it.
        for (const std::string& r : refused) EXPECT_NE(text.find(r), std::string::npos) << r << " in " << text;
        for (const char* good : {"\"page_files/pic.gif\"", "\"page_files/style.css\"", "\"page_files/frame.htm\""})
            EXPECT_EQ(text.find(good), std::string::npos) << good << " not taken in: " << text;
        ExpectNothingFromOutside(doc);
        std::vector<std::string> stored = Stored(doc);
        EXPECT_NE(std::find(stored.begin(), stored.end(), "GIF-good"), stored.end());
        // The page's own picture, stylesheet and frame; the modern rules
        // also follow the stylesheet's own url() to its background.
        if (bModern) {
            EXPECT_NE(std::find(stored.begin(), stored.end(), "GIF-bg"), stored.end());
        }
        EXPECT_EQ(stored.size(), bModern ? 4u : 3u);
    }
}

TEST_F(LocalReadTest, PagesInTheHomeFolderOrTheRootTakeOnlyTheirCompanionFolder) {
    TempDir home;
    struct HomeSet {  // put back however the test ends
        const char* prev = getenv("HOME");
        std::string saved = prev ? prev : "";
        explicit HomeSet(const std::string& h) { setenv("HOME", h.c_str(), 1); }
        ~HomeSet() { prev ? setenv("HOME", saved.c_str(), 1) : unsetenv("HOME"); }
    } homeSet(home.Path());
    Write(home.File(".ssh/id_rsa"), "SECRET-RSA");
    Write(home.File("notes.txt"), "SECRET-notes");
    Write(home.File("page_files/pic.gif"), "GIF-home");
    Write(home.File("Downloads/dl_files/pic.gif"), "GIF-dl");
    Write(home.File("Downloads/plain.gif"), "GIF-plain");
    const std::string page = "<img src=\".ssh/id_rsa\"><img src=\"notes.txt\"><img src=\"page_files/pic.gif\">";
    Write(home.File("page.htm"), page);
    Write(home.File("Downloads/dl.htm"), "<img src=\"dl_files/pic.gif\"><img src=\"plain.gif\">");
    std::filesystem::create_symlink(home.Path(), home.File("linked_files"));

    const std::string real = localread::PageFolder(home.File("page.htm"));
    EXPECT_EQ(real, localread::RealFolder(home.File("page_files"))) << "the companion, not the home folder";
    EXPECT_EQ(localread::PageFolder(home.File("Downloads/dl.htm")), localread::RealFolder(home.File("Downloads")));
    EXPECT_EQ(localread::PageFolder(home.File("nocompanion.htm")), "");
    EXPECT_EQ(localread::PageFolder(home.File("linked.htm")), "") << "a companion that is a link leads elsewhere";
    EXPECT_EQ(localread::PageFolder("/x.htm"), "") << "the root is never a page's folder";
    EXPECT_EQ(localread::PageFolder("/etc/x.htm"), "");
    EXPECT_EQ(localread::PageFolder("/proc/self/x.htm"), "");
    EXPECT_EQ(localread::RealFolder("/"), "");
    EXPECT_EQ(localread::RealFolder(home.Path()), "");
    EXPECT_EQ(localread::PathToRead(home.File("page_files/pic.gif"), "/"), "");
    EXPECT_EQ(localread::PathToRead(real, real), "") << "the folder itself is no file";
    EXPECT_EQ(localread::PathOfReference("file://otherhost/etc/passwd", true), "");
    EXPECT_EQ(localread::PathOfReference("FILE://localhost/a%20b", true), "/a b");

    for (bool bModern : {false, true}) {
        SCOPED_TRACE(bModern ? "modern" : "classic");
        CClipVaultDoc doc;
        CDownloadSettings settings = AppOptions().DownloadSettings();
        settings.m_bModernCapture = bModern;
        CNote* n = doc.m_rootCata.AddNewNote("home");
        n->m_strSource = home.File("page.htm");
        n->m_nSourceKind = kSourceLocalFile;
        ASSERT_TRUE(n->ImportLocalFile(&settings));
        EXPECT_EQ(Text(n->Content()).rfind("<img src=\".ssh/id_rsa\"><img src=\"notes.txt\"><img src=\"vlt", 0), 0u)
            << Text(n->Content());
        CNote* dl = doc.m_rootCata.AddNewNote("downloads");
        dl->m_strSource = home.File("Downloads/dl.htm");
        dl->m_nSourceKind = kSourceLocalFile;
        ASSERT_TRUE(dl->ImportLocalFile(&settings));
        std::vector<std::string> stored = Stored(doc);
        std::sort(stored.begin(), stored.end());
        EXPECT_EQ(stored, (std::vector<std::string>{"GIF-dl", "GIF-home", "GIF-plain"}));
    }
}

// A hostile notebook's written note, left in the editor, is read back: it
// takes in what the editor put beside it, nothing else of the machine.
TEST_F(LocalReadTest, WrittenNoteReadBackTakesInOnlyFilesOfTheWorkingFolder) {
    TempDir outside;
    Write(outside.File("secret.txt"), "SECRET-KEY");
    for (bool bModern : {false, true}) {
        SCOPED_TRACE(bModern ? "modern" : "classic");
        AppOptions().m_download.m_bModernCapture = bModern;
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("written");
        n->m_nSourceKind = kSourceWritten;
        n->m_nContentType = kContentHeld;
        n->m_strExt = "htm";
        const std::string work = n->GetWorkPath();
        ASSERT_FALSE(work.empty());
        const std::string folder = work.substr(0, work.rfind('/'));
        Write(folder + "/inserted.gif", "GIF-inserted");
        const std::string climb = std::filesystem::relative(outside.File("secret.txt"), folder).string();
        const std::vector<std::string> refused = {
            "<img src=\"file:///etc/passwd\">",
            "<link rel=\"stylesheet\" href=\"file:///proc/self/environ\">",
            "<img src=\"file://" + outside.File("secret.txt") + "\">",
            "<img src=\"" + climb + "\">",
            "<iframe src=\"file://" + outside.File("secret.txt") + "\"></iframe>",
        };
        std::string page = "<p>mine</p>";
        for (const std::string& r : refused) page += r;
        page += "<img src=\"inserted.gif\">";
        Write(work, page);
        ASSERT_TRUE(n->ReadBackAndAbsorb(work));
        const std::string text = Text(n->Content());
        for (const std::string& r : refused) EXPECT_NE(text.find(r), std::string::npos) << r << " in " << text;
        ExpectNothingFromOutside(doc);
        EXPECT_EQ(Stored(doc), std::vector<std::string>{"GIF-inserted"});
        EXPECT_EQ(n->m_attachNames.size(), 1u);
    }
}

}  // namespace
