#include "platform/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fileutil {

std::string FileNameOf(const std::string& strPath) {
    size_t cut = strPath.rfind('\\');
    if (cut == std::string::npos) cut = strPath.rfind('/');
    return cut == std::string::npos ? strPath : strPath.substr(cut + 1);
}

bool PathExists(const std::string& strPath) {
    struct stat st;
    return !strPath.empty() && ::stat(strPath.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& strPath) {
    struct stat st;
    return !strPath.empty() && ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenRegularFile(const std::string& strPath) {
    // O_NONBLOCK keeps the open itself from waiting for a writer on a FIFO;
    // for a regular file it changes nothing, so it may stay set.
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, uint64_t nMaxBytes) {
    out.clear();
    const int fd = OpenRegularFile(strPath);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    if (st.st_size > 0) out.reserve(static_cast<size_t>(std::min<uint64_t>(st.st_size, nMaxBytes)));
    uint8_t buf[65536];
    bool ok = true;
    while (out.size() < nMaxBytes) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof buf, nMaxBytes - out.size()));
        const ssize_t r = ::read(fd, buf, want);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (r == 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

bool WriteWholeFile(const std::string& strPath, const void* p, size_t n, unsigned nFlags) {
    int nOpen = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (nFlags & kCreateNew) nOpen |= O_EXCL;  // O_EXCL refuses a link at the path, dangling or not
    else nOpen |= O_TRUNC;
    if (nFlags & (kNoFollow | kCreateNew)) nOpen |= O_NOFOLLOW;
    const int fd = ::open(strPath.c_str(), nOpen, 0644);
    if (fd < 0) return false;
    const auto* b = static_cast<const uint8_t*>(p);
    bool ok = true;
    while (n > 0) {
        const ssize_t r = ::write(fd, b, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        b += r;
        n -= static_cast<size_t>(r);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        const int saved = errno;
        ::unlink(strPath.c_str());
        errno = saved;
    }
    return ok;
}

}  // namespace fileutil
