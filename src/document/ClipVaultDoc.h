// One open notebook: its record tree, its attachments and its list of notes
// with a download to do.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/NameMap.h"
#include "document/Records.h"

class CArchive;

class CClipVaultDoc {
public:
    CClipVaultDoc();
    ~CClipVaultDoc();
    CClipVaultDoc(const CClipVaultDoc&) = delete;
    CClipVaultDoc& operator=(const CClipVaultDoc&) = delete;

    // ---- notes and numbers
    // Hands out the next note number: the counter grows first, so the first
    // note of a new notebook is number 2.
    uint32_t NextNoteID() { return ++m_nNextID; }

    // ---- attachments (safe to call from download workers)
    std::string UniqueAttachmentName(const std::string& strSource);
    // Takes ownership; renames the attachment to a unique name first.
    bool AddAttachment(CNoteAttatch* pAttach);
    CNoteAttatch* MakeAttachment(const std::string& strName, const std::string& strOrigin,
                                 const std::vector<uint8_t>& bytes);
    CNoteAttatch* FindAttachment(const std::string& strName);
    // Name of the attachment taken from `strOrigin`, or empty.
    std::string AttachmentNameForOrigin(const std::string& strOrigin);
    void RebuildOriginMap();

    // ---- download list
    void ListForDownload(CNote* pNote, bool bStartNow);
    void StartDownload(CNote* pNote);
    void HoldNote(CNote* pNote);
    // Removes every occurrence of the note from the download list.
    void UnlistNote(CNote* pNote);
    bool StopDownload(CNote* pNote);

    // After a load: objects the archive set aside (a name read twice in one
    // map keeps the later record) leave the download list, then are deleted.
    void ReleaseDiscarded(CArchive& ar);

    // ---- modified flag
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }
    bool IsModified() const { return m_bModified; }

    // Guards m_attachments and m_originToName against the download workers.
    std::recursive_mutex m_lock;
    CNoteCata m_rootCata;
    CNameMap<CNoteAttatch*> m_attachments;
    std::unordered_map<std::string, std::string> m_originToName;
    uint32_t m_nNextID = 1;
    int m_nFileVersion = 2;
    int m_nRunning = 0;
    std::vector<CNote*> m_pendingNotes;

private:
    bool m_bModified = false;
};
