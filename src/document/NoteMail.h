// A note sent by mail: the desktop's mail program gets the note's own
// files as attachments, and the user writes the message there.
#pragma once

#include <string>
#include <vector>

class CNote;

// The files a note goes out with: its working copy, then, for a page, the
// files of the attachments it lists that the notebook still holds, in list
// order. The working copy and those files must have been written.
std::vector<std::string> MailFilesOf(CNote& note);

// Hands the files to the mail program (`strMailer`, looked for on the
// search path). 0 when it started; otherwise the message id that says why
// not: 61840 no mail program, 61841 it could not be started.
unsigned SendFilesByMail(const std::vector<std::string>& files, const std::string& strMailer = "xdg-email");

// Writes the note's working copy with its attachment files and hands them
// to the mail program; tells the user when there is none. True when the
// mail program took the note.
bool SendNoteByMail(CNote& note);
