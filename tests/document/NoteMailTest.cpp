// Mailing a note: which files go out, in which order, and what the user
// hears when there is no mail program.
#include "document/NoteMail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
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
    page->m_content.assign(html.begin(), html.end());
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
    text->m_content = {'h', 'i'};
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

    // Through the note: the user hears why, on an empty search path.
    CTempRoot root;
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
}

TEST(NoteMail, TheDesktopsMailProgramGetsThePageAndTheFilesTheNotebookStillHolds) {
    // A stand-in xdg-email on the search path, writing down what it got.
    CTempRoot root;
    TempDir bin;
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
    page->m_content.assign(html.begin(), html.end());
    for (const char* name : {"one.png", "three.png"}) ASSERT_TRUE(doc.MakeAttachment(name, std::string("http://x/") + name, {1}));
    page->m_attachNames = {"one.png", "two.png", "three.png"};
    // Nothing written yet: mailing writes the working copy and its files first.
    const bool bSent = SendNoteByMail(*page);
    const std::vector<std::string> args = WaitForArgs(bin);
    ::setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(bSent);
    ASSERT_EQ(args.size(), 6u);
    EXPECT_EQ(args[0], "--attach");
    EXPECT_EQ(args[1], page->GetWorkPath());
    EXPECT_EQ(BaseName(args[3]), "one.png");
    EXPECT_EQ(BaseName(args[5]), "three.png");
    for (size_t i = 1; i < args.size(); i += 2) EXPECT_EQ(::access(args[i].c_str(), R_OK), 0) << args[i];
    EXPECT_TRUE(host.m_ids.empty());
}
