#include "capture/LinkHelpers.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <exception>

#include "platform/FileUtil.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/TempFiles.h"

namespace {

constexpr char kNoteScheme[] = "clipvault:";
constexpr size_t kNoteSchemeLen = sizeof kNoteScheme - 1;
constexpr char kTempPrefix[] = "vlt";

void Failed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

bool StartsWithNoCase(const std::string& s, const char* prefix, size_t n) {
    return s.size() >= n && ::strncasecmp(s.c_str(), prefix, n) == 0;
}

bool HasVltPrefix(const std::string& name) { return name.compare(0, 3, kTempPrefix) == 0; }

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// Trims blanks, including the "%20" a browser makes of a space, from both
// ends of [b, e).
void TrimBlanks(const std::string& s, size_t& b, size_t& e) {
    for (;;) {
        if (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
        else if (e - b >= 3 && s.compare(b, 3, "%20") == 0) b += 3;
        else break;
    }
    for (;;) {
        if (b < e && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
        else if (e - b >= 3 && s.compare(e - 3, 3, "%20") == 0) e -= 3;
        else break;
    }
}

// The names in an open directory, read before anything in it is changed:
// removing entries while readdir walks the same stream may skip some.
bool ListNames(int dirFd, std::vector<std::string>& names) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) return false;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    while (const dirent* ent = ::readdir(dir)) {
        const std::string name = ent->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return true;
}

void RemoveEntry(int parentFd, const std::string& name);

// Every lookup is relative to an open directory and no link is followed, so
// a folder swapped for a link while we work (the temporary root is often
// shared) cannot send the removal outside the tree.
void EmptyFolder(int dirFd) {
    std::vector<std::string> names;
    if (!ListNames(dirFd, names)) return;
    for (const std::string& name : names) RemoveEntry(dirFd, name);
}

void RemoveEntry(int parentFd, const std::string& name) {
    struct stat st;
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(parentFd, name.c_str(), 0);
        return;
    }
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        EmptyFolder(fd);
        ::close(fd);
    }
    ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

bool SearchTree(const std::string& folder, const std::string& name, bool exact, std::string& outPath) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool found = false;
    while (!found) {
        const dirent* ent = ::readdir(dir);
        if (!ent) break;
        const std::string entry = ent->d_name;
        if (entry == "." || entry == "..") continue;
        const std::string path = Join(folder, entry);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            found = SearchTree(path, name, exact, outPath);
            continue;
        }
        // A link to a folder is neither searched (it may lead back up the
        // tree) nor a file; a link to a file counts as that file.
        struct stat target;
        if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) continue;
        if (exact ? entry == name : entry.find(name) != std::string::npos) {
            outPath = path;
            found = true;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

std::string MakeNoteLink(uint32_t id, const std::string& name) {
    // Unsigned: a number above 2^31 must not come out negative and then fail
    // to read back.
    return kNoteScheme + std::to_string(id) + " = " + name;
}

bool ParseNoteLink(const std::string& text, uint32_t& id) {
    size_t b = 0, e = text.size();
    TrimBlanks(text, b, e);
    if (e - b < kNoteSchemeLen || ::strncasecmp(text.c_str() + b, kNoteScheme, kNoteSchemeLen) != 0) return false;
    b += kNoteSchemeLen;
    const size_t eq = text.find('=', b);
    if (eq != std::string::npos && eq < e && eq != b) e = eq;
    TrimBlanks(text, b, e);
    if (b == e) return false;
    uint64_t value = 0;
    for (size_t i = b; i < e; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
        if (value > UINT32_MAX) return false;
    }
    id = static_cast<uint32_t>(value);
    return true;
}

bool IsNewWindowLink(const std::string& url) { return url.size() > 3 && HasVltPrefix(url); }

std::string NewWindowLinkTarget(const std::string& url) { return IsNewWindowLink(url) ? url.substr(3) : std::string(); }

bool IsDesktopAddress(const std::string& url) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos) return false;
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto";
}

const std::vector<std::string>& LinkSchemes() {
    static const std::vector<std::string> schemes = {"file://", "ftp://",  "gopher://", "http://", "https://",
                                                     "mailto:", "news:",   "telnet:",   "wais:",   kNoteScheme};
    return schemes;
}

bool ReadWholeFile(const std::string& pathOrFileUrl, std::vector<uint8_t>& out, uint64_t nLimit) {
    try {
        out.clear();
        std::string path = pathOrFileUrl;
        if (StartsWithNoCase(path, "file://", 7)) path.erase(0, 7);
        // Only regular files: a link in a page may name a FIFO, which would
        // block the open, or a device that never ends. The size is checked
        // up front to refuse a huge file without reading it, and again after
        // reading in case it grew in between.
        struct stat st;
        if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<uint64_t>(st.st_size) >= nLimit)
            return false;
        if (!fileutil::ReadWholeFile(path, out, nLimit)) return false;
        if (out.size() >= nLimit) {
            std::vector<uint8_t>().swap(out);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        std::vector<uint8_t>().swap(out);
        Failed();
        return false;
    }
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data, unsigned nFlags) {
    return !path.empty() && fileutil::WriteWholeFile(path, data.data(), data.size(), nFlags);
}

std::string MakeTempName(const std::string& folder, const std::string& ext) {
    try {
        // The extension comes from the notebook file; one holding a "/" would
        // put the working copy outside the folder.
        if (folder.empty() || ext.find('/') != std::string::npos || ext.find('\0') != std::string::npos)
            return std::string();
        std::string suffix;
        if (!ext.empty()) suffix = ext[0] == '.' ? ext : "." + ext;
        // mkstemp only vouches for its own name; the name with the extension
        // is checked as well, a few times before giving up.
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::string reserved = Join(folder, std::string(kTempPrefix) + "XXXXXX");
            const int fd = ::mkstemp(&reserved[0]);
            if (fd < 0) return std::string();
            ::close(fd);
            ::unlink(reserved.c_str());
            // mkstemp's name has no extension of its own to strip.
            const size_t slash = reserved.rfind('/');
            const std::string name = reserved.substr(slash + 1) + suffix;
            if (name.size() > NAME_MAX) return std::string();
            const std::string path = reserved.substr(0, slash + 1) + name;
            struct stat st;
            if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return path;
        }
        return std::string();
    } catch (const std::exception&) {
        Failed();
        return std::string();
    }
}

void DeleteTempFiles(const std::string& folder) {
    try {
        const std::string root = folder.empty() ? tempfiles::TempRoot() : folder;
        if (root.empty()) return;
        const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        std::vector<std::string> names;
        if (ListNames(fd, names)) {
            for (const std::string& name : names)
                if (HasVltPrefix(name)) RemoveEntry(fd, name);
        }
        ::close(fd);
    } catch (const std::exception&) {
        Failed();
    }
}

void DeleteWorkFolder(const std::string& strFolder) {
    std::string folder = strFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return;
    const std::string name = folder.substr(slash + 1);
    if (!HasVltPrefix(name)) return;
    const int fd = ::open(slash == 0 ? "/" : folder.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    RemoveEntry(fd, name);
    ::close(fd);
}

bool FindFileInTree(const std::string& folder, const std::string& name, bool exact, std::string& outPath) {
    try {
        std::string found;
        if (folder.empty() || !SearchTree(folder, name, exact, found)) return false;
        outPath = found;
        return true;
    } catch (const std::exception&) {
        Failed();
        return false;
    }
}

std::string GetProgramFolder() {
    try {
        std::string buf(256, '\0');
        for (;;) {
            const ssize_t n = ::readlink("/proc/self/exe", &buf[0], buf.size());
            if (n < 0) {
                Failed();
                return std::string();
            }
            if (static_cast<size_t>(n) < buf.size()) {
                buf.resize(static_cast<size_t>(n));
                break;
            }
            // Possibly cut short: try again with room to spare.
            buf.resize(buf.size() * 2);
        }
        const size_t slash = buf.rfind('/');
        if (slash == std::string::npos) {
            Failed();
            return std::string();
        }
        return slash == 0 ? std::string("/") : buf.substr(0, slash);
    } catch (const std::exception&) {
        Failed();
        return std::string();
    }
}
