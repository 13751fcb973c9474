// A note's page stays in the notebook's file until it is first wanted, and a
// save copies unchanged pages from the old file to the new one: the bytes
// read are the note's own after an open, a save over the same file, a save
// under another name and a replacement of the content; a save of an
// unchanged notebook writes the file it read, byte for byte; a file cut
// short is reported at open, and one changed by another program after the
// open gives no page and fails the save instead of storing notes empty.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "document/AttachmentUse.h"
#include "document/ClipVaultDoc.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "support/TestSupport.h"

namespace {

// Pages of every size that matters: empty, read with the record, inside the
// reader's buffer, larger than it, and large enough for a save to have the
// kernel copy it between the files.
const size_t kSizes[] = {0, 10, 1023, 1024, 5000, 40000, 200000, (1 << 20) + 3};

// Each page starts with its number, so no page is found inside another.
Bytes PageOf(size_t nIndex, size_t nSize) {
    const std::string head = "<!--" + std::to_string(nIndex) + "-->";
    Bytes b(nSize);
    for (size_t i = 0; i < nSize; ++i)
        b[i] = i < head.size() ? static_cast<uint8_t>(head[i]) : static_cast<uint8_t>('a' + (i * 7 + nIndex) % 26);
    return b;
}

std::string NameOf(size_t i) { return "n" + std::to_string(i); }

// The notes above in a category of their own, and an attachment that stays
// in the file too.
void Fill(CClipVaultDoc& doc) {
    ASSERT_TRUE(doc.OnNewDocument());
    CNoteCata* pCata = doc.m_rootCata.AddNewSubCata("pages");
    for (size_t i = 0; i < std::size(kSizes); ++i) {
        CNote* p = pCata->AddNewNote(NameOf(i));
        p->m_strExt = "htm";
        p->SetContent(PageOf(i, kSizes[i]));
    }
    doc.MakeAttachment("vltbig.gif", "http://h/big.gif", Bytes(CArchive::kMinDeferred + 5, 7));
}

Bytes FileBytes(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b)) << path;
    return b;
}

CNote* Note(CClipVaultDoc& doc, size_t i) { return doc.m_rootCata.GetSubCata("pages")->GetNote(NameOf(i)); }

// Every note holds its page; read from the last to the first, so that no
// read depends on the one before it.
void ExpectPages(CClipVaultDoc& doc, const std::string& where) {
    for (size_t i = std::size(kSizes); i-- > 0;) {
        CNote* p = Note(doc, i);
        ASSERT_TRUE(p) << where << " " << i;
        EXPECT_EQ(p->ContentSize(), kSizes[i]) << where << " " << i;
        EXPECT_TRUE(p->Content() == PageOf(i, kSizes[i])) << where << " " << i;
    }
    CNoteAttatch* pAttach = doc.FindAttachment("vltbig.gif");
    ASSERT_TRUE(pAttach) << where;
    EXPECT_EQ(pAttach->Data(), Bytes(CArchive::kMinDeferred + 5, 7)) << where;
}

std::string Saved(TempDir& dir, const std::string& name) {
    CClipVaultDoc doc;
    Fill(doc);
    const std::string path = dir.File(name);
    EXPECT_TRUE(doc.OnSaveDocument(path));
    return path;
}

}  // namespace

TEST(LazyContent, PagesStayInTheFileUntilWantedAndReadRightAfterOpenAndSaves) {
    TempDir dir;
    RecordingHost host;
    const std::string path = Saved(dir, "book.vlt");
    const Bytes original = FileBytes(path);

    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    ASSERT_EQ(doc.m_nLoadError, -1);
    for (size_t i = 0; i < std::size(kSizes); ++i)
        EXPECT_EQ(Note(doc, i)->IsContentLoaded(), kSizes[i] < CNote::kMinDeferredContent) << i;

    // Saved unchanged, to another name and over its own file: the very bytes
    // it was read from, and nothing loaded on the way.
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("copy.vlt")));
    EXPECT_TRUE(FileBytes(dir.File("copy.vlt")) == original);
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_TRUE(FileBytes(path) == original);
    EXPECT_FALSE(Note(doc, 5)->IsContentLoaded());
    // The file it was opened from was replaced by the save; the pages come
    // from the file as it was when opened.
    ExpectPages(doc, "after saving over its file");

    // Saved under a new name, then the old file replaced by another program
    // and removed: the notes still read what was opened.
    CClipVaultDoc other;
    ASSERT_TRUE(other.OnOpenDocument(dir.File("copy.vlt")));
    ASSERT_TRUE(other.OnSaveDocument(dir.File("renamed.vlt")));
    {
        CClipVaultDoc stranger;
        ASSERT_TRUE(stranger.OnNewDocument());
        stranger.m_rootCata.AddNewNote("x")->SetContent(Bytes(50000, 'z'));
        ASSERT_TRUE(stranger.OnSaveDocument(dir.File("copy.vlt")));
    }
    ExpectPages(other, "after the old file was replaced");
    ASSERT_EQ(::unlink(dir.File("copy.vlt").c_str()), 0);
    ASSERT_TRUE(other.OnSaveDocument(dir.File("renamed.vlt")));
    EXPECT_TRUE(FileBytes(dir.File("renamed.vlt")) == original);

    // A sink that cannot copy between files gets the same bytes through the
    // archive's buffer.
    CClipVaultDoc third;
    ASSERT_TRUE(third.OnOpenDocument(path));
    CMemorySink sink;
    {
        CArchive ar(sink);
        ar.m_pDocument = &third;
        third.Serialize(ar);
        ar.Flush();
    }
    EXPECT_TRUE(sink.Data() == original);
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(LazyContent, ReplacedAndCopiedContentSavesAsAWholeInMemoryNotebookWould) {
    TempDir dir;
    RecordingHost host;
    const std::string path = Saved(dir, "book.vlt");

    // What a notebook made in memory with the same change writes.
    const Bytes changed = StrBytes("<p>fetched again</p>");
    Bytes expected;
    {
        CClipVaultDoc ref;
        Fill(ref);
        Note(ref, 5)->SetContent(changed);
        ref.m_rootCata.AttachNote(Note(ref, 6)->CopyTo(&ref), "copy", false);
        ASSERT_TRUE(ref.OnSaveDocument(dir.File("ref.vlt")));
        expected = FileBytes(dir.File("ref.vlt"));
    }

    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    {
        // As a download worker replaces the page it fetched.
        CNoteUpdate update(*Note(doc, 5));
        ASSERT_TRUE(update);
        Note(doc, 5)->SetContent(changed);
    }
    EXPECT_EQ(Note(doc, 5)->Content(), changed);
    CNote* pCopy = Note(doc, 6)->CopyTo(&doc);
    ASSERT_TRUE(pCopy);
    EXPECT_FALSE(pCopy->IsContentLoaded());
    ASSERT_TRUE(doc.m_rootCata.AttachNote(pCopy, "copy", false));
    ASSERT_TRUE(doc.OnSaveDocument(dir.File("lazy.vlt")));
    EXPECT_TRUE(FileBytes(dir.File("lazy.vlt")) == expected);

    // A note copied into another notebook reads its page after the notebook
    // it came from is gone.
    CClipVaultDoc target;
    ASSERT_TRUE(target.OnNewDocument());
    {
        CClipVaultDoc source;
        ASSERT_TRUE(source.OnOpenDocument(path));
        CNote* p = Note(source, 6)->CopyTo(&target);
        ASSERT_TRUE(p);
        ASSERT_TRUE(target.m_rootCata.AttachNote(p, "moved", false));
    }
    EXPECT_EQ(target.m_rootCata.GetNote("moved")->Content(), PageOf(6, kSizes[6]));
    EXPECT_TRUE(host.m_ids.empty());
}

TEST(LazyContent, AFileCutShortIsReportedAtOpenOrFailsTheSaveButNeverStoresNotesEmpty) {
    TempDir dir;
    const std::string path = Saved(dir, "book.vlt");
    const Bytes original = FileBytes(path);
    const Bytes tail = PageOf(5, kSizes[5]);
    const size_t at = std::string(original.begin(), original.end())
                          .find(std::string(tail.begin(), tail.end()));
    ASSERT_NE(at, std::string::npos);

    {
        // Cut in the middle of the 40,000-byte page: that note is dropped at
        // open, the damage reported, and the notes before it read right.
        Bytes cut(original.begin(), original.begin() + at + kSizes[5] / 2);
        ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("cut.vlt"), cut.data(), cut.size()));
        RecordingHost host;
        CClipVaultDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(dir.File("cut.vlt")));
        EXPECT_EQ(doc.m_nLoadError, CArchiveException::endOfFile);
        EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_NOTEBOOK_DAMAGED});
        EXPECT_FALSE(Note(doc, 5));
        for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(Note(doc, i)->Content() == PageOf(i, kSizes[i])) << i;
    }

    {
        // Written over in place by another program, at the same size: the
        // note gets none of the new bytes, and no save takes them either.
        ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("over.vlt"), original.data(), original.size()));
        RecordingHost host;
        CClipVaultDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(dir.File("over.vlt")));
        const int fd = ::open(dir.File("over.vlt").c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, "XXXX", 4, static_cast<off_t>(at + 100)), 4);
        // Its time set apart, as a clock coarser than the test could leave it.
        const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        EXPECT_EQ(::futimens(fd, times), 0);
        ::close(fd);
        EXPECT_TRUE(Note(doc, 5)->Content().empty());
        EXPECT_FALSE(doc.OnSaveDocument(dir.File("taken.vlt")));
        EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FAILED_TO_SAVE_DOC});
    }

    // Cut short in place by another program after the open.
    RecordingHost host;
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(at + 10)), 0);
    CNote* pGone = Note(doc, 5);
    EXPECT_TRUE(pGone->Content().empty());
    EXPECT_EQ(pGone->ContentSize(), kSizes[5]);
    EXPECT_FALSE(pGone->IsContentLoaded());
    Bytes scratch;
    EXPECT_EQ(pGone->ContentForScan(scratch), nullptr);
    // A file changed by another program is trusted for no page, those
    // before the cut neither; pages read with their records stay.
    EXPECT_TRUE(Note(doc, 4)->Content().empty());
    EXPECT_TRUE(Note(doc, 3)->Content().empty());
    EXPECT_TRUE(Note(doc, 2)->Content() == PageOf(2, kSizes[2]));
    // What the page names is unknown: no attachment is called unused.
    std::unordered_set<std::string> inUse;
    EXPECT_FALSE(CollectAttachmentsInUse(doc, inUse));
    doc.MarkModified(true);
    doc.CleanUpAttachments();
    EXPECT_TRUE(doc.FindAttachment("vltbig.gif"));
    // The save fails and the file it would have replaced stays as it was.
    const std::string other = Saved(dir, "other.vlt");
    const Bytes before = FileBytes(other);
    EXPECT_FALSE(doc.OnSaveDocument(other));
    EXPECT_EQ(host.m_ids, std::vector<unsigned>{ids::IDS_FAILED_TO_SAVE_DOC});
    EXPECT_TRUE(FileBytes(other) == before);
    // Every page left in the file given anew, the notebook saves again.
    for (size_t i = 3; i < std::size(kSizes); ++i) Note(doc, i)->SetContent(StrBytes("<p>" + std::to_string(i)));
    doc.FindAttachment("vltbig.gif")->SetBytes(Bytes(3, 1));
    ASSERT_TRUE(doc.OnSaveDocument(other));
    CClipVaultDoc back;
    ASSERT_TRUE(back.OnOpenDocument(other));
    EXPECT_EQ(Note(back, 5)->Content(), StrBytes("<p>5"));
    EXPECT_EQ(Note(back, 7)->Content(), StrBytes("<p>7"));
    EXPECT_TRUE(Note(back, 2)->Content() == PageOf(2, kSizes[2]));
}

TEST(LazyContent, NotesLoadOnceWhenManyThreadsAskAtOnce) {
    TempDir dir;
    RecordingHost host;
    const std::string path = Saved(dir, "book.vlt");
    CClipVaultDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    std::vector<std::thread> threads;
    std::atomic<int> nWrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < std::size(kSizes); ++i) {
                CNote* p = Note(doc, (i + t) % std::size(kSizes));
                const size_t k = (i + t) % std::size(kSizes);
                Bytes scratch;
                const Bytes* pScan = p->ContentForScan(scratch);
                if (!pScan || *pScan != PageOf(k, kSizes[k])) ++nWrong;
                if (p->Content() != PageOf(k, kSizes[k])) ++nWrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(nWrong.load(), 0);
}
