#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/ByteStream.h"

namespace fileutil {
namespace {

// Large enough that a notebook of hundreds of megabytes goes out in a few
// hundred system calls whatever the writer's piece size.
constexpr size_t kSinkBuffer = 1 << 20;
constexpr uint64_t kWritebackStep = 8 << 20;
// Linux writes at most this much per call anyway; asking for less keeps a
// huge piece from looking like a short write.
constexpr size_t kMaxWriteCall = 0x40000000;
// Blocks from an old file at least this large are copied by the kernel.
constexpr uint64_t kMinCopyRange = 1 << 20;
constexpr size_t kMaxName = 255;
constexpr char kTempSuffix[] = ".XXXXXX";
// A failed first attempt at the hidden file means another process's clean-up
// took it in the instant before it was locked; a few more are plenty.
constexpr int kTempAttempts = 8;

class CBufferedFdSink : public CByteSink {
public:
    explicit CBufferedFdSink(int fd) : m_fd(fd), m_pBuf(new uint8_t[kSinkBuffer]) {}

    void Write(const void* p, size_t n) override {
        if (n == 0) return;
        const auto* b = static_cast<const uint8_t*>(p);
        if (m_nUsed + n <= kSinkBuffer) {
            std::memcpy(m_pBuf.get() + m_nUsed, b, n);
            m_nUsed += n;
            return;
        }
        Flush();
        if (n >= kSinkBuffer) {
            WriteAll(b, n);
        } else {
            std::memcpy(m_pBuf.get(), b, n);
            m_nUsed = n;
        }
    }

    void Flush() override {
        if (!m_nUsed) return;
        // Emptied first: after a failure nothing is written twice.
        const size_t n = m_nUsed;
        m_nUsed = 0;
        WriteAll(m_pBuf.get(), n);
    }

    bool CopyFrom(const CDeferredFile& file, uint64_t offset, uint64_t n) override {
        // A page of a few dozen kilobytes goes through the buffer: a copy
        // between files costs more per call than it saves on so few bytes.
        if (n < kMinCopyRange || m_bNoCopyRange) return ReadIntoBuffer(file, offset, n);
        Flush();
        loff_t in = static_cast<loff_t>(offset);
        for (uint64_t done = 0; done < n;) {
            const ssize_t r =
                ::copy_file_range(file.Descriptor(), &in, m_fd, nullptr, std::min<uint64_t>(n - done, kMaxWriteCall), 0);
            if (r < 0) {
                if (errno == EINTR) continue;
                // Not between these two files (another file system, an old
                // kernel): the caller copies through memory from here on.
                if (done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                    m_bNoCopyRange = true;
                    return ReadIntoBuffer(file, offset, n);
                }
                throw CArchiveException(errno == ENOSPC || errno == EFBIG || errno == EDQUOT
                                            ? CArchiveException::writeFault
                                            : CArchiveException::readFault,
                                        errno);
            }
            // The old file ends before the bytes it should still hold.
            if (r == 0) throw CArchiveException(CArchiveException::readFault, EIO);
            done += static_cast<uint64_t>(r);
            m_nWritten += static_cast<uint64_t>(r);
        }
        return true;
    }

private:
    bool ReadIntoBuffer(const CDeferredFile& file, uint64_t offset, uint64_t n) {
        while (n > 0) {
            if (m_nUsed == kSinkBuffer) Flush();
            const size_t k = static_cast<size_t>(std::min<uint64_t>(n, kSinkBuffer - m_nUsed));
            const ssize_t r = ::pread(file.Descriptor(), m_pBuf.get() + m_nUsed, k, static_cast<off_t>(offset));
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) throw CArchiveException(CArchiveException::readFault, errno);
            if (r == 0) throw CArchiveException(CArchiveException::readFault, EIO);
            m_nUsed += static_cast<size_t>(r);
            offset += static_cast<uint64_t>(r);
            n -= static_cast<uint64_t>(r);
        }
        return true;
    }

    void WriteAll(const uint8_t* b, size_t n) {
        while (n > 0) {
            const ssize_t r = ::write(m_fd, b, std::min(n, kMaxWriteCall));
            if (r < 0) {
                if (errno == EINTR) continue;
                throw CArchiveException(CArchiveException::writeFault, errno);
            }
            // A regular file only takes nothing when there is no room left.
            if (r == 0) throw CArchiveException(CArchiveException::writeFault, ENOSPC);
            b += r;
            n -= static_cast<size_t>(r);
            m_nWritten += static_cast<uint64_t>(r);
        }
        // The disk starts on what is written while the writer still works
        // (an encrypted notebook is sealed chunk by chunk), instead of
        // everything waiting for the final sync.
        if (m_nWritten - m_nQueued >= kWritebackStep) {
            ::sync_file_range(m_fd, static_cast<off64_t>(m_nQueued), static_cast<off64_t>(m_nWritten - m_nQueued),
                              SYNC_FILE_RANGE_WRITE);
            m_nQueued = m_nWritten;
        }
    }

    int m_fd;
    uint64_t m_nWritten = 0;  // by WriteAll, from the start of the file
    uint64_t m_nQueued = 0;   // handed to the disk ahead of the sync
    std::unique_ptr<uint8_t[]> m_pBuf;
    size_t m_nUsed = 0;
    bool m_bNoCopyRange = false;
};

// The hidden file until it has taken the target's place: removed on every
// way out but success, without disturbing the errno that reports the failure.
//
// It is locked (flock) from the moment it is made until it has taken the
// target's place or is gone: a hidden file that nobody holds locked is one
// whose writer died, and RemoveStaleTempCopies may take it away. The lock
// lives as long as m_nLockFd, which outlasts m_fd, so that the file is held
// until after the rename.
struct CTempFile {
    int m_fd = -1;
    int m_nLockFd = -1;
    std::string m_strPath;

    ~CTempFile() {
        const int saved = errno;
        if (m_fd >= 0) ::close(m_fd);
        if (!m_strPath.empty()) ::unlink(m_strPath.c_str());
        if (m_nLockFd >= 0) ::close(m_nLockFd);
        errno = saved;
    }

    // Makes the hidden file from `strTemplate` and locks it. A clean-up in
    // another process may have removed the name between the two steps; the
    // file is then made again. False with errno on failure.
    bool Create(const std::string& strTemplate) {
        for (int i = 0; i < kTempAttempts; ++i) {
            std::string path = strTemplate;
            const int fd = ::mkostemp(path.data(), O_CLOEXEC);
            if (fd < 0) return false;
            // A file system without locks cannot be cleaned up either (the
            // clean-up takes only what it can lock), so the save goes on.
            const bool bLocked = ::flock(fd, LOCK_EX) == 0;
            struct stat mine, named;
            if (!bLocked || (::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                             mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)) {
                m_fd = fd;
                m_nLockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
                m_strPath = path;
                return true;
            }
            ::close(fd);
        }
        errno = EEXIST;
        return false;
    }
};

// The hidden file's name for a target file name: "." + name (cut so that
// the whole stays a valid file name) + ".XXXXXX".
std::string TempPrefix(std::string strName) {
    const size_t nMaxBase = kMaxName - 1 - (sizeof kTempSuffix - 1);
    if (strName.size() > nMaxBase) strName.resize(nMaxBase);
    return "." + strName + ".";
}

// What mkostemp puts in place of the X's: six letters or digits.
bool IsTempTail(const char* p) {
    size_t n = 0;
    for (; p[n]; ++n)
        if (n >= 6 || !((p[n] >= 'a' && p[n] <= 'z') || (p[n] >= 'A' && p[n] <= 'Z') || (p[n] >= '0' && p[n] <= '9')))
            return false;
    return n == 6;
}

// The file a path names once symbolic links are followed, as the writer
// replaces it; empty when it cannot be known.
std::string ResolvedTarget(const std::string& strPath) {
    struct stat st;
    if (::lstat(strPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return strPath;
    char* pReal = ::realpath(strPath.c_str(), nullptr);
    if (!pReal) return std::string();
    std::string s = pReal;
    std::free(pReal);
    return s;
}

void SplitPath(const std::string& strPath, std::string& strFolder, std::string& strName) {
    const size_t slash = strPath.rfind('/');
    strFolder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : strPath.substr(0, slash);
    strName = slash == std::string::npos ? strPath : strPath.substr(slash + 1);
}

// umask() can only be read by changing it, which would race with other
// threads creating files; the kernel reports it here instead.
mode_t CurrentUmask() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8) & 0777);
                break;
            }
        }
        std::fclose(f);
    }
    return mask;
}

}  // namespace

bool AtomicWriteFile(const std::string& strPath, const std::function<void(CByteSink&)>& write, int* pnErrno,
                     AtomicWriteStep* pStep, mode_t nNewMode) {
    auto fail = [&](AtomicWriteStep step, int nErr) {
        if (pnErrno) *pnErrno = nErr;
        if (pStep) *pStep = step;
        errno = nErr;
        return false;
    };
    if (strPath.empty()) return fail(AtomicWriteStep::create, ENOENT);

    std::string strTarget = strPath;
    struct stat st;
    bool bExists = false;
    if (::lstat(strTarget.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* pReal = ::realpath(strTarget.c_str(), nullptr);
            if (!pReal) return fail(AtomicWriteStep::create, errno);
            strTarget = pReal;
            std::free(pReal);
            if (::stat(strTarget.c_str(), &st) != 0) return fail(AtomicWriteStep::create, errno);
        }
        if (S_ISDIR(st.st_mode)) return fail(AtomicWriteStep::create, EISDIR);
        // Renaming over a device or a pipe would replace the node itself.
        if (!S_ISREG(st.st_mode)) return fail(AtomicWriteStep::create, EINVAL);
        // The rename needs only the folder to be writable; a file the user
        // made read-only is still refused, as opening it would have been.
        if (::faccessat(AT_FDCWD, strTarget.c_str(), W_OK, AT_EACCESS) != 0)
            return fail(AtomicWriteStep::create, errno);
        bExists = true;
    } else if (errno != ENOENT) {
        return fail(AtomicWriteStep::create, errno);
    }

    std::string strFolder, strName;
    SplitPath(strTarget, strFolder, strName);
    if (strName.empty()) return fail(AtomicWriteStep::create, EISDIR);

    CTempFile tmp;
    const std::string strTemplate = (strFolder == "/" ? "/" : strFolder + "/") + TempPrefix(strName) + "XXXXXX";
    if (!tmp.Create(strTemplate)) return fail(AtomicWriteStep::create, errno);

    // Failures here are not worth losing the save for: the file is then the
    // process's own with mode 0600, which errs on the private side.
    if (bExists) {
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            if (::fchown(tmp.m_fd, st.st_uid, st.st_gid) != 0) {
            }
        }
        // After fchown, which may clear the set-id bits.
        if (::fchmod(tmp.m_fd, st.st_mode & 07777) != 0) {
        }
    } else if (::fchmod(tmp.m_fd, nNewMode & ~CurrentUmask() & 07777) != 0) {
    }

    try {
        CBufferedFdSink sink(tmp.m_fd);
        write(sink);
        sink.Flush();
    } catch (const CArchiveException& e) {
        return fail(AtomicWriteStep::write, e.m_nErrno ? e.m_nErrno : EIO);
    }

    // The data must be on the disk before the rename makes them the file;
    // otherwise a crash can leave an empty file under the old name.
    if (::fsync(tmp.m_fd) != 0) return fail(AtomicWriteStep::write, errno);
    const int fd = tmp.m_fd;
    tmp.m_fd = -1;
    if (::close(fd) != 0) return fail(AtomicWriteStep::write, errno);

    if (::rename(tmp.m_strPath.c_str(), strTarget.c_str()) != 0) return fail(AtomicWriteStep::commit, errno);
    tmp.m_strPath.clear();

    // Makes the rename itself durable. The new file is in place by now, so a
    // file system that cannot sync a folder is no reason to report failure.
    const int dirFd = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }

    if (pnErrno) *pnErrno = 0;
    if (pStep) *pStep = AtomicWriteStep::none;
    return true;
}

int RemoveStaleTempCopies(const std::string& strPath) {
    const std::string strTarget = ResolvedTarget(strPath);
    std::string strFolder, strName;
    SplitPath(strTarget, strFolder, strName);
    if (strName.empty()) return 0;
    const std::string strPrefix = TempPrefix(strName);
    DIR* dir = ::opendir(strFolder.c_str());
    if (!dir) return 0;
    const int dirFd = ::dirfd(dir);
    int nRemoved = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, strPrefix.c_str(), strPrefix.size()) != 0 ||
            !IsTempTail(e->d_name + strPrefix.size()))
            continue;
        const int fd = ::openat(dirFd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held, named;
        // Only the user's own plain files, and only while nobody holds them:
        // a lock that can be had is a writer that is gone. The name must
        // still be that file when it goes.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dirFd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino && ::unlinkat(dirFd, e->d_name, 0) == 0)
            ++nRemoved;
        ::close(fd);
    }
    ::closedir(dir);
    return nRemoved;
}

}  // namespace fileutil
