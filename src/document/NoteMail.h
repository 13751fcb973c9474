// A note sent by mail: the desktop's mail program gets the note's own
// files as attachments, and the user writes the message there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CNote;

// The files a note goes out with: its working copy, then, for a page, the
// files of the attachments it lists that the notebook still holds, in list
// order. The working copy and those files must have been written.
std::vector<std::string> MailFilesOf(CNote& note);

// How long a mail's copies wait for its mail program: a message may stay
// open, unsent, for days, and some mail programs read the files only when
// it goes.
constexpr int64_t kMailKeepSeconds = 7 * 24 * 3600;

// Where the files of mails wait for the mail program, apart from the working
// files that go at exit: "$XDG_CACHE_HOME/clipvault/mail", else
// "~/.cache/clipvault/mail". Empty when the user has no home folder.
std::string MailFolderRoot();

// The note's own file under the note's name: NAME.EXT, the characters a file
// name cannot hold (or a desktop would not show) replaced by blanks.
std::string MailFileName(const CNote& note);

// Copies `files` (MailFilesOf) into a new folder of their own under
// `strRoot`, the first one named MailFileName (the others keep their names,
// which the page refers to). The copies' paths in the same order; empty when
// the folder or a copy could not be made (nothing is left behind then).
std::vector<std::string> CopyForMail(const CNote& note, const std::vector<std::string>& files,
                                     const std::string& strRoot);

// Removes the mail folders under `strRoot` that have not changed for
// `nMaxAgeSeconds`; anything else there stays.
void SweepMailFolders(const std::string& strRoot, int64_t nMaxAgeSeconds = kMailKeepSeconds);

// Hands the files to the mail program (`strMailer`, looked for on the
// search path). 0 when it started; otherwise the message id that says why
// not: 61840 no mail program, 61841 it could not be started.
unsigned SendFilesByMail(const std::vector<std::string>& files, const std::string& strMailer = "xdg-email");

// Writes the note's working copy with its attachment files, copies them to a
// folder of their own under MailFolderRoot (old ones swept first) and hands
// the copies to the mail program; tells the user when there is none. True
// when the mail program took the note.
bool SendNoteByMail(CNote& note);
