// A damaged notebook is never written over its own file, whatever name the
// save is given; the autosave saves only notebooks with a file of their own
// that were read whole; the hidden copies of killed saves are cleaned away,
// and nothing else is.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "document/ClipVaultDoc.h"
#include "platform/AtomicFile.h"
#include "platform/ByteStream.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "support/TestSupport.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

void Write(const std::string& path, const std::string& text) {
    ASSERT_TRUE(fileutil::WriteWholeFile(path, text.data(), text.size())) << path;
}

// Counts the save dialogs asked for, and cancels them.
struct CCountedViews : IDocViews {
    int m_nAsked = 0;
    bool ChooseSavePath(std::string&) override { return ++m_nAsked, false; }
};

// Two categories, three notes, an attachment; the attachments come last in
// the file, so `bDamage` (one byte of their class name) leaves the tree whole.
std::string WriteNotebook(const TempDir& dir, bool bDamage) {
    CClipVaultDoc doc;
    doc.OnNewDocument();
    CNoteCata* outer = doc.m_rootCata.AddNewSubCata("outer");
    outer->AddNewSubCata("inner")->AddNewNote("deep");
    outer->AddNewNote("one");
    doc.m_rootCata.AddNewNote("top");
    doc.MakeAttachment("vlta.gif", "http://h/a.gif", Bytes(40, 1));
    const std::string path = dir.File("book.vlt");
    EXPECT_TRUE(doc.OnSaveDocument(path));
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b));
    if (bDamage) b[std::string(b.begin(), b.end()).find("CNoteAttatch") + 5] = 'B';
    EXPECT_TRUE(fileutil::WriteWholeFile(path, b.data(), b.size()));
    return path;
}

}  // namespace

TEST(DamagedNotebook, NeverWrittenOverAndNeverAutosavedNorIsAnUntitledOne) {
    TempDir dir;
    const std::string path = WriteNotebook(dir, true);
    ASSERT_EQ(::symlink(path.c_str(), dir.File("link.vlt").c_str()), 0);
    RecordingHost host;
    CCountedViews views;
    CClipVaultDoc doc;
    doc.m_pViews = &views;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    // The user learns how much was read: 2 categories, 3 notes, no attachment.
    ASSERT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_NOTEBOOK_DAMAGED});
    EXPECT_EQ(host.m_args[0], (std::vector<std::string>{path, "2", "3", "0"}));
    EXPECT_TRUE(doc.IsReadOnly() && !doc.IsLocked());
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.IsModified());

    // Neither its name, a link to it nor a detour names another file.
    host.m_ids.clear();
    doc.MarkModified(true);
    const std::string folder = dir.Path().substr(dir.Path().rfind('/') + 1);
    for (const std::string& p : {path, dir.File("link.vlt"), dir.Path() + "/../" + folder + "/book.vlt"})
        EXPECT_FALSE(doc.OnSaveDocument(p)) << p;
    EXPECT_EQ(host.m_ids, std::vector<unsigned>(3, ids::IDS_DAMAGED_FILE_KEPT));
    EXPECT_TRUE(doc.AutoSave());
    EXPECT_EQ(views.m_nAsked, 0);
    EXPECT_TRUE(doc.IsDamaged() && doc.IsModified());
    doc.m_pViews = nullptr;

    // Nor is an untitled notebook: it would have to ask for a name.
    CClipVaultDoc untitled;
    untitled.m_pViews = &views;
    untitled.OnNewDocument();
    untitled.SetModifiedFlag(true);
    EXPECT_TRUE(untitled.AutoSave());
    EXPECT_EQ(views.m_nAsked, 0);
    EXPECT_TRUE(untitled.IsModified());
    untitled.m_pViews = nullptr;
}

TEST(StaleCopies, OnlyCopiesNoSaveHoldsGo) {
    TempDir dir;
    const std::string path = WriteNotebook(dir, false);
    const std::string stale = dir.File(".book.vlt.a1B2c3"), held = dir.File(".book.vlt.Held00");
    // Names that only look alike, and a link of the pattern.
    const std::vector<std::string> others = {".book.vlt.abcde", ".book.vlt.abcdefg", ".book.vlt.abc-ef",
                                             "book.vlt.abcdef", ".other.vlt.abcdef", ".Book.vlt.abcdef"};
    for (const auto& p : others) Write(dir.File(p), "x");
    Write(stale, "x");
    Write(held, "x");
    ASSERT_EQ(::symlink(path.c_str(), dir.File(".book.vlt.link00").c_str()), 0);
    // A save still running holds its copy locked.
    const int holder = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_FALSE(Exists(stale));
    EXPECT_TRUE(Exists(held));
    for (const auto& p : others) EXPECT_TRUE(Exists(dir.File(p))) << p;
    EXPECT_TRUE(Exists(dir.File(".book.vlt.link00")));
    // Saving cleans up too: the held copy goes once its save is gone.
    ::close(holder);
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_FALSE(Exists(held));

    // A save's own copy is held while it is written: a clean-up in the
    // middle of it takes nothing, and the save succeeds.
    int nRemoved = -1;
    ASSERT_TRUE(fileutil::AtomicWriteFile(dir.File("b.vlt"), [&](CByteSink& sink) {
        sink.Write("x", 1);
        nRemoved = fileutil::RemoveStaleTempCopies(dir.File("b.vlt"));
    }));
    EXPECT_EQ(nRemoved, 0);
    EXPECT_TRUE(Exists(dir.File("b.vlt")));

    // The writer cuts a long name to keep its copy's name valid; so does
    // the clean-up.
    const std::string name = std::string(240, 'n') + ".vlt";
    Write(dir.File(name), "x");
    Write(dir.File("." + name.substr(0, 247) + ".Ab12Cd"), "x");
    EXPECT_EQ(fileutil::RemoveStaleTempCopies(dir.File(name)), 1);

    // Beside a damaged notebook nothing goes: a half-written copy may hold
    // what the user wants back.
    WriteNotebook(dir, true);
    Write(stale, "x");
    RecordingHost host;
    CClipVaultDoc damaged;
    ASSERT_TRUE(damaged.OnOpenDocument(path));
    EXPECT_TRUE(Exists(stale));
}
