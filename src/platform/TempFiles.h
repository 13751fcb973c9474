// The program's temporary root: the folder below which notebooks write their
// working folders and working copies. Always ends with "/".
#pragma once

#include <string>

namespace tempfiles {

// $TMPDIR when set, else /tmp, unless SetTempRoot chose another.
const std::string& TempRoot();
// A trailing "/" is added when missing. User-interface thread, at start-up.
void SetTempRoot(const std::string& strFolder);

}  // namespace tempfiles
