#include "capture/ImportItem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "capture/PageScanner.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/StringIds.h"
#include "support/TestSupport.h"
#include "platform/Charset.h"
#include "platform/FileUtil.h"

TEST(PageTitle, FoundThroughALowerCasedCopy) {
    EXPECT_EQ(GetPageTitle("<HTML><Title lang=en>My Page</TITLE>"), "my page");
    EXPECT_EQ(GetPageTitle("<title> spaced </title>"), " spaced ");
    EXPECT_EQ(GetPageTitle("<p>no title here</p>"), "");
    EXPECT_EQ(GetPageTitle("<title"), "");
    EXPECT_EQ(GetPageTitle("<title>never closed"), "");
    EXPECT_EQ(GetPageTitle("<title>\xC3\x89t\xC3\xA9</title>"), "\xC3\x89t\xC3\xA9") << "only ASCII letters change";
}

TEST(PageTitle, TitleForSourceFallsBackToTheFileName) {
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        const std::string path = dir.File(name);
        EXPECT_TRUE(fileutil::WriteWholeFile(path, text.data(), text.size()));
        return path;
    };
    EXPECT_EQ(TitleForSource(write("a.SHTM", "<title>Shown</title>")), "shown");
    EXPECT_EQ(TitleForSource(write("b.html", "<p>untitled</p>")), "b.html");
    EXPECT_EQ(TitleForSource(write("c.txt", "<title>not a page</title>")), "c.txt");
    EXPECT_EQ(TitleForSource("C:\\docs\\d.doc"), "d.doc");
    EXPECT_EQ(TitleForSource("http://host/dir/"), "http://host/dir/");
    EXPECT_EQ(TitleForSource(dir.File("missing.htm")), "missing.htm");

    // A UTF-16LE page is read as text.
    const std::u16string u = u"<title>Wide \u4e2d</title>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : u) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(TitleForSource(write("w.htm", bytes)), "wide \xE4\xB8\xAD");
}

namespace {

// Shows which text a message or an error was built from.
class IdHost : public RecordingHost {
public:
    std::string LoadString(unsigned nStringID) override { return "#" + std::to_string(nStringID) + " %s %s"; }
};

// Runs `fn` on its own thread. Should it hang in an open of the FIFO, the
// test fails and a writer comes and goes, so that it ends all the same.
template <class Fn>
void EndsWithoutAWriter(const std::string& fifo, Fn fn) {
    auto done = std::async(std::launch::async, fn);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return done.get();
    ADD_FAILURE() << "blocked on " << fifo;
    const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    done.wait();
}

}  // namespace

TEST(OutsidePaths, PipesAndDevicesAreRefusedAtOnceAndTitlesReadOnlyThePageHead) {
    IdHost host;
    TempDir dir;
    const std::string fifo = dir.File("pipe.htm"), fifoDoc = dir.File("pipe.vlt"), dev = dir.File("zero.htm");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(fifoDoc.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dev.c_str()), 0);
    const std::string notRegular = "#" + std::to_string(ids::IDS_NOT_A_REGULAR_FILE);

    EndsWithoutAWriter(fifo, [&] { EXPECT_EQ(TitleForSource(fifo), "pipe.htm"); });
    EndsWithoutAWriter(fifo, [&] {
        CNote note;
        note.m_strSource = fifo;
        note.m_nSourceKind = kSourceLocalFile;
        EXPECT_FALSE(note.ImportLocalFile());
        EXPECT_NE(note.m_strError.find(notRegular), std::string::npos) << note.m_strError;
    });
    EndsWithoutAWriter(fifoDoc, [&] {
        CClipVaultDoc doc;
        EXPECT_FALSE(doc.OnOpenDocument(fifoDoc));
        ASSERT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FAILED_TO_OPEN_DOC});
        EXPECT_EQ(host.m_args[0].at(1), notRegular + " %s %s");
    });
    // A device never ends: nothing of it is read, however high the bound.
    Bytes out;
    EXPECT_FALSE(fileutil::ReadWholeFile(dev, out, 1u << 20));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(TitleForSource(dev), "zero.htm");

    // Of a 16 MB page only the head is read for its title.
    std::string page(16u << 20, ' ');
    page.replace(70u << 10, 20, "<title>deep</title>");
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("big.htm"), page.data(), page.size()));
    EXPECT_EQ(TitleForSource(dir.File("big.htm")), "big.htm");
    page.replace(60u << 10, 20, "<title>head</title>");
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("big.htm"), page.data(), page.size()));
    EXPECT_EQ(TitleForSource(dir.File("big.htm")), "head");
}
