// A note's content on disk: working copies for showing and editing, reading
// them back, writing a page out with its files, importing a local file.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/CaptureShared.h"
#include "capture/LinkHelpers.h"
#include "capture/PageExport.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"
#include "platform/DownloadSettings.h"
#include "platform/FileUtil.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

void Failed() { host::ShowMessage(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

// Why a file of the disk was not taken in, as a note's error text: its size
// against the limit, or what the system said.
std::string ReadFailureText(const std::string& path, uint64_t nLimit) {
    struct stat st;
    int nError = EIO;
    if (::stat(path.c_str(), &st) != 0) {
        nError = errno;
    } else if (!S_ISREG(st.st_mode)) {
        if (!S_ISDIR(st.st_mode))
            return FormatText(host::LoadString(ids::IDS_FILE_NOT_READ), {path, host::LoadString(ids::IDS_NOT_A_REGULAR_FILE)});
        nError = EISDIR;
    } else if (static_cast<uint64_t>(st.st_size) >= nLimit) {
        return FormatText(host::LoadString(ids::IDS_FILE_TOO_LARGE),
                          {std::to_string(st.st_size), std::to_string(nLimit)});
    } else if (::access(path.c_str(), R_OK) != 0) {
        nError = errno;
    }
    return FormatText(host::LoadString(ids::IDS_FILE_NOT_READ), {path, std::strerror(nError)});
}


}  // namespace

bool SameType(const std::string& strExt, const char* type) { return strcasecmp(strExt.c_str(), type) == 0; }

std::string PageTypeFor(const std::string& strExt) {
    if (SameType(strExt, "htm") || SameType(strExt, "html")) return "htm";
    if (SameType(strExt, "xml")) return "xml";
    return strExt;
}

std::string CNote::GetWorkPath() {
    if (m_nContentType != kContentHeld) return m_strSource;
    if (m_strWorkPath.empty() && m_pDocument) {
        const std::string folder = m_pDocument->GetWorkFolder(true);
        if (!folder.empty()) m_strWorkPath = MakeTempName(folder, m_strExt);
    }
    return m_strWorkPath;
}

bool CNote::WriteWorkingCopy(const std::string& strPath, bool bExport) {
    try {
        const std::string path = strPath.empty() ? GetWorkPath() : strPath;
        if (path.empty()) return false;
        if (SameType(m_strExt, "htm") || SameType(m_strExt, "xml")) return WritePage(path, bExport);
        std::lock_guard<std::mutex> guard(m_dataLock);
        return ::WriteWholeFile(path, Content(), bExport ? fileutil::kReplace : fileutil::kNoFollow);
    } catch (...) {
        Failed();
        return false;
    }
}

bool CNote::WritePage(const std::string& strPath, bool bExport) {
    if (!SameType(m_strExt, "htm") && !SameType(m_strExt, "xml")) return false;
    try {
        std::vector<uint8_t> content;
        std::vector<std::string> names;
        {
            std::lock_guard<std::mutex> guard(m_dataLock);
            content = Content();
            names = m_attachNames;
        }
        if (!bExport) {
            if (!::WriteWholeFile(strPath, content, fileutil::kNoFollow)) return false;
            if (!m_pDocument) return true;
            const std::string folder = m_pDocument->GetWorkFolder(true);
            if (folder.empty()) return true;
            for (const std::string& name : names) {
                CNoteAttatch* pAttach = m_pDocument->FindAttachment(name);
                if (pAttach && UsableFileName(name)) pAttach->WriteIfMissing(folder + "/" + name);
            }
            return true;
        }

        if (!m_pDocument) return ::WriteWholeFile(strPath, content);
        return ExportPage(*m_pDocument, content, names, strPath);
    } catch (...) {
        Failed();
        return false;
    }
}

bool CNote::ReadBack(const std::string& strPath) {
    if (m_nContentType != kContentHeld) return true;
    // The user's limit is for what comes in from outside; a page of the
    // notebook's own is never held to less than the built-in one, so that
    // a lowered limit cannot make an edit impossible to keep.
    const uint64_t nLimit = std::max(CurrentDownloadSettings().m_nMaxFileBytes, kMaxWholeFileBytes);
    return ReadContentFrom(strPath.empty() ? m_strWorkPath : strPath, nLimit);
}

bool CNote::ReadContentFrom(const std::string& strPath, uint64_t nMaxBytes) {
    try {
        if (strPath.empty()) return false;
        std::vector<uint8_t> bytes;
        if (!::ReadWholeFile(strPath, bytes, nMaxBytes)) return false;
        CNoteUpdate update(*this);
        if (!update) return false;
        SetContent(std::move(bytes));
        return true;
    } catch (...) {
        Failed();
        return false;
    }
}

bool CNote::ReadBackAndAbsorb(const std::string& strPath) {
    if (!ReadBack(strPath)) return false;
    CaptureResources(strPath.empty() ? m_strWorkPath : strPath, nullptr, nullptr);
    return true;
}

bool CNote::ImportLocalFile(const CDownloadSettings* pSettings) {
    const size_t dot = m_strSource.rfind('.');
    const size_t slash = m_strSource.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash)) {
        const std::string why = FormatText(host::LoadString(ids::IDS_FILE_HAS_NO_TYPE), {m_strSource});
        CNoteUpdate update(*this);
        if (update) m_strError = why;
        return false;
    }
    const std::string ext = LowerAscii(m_strSource.substr(dot + 1));
    {
        CNoteUpdate update(*this);
        if (!update) return false;
        if (ext == "htm" || ext == "html") m_strExt = "htm";
        else if (ext == "xml") m_strExt = "xml";
        else if (ext == "mht" || ext == "mhtm" || ext == "mhtml" || ext == "eml") m_strExt = "mht";
        else m_strExt = m_strSource.substr(dot + 1);
    }
    // Read straight in, whatever the content type says now: it becomes
    // "held" on success, and is written only when it changes, since the
    // user-interface thread reads it while this worker runs.
    const uint64_t nLimit = pSettings ? pSettings->m_nMaxFileBytes : CurrentDownloadSettings().m_nMaxFileBytes;
    if (!ReadContentFrom(m_strSource, nLimit)) {
        const std::string why = ReadFailureText(m_strSource, nLimit);
        CNoteUpdate update(*this);
        if (update) m_strError = why;
        return false;
    }
    if (m_strExt == "htm" || m_strExt == "xml") {
        // A saved page takes in the files of its own folder; read back from
        // the editor later, those of the working folder.
        CLocalFolder pageFolder = CLocalFolder::OfPage(m_strSource);
        CaptureNoteResources(*this, m_strSource, nullptr, nullptr, pSettings, pageFolder);
    }
    CNoteUpdate update(*this);
    if (!update) return false;
    if (m_nContentType != kContentHeld) m_nContentType = kContentHeld;
    return true;
}

void CNote::Refetch() {
    if (m_nContentType != kContentHeld || !m_pDocument) return;
    m_strWorkPath.clear();
    m_pDocument->ListForDownload(this, true);
}
