#include "platform/ByteStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

const char* CArchiveException::what() const noexcept {
    switch (m_cause) {
    case endOfFile: return "unexpected end of data";
    case badIndex: return "bad object index";
    case badClass: return "bad class";
    case badSchema: return "unsupported schema";
    case tooDeep: return "objects nested too deeply";
    case readFault: return "read error";
    case writeFault: return "write error";
    }
    return "archive error";
}

// ---------------------------------------------------------------- streams

size_t CMemorySource::Read(void* p, size_t n) {
    const size_t k = std::min(n, m_n - m_pos);
    if (k) std::memcpy(p, m_p + m_pos, k);
    m_pos += k;
    return k;
}

void CMemorySink::Write(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    m_data.insert(m_data.end(), b, b + n);
}

CFileSource::CFileSource(int fd) : m_fd(fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) throw CArchiveException(CArchiveException::readFault, errno);
    const off_t pos = lseek(fd, 0, SEEK_CUR);
    m_nSize = static_cast<uint64_t>(st.st_size);
    m_nPos = pos > 0 ? static_cast<uint64_t>(pos) : 0;
}

size_t CFileSource::Read(void* p, size_t n) {
    size_t done = 0;
    auto* b = static_cast<uint8_t*>(p);
    while (done < n) {
        const ssize_t r = ::read(m_fd, b + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw CArchiveException(CArchiveException::readFault, errno);
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    m_nPos += done;
    return done;
}

void CFileSource::Skip(uint64_t n) {
    if (::lseek(m_fd, static_cast<off_t>(n), SEEK_CUR) < 0) throw CArchiveException(CArchiveException::readFault, errno);
    m_nPos += n;
}

CDeferredFile::CDeferredFile(int fd) : m_fd(fd) {
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        m_nSize = static_cast<int64_t>(st.st_size);
        m_nMtimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
        m_nMtimeNsec = static_cast<int64_t>(st.st_mtim.tv_nsec);
    }
}

CDeferredFile::~CDeferredFile() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CDeferredFile::Unchanged() const {
    struct stat st;
    return m_nSize >= 0 && ::fstat(m_fd, &st) == 0 && static_cast<int64_t>(st.st_size) == m_nSize &&
           static_cast<int64_t>(st.st_mtim.tv_sec) == m_nMtimeSec &&
           static_cast<int64_t>(st.st_mtim.tv_nsec) == m_nMtimeNsec;
}

bool CDeferredFile::ReadAt(uint64_t offset, void* p, size_t n) const {
    if (!Unchanged()) return false;
    auto* b = static_cast<uint8_t*>(p);
    while (n > 0) {
        const ssize_t r = ::pread(m_fd, b, n, static_cast<off_t>(offset));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return false;
        b += r;
        n -= static_cast<size_t>(r);
        offset += static_cast<uint64_t>(r);
    }
    return true;
}

void CFileSink::Write(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    while (n > 0) {
        const ssize_t r = ::write(m_fd, b, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw CArchiveException(CArchiveException::writeFault, errno);
        }
        b += r;
        n -= static_cast<size_t>(r);
    }
}
