#include "capture/LinkHelpers.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "support/TestSupport.h"
#include "platform/FileUtil.h"
#include "platform/TempFiles.h"

namespace {

void Touch(const std::string& path, const std::string& text = "x") {
    ASSERT_TRUE(fileutil::WriteWholeFile(path, text.data(), text.size())) << path;
}

void MakeDir(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

void Link(const std::string& target, const std::string& path) {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

void MakeSparse(const std::string& path, off_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

}  // namespace

TEST(NoteLink, NumberReadBackWithOrWithoutTheName) {
    uint32_t id = 0;
    EXPECT_EQ(MakeNoteLink(42, "My note"), "clipvault:42 = My note");
    EXPECT_TRUE(ParseNoteLink(MakeNoteLink(42, "My note"), id));
    EXPECT_EQ(id, 42u);
    EXPECT_TRUE(ParseNoteLink("clipvault:7", id));
    EXPECT_EQ(id, 7u);
    EXPECT_TRUE(ParseNoteLink("CLIPVAULT:8=a = b", id)) << "cut at the first '='";
    EXPECT_EQ(id, 8u);
    EXPECT_TRUE(ParseNoteLink("ClipVault:  9\t= x ", id));
    EXPECT_EQ(id, 9u);
    EXPECT_TRUE(ParseNoteLink("clipvault:10%20=%20Some%20name", id)) << "as a browser hands it back";
    EXPECT_EQ(id, 10u);

    // Above 2^31 the number must neither turn negative nor fail to read.
    EXPECT_TRUE(ParseNoteLink(MakeNoteLink(4000000000u, "big"), id));
    EXPECT_EQ(id, 4000000000u);
}

TEST(NoteLink, GarbageIsRefused) {
    uint32_t id = 99;
    for (const char* text : {"", "clipvault:", "clipvault: = name", "clipvault:=5", "clipvault:12abc = x",
                             "clipvault:-3", "clipvault:+3", "clipvault:1 2", "clipvault:4294967296",
                             "clipvault:99999999999999999999999", "http://clipvault:5", "clipvault5",
                             "clipvault:0x10"}) {
        EXPECT_FALSE(ParseNoteLink(text, id)) << text;
    }
    EXPECT_EQ(id, 99u) << "a refused link leaves the number alone";
}

TEST(NewWindowLink, OnlyTheLowerCasePrefixWithATarget) {
    EXPECT_TRUE(IsNewWindowLink("vlthttp://host/page"));
    EXPECT_EQ(NewWindowLinkTarget("vlthttp://host/page"), "http://host/page");
    EXPECT_FALSE(IsNewWindowLink("VLThttp://host/"));
    EXPECT_FALSE(IsNewWindowLink("vlt"));
    EXPECT_EQ(NewWindowLinkTarget("http://host/"), "");
}

TEST(NewWindowLink, OnlyWebAndMailAddressesGoToTheDesktop) {
    for (const char* url : {"http://host/", "HTTPS://host/a?b", "Ftp://host/f", "mailto:a@b.example", "MAILTO:a@b"})
        EXPECT_TRUE(IsDesktopAddress(url)) << url;
    for (const char* url : {"file:///tmp/launch-me.sh", "FiLe:///tmp/x", " file:///tmp/x", " http://host/",
                            "smb://server/share", "javascript:alert(1)", "data:text/html,<p>", "host/page",
                            "", ":", "httpx://host/", "ht tp://host/", "http\t://host/", "sftp://host/"})
        EXPECT_FALSE(IsDesktopAddress(url)) << url;
    // What the view hands on is the target of a new-window link.
    EXPECT_FALSE(IsDesktopAddress(NewWindowLinkTarget("vltfile:///tmp/launch-me.sh")));
    EXPECT_FALSE(IsDesktopAddress(NewWindowLinkTarget("vltsmb://server/share")));
    EXPECT_TRUE(IsDesktopAddress(NewWindowLinkTarget("vlthttp://host/page")));
}

TEST(WholeFile, ReadsPathsAndFileUrls) {
    RecordingHost host;
    TempDir dir;
    const std::string path = dir.File("page.htm");
    ASSERT_TRUE(WriteWholeFile(path, StrBytes("<p>hi</p>")));
    Bytes out;
    EXPECT_TRUE(ReadWholeFile(path, out));
    EXPECT_EQ(out, StrBytes("<p>hi</p>"));
    out.clear();
    EXPECT_TRUE(ReadWholeFile("FiLe://" + path, out));
    EXPECT_EQ(out, StrBytes("<p>hi</p>"));

    ASSERT_TRUE(WriteWholeFile(path, {}));
    EXPECT_TRUE(ReadWholeFile(path, out));
    EXPECT_TRUE(out.empty()) << "an earlier content must not stay behind";

    out = StrBytes("stale");
    EXPECT_FALSE(ReadWholeFile(dir.File("missing"), out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ReadWholeFile(dir.Path(), out)) << "a folder is no file";
    EXPECT_FALSE(ReadWholeFile("file://", out));
    EXPECT_FALSE(WriteWholeFile(dir.File("no/such/folder"), StrBytes("x")));

    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadWholeFile(fifo, out)) << "must refuse, not block in open";
    EXPECT_TRUE(host.m_ids.empty()) << "an unreadable file is an answer, not a failure to report";
}

TEST(WholeFile, SizeLimitBoundary) {
    TempDir dir;
    const std::string below = dir.File("below"), at = dir.File("at");
    MakeSparse(below, kMaxWholeFileBytes - 1);
    MakeSparse(at, kMaxWholeFileBytes);
    Bytes out;
    EXPECT_TRUE(ReadWholeFile(below, out));
    EXPECT_EQ(out.size(), kMaxWholeFileBytes - 1);
    EXPECT_FALSE(ReadWholeFile("file://" + at, out));
    EXPECT_TRUE(out.empty());
}

TEST(TempName, OneDotAndNothingLeftBehind) {
    TempDir dir;
    const std::string folder = dir.File("work.d");  // a dot in the folder must not count
    MakeDir(folder);
    for (const std::string& ext : {std::string("htm"), std::string(".htm")}) {
        const std::string path = MakeTempName(folder, ext);
        ASSERT_EQ(path.compare(0, folder.size() + 4, folder + "/vlt"), 0) << path;
        const std::string name = path.substr(folder.size() + 1);
        EXPECT_EQ(name.find('.'), name.size() - 4) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".htm");
        EXPECT_FALSE(fileutil::PathExists(path));
    }
    EXPECT_TRUE(Listing(folder).empty());

    const std::string bare = MakeTempName(folder + "/", "");
    EXPECT_EQ(bare.find('.', folder.size()), std::string::npos) << bare;
    EXPECT_EQ(bare.find("//"), std::string::npos) << bare;
    EXPECT_NE(MakeTempName(folder, "htm"), MakeTempName(folder, "htm"));

    EXPECT_EQ(MakeTempName(dir.File("missing"), "htm"), "");
    EXPECT_EQ(MakeTempName(folder, "/../../evil"), "") << "the extension must not leave the folder";
    EXPECT_TRUE(Listing(folder).empty());
}

TEST(TempFiles, DeleteRemovesVltEntriesOnlyAndFollowsNoLinks) {
    TempDir dir;
    const std::string root = dir.File("root");
    const std::string outside = dir.File("outside");
    MakeDir(root);
    MakeDir(outside);
    Touch(outside + "/keep.txt");

    Touch(root + "/vltcopy.htm");
    Touch(root + "/notes.txt");
    Touch(root + "/Vltupper.htm");
    MakeDir(root + "/other");
    Touch(root + "/other/vltinner.htm");
    MakeDir(root + "/vltwork");
    Touch(root + "/vltwork/page.htm");
    MakeDir(root + "/vltwork/img");
    Touch(root + "/vltwork/img/a.gif");
    Link(outside, root + "/vltwork/img/out");
    Link(outside + "/keep.txt", root + "/vltwork/file-link");
    Link(outside, root + "/vltlinked");

    DeleteTempFiles(root);
    EXPECT_EQ(Listing(root), (std::set<std::string>{"notes.txt", "Vltupper.htm", "other"}));
    EXPECT_EQ(Listing(root + "/other"), (std::set<std::string>{"vltinner.htm"})) << "only the top level is matched";
    EXPECT_EQ(Listing(outside), (std::set<std::string>{"keep.txt"}));

    // Without a folder the temporary root is cleaned.
    const std::string previous = tempfiles::TempRoot();
    tempfiles::SetTempRoot(root);
    Touch(root + "/vltagain");
    DeleteTempFiles();
    tempfiles::SetTempRoot(previous);
    EXPECT_EQ(Listing(root).count("vltagain"), 0u);
    EXPECT_EQ(Listing(root).size(), 3u);
}

TEST(FindFile, ExactOrContainedFirstHitInListingOrder) {
    TempDir dir;
    const std::string top = dir.Path();
    MakeDir(top + "/a");
    MakeDir(top + "/a/b");
    Touch(top + "/a/b/index.htm");
    Touch(top + "/readme.txt");
    Link(top, top + "/a/loop");          // must not be entered
    Link(dir.File("a/b"), top + "/lnk");  // nor this one

    std::string out = "unchanged";
    EXPECT_TRUE(FindFileInTree(top, "index.htm", true, out));
    EXPECT_EQ(out, top + "/a/b/index.htm");
    EXPECT_TRUE(FindFileInTree(top + "/", "dex", false, out));
    EXPECT_EQ(out, top + "/a/b/index.htm");
    out = "unchanged";
    EXPECT_FALSE(FindFileInTree(top, "dex", true, out)) << "exact wants the whole name";
    EXPECT_FALSE(FindFileInTree(top, "absent", false, out));
    EXPECT_FALSE(FindFileInTree(top, "lnk", true, out)) << "a linked folder is no file";
    EXPECT_FALSE(FindFileInTree(dir.File("missing"), "index.htm", false, out));
    EXPECT_EQ(out, "unchanged");

    // Two hits in one folder: the one the listing gives first wins, and a
    // subfolder met before it is searched before it.
    const std::string two = dir.File("two");
    MakeDir(two);
    Touch(two + "/first.log");
    Touch(two + "/second.log");
    MakeDir(two + "/sub");
    Touch(two + "/sub/third.log");
    std::string expected;
    DIR* d = ::opendir(two.c_str());
    ASSERT_NE(d, nullptr);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "sub") { expected = two + "/sub/third.log"; break; }
        if (name.find(".log") != std::string::npos) { expected = two + "/" + name; break; }
    }
    ::closedir(d);
    EXPECT_TRUE(FindFileInTree(two, ".log", false, out));
    EXPECT_EQ(out, expected);
}
