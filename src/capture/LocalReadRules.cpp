#include "capture/LocalReadRules.h"

#include <pwd.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "capture/ModernNames.h"

namespace localread {

namespace {

std::string RealPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return std::string();
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : std::string();
}

// `path` is `folder` or lies below it (both real paths).
bool IsAtOrBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Files of the kernel and of devices, never a page's: reading one may never
// end, block, or hand over the process's own secrets.
bool IsSystemPath(const std::string& real) {
    return IsAtOrBelow(real, "/proc") || IsAtOrBelow(real, "/sys") || IsAtOrBelow(real, "/dev");
}

std::vector<std::string> HomeFolders() {
    std::vector<std::string> homes;
    if (const char* env = getenv("HOME"); env && *env) homes.push_back(RealPath(env));
    struct passwd pw;
    struct passwd* pResult = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &pResult) == 0 && pResult && pw.pw_dir)
        homes.push_back(RealPath(pw.pw_dir));
    return homes;
}

// Folders that hold far more than one page's files: whole, they would let
// a page name the user's keys or the system's files.
bool IsBroadFolder(const std::string& real) {
    if (real.empty() || real[0] != '/') return true;
    if (real.find('/', 1) == std::string::npos) return true;  // the root or a folder right below it
    for (const std::string& home : HomeFolders())
        if (!home.empty() && IsAtOrBelow(home, real)) return true;
    return false;
}

// The page's own folder of files beside it in a broad folder, when one is
// there as itself (not a link to somewhere else).
std::string CompanionFolder(const std::string& realFolder, const std::string& pageName) {
    const size_t dot = pageName.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? pageName : pageName.substr(0, dot);
    if (stem.empty()) return std::string();
    const std::string parent = realFolder == "/" ? std::string() : realFolder;
    for (const char* suffix : {"_files", ".files", "-files"}) {
        const std::string candidate = parent + "/" + stem + suffix;
        struct stat st;
        if (lstat(candidate.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        if (RealPath(candidate) == candidate) return candidate;
    }
    return std::string();
}

}  // namespace

std::string PageFolder(const std::string& strPagePath) {
    if (strPagePath.empty() || strPagePath.find('\0') != std::string::npos) return std::string();
    const size_t slash = strPagePath.rfind('/');
    // References resolve against the page's path as given, so its folder is
    // the one the path names, not where a link at the page leads.
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0               ? std::string("/")
                                                       : strPagePath.substr(0, slash);
    const std::string name = slash == std::string::npos ? strPagePath : strPagePath.substr(slash + 1);
    const std::string real = RealPath(dir);
    if (real.empty() || IsSystemPath(real)) return std::string();
    if (!IsBroadFolder(real)) return real;
    return name.empty() || name == "." || name == ".." ? std::string() : CompanionFolder(real, name);
}

std::string RealFolder(const std::string& strFolder) {
    const std::string real = RealPath(strFolder);
    if (real.empty() || IsSystemPath(real) || IsBroadFolder(real)) return std::string();
    return real;
}

std::string PathOfReference(const std::string& strReference, bool bDecode) {
    std::string path = strReference;
    if (path.size() >= 7 && strncasecmp(path.c_str(), "file://", 7) == 0) {
        path.erase(0, 7);
        if (path.size() >= 10 && strncasecmp(path.c_str(), "localhost/", 10) == 0) path.erase(0, 9);
    }
    if (bDecode) path = modernurl::PercentDecode(path);
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return std::string();
    return path;
}

std::string PathToRead(const std::string& strPath, const std::string& strFolder) {
    if (strFolder.empty() || strFolder == "/" || strFolder[0] != '/') return std::string();
    if (strPath.empty() || strPath[0] != '/') return std::string();
    const std::string real = RealPath(strPath);
    if (real.size() <= strFolder.size() + 1 || !IsAtOrBelow(real, strFolder) || IsSystemPath(real))
        return std::string();
    struct stat st;
    if (stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
    return real;
}

}  // namespace localread
