#include "document/NoteMail.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

#include <cerrno>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

bool IsFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> MailFilesOf(CNote& note) {
    std::vector<std::string> files;
    const std::string path = note.GetWorkPath();
    if (IsFile(path)) files.push_back(path);
    if (!SameType(note.m_strExt, "htm") || !note.m_pDocument || files.empty()) return files;
    const std::string folder = note.m_pDocument->GetWorkFolder(true);
    if (folder.empty()) return files;
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> guard(note.m_dataLock);
        names = note.m_attachNames;
    }
    for (const std::string& name : names) {
        // A name the notebook no longer holds, or one that would lead out of
        // the working folder, sends nothing.
        if (!note.m_pDocument->FindAttachment(name) || name.find('/') != std::string::npos || name == "." ||
            name == "..")
            continue;
        const std::string file = folder + "/" + name;
        if (IsFile(file)) files.push_back(file);
    }
    return files;
}

unsigned SendFilesByMail(const std::vector<std::string>& files, const std::string& strMailer) {
    std::vector<std::string> args{strMailer};
    for (const std::string& f : files) {
        args.push_back("--attach");
        args.push_back(f);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, strMailer.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc == ENOENT) return ids::IDS_NO_MAIL_SYSTEM;
    if (rc != 0) return ids::IDS_MAIL_FAILED;
    // The mail program runs on its own; somebody must collect its end.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return 0;
}

bool SendNoteByMail(CNote& note) {
    if (note.m_nContentType == kContentHeld && !note.WriteWorkingCopy()) {
        host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return false;
    }
    const unsigned nFailure = SendFilesByMail(MailFilesOf(note));
    if (nFailure) host::ShowMessage(nFailure, host::MB_OK | host::MB_ICONEXCLAMATION);
    return nFailure == 0;
}
