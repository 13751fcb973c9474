#include "app/AppOptions.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <utility>

#include "document/Archive.h"
#include "platform/AtomicFile.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

constexpr unsigned kIdsFileNotWritable = ids::IDS_FILE_NOT_WRITABLE;
constexpr char kFileName[] = "AppOption.data";
constexpr char kConfigFolderName[] = "Clipvault";

// The file holds the proxy password in plain text, so a new one is private
// to the user; an existing file keeps whatever mode it was given.
constexpr mode_t kNewFileMode = 0600;

std::string FolderOf(const std::string& strPath) {
    const size_t slash = strPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : strPath.substr(0, slash);
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return FolderOf(std::string(buf, static_cast<size_t>(n)));
}

std::string UserConfigFolder() {
    // Relative values are to be ignored, as other programs do.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    if (const passwd* pw = ::getpwuid(::geteuid())) {
        if (pw->pw_dir && pw->pw_dir[0] == '/') return std::string(pw->pw_dir) + "/.config";
    }
    return std::string();
}

// Creates `strFolder` and its missing parents; failures are left for the
// save to report.
void MakeFolders(const std::string& strFolder) {
    for (size_t pos = 1; pos <= strFolder.size(); ++pos) {
        if (pos == strFolder.size() || strFolder[pos] == '/') {
            ::mkdir(strFolder.substr(0, pos).c_str(), 0700);
        }
    }
}

}  // namespace

// "CVX1" as the bytes stand in the file.
const uint32_t kExtensionMark = 0x31585643;
const uint32_t kExtensionFields = 6;

CAppOptions& AppOptions() {
    static CAppOptions options;
    // The notebooks and the capture code read the download options through
    // the source below them; from the record's first use on, it is this one.
    static const bool bInstalled =
        (SetDownloadSettingsSource([] { return AppOptions().DownloadSettings(); }), true);
    (void)bInstalled;
    return options;
}

void CAppOptions::ResetOptions() {
    // Whatever is not carried over is a main field, so a field added later
    // is reset without anybody remembering to list it here.
    CAppOptions fresh;
    fresh.m_hotKey = m_hotKey;
    fresh.m_download = std::move(m_download);
    fresh.m_strDateFormat = std::move(m_strDateFormat);
    fresh.m_searchHistory = std::move(m_searchHistory);
    *this = std::move(fresh);
}

uint32_t CAppOptions::EditorLoadFlags() const {
    if (!m_bEditorLoad1 && !m_bEditorLoad2 && !m_bEditorLoad3) return 1;
    return (m_bEditorLoad1 ? 2u : 0u) | (m_bEditorLoad2 ? 8u : 0u) | (m_bEditorLoad3 ? 16u : 0u);
}

CDownloadSettings CAppOptions::DownloadSettings() const {
    CDownloadSettings s;
    s.m_nRetries = m_download.m_nRetries;
    s.m_bRetryNoLimit = m_download.m_bRetryNoLimit;
    s.m_strProxyUser = m_download.m_strProxyUser;
    s.m_strProxyPassword = m_download.m_strProxyPassword;
    s.m_bFetchResources = m_download.m_bFetchResources;
    s.m_nMaxWorkers = m_nMaxDownloadWorkers;
    s.m_bModernCapture = m_download.m_bModernCapture;
    s.m_nMaxFileBytes = m_download.m_nMaxFileBytes;
    const uint32_t nBudgetMB = m_download.m_nCaptureBudgetMB ? m_download.m_nCaptureBudgetMB
                                                             : CDownloadOptions().m_nCaptureBudgetMB;
    s.m_nCaptureBudget = uint64_t(nBudgetMB) << 20;
    return s;
}

void CAppOptions::Store(CArchive& ar) const {
    ar.WriteU32(m_bDockEnabled);
    ar.WriteU32(m_nDockEdge);
    ar.WriteU32(m_bSnapToCorner);
    ar.WriteU32(m_bAutoSaveEnabled);
    ar.WriteU32(m_nAutoSavePeriod);
    ar.WriteU32(m_bEditorLoad1);
    ar.WriteU32(m_bEditorLoad2);
    ar.WriteU32(m_bEditorLoad3);
    ar.WriteU32(m_bShowDetails);
    ar.WriteU32(m_bShowBorders);
    ar.WriteU32(m_nReserved);
    ar.WriteU32(m_bActivateDesignTimeControls);
    ar.WriteU32(m_bActivateActiveXControls);
    ar.WriteU32(m_bActivateApplets);
    ar.WriteU32(m_nMaxDownloadWorkers);
    ar.WriteU32(m_nDefaultView);
    ar.WriteString(m_strDateFormat);
    ar.WriteI32(m_rcMainWindow.m_nLeft);
    ar.WriteI32(m_rcMainWindow.m_nTop);
    ar.WriteI32(m_rcMainWindow.m_nRight);
    ar.WriteI32(m_rcMainWindow.m_nBottom);

    // The hot key's modifiers are stored in another order than they are named.
    ar.WriteU32(m_hotKey.m_bEnabled);
    ar.WriteU32(m_hotKey.m_bAlt);
    ar.WriteU32(m_hotKey.m_bCtrl);
    ar.WriteU32(m_hotKey.m_bShift);
    ar.WriteU32(m_hotKey.m_nVirtualKey);

    const CDownloadOptions& d = m_download;
    ar.WriteU32(d.m_bFetchResources);
    ar.WriteU32(d.m_nReserved1);
    ar.WriteU32(d.m_nReserved2);
    ar.WriteU32(d.m_nReserved3);
    ar.WriteU32(d.m_nReserved4);
    ar.WriteU32(d.m_nRetries);
    ar.WriteU32(d.m_bRetryNoLimit);
    ar.WriteU32(d.m_nConnectionKind);
    ar.WriteString(d.m_strConnectionText1);
    ar.WriteString(d.m_strConnectionText2);
    ar.WriteU32(d.m_bProxyLogon);
    ar.WriteString(d.m_strProxyUser);
    ar.WriteString(d.m_strProxyPassword);

    // Settings newer than the record follow it, behind a mark and a count,
    // so that older versions, which stop at the record's end, read these
    // files as before, and a later version may add fields after these.
    ar.WriteU32(kExtensionMark);
    ar.WriteU32(kExtensionFields);
    ar.WriteU32(d.m_bModernCapture);
    ar.WriteU32(d.m_nMaxFileBytes);
    ar.WriteU32(d.m_nCaptureBudgetMB);
    ar.WriteU32(m_reader.m_nTheme);
    ar.WriteU32(m_reader.m_nTextSize);
    ar.WriteU32(m_reader.m_nLineWidth);
}

// Straight into the record, field by field: when the file ends early the
// fields read so far already hold their values, which is what the hot-key
// and download records keep.
void CAppOptions::Load(CArchive& ar) {
    m_bDockEnabled = ar.ReadU32() != 0;
    m_nDockEdge = ar.ReadU32();
    m_bSnapToCorner = ar.ReadU32() != 0;
    m_bAutoSaveEnabled = ar.ReadU32() != 0;
    m_nAutoSavePeriod = ar.ReadU32();
    m_bEditorLoad1 = ar.ReadU32() != 0;
    m_bEditorLoad2 = ar.ReadU32() != 0;
    m_bEditorLoad3 = ar.ReadU32() != 0;
    m_bShowDetails = ar.ReadU32() != 0;
    m_bShowBorders = ar.ReadU32() != 0;
    m_nReserved = ar.ReadU32();
    m_bActivateDesignTimeControls = ar.ReadU32() != 0;
    m_bActivateActiveXControls = ar.ReadU32() != 0;
    m_bActivateApplets = ar.ReadU32() != 0;
    m_nMaxDownloadWorkers = ar.ReadU32();
    m_nDefaultView = ar.ReadU32();
    m_strDateFormat = ar.ReadString();
    m_rcMainWindow.m_nLeft = ar.ReadI32();
    m_rcMainWindow.m_nTop = ar.ReadI32();
    m_rcMainWindow.m_nRight = ar.ReadI32();
    m_rcMainWindow.m_nBottom = ar.ReadI32();

    m_hotKey.m_bEnabled = ar.ReadU32() != 0;
    m_hotKey.m_bAlt = ar.ReadU32() != 0;
    m_hotKey.m_bCtrl = ar.ReadU32() != 0;
    m_hotKey.m_bShift = ar.ReadU32() != 0;
    m_hotKey.m_nVirtualKey = ar.ReadU32();

    CDownloadOptions& d = m_download;
    d.m_bFetchResources = ar.ReadU32() != 0;
    d.m_nReserved1 = ar.ReadU32();
    d.m_nReserved2 = ar.ReadU32();
    d.m_nReserved3 = ar.ReadU32();
    d.m_nReserved4 = ar.ReadU32();
    d.m_nRetries = ar.ReadU32();
    d.m_bRetryNoLimit = ar.ReadU32() != 0;
    d.m_nConnectionKind = ar.ReadU32();
    d.m_strConnectionText1 = ar.ReadString();
    d.m_strConnectionText2 = ar.ReadString();
    d.m_bProxyLogon = ar.ReadU32() != 0;
    d.m_strProxyUser = ar.ReadString();
    d.m_strProxyPassword = ar.ReadString();

    const CDownloadOptions defaults;
    d.m_bModernCapture = defaults.m_bModernCapture;
    d.m_nMaxFileBytes = defaults.m_nMaxFileBytes;
    d.m_nCaptureBudgetMB = defaults.m_nCaptureBudgetMB;
    m_reader = CReaderOptions();
    if (ar.Remaining() < 8) return;
    if (ar.ReadU32() != kExtensionMark) return;  // not ours: left as it is
    const uint32_t nFields = ar.ReadU32();
    if (nFields >= 1 && ar.Remaining() >= 4) d.m_bModernCapture = ar.ReadU32() != 0;
    if (nFields >= 2 && ar.Remaining() >= 4) d.m_nMaxFileBytes = ar.ReadU32();
    if (nFields >= 3 && ar.Remaining() >= 4) d.m_nCaptureBudgetMB = ar.ReadU32();
    if (nFields >= 4 && ar.Remaining() >= 4) m_reader.m_nTheme = ar.ReadU32();
    if (nFields >= 5 && ar.Remaining() >= 4) m_reader.m_nTextSize = ar.ReadU32();
    if (nFields >= 6 && ar.Remaining() >= 4) m_reader.m_nLineWidth = ar.ReadU32();
}

bool CAppOptions::LoadOptions(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        ResetOptions();
        return false;
    }
    bool bOk = true;
    try {
        CFileSource src(fd);
        CArchive ar(src);
        Load(ar);
    } catch (const std::exception&) {
        bOk = false;
    }
    ::close(fd);
    if (!bOk) ResetOptions();
    return bOk;
}

bool CAppOptions::SaveOptions(const std::string& strPath, bool bMakeFolder) const {
    if (bMakeFolder) MakeFolders(FolderOf(strPath));
    fileutil::AtomicWriteStep step = fileutil::AtomicWriteStep::none;
    bool bOk = false;
    try {
        bOk = fileutil::AtomicWriteFile(
            strPath,
            [this](CByteSink& sink) {
                CArchive ar(sink);
                Store(ar);
                ar.Flush();
            },
            nullptr, &step, kNewFileMode);
    } catch (const std::exception&) {
        step = fileutil::AtomicWriteStep::write;
    }
    if (bOk) return true;
    if (step == fileutil::AtomicWriteStep::create) {
        host::ShowMessage(kIdsFileNotWritable, host::MB_OK | host::MB_ICONINFORMATION, {strPath});
    } else {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
    }
    return false;
}

bool CAppOptions::SaveOptions() const {
    return SaveOptions(DefaultOptionsPath(), true);
}

std::string CAppOptions::DefaultOptionsPath() {
    const std::string strProgram = ProgramFolder();
    if (!strProgram.empty() && ::access(strProgram.c_str(), W_OK) == 0) return strProgram + "/" + kFileName;
    const std::string strConfig = UserConfigFolder();
    if (strConfig.empty()) return strProgram.empty() ? std::string(kFileName) : strProgram + "/" + kFileName;
    return strConfig + "/" + kConfigFolderName + "/" + kFileName;
}
