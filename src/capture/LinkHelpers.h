// Small shared rules about link texts, the program's temporary files and
// whole-file reads and writes. Every function is stateless; an unexpected
// failure inside one (out of memory) shows the generic failure message and
// gives false or an empty text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "clipvault:<id> = <name>". Only the number is read back; the name is there
// for people looking at the page.
std::string MakeNoteLink(uint32_t id, const std::string& name);

// Reads the note number from a note link: "clipvault:" in any case, then the
// text up to the first "=" (unless the "=" comes first), which must be a
// decimal number that fits in 32 bits, blanks around it allowed. A browser
// hands links back percent-encoded, so "%20" counts as a blank.
bool ParseNoteLink(const std::string& text, uint32_t& id);

// "vlt" (lower case only) followed by a URL: open that URL in a new window.
bool IsNewWindowLink(const std::string& url);
// The URL after the "vlt" prefix; empty when `url` is no new-window link.
std::string NewWindowLinkTarget(const std::string& url);
// May a stored page's link go to the desktop's opener? Only web and mail
// addresses (http, https, ftp, mailto in any case): a page from a stranger
// must not have the desktop run a file or mount a share. The scheme is read
// exactly as written, so a blank or anything else before it refuses.
bool IsDesktopAddress(const std::string& url);

// The schemes the hyperlink dialog offers, in the order it shows them.
const std::vector<std::string>& LinkSchemes();

// Files this large or larger are refused by ReadWholeFile unless the caller
// names another limit (the user's, CDownloadSettings::m_nMaxFileBytes).
constexpr uint64_t kMaxWholeFileBytes = 10240000;

// Reads a whole regular file; a leading "file://" (any case) is dropped.
// False, with `out` empty, when the file cannot be read, is not a regular
// file or has `nLimit` bytes or more.
bool ReadWholeFile(const std::string& pathOrFileUrl, std::vector<uint8_t>& out, uint64_t nLimit = kMaxWholeFileBytes);

// Creates or truncates `path` and writes `data`. A failed write leaves no
// partial file behind. `nFlags` as for fileutil::WriteWholeFile: working
// files are written without following links.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data, unsigned nFlags = 0);

// A path in `folder` whose name starts with "vlt", unused when it was made,
// ending in "." + `ext` (a leading dot of `ext` is not doubled; an empty
// `ext` gives no extension). Nothing is created: the name is only free until
// somebody else takes it, so callers open it with O_CREAT | O_EXCL or accept
// overwriting a file that raced in. Empty when no name could be made (missing
// folder, an `ext` holding "/").
std::string MakeTempName(const std::string& folder, const std::string& ext);

// Removes every entry of `folder` (the temporary root when empty; nothing
// when there is no root either) whose name starts with "vlt": files are
// deleted, folders emptied completely and then removed. Symbolic links are
// removed themselves, never followed. Entries that cannot be removed are left
// in place.
void DeleteTempFiles(const std::string& folder = "");

// Removes one notebook's working folder (a "vlt" name) with everything in
// it, links removed and never followed; anything else is left alone.
void DeleteWorkFolder(const std::string& strFolder);

// Depth-first search of `folder` in listing order for a file named `name`
// (exact) or whose name contains `name`; a subfolder is searched as soon as
// the listing reaches it, and linked folders are not entered. On a hit
// `outPath` is the containing folder + "/" + the file name.
bool FindFileInTree(const std::string& folder, const std::string& name, bool exact, std::string& outPath);

// The folder holding the running program, without a trailing "/" (just "/"
// for the root); empty when it cannot be found.
std::string GetProgramFolder();
