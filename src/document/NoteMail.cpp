#include "document/NoteMail.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

#include "platform/FileUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <thread>

extern char** environ;

namespace {

bool IsFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

constexpr char kMailFolderPrefix[] = "mail-";
// Room for " (99)" and the extension within a file name's 255 bytes.
constexpr size_t kMaxNameStemBytes = 200;

// Creates `strFolder` and its missing parents, private to the user.
bool MakeFolders(const std::string& strFolder) {
    for (size_t pos = 1; pos <= strFolder.size(); ++pos)
        if (pos == strFolder.size() || strFolder[pos] == '/') ::mkdir(strFolder.substr(0, pos).c_str(), 0700);
    struct stat st;
    return ::stat(strFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Empties and removes folder `name` of `parentFd`; its entries are files
// this program wrote, so nothing below is a folder, and links are removed,
// never followed.
void RemoveMailFolder(int parentFd, const char* name) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    for (const std::string& entry : names) ::unlinkat(::dirfd(dir), entry.c_str(), 0);
    ::closedir(dir);
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

// The folder of one mail, by its path.
void RemoveMailFolderAt(const std::string& folder) {
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return;
    const int fd = ::open(folder.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    RemoveMailFolder(fd, folder.c_str() + slash + 1);
    ::close(fd);
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::vector<uint8_t> bytes;
    return fileutil::ReadWholeFile(from, bytes) &&
           fileutil::WriteWholeFile(to, bytes.data(), bytes.size(), fileutil::kCreateNew);
}

}  // namespace

std::string MailFolderRoot() {
    // Relative values are to be ignored, as other programs do.
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        cache = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        cache = std::string(home) + "/.cache";
    } else if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
        cache = std::string(pw->pw_dir) + "/.cache";
    }
    return cache.empty() ? cache : cache + "/clipvault/mail";
}

std::string MailFileName(const CNote& note) {
    std::string stem = note.m_strName;
    for (char& c : stem)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:?\"<>|*", c)) c = ' ';
    if (stem.size() > kMaxNameStemBytes) {
        size_t n = kMaxNameStemBytes;
        // Whole characters only, when the name is UTF-8.
        while (n > 0 && (static_cast<unsigned char>(stem[n]) & 0xC0) == 0x80) --n;
        stem.resize(n);
    }
    const size_t first = stem.find_first_not_of(' ');
    stem = first == std::string::npos ? std::string() : stem.substr(first, stem.find_last_not_of(' ') - first + 1);
    // A name of dots alone would be hidden, or no name at all.
    if (stem.find_first_not_of('.') == std::string::npos) stem = "note";
    return note.m_strExt.empty() || note.m_strExt.find('/') != std::string::npos ? stem : stem + "." + note.m_strExt;
}

std::vector<std::string> CopyForMail(const CNote& note, const std::vector<std::string>& files,
                                     const std::string& strRoot) {
    if (files.empty() || strRoot.empty() || !MakeFolders(strRoot)) return {};
    std::string folder = strRoot + "/" + kMailFolderPrefix + "XXXXXX";
    if (!::mkdtemp(&folder[0])) return {};
    std::set<std::string> taken;
    for (size_t i = 1; i < files.size(); ++i) taken.insert(fileutil::FileNameOf(files[i]));
    // The page's own name must not take the place of one of its files.
    const std::string name = MailFileName(note);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = name.size();
    std::string first = name;
    for (int n = 2; taken.count(first); ++n)
        first = name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
    std::vector<std::string> copies;
    for (size_t i = 0; i < files.size(); ++i) {
        copies.push_back(folder + "/" + (i == 0 ? first : fileutil::FileNameOf(files[i])));
        if (!CopyFile(files[i], copies.back())) {
            RemoveMailFolderAt(folder);
            return {};
        }
    }
    return copies;
}

void SweepMailFolders(const std::string& strRoot, int64_t nMaxAgeSeconds) {
    if (strRoot.empty()) return;
    const int fd = ::open(strRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const time_t now = std::time(nullptr);
    std::vector<std::string> old;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, kMailFolderPrefix, sizeof kMailFolderPrefix - 1) != 0) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
            st.st_uid == ::geteuid() && now - st.st_mtime > nMaxAgeSeconds)
            old.push_back(e->d_name);
    }
    for (const std::string& name : old) RemoveMailFolder(::dirfd(dir), name.c_str());
    ::closedir(dir);
}

std::vector<std::string> MailFilesOf(CNote& note) {
    std::vector<std::string> files;
    const std::string path = note.GetWorkPath();
    if (IsFile(path)) files.push_back(path);
    if (!SameType(note.m_strExt, "htm") || !note.m_pDocument || files.empty()) return files;
    const std::string folder = note.m_pDocument->GetWorkFolder(true);
    if (folder.empty()) return files;
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> guard(note.m_dataLock);
        names = note.m_attachNames;
    }
    for (const std::string& name : names) {
        // A name the notebook no longer holds, or one that would lead out of
        // the working folder, sends nothing.
        if (!note.m_pDocument->FindAttachment(name) || name.find('/') != std::string::npos || name == "." ||
            name == "..")
            continue;
        const std::string file = folder + "/" + name;
        if (IsFile(file)) files.push_back(file);
    }
    return files;
}

unsigned SendFilesByMail(const std::vector<std::string>& files, const std::string& strMailer) {
    std::vector<std::string> args{strMailer};
    for (const std::string& f : files) {
        args.push_back("--attach");
        args.push_back(f);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, strMailer.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc == ENOENT) return ids::IDS_NO_MAIL_SYSTEM;
    if (rc != 0) return ids::IDS_MAIL_FAILED;
    // The mail program runs on its own; somebody must collect its end.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return 0;
}

bool SendNoteByMail(CNote& note) {
    if (note.m_nContentType == kContentHeld && !note.WriteWorkingCopy()) {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return false;
    }
    std::vector<std::string> files = MailFilesOf(note);
    std::string copiesFolder;
    // The working files go when the program ends, and the mail program may
    // read them only when the message is sent: it gets copies that stay.
    // A note that is only a link to a file of the user's goes as that file.
    if (note.m_nContentType == kContentHeld) {
        const std::string root = MailFolderRoot();
        SweepMailFolders(root);
        std::vector<std::string> copies = CopyForMail(note, files, root);
        // Without a place for copies the mail still goes, good while the
        // program runs.
        if (!copies.empty()) {
            files.swap(copies);
            copiesFolder = files[0].substr(0, files[0].rfind('/'));
        }
    }
    const unsigned nFailure = SendFilesByMail(files);
    // Nobody is going to read them.
    if (nFailure && !copiesFolder.empty()) RemoveMailFolderAt(copiesFolder);
    if (nFailure) host::ShowMessage(nFailure, host::MB_OK | host::MB_ICONEXCLAMATION);
    return nFailure == 0;
}
