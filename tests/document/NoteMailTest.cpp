// Mailing a note: which files go out, in which order, and what the user
// hears when there is no mail program.
#include "document/NoteMail.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"
#include "support/TestSupport.h"

namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A mail program of our own that writes its arguments, one a line.
std::string MakeMailer(const TempDir& dir) {
    const std::string script = dir.File("mailer");
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" << dir.File("args.txt")
                          << ".part\"\nmv \"" << dir.File("args.txt") << ".part\" \"" << dir.File("args.txt") << "\"\n";
    ::chmod(script.c_str(), 0755);
    return script;
}

std::vector<std::string> WaitForArgs(const TempDir& dir) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(dir.File("args.txt"));
        if (in) {
            std::vector<std::string> lines;
            for (std::string line; std::getline(in, line);) lines.push_back(line);
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// Sets an environment variable for the life of the object.
class CEnv {
public:
    CEnv(const char* name, const std::string& value) : m_name(name) {
        const char* old = std::getenv(name);
        m_bHad = old != nullptr;
        if (old) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~CEnv() {
        if (m_bHad) ::setenv(m_name, m_old.c_str(), 1);
        else ::unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_bHad = false;
    std::string m_old;
};

// Working copies in a folder of the test's own.
class CTempRoot {
public:
    CTempRoot() : m_old(tempfiles::TempRoot()) { tempfiles::SetTempRoot(m_dir.Path()); }
    ~CTempRoot() { tempfiles::SetTempRoot(m_old); }

private:
    TempDir m_dir;
    std::string m_old;
};

}  // namespace

TEST(NoteMail, APageGoesWithTheAttachmentsTheNotebookStillHoldsInListOrder) {
    CTempRoot root;
    RecordingHost host;
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNote* page = doc.m_rootCata.AddNewNote("Page");
    page->m_strExt = "htm";
    page->m_nContentType = kContentHeld;
    const std::string html = "<img src=\"b.png\"><img src=\"a.png\"><img src=\"gone.png\">";
    page->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
    for (const char* name : {"a.png", "b.png"}) ASSERT_TRUE(doc.MakeAttachment(name, std::string("http://x/") + name, {1, 2}));
    page->m_attachNames = {"b.png", "gone.png", "a.png"};
    ASSERT_TRUE(page->WriteWorkingCopy());
    const std::vector<std::string> files = MailFilesOf(*page);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], page->GetWorkPath());
    EXPECT_EQ(BaseName(files[1]), "b.png");
    EXPECT_EQ(BaseName(files[2]), "a.png");

    // A text note: its working copy alone.
    CNote* text = doc.m_rootCata.AddNewNote("Text");
    text->m_strExt = "txt";
    text->m_nContentType = kContentHeld;
    text->SetContent({'h', 'i'});
    text->m_attachNames = {"a.png"};
    ASSERT_TRUE(text->WriteWorkingCopy());
    EXPECT_EQ(MailFilesOf(*text), std::vector<std::string>{text->GetWorkPath()});
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(NoteMail, TheMailProgramGetsEachFileAsAnAttachment) {
    TempDir dir;
    const std::string mailer = MakeMailer(dir);
    ASSERT_EQ(SendFilesByMail({"/tmp/one file.htm", "/tmp/two.png"}, mailer), 0u);
    EXPECT_EQ(WaitForArgs(dir),
              (std::vector<std::string>{"--attach", "/tmp/one file.htm", "--attach", "/tmp/two.png"}));
}

TEST(NoteMail, NoMailProgramIsSaidAndNothingIsSent) {
    TempDir dir;
    EXPECT_EQ(SendFilesByMail({"/tmp/x"}, dir.File("no-such-mailer")), ids::IDS_NO_MAIL_SYSTEM);
    // A file that is there but cannot be run.
    std::ofstream(dir.File("not-runnable")) << "x";
    EXPECT_EQ(SendFilesByMail({"/tmp/x"}, dir.File("not-runnable")), ids::IDS_MAIL_FAILED);

    // Through the note: the user hears why, on an empty search path, and
    // no copies wait for a mail that never comes.
    CTempRoot root;
    TempDir cache;
    CEnv cacheHome("XDG_CACHE_HOME", cache.Path());
    RecordingHost host;
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNote* text = doc.m_rootCata.AddNewNote("Text");
    text->m_strExt = "txt";
    text->m_nContentType = kContentHeld;
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    ::setenv("PATH", dir.Path().c_str(), 1);
    const bool sent = SendNoteByMail(*text);
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_FALSE(sent);
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_NO_MAIL_SYSTEM});
    EXPECT_TRUE(std::filesystem::is_empty(cache.Path() + "/clipvault/mail"));
}

TEST(NoteMail, TheDesktopsMailProgramGetsCopiesUnderTheNotesNameThatOutliveTheWorkingFiles) {
    // A stand-in xdg-email on the search path, writing down what it got.
    CTempRoot root;
    TempDir bin, cache;
    CEnv cacheHome("XDG_CACHE_HOME", cache.Path());
    const std::string script = bin.File("xdg-email");
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"" << bin.File("args.txt")
                          << ".part\"\nmv \"" << bin.File("args.txt") << ".part\" \"" << bin.File("args.txt") << "\"\n";
    ::chmod(script.c_str(), 0755);
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    ::setenv("PATH", (bin.Path() + ":" + saved).c_str(), 1);

    RecordingHost host;
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    CNote* page = doc.m_rootCata.AddNewNote("Trip");
    page->m_strExt = "htm";
    const std::string html = "<img src=\"one.png\"><img src=\"two.png\"><img src=\"three.png\">";
    page->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
    for (const char* name : {"one.png", "three.png"}) ASSERT_TRUE(doc.MakeAttachment(name, std::string("http://x/") + name, {1}));
    page->m_attachNames = {"one.png", "two.png", "three.png"};
    // Nothing written yet: mailing writes the working copy and its files first.
    const bool bSent = SendNoteByMail(*page);
    const std::vector<std::string> args = WaitForArgs(bin);
    ::setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(bSent);
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(args[0], "--attach");
    // In a folder of this mail's own, which the clean-up at exit leaves alone.
    const std::string folder = args[1].substr(0, args[1].rfind('/'));
    EXPECT_EQ(folder.rfind(cache.Path() + "/clipvault/mail/mail-", 0), 0u) << folder;
    EXPECT_EQ(BaseName(args[1]), "Trip.htm");
    EXPECT_EQ(args[3], folder + "/one.png");
    EXPECT_EQ(args[5], folder + "/three.png");
    std::filesystem::remove_all(page->GetWorkPath().substr(0, page->GetWorkPath().rfind('/')));
    Bytes bytes;
    ASSERT_TRUE(fileutil::ReadWholeFile(args[1], bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), html);
    ASSERT_TRUE(fileutil::ReadWholeFile(args[5], bytes));
    EXPECT_EQ(bytes, Bytes{1});
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(NoteMail, NamesAreMadeSafeAndOldMailFoldersAreSwept) {
    CNote note;
    note.m_strExt = "htm";
    const std::pair<std::string, std::string> names[] = {
        {"a/b:c?\"d<e>f|g*h\\i", "a b c  d e f g h i.htm"},
        {"  line\nbreak  ", "line break.htm"},
        {"..", "note.htm"},
        {"", "note.htm"},
        {std::string(300, 'x'), std::string(200, 'x') + ".htm"},
        {"\xE4\xB8\xAD" + std::string(199, 'y'), "\xE4\xB8\xAD" + std::string(197, 'y') + ".htm"},
    };
    for (const auto& [name, file] : names) {
        note.m_strName = name;
        EXPECT_EQ(MailFileName(note), file) << name;
    }

    // A page named like one of its files does not take that file's place.
    TempDir work, root;
    note.m_strName = "frame";
    ASSERT_TRUE(fileutil::WriteWholeFile(work.File("vlt1.htm"), "page", 4));
    ASSERT_TRUE(fileutil::WriteWholeFile(work.File("frame.htm"), "inner", 5));
    const std::vector<std::string> copies =
        CopyForMail(note, {work.File("vlt1.htm"), work.File("frame.htm")}, root.Path() + "/mail");
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(BaseName(copies[0]), "frame (2).htm");
    EXPECT_EQ(BaseName(copies[1]), "frame.htm");
    struct stat st;
    ASSERT_EQ(::stat(copies[0].substr(0, copies[0].rfind('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A file that cannot be read leaves no folder behind.
    EXPECT_TRUE(CopyForMail(note, {work.File("vlt1.htm"), work.File("gone.png")}, root.Path() + "/mail").empty());

    // At a later start, the mails of more than a week ago go, nothing else.
    const std::string recent = copies[0].substr(0, copies[0].rfind('/'));
    for (const char* name : {"mail-old", "other-old"}) {
        const std::string dir = root.Path() + "/mail/" + name;
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_TRUE(fileutil::WriteWholeFile(dir + "/a.htm", "x", 1));
        const timespec times[2] = {{std::time(nullptr) - 8 * 24 * 3600, 0}, {std::time(nullptr) - 8 * 24 * 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
    }
    SweepMailFolders(root.Path() + "/mail");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(root.Path() + "/mail")) left.push_back(e.path().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{recent, root.Path() + "/mail/other-old"}));
}
