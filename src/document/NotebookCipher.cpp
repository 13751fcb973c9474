#include "document/NotebookCipher.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vault {
namespace {

constexpr uint8_t kMagic[12] = {'C', 'V', 'L', 'T', 'C', 'R', 'Y', 'P', 'T', '\r', '\n', 0x1a};
constexpr uint8_t kTrailerMagic[8] = {'C', 'V', 'L', 'T', 'E', 'N', 'D', '\n'};
constexpr uint16_t kVersion = 1;
constexpr size_t kCheckBytes = 16;
constexpr size_t kStreamHeaderBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr size_t kABytes = crypto_secretstream_xchacha20poly1305_ABYTES;
// Offsets in the header.
constexpr size_t kOffVersion = sizeof kMagic;
constexpr size_t kOffOps = kOffVersion + 4;
constexpr size_t kOffMem = kOffOps + 8;
constexpr size_t kOffSalt = kOffMem + 8;
constexpr size_t kOffChunk = kOffSalt + kSaltBytes;
constexpr size_t kOffStream = kOffChunk + 4;
constexpr size_t kOffKeyCheck = kOffStream + kStreamHeaderBytes;
constexpr size_t kOffHeaderCheck = kOffKeyCheck + kCheckBytes;
constexpr size_t kHeaderBytes = kOffHeaderCheck + kCheckBytes;
constexpr size_t kTrailerBytes = sizeof kTrailerMagic + kCheckBytes;
constexpr uint32_t kMinChunk = 4096, kMaxChunk = 16u << 20;
// What a reader accepts from a header: a hostile file must not make the
// program spend gigabytes or minutes before the key check can fail.
constexpr uint64_t kMaxOps = 8;
constexpr uint64_t kMaxMem = 1ull << 30;

bool Init() {
    static const bool ok = sodium_init() >= 0;
    return ok;
}

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint64_t GetLE(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// The stream key and the key-check key are kept apart: the check value
// says nothing about the stream's key.
enum SubKey : uint64_t { kStreamKey = 1, kCheckKey = 2 };
void SubKeyOf(const uint8_t* pMaster, SubKey id, uint8_t out[kKeyBytes]) {
    crypto_kdf_derive_from_key(out, kKeyBytes, id, id == kStreamKey ? "CVLTSTRM" : "CVLTCHCK", pMaster);
}

void KeyCheck(const uint8_t* pHeader, const uint8_t* pMaster, uint8_t out[kCheckBytes]) {
    uint8_t check[kKeyBytes];
    SubKeyOf(pMaster, kCheckKey, check);
    crypto_generichash(out, kCheckBytes, pHeader, kOffKeyCheck, check, sizeof check);
    sodium_memzero(check, sizeof check);
}

void Hash(const uint8_t* p, size_t n, uint8_t out[kCheckBytes]) { crypto_generichash(out, kCheckBytes, p, n, nullptr, 0); }

bool ParseHeader(const uint8_t* h, size_t n, CHeader& header, Refusal& why) {
    if (!HasMagic(h, n)) return why = Refusal::notEncrypted, false;
    if (n < kOffVersion + 2) return why = Refusal::cutShort, false;
    header.nVersion = uint16_t(GetLE(h + kOffVersion, 2));
    if (header.nVersion != kVersion) return why = Refusal::unknownVersion, false;
    if (n < kHeaderBytes) return why = Refusal::cutShort, false;
    uint8_t check[kCheckBytes];
    Hash(h, kOffHeaderCheck, check);
    if (sodium_memcmp(check, h + kOffHeaderCheck, kCheckBytes) != 0) return why = Refusal::damagedHeader, false;
    header.limits.nOps = GetLE(h + kOffOps, 8);
    header.limits.nMem = GetLE(h + kOffMem, 8);
    std::memcpy(header.salt, h + kOffSalt, kSaltBytes);
    header.nChunkSize = uint32_t(GetLE(h + kOffChunk, 4));
    const bool sane = GetLE(h + kOffVersion + 2, 2) == 0 && header.limits.nOps >= crypto_pwhash_OPSLIMIT_MIN &&
                      header.limits.nOps <= kMaxOps && header.limits.nMem >= crypto_pwhash_MEMLIMIT_MIN &&
                      header.limits.nMem <= kMaxMem && header.nChunkSize >= kMinChunk &&
                      header.nChunkSize <= kMaxChunk;
    if (!sane) return why = Refusal::damagedHeader, false;
    return true;
}

// Where the encrypted bytes are read from.
using ReadAtFn = std::function<bool(uint64_t, void*, size_t)>;

// The plain notebook goes to anonymous memory: never a file on disk.
class CMemFile {
public:
    CMemFile() : m_fd(::memfd_create("clipvault-notebook", MFD_CLOEXEC)) {}
    ~CMemFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Fd() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    bool Write(const uint8_t* p, size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(m_fd, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            p += w, n -= size_t(w);
        }
        return true;
    }

private:
    int m_fd;
};

CDecryptResult Fail(Refusal r, int nErrno = 0, uint64_t nChunk = 0) {
    CDecryptResult res;
    res.refusal = r;
    res.nErrno = nErrno;
    res.nChunk = nChunk;
    return res;
}

// Decrypts the chunks between the header and the trailer.
CDecryptResult DecryptBody(const ReadAtFn& readAt, uint64_t nSize, const uint8_t* h, const CHeader& header,
                           const uint8_t* pStreamKey, bool bTrailerFits) {
    CMemFile out;
    if (out.Fd() < 0) return Fail(Refusal::noMemory, errno);
    crypto_secretstream_xchacha20poly1305_state st;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&st, h + kOffStream, pStreamKey) != 0)
        return Fail(Refusal::foreignHeader);
    const uint64_t nEnd = nSize - kTrailerBytes;
    const size_t nFull = size_t(header.nChunkSize) + kABytes;
    std::vector<uint8_t> in(nFull), plain(header.nChunkSize);
    uint64_t pos = kHeaderBytes, nChunk = 0;
    bool bFinal = false;
    while (!bFinal) {
        const uint64_t left = nEnd - pos;
        if (left < kABytes) return Fail(Refusal::cutShort);
        const size_t n = size_t(std::min<uint64_t>(left, nFull));
        if (!readAt(pos, in.data(), n)) return Fail(Refusal::readFault, errno ? errno : EIO);
        unsigned long long nPlain = 0;
        unsigned char tag = 0;
        const bool bFirst = nChunk == 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&st, plain.data(), &nPlain, &tag, in.data(), n, bFirst ? h : nullptr,
                                                       bFirst ? kHeaderBytes : 0) != 0) {
            // The first chunk was sealed with this header: when it fails and
            // the trailer names another header, the header was put in.
            sodium_memzero(plain.data(), plain.size());
            return Fail(bFirst && !bTrailerFits ? Refusal::foreignHeader : Refusal::damagedChunk, 0, nChunk);
        }
        bFinal = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        pos += n;
        if (!bFinal && pos == nEnd) return Fail(Refusal::cutShort);
        if (bFinal && pos != nEnd) return Fail(Refusal::trailingBytes);
        if (!out.Write(plain.data(), size_t(nPlain))) return Fail(Refusal::writeFault, errno);
        ++nChunk;
    }
    sodium_memzero(plain.data(), plain.size());
    sodium_memzero(&st, sizeof st);
    ::lseek(out.Fd(), 0, SEEK_SET);
    CDecryptResult res;
    res.nMemFd = out.Release();
    return res;
}

CDecryptResult DecryptFrom(const ReadAtFn& readAt, uint64_t nSize, const uint8_t* pMaster) {
    if (!Init()) return Fail(Refusal::noMemory);
    uint8_t h[kHeaderBytes] = {};
    const size_t nHead = size_t(std::min<uint64_t>(nSize, kHeaderBytes));
    if (!readAt(0, h, nHead)) return Fail(Refusal::readFault, errno ? errno : EIO);
    CHeader header;
    Refusal why = Refusal::none;
    if (!ParseHeader(h, nHead, header, why)) return Fail(why);
    uint8_t check[kCheckBytes];
    KeyCheck(h, pMaster, check);
    if (sodium_memcmp(check, h + kOffKeyCheck, kCheckBytes) != 0) return Fail(Refusal::wrongPassphrase);
    if (nSize < kHeaderBytes + kABytes + kTrailerBytes) return Fail(Refusal::cutShort);
    uint8_t trailer[kTrailerBytes];
    if (!readAt(nSize - kTrailerBytes, trailer, kTrailerBytes)) return Fail(Refusal::readFault, errno ? errno : EIO);
    // A file cut anywhere has lost its trailer.
    if (std::memcmp(trailer, kTrailerMagic, sizeof kTrailerMagic) != 0) return Fail(Refusal::cutShort);
    uint8_t hash[kCheckBytes];
    Hash(h, kHeaderBytes, hash);
    const bool bTrailerFits = sodium_memcmp(hash, trailer + sizeof kTrailerMagic, kCheckBytes) == 0;
    uint8_t streamKey[kKeyBytes];
    SubKeyOf(pMaster, kStreamKey, streamKey);
    CDecryptResult res = DecryptBody(readAt, nSize, h, header, streamKey, bTrailerFits);
    sodium_memzero(streamKey, sizeof streamKey);
    return res;
}

}  // namespace

KdfLimits ModerateLimits() {
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

KdfLimits MinimalLimits() {
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

const char* RefusalText(Refusal r) {
    switch (r) {
    case Refusal::none: return "no fault";
    case Refusal::notEncrypted: return "not an encrypted notebook";
    case Refusal::unknownVersion: return "written in an encryption format this version does not know";
    case Refusal::damagedHeader: return "its encryption header is damaged";
    case Refusal::wrongPassphrase: return "the passphrase is not correct";
    case Refusal::foreignHeader: return "its encryption header belongs to another file";
    case Refusal::damagedChunk: return "a part of it was changed or damaged (it does not authenticate)";
    case Refusal::cutShort: return "the file was cut short";
    case Refusal::trailingBytes: return "bytes were added after its end";
    case Refusal::noMemory: return "there is not enough memory";
    case Refusal::readFault: return "the file could not be read";
    case Refusal::writeFault: return "the decrypted notebook could not be held in memory";
    }
    return "unknown fault";
}

void WipeSecret(std::string& s) {
    if (!s.empty()) sodium_memzero(&s[0], s.size());
    s.clear();
}

CVaultKey::~CVaultKey() {
    if (m_pKey) sodium_free(m_pKey);
}

std::unique_ptr<CVaultKey> CVaultKey::Create(const std::string& strPassphrase, KdfLimits limits) {
    if (!Init()) return nullptr;
    uint8_t salt[kSaltBytes];
    randombytes_buf(salt, sizeof salt);
    return Derive(strPassphrase, salt, limits);
}

std::unique_ptr<CVaultKey> CVaultKey::Derive(const std::string& strPassphrase, const uint8_t* pSalt, KdfLimits limits) {
    if (!Init()) return nullptr;
    std::unique_ptr<CVaultKey> key(new CVaultKey());
    key->m_pKey = static_cast<uint8_t*>(sodium_malloc(kKeyBytes));
    if (!key->m_pKey) return nullptr;
    std::memcpy(key->m_salt, pSalt, kSaltBytes);
    key->m_limits = limits;
    if (crypto_pwhash(key->m_pKey, kKeyBytes, strPassphrase.data(), strPassphrase.size(), pSalt, limits.nOps,
                      size_t(limits.nMem), crypto_pwhash_ALG_ARGON2ID13) != 0)
        return nullptr;
    sodium_mprotect_readonly(key->m_pKey);
    return key;
}

bool HasMagic(const uint8_t* p, size_t n) { return n >= sizeof kMagic && std::memcmp(p, kMagic, sizeof kMagic) == 0; }

bool IsEncryptedFile(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    uint8_t head[sizeof kMagic];
    const bool yes = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                     ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) && HasMagic(head, sizeof head);
    ::close(fd);
    return yes;
}

Refusal ReadHeader(int fd, CHeader& header) {
    uint8_t h[kHeaderBytes];
    const ssize_t n = ::pread(fd, h, sizeof h, 0);
    if (n < 0) return Refusal::readFault;
    Refusal why = Refusal::none;
    ParseHeader(h, size_t(n), header, why);
    return why;
}

CDecryptResult Decrypt(int fd, const CVaultKey& key) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return Fail(Refusal::readFault, errno);
    const ReadAtFn readAt = [fd](uint64_t off, void* p, size_t n) {
        auto* d = static_cast<uint8_t*>(p);
        while (n > 0) {
            const ssize_t r = ::pread(fd, d, n, off_t(off));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                if (r == 0) errno = EIO;
                return false;
            }
            d += r, off += uint64_t(r), n -= size_t(r);
        }
        return true;
    };
    return DecryptFrom(readAt, uint64_t(st.st_size), key.Bytes());
}

CDecryptResult DecryptBytes(const uint8_t* p, size_t n, const uint8_t* pKey32) {
    const ReadAtFn readAt = [p, n](uint64_t off, void* out, size_t len) {
        if (off > n || len > n - off) return false;
        std::memcpy(out, p + off, len);
        return true;
    };
    return DecryptFrom(readAt, n, pKey32);
}

// ---- writing

// Sealing runs beside the writer: the writer fills chunks, a worker seals
// and writes them in order, so the cipher's time and the archive's copying
// overlap instead of adding up.
struct CEncryptingSink::State {
    crypto_secretstream_xchacha20poly1305_state st;
    uint8_t header[kHeaderBytes];
    size_t nChunk = 0;
    std::vector<uint8_t> plain;  // the writer's chunk being filled
    bool bFinished = false;
    // The worker's own until it is joined.
    std::vector<uint8_t> sealed;
    bool bFirst = true;
    // Shared under `m`.
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::vector<uint8_t>> full;    // waiting to be sealed, in order
    std::vector<std::vector<uint8_t>> spare;  // sealed and wiped, to be filled again
    std::exception_ptr failure;               // the output failed
    bool bDrain = false;                      // no more chunks come: seal what waits, then end
    bool bAbort = false;                      // end at once (the writer failed)
    std::thread worker;

    ~State() {
        if (worker.joinable()) {
            {
                std::lock_guard<std::mutex> lock(m);
                bAbort = true;
            }
            cv.notify_all();
            worker.join();
        }
        sodium_memzero(&st, sizeof st);
        for (auto& b : full) sodium_memzero(b.data(), b.size());
        if (!plain.empty()) sodium_memzero(plain.data(), plain.size());
    }
};

CEncryptingSink::CEncryptingSink(CByteSink& out, const CVaultKey& key, uint32_t nChunkSize)
    : m_p(new State), m_out(out) {
    if (!Init() || nChunkSize < kMinChunk || nChunkSize > kMaxChunk)
        throw CArchiveException(CArchiveException::writeFault, EINVAL);
    m_p->nChunk = nChunkSize;
    uint8_t* h = m_p->header;
    std::memcpy(h, kMagic, sizeof kMagic);
    PutU16(h + kOffVersion, kVersion);
    PutU16(h + kOffVersion + 2, 0);
    PutU64(h + kOffOps, key.Limits().nOps);
    PutU64(h + kOffMem, key.Limits().nMem);
    std::memcpy(h + kOffSalt, key.Salt(), kSaltBytes);
    PutU32(h + kOffChunk, nChunkSize);
    uint8_t streamKey[kKeyBytes];
    SubKeyOf(key.Bytes(), kStreamKey, streamKey);
    crypto_secretstream_xchacha20poly1305_init_push(&m_p->st, h + kOffStream, streamKey);
    sodium_memzero(streamKey, sizeof streamKey);
    KeyCheck(h, key.Bytes(), h + kOffKeyCheck);
    Hash(h, kOffHeaderCheck, h + kOffHeaderCheck);
    m_p->plain.reserve(nChunkSize);
    m_p->sealed.resize(nChunkSize + kABytes);
    m_out.Write(h, kHeaderBytes);
}

CEncryptingSink::~CEncryptingSink() = default;

namespace {
// How many filled chunks may wait for the worker: enough to ride out an
// uneven writer, few enough to hold little plain text.
constexpr size_t kChunksWaiting = 2;

void Seal(CByteSink& out, crypto_secretstream_xchacha20poly1305_state& st, std::vector<uint8_t>& plain,
          std::vector<uint8_t>& sealed, const uint8_t* pAd, size_t nAd, unsigned char tag) {
    unsigned long long n = 0;
    crypto_secretstream_xchacha20poly1305_push(&st, sealed.data(), &n, plain.data(), plain.size(), pAd, nAd, tag);
    sodium_memzero(plain.data(), plain.size());
    plain.clear();
    out.Write(sealed.data(), size_t(n));
}
}  // namespace

void CEncryptingSink::SealWaiting() {
    State& s = *m_p;
    for (;;) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock<std::mutex> lock(s.m);
            s.cv.wait(lock, [&] { return s.bAbort || !s.full.empty() || s.bDrain; });
            if (s.bAbort || s.full.empty()) return;
            chunk = std::move(s.full.front());
            s.full.pop_front();
        }
        try {
            Seal(m_out, s.st, chunk, s.sealed, s.bFirst ? s.header : nullptr, s.bFirst ? kHeaderBytes : 0,
                 crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            s.bFirst = false;
        } catch (...) {
            std::lock_guard<std::mutex> lock(s.m);
            s.failure = std::current_exception();
            s.bAbort = true;
            s.cv.notify_all();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(s.m);
            s.spare.push_back(std::move(chunk));
        }
        s.cv.notify_all();
    }
}

void CEncryptingSink::HandOver() {
    State& s = *m_p;
    if (!s.worker.joinable()) s.worker = std::thread([this] { SealWaiting(); });
    std::unique_lock<std::mutex> lock(s.m);
    s.cv.wait(lock, [&] { return s.bAbort || s.full.size() < kChunksWaiting; });
    if (s.failure) std::rethrow_exception(s.failure);
    s.full.push_back(std::move(s.plain));
    if (!s.spare.empty()) {
        s.plain = std::move(s.spare.back());
        s.spare.pop_back();
    } else {
        s.plain = std::vector<uint8_t>();
        s.plain.reserve(s.nChunk);
    }
    lock.unlock();
    s.cv.notify_all();
}

void CEncryptingSink::Write(const void* p, size_t n) {
    State& s = *m_p;
    if (n == 0) return;
    if (s.bFinished) throw CArchiveException(CArchiveException::writeFault, EINVAL);
    const auto* b = static_cast<const uint8_t*>(p);
    while (n > 0) {
        // A full chunk is sealed only once more bytes come, so that the last
        // one, whatever its size, is the one tagged final.
        if (s.plain.size() == s.nChunk) HandOver();
        const size_t take = std::min(n, s.nChunk - s.plain.size());
        s.plain.insert(s.plain.end(), b, b + take);
        b += take, n -= take;
    }
}

void CEncryptingSink::Finish() {
    State& s = *m_p;
    if (s.bFinished) return;
    if (s.worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(s.m);
            s.bDrain = true;
        }
        s.cv.notify_all();
        s.worker.join();
        if (s.failure) std::rethrow_exception(s.failure);
    }
    Seal(m_out, s.st, s.plain, s.sealed, s.bFirst ? s.header : nullptr, s.bFirst ? kHeaderBytes : 0,
         crypto_secretstream_xchacha20poly1305_TAG_FINAL);
    s.bFinished = true;
    uint8_t trailer[kTrailerBytes];
    std::memcpy(trailer, kTrailerMagic, sizeof kTrailerMagic);
    Hash(s.header, kHeaderBytes, trailer + sizeof kTrailerMagic);
    m_out.Write(trailer, sizeof trailer);
}

}  // namespace vault
