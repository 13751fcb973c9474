// The program's temporary root: the folder below which notebooks write their
// working folders and working copies. A folder of the process's own, never
// the shared temporary folder itself: the clean-up at exit removes every
// "vlt" entry of the root, and in a shared folder anybody could have planted
// what the program then writes through.
#pragma once

#include <string>

namespace tempfiles {

// Ends with "/"; empty until SetTempRoot chose one, and then nothing is
// written (working folders cannot be made) and nothing is cleaned up.
const std::string& TempRoot();
// A trailing "/" is added when missing; an empty folder means no root.
// User-interface thread, at start-up.
void SetTempRoot(const std::string& strFolder);

// The system's shared temporary folder: $TMPDIR when set, else /tmp; with
// a trailing "/".
std::string SystemTempFolder();

// Makes a new folder "clipvault-XXXXXX" (mode 0700) in `strBase`, or in the
// system temporary folder when that is empty. mkdtemp makes it afresh, so
// nothing planted beforehand can stand in for it. Its path with a trailing
// "/", or empty when it cannot be made (`*pnErrno` says why).
std::string MakePrivateFolder(const std::string& strBase = std::string(), int* pnErrno = nullptr);

}  // namespace tempfiles
