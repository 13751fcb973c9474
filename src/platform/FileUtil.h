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

// Reads the file into `out` (at most `nMaxBytes` of it). False when it cannot
// be opened or read; `out` is then empty.
bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, uint64_t nMaxBytes = UINT64_MAX);

// Writes the bytes to `strPath`, replacing what was there. A failed write
// removes the partial file, so that nobody later takes it for a good one.
bool WriteWholeFile(const std::string& strPath, const void* p, size_t n);

}  // namespace fileutil
