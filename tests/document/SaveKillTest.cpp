// A save killed at any instant must leave the notebook file either wholly the
// previous notebook or wholly the one being saved, never a mixture or a stub.
// A child process saves a large notebook over and over, each save a new
// version; the parent kills it at a random moment and checks what is on disk.
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "support/TestSupport.h"
#include "platform/FileUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 25;
constexpr int kCategories = 6;
constexpr int kNotesPerCategory = 50;
constexpr int kAttachments = 60;
// Whatever the disk's speed, the test stops starting rounds after this.
constexpr std::chrono::seconds kBudget{18};

class SilentHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned, unsigned nType, const std::vector<std::string>&) override {
        return host::CautiousAnswer(nType);
    }
};

Bytes RandomBytes(std::mt19937_64& rng, size_t n) {
    Bytes b(n);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t v = rng();
        std::memcpy(&b[i], &v, 8);
    }
    for (; i < n; ++i) b[i] = static_cast<uint8_t>(rng());
    return b;
}

// About 24 MB of attachments and 300 notes. Only values change between
// versions, never keys, so the child's notebook and the parent's copy keep
// the same map order and serialize to the same bytes for the same version.
void BuildNotebook(CClipVaultDoc& doc) {
    ASSERT_TRUE(doc.OnNewDocument());
    std::mt19937_64 rng(20240611);
    std::vector<std::string> names;
    for (int a = 0; a < kAttachments; ++a) {
        const size_t size = 16 * 1024 + rng() % (768 * 1024);
        CNoteAttatch* p = doc.MakeAttachment("vltimg" + std::to_string(a) + ".png",
                                             "http://example.test/img/" + std::to_string(a) + ".png",
                                             RandomBytes(rng, size));
        names.push_back(p->m_strName);
    }
    doc.MakeAttachment("vltvariant.bin", "http://example.test/variant", {});
    for (int c = 0; c < kCategories; ++c) {
        CNoteCata* pCata = doc.m_rootCata.AddNewSubCata("category " + std::to_string(c));
        for (int n = 0; n < kNotesPerCategory; ++n) {
            CNote* pNote = pCata->AddNewNote("note " + std::to_string(n));
            const std::string html = "<html><body>page " + std::to_string(c * 1000 + n) + "</body></html>";
            pNote->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
            pNote->m_attachNames = {names[(c * kNotesPerCategory + n) % names.size()], "vltvariant.bin"};
        }
    }
    doc.m_rootCata.AddNewNote("marker");
}

// Version k: the marker string, the marker note and the variant attachment
// all change with k, and the attachment's size alternates, so a file made of
// two versions' pieces cannot pass for either.
void ApplyVersion(CClipVaultDoc& doc, uint64_t k) {
    doc.m_strReserved1 = "save " + std::to_string(k);
    const std::string text = "version " + std::to_string(k);
    doc.m_rootCata.GetNote("marker")->SetContent(std::vector<uint8_t>(text.begin(), text.end()));
    std::mt19937_64 rng(k);
    doc.FindAttachment("vltvariant.bin")->SetBytes(RandomBytes(rng, (k % 2 ? 600 : 400) * 1024));
}

Bytes Serialized(CClipVaultDoc& doc) {
    return StoreBytes([&](CArchive& ar) {
        ar.m_pDocument = &doc;
        doc.Serialize(ar);
    });
}

Bytes ReadFile(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(fileutil::ReadWholeFile(path, b)) << path;
    return b;
}

// The hidden files that saves to `name` left behind in `folder`.
int CountLeftovers(const std::string& folder, const std::string& name) {
    int n = 0;
    if (DIR* d = opendir(folder.c_str())) {
        const std::string prefix = "." + name + ".";
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).compare(0, prefix.size(), prefix) == 0) ++n;
        closedir(d);
    }
    return n;
}

size_t CountNotes(const CNoteCata& c) {
    size_t n = c.m_notes.GetCount();
    for (auto it = c.m_subCatas.begin(); it != c.m_subCatas.end(); ++it) n += CountNotes(*it.value());
    return n;
}

// Saves versions first, first + 1, ... until killed; never returns.
[[noreturn]] void SaveForever(CClipVaultDoc& doc, const std::string& path, uint64_t first) {
    static SilentHost silent;
    host::SetMessageHost(&silent);
    // Gone with the test process even if the test dies before killing it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) _exit(3);
    for (uint64_t k = first;; ++k) {
        ApplyVersion(doc, k);
        if (!doc.OnSaveDocument(path)) _exit(2);
    }
}

TEST(SaveKill, KilledSavesLeaveOldOrNewNotebook) {
    RecordingHost host;
    TempDir dir;
    const std::string path = dir.File("kill.vlt");

    CClipVaultDoc doc;
    BuildNotebook(doc);
    ApplyVersion(doc, 0);
    const auto t0 = Clock::now();
    ASSERT_TRUE(doc.OnSaveDocument(path));
    // The kills are spread over about three saves, so that some land before
    // the first new save commits and some after one or more did.
    const auto saveTime = std::max<Clock::duration>(Clock::now() - t0, std::chrono::milliseconds(5));
    const size_t nNotes = CountNotes(doc.m_rootCata);
    const size_t nAttachments = doc.m_attachments.GetCount();

    std::mt19937_64 rng(std::random_device{}());
    std::uniform_int_distribution<int64_t> delay(0, saveTime.count() * 3);
    const auto start = Clock::now();
    uint64_t onDisk = 0;
    int nChanged = 0;
    int round = 0;
    for (; round < kRounds && Clock::now() - start < kBudget; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) SaveForever(doc, path, onDisk + 1);
        std::this_thread::sleep_for(Clock::duration(delay(rng)));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child's saves failed: " << status;

        // A kill leaves at most one hidden copy, which opening the notebook
        // removes: no running save holds it any more.
        EXPECT_LE(CountLeftovers(dir.Path(), "kill.vlt"), 1);
        CClipVaultDoc back;
        ASSERT_TRUE(back.OnOpenDocument(path));
        EXPECT_EQ(CountLeftovers(dir.Path(), "kill.vlt"), 0);
        ASSERT_EQ(back.m_nLoadError, -1);
        ASSERT_EQ(back.m_strReserved1.compare(0, 5, "save "), 0) << back.m_strReserved1;
        const uint64_t k = std::stoull(back.m_strReserved1.substr(5));
        ASSERT_GE(k, onDisk) << "the file went back to an older notebook";
        if (k != onDisk) ++nChanged;
        onDisk = k;
        EXPECT_EQ(CountNotes(back.m_rootCata), nNotes);
        EXPECT_EQ(back.m_attachments.GetCount(), nAttachments);
        ASSERT_NE(back.FindAttachment("vltvariant.bin"), nullptr);
        EXPECT_EQ(back.FindAttachment("vltvariant.bin")->DataSize(), (k % 2 ? 600u : 400u) * 1024);
        ApplyVersion(doc, k);
        ASSERT_TRUE(ReadFile(path) == Serialized(doc)) << "the file is not exactly version " << k;

    }
    RecordProperty("rounds", round);
    RecordProperty("file_changed", nChanged);

    // With leftovers present, saving still works and takes them away too.
    for (const char* tail : {"aaaaaa", "bbbbbb"})
        ASSERT_TRUE(fileutil::WriteWholeFile(dir.Path() + "/.kill.vlt." + tail, "x", 1));
    ASSERT_EQ(CountLeftovers(dir.Path(), "kill.vlt"), 2);
    ApplyVersion(doc, onDisk + 1);
    ASSERT_TRUE(doc.OnSaveDocument(path));
    EXPECT_EQ(CountLeftovers(dir.Path(), "kill.vlt"), 0);
    CClipVaultDoc last;
    ASSERT_TRUE(last.OnOpenDocument(path));
    EXPECT_EQ(last.m_nLoadError, -1);
    EXPECT_EQ(last.m_strReserved1, "save " + std::to_string(onDisk + 1));
    EXPECT_TRUE(host.m_ids.empty());
}

}  // namespace
