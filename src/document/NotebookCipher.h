// Encrypted notebooks: a notebook's bytes, exactly as a plain save writes
// them, sealed with a key derived from the user's passphrase.
//
// File layout (all numbers little-endian):
//   header   magic "CVLTCRYPT\r\n\x1a" (12 bytes, so that a reader that
//            expects a notebook finds no notebook header), format version
//            (u16), flags (u16, 0), Argon2id opslimit (u64) and memlimit
//            (u64), salt (16), plaintext chunk size (u32), secret-stream
//            header (24), key check (16: keyed hash of everything before it,
//            telling a wrong passphrase from damage), header check (16:
//            unkeyed hash of everything before it, telling a damaged header)
//   chunks   XChaCha20-Poly1305 secret-stream messages of `chunk size`
//            plaintext bytes each (the last shorter, tagged final); the
//            first authenticates the header as its additional data
//   trailer  "CVLTEND\n" and an unkeyed hash of the header (16): a header
//            put in from another encrypted notebook is told apart from a
//            damaged chunk
//
// Opening decrypts and authenticates the whole file into anonymous memory
// before anything of it is read as a notebook: a file that fails anywhere is
// refused whole, never opened half, and no plain byte reaches the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteStream.h"

namespace vault {

// Argon2id work for the key. Moderate is what new notebooks get; a file's
// own limits are read from its header within kMax*.
struct KdfLimits {
    uint64_t nOps = 0;
    uint64_t nMem = 0;
};
KdfLimits ModerateLimits();
// The cheapest limits libsodium allows: for tests only, where many keys are
// derived.
KdfLimits MinimalLimits();

constexpr size_t kSaltBytes = 16;
constexpr size_t kKeyBytes = 32;

// Why an encrypted file was not opened (or could not be written).
enum class Refusal {
    none,
    notEncrypted,     // no encrypted-notebook magic: a plain notebook or anything else
    unknownVersion,   // the magic, but a format this program does not know
    damagedHeader,    // the header's own check fails, or its limits are absurd
    wrongPassphrase,  // the header is whole, the key check fails
    foreignHeader,    // the header is whole and fits the passphrase but belongs to another file
    damagedChunk,     // a chunk fails authentication (nChunk in the details)
    cutShort,         // the file ends before its final chunk or its trailer
    trailingBytes,    // bytes after the trailer
    noMemory,         // the key or the plaintext could not be held in memory
    readFault,        // the file could not be read (errno in the details)
    writeFault,       // the memory for the plaintext could not be written
};
// Short English text for logs and the command-line tool.
const char* RefusalText(Refusal r);

// Overwrites a passphrase's or password's bytes (in a way the compiler
// keeps) and empties it, before its memory is given back.
void WipeSecret(std::string& s);

// A derived key and what it was derived with, held in locked memory and
// wiped when it goes.
class CVaultKey {
public:
    ~CVaultKey();
    CVaultKey(const CVaultKey&) = delete;
    CVaultKey& operator=(const CVaultKey&) = delete;

    // A new key for a notebook that is being encrypted: a fresh random salt.
    // Null when memory for it could not be had.
    static std::unique_ptr<CVaultKey> Create(const std::string& strPassphrase, KdfLimits limits = ModerateLimits());
    // The key for a given salt and limits; null when the derivation failed
    // (out of memory).
    static std::unique_ptr<CVaultKey> Derive(const std::string& strPassphrase, const uint8_t* pSalt,
                                             KdfLimits limits);

    const uint8_t* Salt() const { return m_salt; }
    KdfLimits Limits() const { return m_limits; }
    const uint8_t* Bytes() const { return m_pKey; }

private:
    CVaultKey() = default;
    uint8_t* m_pKey = nullptr;  // sodium_malloc'd, kKeyBytes
    uint8_t m_salt[kSaltBytes] = {};
    KdfLimits m_limits;
};

// What a header says, once its own check passed.
struct CHeader {
    uint16_t nVersion = 0;
    KdfLimits limits;
    uint8_t salt[kSaltBytes] = {};
    uint32_t nChunkSize = 0;
};

// Whether the first bytes of a file carry the encrypted-notebook magic.
bool HasMagic(const uint8_t* p, size_t n);
// Whether the regular file at strPath starts with the magic.
bool IsEncryptedFile(const std::string& strPath);

// Reads and checks the header of the file open on fd (from its start).
Refusal ReadHeader(int fd, CHeader& header);

struct CDecryptResult {
    Refusal refusal = Refusal::none;
    int nErrno = 0;        // readFault, writeFault
    uint64_t nChunk = 0;   // damagedChunk: which one, from 0
    int nMemFd = -1;       // none: an anonymous memory file holding the plain notebook, at offset 0
};
// Checks the key against the header of the file on fd, then decrypts and
// authenticates every chunk into a new anonymous memory file. The file on
// fd is only read. On refusal nothing is left open.
CDecryptResult Decrypt(int fd, const CVaultKey& key);
// The same, from bytes in memory (the fuzz target's road), key given raw.
CDecryptResult DecryptBytes(const uint8_t* p, size_t n, const uint8_t* pKey32);

// Encrypts what is written to it into `out`: header first, chunks as they
// fill (sealed and written by a worker thread of the sink's own, so `out`
// must not be used by anybody else until Finish returned), final chunk and
// trailer on Finish. A fresh secret-stream header (and so a fresh nonce)
// for every sink.
class CEncryptingSink : public CByteSink {
public:
    static constexpr uint32_t kChunkSize = 256 * 1024;
    // Another chunk size (4 KiB to 16 MiB) only where small files must still
    // hold several chunks (fuzz seeds).
    CEncryptingSink(CByteSink& out, const CVaultKey& key, uint32_t nChunkSize = kChunkSize);
    ~CEncryptingSink() override;
    void Write(const void* p, size_t n) override;  // throws writeFault
    // Seals the last chunk and writes the trailer; required before the
    // output is complete. Throws writeFault.
    void Finish();

private:
    void HandOver();     // the full chunk to the worker
    void SealWaiting();  // the worker
    struct State;
    std::unique_ptr<State> m_p;
    CByteSink& m_out;
};

}  // namespace vault
