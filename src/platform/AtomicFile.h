// Replacing a file so that it is either wholly the old one or wholly the new
// one, whatever happens on the way: a full disk, a failing writer or a crash.
// Notebooks of hundreds of megabytes and the small options file go through
// the same path.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

class CByteSink;

namespace fileutil {

// How far a failed replacement got.
enum class AtomicWriteStep {
    none,    // it did not fail
    create,  // no new file could be made: no folder, no permission, the
             // target is a folder or a device, a read-only target
    write,   // the writer or the disk failed while the new bytes went out
    commit,  // the new file was complete but could not take the old one's place
};

// Use the process's umask for a file that does not exist yet.
constexpr mode_t kDefaultNewFileMode = 0666;

// Writes what `write` puts into its sink to a hidden file in the folder of
// `strPath`, makes it durable and renames it over `strPath`. The sink is
// buffered, so the writer may hand it pieces of any size.
//
// An existing target keeps its permission bits (and its owner where the
// process may set it); a new one gets `nNewMode` less the umask. A symbolic
// link is followed: the link stays and the file it names is replaced.
//
// On failure the old file is untouched, the hidden file is gone, errno (and
// `*pnErrno`) tell why and `*pStep` how far it got. A CArchiveException from
// the writer counts as a failure; any other exception is passed on after the
// hidden file was removed.
bool AtomicWriteFile(const std::string& strPath, const std::function<void(CByteSink&)>& write,
                     int* pnErrno = nullptr, AtomicWriteStep* pStep = nullptr,
                     mode_t nNewMode = kDefaultNewFileMode);

// Removes the hidden files that saves to `strPath` left behind when they were
// killed: only names of the writer's own pattern for that file, only the
// user's own plain files, and only those that no running save holds (the
// writer keeps its hidden file locked until it is gone or has become the
// file). Returns how many went.
int RemoveStaleTempCopies(const std::string& strPath);

}  // namespace fileutil
