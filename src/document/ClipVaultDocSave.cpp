// Where a notebook may be saved: its own file, a name the user gives, or,
// for one whose file was damaged, only a name other than that file's; and
// which message a read-only notebook answers a change with.
#include <sys/stat.h>

#include <string>

#include "document/ClipVaultDoc.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"

namespace {

void CountRecords(const CNoteCata& cata, size_t& nCatas, size_t& nNotes) {
    nNotes += cata.m_notes.GetCount();
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
        ++nCatas;
        CountRecords(*it.value(), nCatas, nNotes);
    }
}

}  // namespace

unsigned CClipVaultDoc::ReadOnlyMessage() const {
    return IsDamaged() ? ids::IDS_NOTEBOOK_READ_ONLY : ids::IDS_NOTEBOOK_LOCKED;
}

bool CClipVaultDoc::IsDamagedFile(const std::string& strPath) const {
    if (!IsDamaged()) return false;
    if (strPath == m_strPathName) return true;
    // Another name for the same file (a link, "..", a second hard link)
    // is the same file.
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == m_nDamagedDev &&
           static_cast<uint64_t>(st.st_ino) == m_nDamagedIno;
}

void CClipVaultDoc::ReportDamage() const {
    size_t nCatas = 0, nNotes = 0;
    CountRecords(m_rootCata, nCatas, nNotes);
    size_t nAttachments = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(const_cast<std::recursive_mutex&>(m_lock));
        nAttachments = m_attachments.GetCount();
    }
    host::ShowMessage(ids::IDS_NOTEBOOK_DAMAGED, host::MB_OK | host::MB_ICONEXCLAMATION,
                      {m_strPathName, std::to_string(nCatas), std::to_string(nNotes), std::to_string(nAttachments)});
}

bool CClipVaultDoc::AskSavePath(std::string& strPath) {
    for (;;) {
        std::string path;
        if (!m_pViews || !m_pViews->ChooseSavePath(path) || path.empty()) return false;
        if (!IsDamagedFile(path)) {
            strPath = path;
            return true;
        }
        host::ShowMessage(ids::IDS_DAMAGED_FILE_KEPT, host::MB_OK | host::MB_ICONEXCLAMATION, {path});
    }
}

bool CClipVaultDoc::DoFileSave() {
    std::string path = IsDamaged() ? std::string() : m_strPathName;
    if (path.empty() && !AskSavePath(path)) return false;
    return OnSaveDocument(path);
}

bool CClipVaultDoc::AutoSave() {
    // An untitled notebook would have to ask for a name and a damaged one
    // for a new one; both wait for the user to save them.
    if (!m_bModified || m_strPathName.empty() || IsDamaged()) return true;
    return OnSaveDocument(m_strPathName);
}
