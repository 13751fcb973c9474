#include "app/AppOptions.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/FileUtil.h"

namespace {

constexpr unsigned kFileNotWritable = 33061;
constexpr unsigned kOperationFailed = 33049;

// Records the id and the box type of every message while it is installed.
class MessageLog : public host::IMessageHost {
public:
    MessageLog() : m_pPrevious(host::SetMessageHost(this)) {}
    ~MessageLog() override { host::SetMessageHost(m_pPrevious); }
    int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>&) override {
        m_ids.push_back(nStringID);
        m_types.push_back(nType);
        return host::CautiousAnswer(nType);
    }
    std::vector<unsigned> m_ids;
    std::vector<unsigned> m_types;

private:
    host::IMessageHost* m_pPrevious;
};

Bytes FileBytes(const std::string& path) {
    Bytes b;
    fileutil::ReadWholeFile(path, b);
    return b;
}

Bytes Slice(const Bytes& b, size_t off, size_t n) {
    if (off + n > b.size()) return {};
    return Bytes(b.begin() + off, b.begin() + off + n);
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

// Values away from their defaults and from their neighbours, so that two
// fields exchanged on the way in or out show up.
CAppOptions Unusual() {
    CAppOptions o;
    o.m_bDockEnabled = false;
    o.m_nDockEdge = CAppOptions::kDockBottom;
    o.m_nAutoSavePeriod = 60000;
    o.m_rcMainWindow = {-300, 20, 1700, 990};
    o.m_bEditorLoad1 = false;
    o.m_nReserved = 0xDEADBEEF;
    o.m_nMaxDownloadWorkers = 64;
    o.m_strDateFormat = "%Y-%m-%d %H:%M";
    o.m_hotKey.m_bCtrl = false;
    o.m_hotKey.m_bAlt = true;
    o.m_hotKey.m_nVirtualKey = 0x51;
    CDownloadOptions& d = o.m_download;
    d.m_bFetchResources = false;
    d.m_nReserved3 = 9;
    d.m_nReserved4 = 11;
    d.m_nRetries = 1000000;
    d.m_bRetryNoLimit = true;
    d.m_nConnectionKind = 3;
    d.m_strConnectionText2 = std::string(300, 'c');  // past the one-byte length
    d.m_strProxyUser = "proxyuser";
    o.m_searchHistory = {"never", "stored"};
    return o;
}

TEST(AppOptionsFile, DefaultsMake141BytesInFileOrder) {
    TempDir dir;
    MessageLog log;
    CAppOptions opt;
    EXPECT_EQ(opt.EditorLoadFlags(), 2u | 8u | 16u);
    opt.m_bEditorLoad1 = opt.m_bEditorLoad2 = opt.m_bEditorLoad3 = false;
    EXPECT_EQ(opt.EditorLoadFlags(), 1u);
    opt.ResetOptions();
    ASSERT_TRUE(opt.SaveOptions(dir.File("AppOption.data")));
    const Bytes b = FileBytes(dir.File("AppOption.data"));
    // The record, then the newer settings behind their mark and count.
    ASSERT_EQ(b.size(), 141u + 32u) << Hex(b, 173);
    // Modern capture, files of 10240000 bytes or more not imported, 1024 MB
    // a capture; the reader view light, normal text, medium lines.
    EXPECT_EQ(Slice(b, 141, 32), Concat({Bytes{'C', 'V', 'X', '1'}, U32(6), U32(1), U32(10240000), U32(1024), U32(0),
                                         U32(2), U32(1)}));
    EXPECT_EQ(Slice(b, 0, 8), Concat({U32(1), U32(1)}));         // docked, top edge
    EXPECT_EQ(Slice(b, 12, 8), Concat({U32(1), U32(1800000)}));  // autosave on, every 30 minutes
    EXPECT_EQ(Slice(b, 56, 8), Concat({U32(5), U32(0)}));        // workers, default view
    EXPECT_EQ(b[64], 0u);                                        // empty date format
    // Ctrl+Shift+F11 as enabled, Alt, Ctrl, Shift, key.
    EXPECT_EQ(Slice(b, 81, 20), Concat({U32(1), U32(0), U32(1), U32(1), U32(122)}));
    EXPECT_EQ(Slice(b, 101, 32), Concat({U32(1), U32(1), U32(1), U32(1), U32(0), U32(10), U32(0), U32(0)}));
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, CaptureModeFollowsTheRecord) {
    TempDir dir;
    MessageLog log;
    CAppOptions classic;
    classic.m_download.m_bModernCapture = false;
    ASSERT_TRUE(classic.SaveOptions(dir.File("a")));
    CAppOptions read;
    ASSERT_TRUE(read.LoadOptions(dir.File("a")));
    EXPECT_FALSE(read.m_download.m_bModernCapture);
    EXPECT_FALSE(read.DownloadSettings().m_bModernCapture);

    // A file of an older version ends with the record: it reads as modern,
    // and so does one whose tail is not ours.
    Bytes b = FileBytes(dir.File("a"));
    Bytes older(b.begin(), b.begin() + 141);
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("old"), older.data(), older.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("old")));
    EXPECT_TRUE(read.m_download.m_bModernCapture);
    Bytes foreign = older;
    for (uint8_t c : Concat({U32(7), U32(1), U32(0)})) foreign.push_back(c);
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("foreign"), foreign.data(), foreign.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("foreign")));
    EXPECT_TRUE(read.m_download.m_bModernCapture);
    // A later version's further fields after ours are passed over.
    Bytes later = b;
    later[145] = 3;
    for (uint8_t c : U32(5)) later.push_back(c);
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("later"), later.data(), later.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("later")));
    EXPECT_FALSE(read.m_download.m_bModernCapture);
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, TheImportSizeLimitFollowsTheCaptureMode) {
    TempDir dir;
    MessageLog log;
    CAppOptions small;
    small.m_download.m_nMaxFileBytes = 4096;
    small.m_download.m_nCaptureBudgetMB = 64;
    small.m_download.m_bModernCapture = false;
    ASSERT_TRUE(small.SaveOptions(dir.File("a")));
    const Bytes b = FileBytes(dir.File("a"));
    // The record is untouched: what other programs read stays where it was.
    CAppOptions plain;
    plain.m_download.m_bModernCapture = false;
    ASSERT_TRUE(plain.SaveOptions(dir.File("plain")));
    EXPECT_EQ(Slice(b, 0, 141 + 12), Slice(FileBytes(dir.File("plain")), 0, 141 + 12));
    EXPECT_EQ(Slice(b, 153, 4), U32(4096));
    CAppOptions read;
    ASSERT_TRUE(read.LoadOptions(dir.File("a")));
    EXPECT_EQ(read.m_download.m_nMaxFileBytes, 4096u);
    EXPECT_EQ(read.DownloadSettings().m_nMaxFileBytes, 4096u);
    EXPECT_EQ(Slice(b, 157, 4), U32(64));
    EXPECT_EQ(read.DownloadSettings().m_nCaptureBudget, uint64_t(64) << 20);
    // Stored as 0 (by hand, or a damaged file): no page could be captured
    // with it, so it reads as the built-in budget.
    read.m_download.m_nCaptureBudgetMB = 0;
    EXPECT_EQ(read.DownloadSettings().m_nCaptureBudget, uint64_t(1) << 30);

    // A file written before the limit was kept (one field after the mark)
    // reads the capture mode and the built-in limit.
    Bytes older(b.begin(), b.begin() + 153);
    older[145] = 1;
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("older"), older.data(), older.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("older")));
    EXPECT_FALSE(read.m_download.m_bModernCapture);
    EXPECT_EQ(read.m_download.m_nMaxFileBytes, 10240000u);
    EXPECT_EQ(read.m_download.m_nCaptureBudgetMB, 1024u);
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, TheReaderStyleFollowsTheCaptureFields) {
    TempDir dir;
    MessageLog log;
    CAppOptions styled;
    styled.m_reader.m_nTheme = 2;
    styled.m_reader.m_nTextSize = 4;
    styled.m_reader.m_nLineWidth = 0;
    ASSERT_TRUE(styled.SaveOptions(dir.File("a")));
    const Bytes b = FileBytes(dir.File("a"));
    // After the record and the three capture fields, counted behind the mark.
    EXPECT_EQ(Slice(b, 141 + 4, 4), U32(6));
    EXPECT_EQ(Slice(b, 161, 12), Concat({U32(2), U32(4), U32(0)}));
    EXPECT_EQ(b.size(), 173u);
    CAppOptions read;
    ASSERT_TRUE(read.LoadOptions(dir.File("a")));
    EXPECT_EQ(read.m_reader.m_nTheme, 2u);
    EXPECT_EQ(read.m_reader.m_nTextSize, 4u);
    EXPECT_EQ(read.m_reader.m_nLineWidth, 0u);

    // A file of the version before (three fields) reads the default style,
    // whatever the record read before it held.
    Bytes older(b.begin(), b.begin() + 161);
    older[145] = 3;
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("older"), older.data(), older.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("older")));
    EXPECT_EQ(read.m_reader.m_nTheme, 0u);
    EXPECT_EQ(read.m_reader.m_nTextSize, 2u);
    EXPECT_EQ(read.m_reader.m_nLineWidth, 1u);
    // A file cut short inside the style keeps what it holds.
    Bytes cut(b.begin(), b.begin() + 165);
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("cut"), cut.data(), cut.size()));
    ASSERT_TRUE(read.LoadOptions(dir.File("cut")));
    EXPECT_EQ(read.m_reader.m_nTheme, 2u);
    EXPECT_EQ(read.m_reader.m_nTextSize, 2u);
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, NonDefaultValuesReadBackUnlimited) {
    TempDir dir;
    MessageLog log;
    ASSERT_TRUE(Unusual().SaveOptions(dir.File("a")));
    CAppOptions b;
    ASSERT_TRUE(b.LoadOptions(dir.File("a")));
    EXPECT_EQ(b.m_download.m_nRetries, 1000000u);
    EXPECT_TRUE(b.m_searchHistory.empty());
    // Everything else: what was read writes out the same bytes again.
    ASSERT_TRUE(b.SaveOptions(dir.File("b")));
    EXPECT_EQ(FileBytes(dir.File("a")), FileBytes(dir.File("b")));
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, CutShortInsideDownloadRecordKeepsWhatWasRead) {
    TempDir dir;
    MessageLog log;
    const CAppOptions a = Unusual();
    ASSERT_TRUE(a.SaveOptions(dir.File("a")));
    Bytes b = FileBytes(dir.File("a"));
    const size_t nDownload = 65 + a.m_strDateFormat.size() + 16 + 20;
    b.resize(nDownload + 6 * 4 + 2);  // half-way through "retry without limit"
    ASSERT_TRUE(fileutil::WriteWholeFile(dir.File("a"), b.data(), b.size()));

    CAppOptions opt;
    EXPECT_FALSE(opt.LoadOptions(dir.File("a")));
    // Main fields are back at their defaults...
    EXPECT_TRUE(opt.m_bDockEnabled);
    EXPECT_EQ(opt.m_nAutoSavePeriod, 1800000u);
    EXPECT_TRUE(opt.m_rcMainWindow.IsNull());
    // ...the records and the date format keep what was read...
    EXPECT_EQ(opt.m_strDateFormat, a.m_strDateFormat);
    EXPECT_EQ(opt.m_hotKey.m_nVirtualKey, 0x51u);
    EXPECT_FALSE(opt.m_download.m_bFetchResources);
    EXPECT_EQ(opt.m_download.m_nRetries, 1000000u);
    // ...and what was not reached is untouched.
    EXPECT_FALSE(opt.m_download.m_bRetryNoLimit);
    EXPECT_TRUE(opt.m_download.m_strProxyUser.empty());
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsFile, MissingOrUnreadableFileIsSilent) {
    TempDir dir;
    MessageLog log;
    CAppOptions opt = Unusual();
    EXPECT_TRUE(opt.LoadOptions(dir.File("none")));
    EXPECT_FALSE(opt.m_bDockEnabled);  // nothing to read, nothing changed

    // A folder where the file should be: main fields reset, records untouched.
    EXPECT_FALSE(opt.LoadOptions(dir.Path()));
    EXPECT_TRUE(opt.m_bDockEnabled);
    EXPECT_EQ(opt.m_download.m_nRetries, 1000000u);
    EXPECT_EQ(opt.m_searchHistory.size(), 2u);
    EXPECT_TRUE(log.m_ids.empty());
}

TEST(AppOptionsSave, FileThatCannotBeMadeReports33061) {
    TempDir dir;
    MessageLog log;
    const CAppOptions opt;
    EXPECT_FALSE(opt.SaveOptions(dir.File("missing/AppOption.data")));
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("taken")));
    EXPECT_FALSE(opt.SaveOptions(dir.File("taken")));
    EXPECT_EQ(log.m_ids, (std::vector<unsigned>{kFileNotWritable, kFileNotWritable}));
    EXPECT_EQ(log.m_types[0], host::MB_OK | host::MB_ICONINFORMATION);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken")));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"taken"});
}

TEST(AppOptionsSave, WriteFailureReports33049AndKeepsOldFile) {
    TempDir dir;
    MessageLog log;
    const std::string path = dir.File("AppOption.data");
    ASSERT_TRUE(Unusual().SaveOptions(path));
    const Bytes old = FileBytes(path);

    // A file size limit fails the write half-way, as a full disk would.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool bSaved = CAppOptions().SaveOptions(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(bSaved);
    EXPECT_EQ(log.m_ids, std::vector<unsigned>{kOperationFailed});
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"AppOption.data"});
}

TEST(AtomicWriteFile, FailureLeavesOldFileAndNoLeftovers) {
    TempDir dir;
    const std::string path = dir.File("note.vlt");
    ASSERT_TRUE(fileutil::WriteWholeFile(path, "old", 3));

    int nErr = 0;
    fileutil::AtomicWriteStep step = fileutil::AtomicWriteStep::none;
    const Bytes big(3 << 20, 0xAB);
    EXPECT_FALSE(fileutil::AtomicWriteFile(
        path,
        [&](CByteSink& sink) {
            sink.Write(big.data(), big.size());
            throw CArchiveException(CArchiveException::writeFault, ENOSPC);
        },
        &nErr, &step));
    EXPECT_EQ(nErr, ENOSPC);
    EXPECT_EQ(step, fileutil::AtomicWriteStep::write);

    // Foreign exceptions are the caller's to handle, after the clean-up.
    EXPECT_THROW(fileutil::AtomicWriteFile(path, [](CByteSink&) { throw std::runtime_error("cancelled"); }),
                 std::runtime_error);

    EXPECT_EQ(FileBytes(path), StrBytes("old"));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"note.vlt"});

    // Nothing that is not a regular file is replaced, and the writer is not run.
    bool bRan = false;
    const auto writer = [&](CByteSink&) { bRan = true; };
    EXPECT_FALSE(fileutil::AtomicWriteFile("/dev/null", writer, &nErr, &step));
    EXPECT_EQ(step, fileutil::AtomicWriteStep::create);
    EXPECT_FALSE(bRan);
}

TEST(AtomicWriteFile, ReplacesThroughLinkKeepingMode) {
    TempDir dir;
    const std::string path = dir.File("note.vlt");
    ASSERT_TRUE(fileutil::WriteWholeFile(path, "old", 3));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(symlink("note.vlt", dir.File("link").c_str()), 0);

    // Pieces below, at and above the sink's buffer, so that every way
    // through it is taken and the order must survive.
    Bytes expected(6 << 20);
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<uint8_t>(i % 251);
    ASSERT_TRUE(fileutil::AtomicWriteFile(dir.File("link"), [&](CByteSink& sink) {
        size_t off = 0;
        for (size_t n : {1, 1000, 1 << 20, 3 << 20, 7, (1 << 20) - 1}) {
            sink.Write(expected.data() + off, n);
            off += n;
        }
        sink.Write(expected.data() + off, expected.size() - off);
    }));
    EXPECT_TRUE(FileBytes(path) == expected);
    struct stat st;
    ASSERT_EQ(lstat(dir.File("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

}  // namespace
