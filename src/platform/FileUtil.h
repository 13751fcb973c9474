// Small file helpers over POSIX calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fileutil {

// The file name of a path or URL: what follows its last backslash, else its
// last slash (paths written on Windows keep working).
std::string FileNameOf(const std::string& strPath);

bool PathExists(const std::string& strPath);
bool IsRegularFile(const std::string& strPath);

// Opens a regular file for reading without ever waiting: a FIFO, a device or
// a folder is refused (-1, errno EINVAL or EISDIR), so that a path from
// outside can neither freeze the caller nor feed it endless bytes.
int OpenRegularFile(const std::string& strPath);

// Reads the regular file into `out` (at most `nMaxBytes` of it). False when
// it is not a regular file or cannot be opened or read; `out` is then empty.
bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, uint64_t nMaxBytes = UINT64_MAX);

// What WriteWholeFile does with what is already at the path.
enum WriteFlags : unsigned {
    kReplace = 0,    // an existing file is replaced; a link is followed (a target the user chose)
    kNoFollow = 1,   // a link at the path is refused (ELOOP), never written through
    kCreateNew = 2,  // only a new file: whatever is at the path, a link included, is refused (EEXIST)
};

// Writes the bytes to `strPath`, replacing what was there. A failed write
// removes the partial file, so that nobody later takes it for a good one.
// Working files (working copies, the files beside them) go out with
// kNoFollow or kCreateNew, so that nothing planted at their names can send
// the bytes elsewhere. errno tells why it failed.
bool WriteWholeFile(const std::string& strPath, const void* p, size_t n, unsigned nFlags = kReplace);

}  // namespace fileutil
