// A notebook that could not be read whole is never written over its own
// file; the autosave saves only notebooks that have a file of their own and
// were read whole; hidden copies left by killed saves are cleaned away, and
// nothing else is.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/AtomicFile.h"
#include "platform/ByteStream.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "support/TestSupport.h"

namespace {

Bytes ReadFile(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b)) << path;
    return b;
}

void WriteFile(const std::string& path, const Bytes& b) {
    ASSERT_TRUE(fileutil::WriteWholeFile(path, b.data(), b.size())) << path;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int CountCopies(const std::string& folder, const std::string& prefix) {
    int n = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name).compare(0, prefix.size(), prefix) == 0) ++n;
        ::closedir(d);
    }
    return n;
}

// Answers the save dialog with the paths given, in turn; then cancels.
class CSaveAnswers : public IDocViews {
public:
    std::vector<std::string> m_answers;
    int m_nAsked = 0;
    bool ChooseSavePath(std::string& strPath) override {
        if (m_nAsked >= static_cast<int>(m_answers.size())) return ++m_nAsked, false;
        strPath = m_answers[m_nAsked++];
        return true;
    }
};

// Two categories, three notes, one attachment; the attachments come last in
// the file, so a damaged attachment class leaves the tree whole.
std::string WriteNotebook(const TempDir& dir, const std::string& name) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    CNoteCata* outer = doc.m_rootCata.AddNewSubCata("outer");
    outer->AddNewSubCata("inner")->AddNewNote("deep");
    outer->AddNewNote("one");
    doc.m_rootCata.AddNewNote("top");
    doc.MakeAttachment("vlta.gif", "http://h/a.gif", Bytes(40, 1));
    const std::string path = dir.File(name);
    EXPECT_TRUE(doc.OnSaveDocument(path));
    return path;
}

// One byte changed: the attachment's class is one nobody knows.
void DamageOneByte(const std::string& path) {
    Bytes b = ReadFile(path);
    const std::string text(b.begin(), b.end());
    const size_t at = text.find("CNoteAttatch");
    ASSERT_NE(at, std::string::npos);
    b[at + 5] = 'B';
    WriteFile(path, b);
}

}  // namespace

TEST(DamagedNotebook, ItsFileIsNeverWrittenOver) {
    TempDir dir;
    const std::string path = WriteNotebook(dir, "book.vlt");
    DamageOneByte(path);
    const Bytes damaged = ReadFile(path);
    ASSERT_EQ(::symlink(path.c_str(), dir.File("link.vlt").c_str()), 0);

    RecordingHost host;
    CClipVaultDoc doc;
    CSaveAnswers views;
    doc.m_pViews = &views;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    // The user learns what was read: two categories, three notes, and none
    // of the attachments.
    ASSERT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_NOTEBOOK_DAMAGED});
    EXPECT_EQ(host.m_args[0], (std::vector<std::string>{path, "2", "3", "0"}));
    EXPECT_TRUE(doc.IsDamaged());
    EXPECT_TRUE(doc.IsReadOnly());
    EXPECT_FALSE(doc.IsLocked());
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.IsModified());

    // Neither its own name nor another name for the same file is written.
    host.m_ids.clear();
    doc.MarkModified(true);
    EXPECT_FALSE(doc.OnSaveDocument(path));
    EXPECT_FALSE(doc.OnSaveDocument(dir.File("link.vlt")));
    EXPECT_FALSE(doc.OnSaveDocument(dir.Path() + "/../" + dir.Path().substr(dir.Path().rfind('/') + 1) + "/book.vlt"));
    EXPECT_EQ(host.m_ids, std::vector<unsigned>(3, ids::IDS_DAMAGED_FILE_KEPT));
    // The autosave leaves it alone and asks nothing.
    EXPECT_TRUE(doc.AutoSave());
    EXPECT_EQ(views.m_nAsked, 0);
    // Save asks for a name even though the notebook has one; the damaged
    // file is refused and the question asked again; cancelling saves nothing.
    views.m_answers = {path};
    EXPECT_FALSE(doc.DoFileSave());
    EXPECT_EQ(views.m_nAsked, 2);
    EXPECT_EQ(ReadFile(path), damaged);
    EXPECT_TRUE(doc.IsDamaged());

    // Under a new name it is a whole notebook again, there.
    views.m_nAsked = 0;
    views.m_answers = {dir.File("link.vlt"), dir.File("kept.vlt")};
    EXPECT_TRUE(doc.DoFileSave());
    EXPECT_EQ(ReadFile(path), damaged);
    EXPECT_FALSE(doc.IsDamaged());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), dir.File("kept.vlt"));
    CClipVaultDoc back;
    ASSERT_TRUE(back.OnOpenDocument(dir.File("kept.vlt")));
    EXPECT_FALSE(back.IsDamaged());
    EXPECT_EQ(back.m_rootCata.GetSubCata("outer")->GetNote("one")->m_strName, "one");
    doc.m_pViews = nullptr;
}

TEST(DamagedNotebook, AutosaveSavesOnlyNotebooksWithAWholeFile) {
    TempDir dir;
    RecordingHost host;
    CSaveAnswers views;
    views.m_answers = {dir.File("asked.vlt")};

    // Untitled: no question, no file.
    CClipVaultDoc untitled;
    untitled.m_pViews = &views;
    untitled.OnNewDocument();
    untitled.m_rootCata.AddNewNote("n");
    untitled.SetModifiedFlag(true);
    EXPECT_TRUE(untitled.AutoSave());
    EXPECT_EQ(views.m_nAsked, 0);
    EXPECT_TRUE(untitled.IsModified());
    EXPECT_FALSE(Exists(dir.File("asked.vlt")));
    untitled.m_pViews = nullptr;

    // A notebook read whole, modified: saved; unmodified: not touched.
    const std::string path = WriteNotebook(dir, "whole.vlt");
    CClipVaultDoc whole;
    ASSERT_TRUE(whole.OnOpenDocument(path));
    const Bytes before = ReadFile(path);
    struct stat st0, st1;
    ASSERT_EQ(::stat(path.c_str(), &st0), 0);
    EXPECT_TRUE(whole.AutoSave());  // not modified: the file is not replaced
    ASSERT_EQ(::stat(path.c_str(), &st1), 0);
    EXPECT_EQ(st0.st_ino, st1.st_ino);
    whole.m_rootCata.AddNewNote("added");
    whole.SetModifiedFlag(true);
    EXPECT_TRUE(whole.AutoSave());
    EXPECT_FALSE(whole.IsModified());
    EXPECT_NE(ReadFile(path), before);
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(StaleCopies, OnlyCopiesNoSaveHoldsGo) {
    TempDir dir;
    const std::string path = WriteNotebook(dir, "book.vlt");
    const Bytes content = {1, 2, 3};
    // Left by killed saves.
    const std::string stale1 = dir.File(".book.vlt.a1B2c3"), stale2 = dir.File(".book.vlt.ZZZZZZ");
    // A save still running holds its copy locked.
    const std::string held = dir.File(".book.vlt.Held00");
    // Names that only look alike, a folder and a link of the pattern.
    const std::vector<std::string> others = {
        dir.File(".book.vlt.abcde"),   dir.File(".book.vlt.abcdefg"), dir.File(".book.vlt.abc-ef"),
        dir.File("book.vlt.abcdef"),   dir.File(".other.vlt.abcdef"), dir.File(".book.vlt.vlt.abcdef"),
        dir.File(".book.vltXabcdef"),  dir.File(".Book.vlt.abcdef"),
    };
    for (const auto& p : others) WriteFile(p, content);
    for (const auto& p : {stale1, stale2, held}) WriteFile(p, content);
    ASSERT_EQ(::mkdir(dir.File(".book.vlt.folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(path.c_str(), dir.File(".book.vlt.link00").c_str()), 0);
    const int holder = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    // Opening the notebook cleans up.
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_FALSE(Exists(stale1));
    EXPECT_FALSE(Exists(stale2));
    EXPECT_TRUE(Exists(held));
    for (const auto& p : others) EXPECT_EQ(ReadFile(p), content) << p;
    EXPECT_TRUE(Exists(dir.File(".book.vlt.folder")));
    EXPECT_TRUE(Exists(dir.File(".book.vlt.link00")));
    EXPECT_FALSE(doc.IsDamaged());

    // So does saving; the held copy goes once its save is gone.
    WriteFile(stale1, content);
    ::close(holder);
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_FALSE(Exists(stale1));
    EXPECT_FALSE(Exists(held));
    for (const auto& p : others) EXPECT_TRUE(Exists(p)) << p;

    // A save's own copy is held for as long as it is being written: another
    // clean-up in the middle of it takes nothing, and the save succeeds.
    int nCopies = -1, nRemoved = -1;
    ASSERT_TRUE(fileutil::AtomicWriteFile(dir.File("big.vlt"), [&](CByteSink& sink) {
        sink.Write("x", 1);
        nCopies = CountCopies(dir.Path(), ".big.vlt.");
        nRemoved = fileutil::RemoveStaleTempCopies(dir.File("big.vlt"));
    }));
    EXPECT_EQ(nCopies, 1);
    EXPECT_EQ(nRemoved, 0);
    EXPECT_EQ(ReadFile(dir.File("big.vlt")), Bytes{'x'});
    EXPECT_EQ(CountCopies(dir.Path(), ".big.vlt."), 0);

    // Beside a damaged notebook nothing is removed: a half-written copy may
    // be all that is left of what the user wants back.
    WriteFile(stale1, content);
    DamageOneByte(path);
    RecordingHost host;
    CClipVaultDoc damaged;
    ASSERT_TRUE(damaged.OnOpenDocument(path));
    EXPECT_TRUE(damaged.IsDamaged());
    EXPECT_TRUE(Exists(stale1));
}

TEST(StaleCopies, ALongNameIsMatchedAsTheWriterCutIt) {
    TempDir dir;
    const std::string name = std::string(240, 'n') + ".vlt";
    const std::string path = dir.File(name);
    WriteFile(path, Bytes{1});
    // "." + name + ".XXXXXX" must fit in 255 bytes: the name is cut to 247.
    const std::string cut = dir.File("." + name.substr(0, 247) + ".Ab12Cd");
    WriteFile(cut, Bytes{2});
    EXPECT_EQ(fileutil::RemoveStaleTempCopies(path), 1);
    EXPECT_FALSE(Exists(cut));
}
