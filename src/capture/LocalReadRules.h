// Which files of this computer a page may take in as its own. A page names
// files by accident or malice (file:///etc/passwd, ../../.ssh/id_rsa,
// /proc/self/environ); taken in, they would leave the machine with an
// export or a mail. A page reads only regular files below one folder: a
// saved page its own folder, a page read back from the editor the notebook's
// working folder. Every path is resolved first, so a link inside the folder
// that leads out of it is outside.
#pragma once

#include <string>

namespace localread {

// The folder a page lying at `strPagePath` may take files from, as a real
// path: the folder it lies in, with everything below. A folder that holds
// far more than one page's files (the root, a folder right below the root,
// the home folder or one above it) gives only the page's companion folder
// beside it ("NAME_files", "NAME.files" or "NAME-files" for "NAME.htm"),
// so that a page saved there still comes in whole. Empty when there is
// nothing the page may read (no companion, a folder under /proc, /sys or
// /dev, a path that does not resolve).
std::string PageFolder(const std::string& strPagePath);

// `strFolder` (the notebook's working folder) as a real path; empty when it
// does not resolve or is one of the folders PageFolder never gives whole.
std::string RealFolder(const std::string& strFolder);

// The path a local reference names: a "file://" URL (host empty or
// "localhost") or an absolute path; percent escapes decoded when
// `bDecode`. Empty for anything else (another host's file, a relative
// path, a path holding a NUL byte).
std::string PathOfReference(const std::string& strReference, bool bDecode);

// The real path of the file at `strPath` when a page may read it: a
// regular file strictly below `strFolder` (a real path from PageFolder or
// RealFolder), never in /proc, /sys or /dev. Empty otherwise. The caller
// reads the path returned, so that a link swapped in afterwards at the
// name the page gave leads nowhere else.
std::string PathToRead(const std::string& strPath, const std::string& strFolder);

}  // namespace localread
