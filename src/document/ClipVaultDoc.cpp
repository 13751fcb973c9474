#include "document/ClipVaultDoc.h"

#include <algorithm>
#include <unordered_set>

#include "document/Archive.h"

CClipVaultDoc::CClipVaultDoc() { m_rootCata.m_pDocument = this; }

CClipVaultDoc::~CClipVaultDoc() {
    m_pendingNotes.clear();
    m_rootCata.Clear(false);
    for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it) delete it.value();
    m_attachments.RemoveAll();
}

// ---------------------------------------------------------------- attachments

std::string CClipVaultDoc::UniqueAttachmentName(const std::string& strSource) {
    try {
        size_t cut = strSource.rfind('\\');
        if (cut == std::string::npos) cut = strSource.rfind('/');
        std::string base = cut == std::string::npos ? strSource : strSource.substr(cut + 1);
        if (base.compare(0, 3, "vlt") == 0) base.erase(0, 3);
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::string candidate = "vlt" + base;
        for (int i = 1; m_attachments.Contains(candidate); ++i) candidate = "vlt-" + std::to_string(i) + base;
        return candidate;
    } catch (...) {
        return std::string();
    }
}

bool CClipVaultDoc::AddAttachment(CNoteAttatch* pAttach) {
    if (!pAttach) return false;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const std::string name = UniqueAttachmentName(pAttach->m_strName);
    if (name.empty()) return false;
    pAttach->m_strName = name;
    pAttach->m_pDocument = this;
    m_attachments.SetAt(name, pAttach);
    m_originToName[pAttach->m_strOrigin] = name;
    return true;
}

CNoteAttatch* CClipVaultDoc::MakeAttachment(const std::string& strName, const std::string& strOrigin,
                                            const std::vector<uint8_t>& bytes) {
    auto* p = new CNoteAttatch;
    p->m_pDocument = this;
    p->m_strOrigin = strOrigin;
    p->m_data = bytes;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    // Two workers may have been handed the same free name before either
    // stored its attachment; the second must not replace the first one's
    // bytes under a name that another note already uses.
    p->m_strName = m_attachments.Contains(strName) ? UniqueAttachmentName(strName) : strName;
    m_attachments.SetAt(p->m_strName, p);
    m_originToName[strOrigin] = p->m_strName;
    return p;
}

CNoteAttatch* CClipVaultDoc::FindAttachment(const std::string& strName) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    CNoteAttatch* const* pp = m_attachments.Find(strName);
    return pp ? *pp : nullptr;
}

std::string CClipVaultDoc::AttachmentNameForOrigin(const std::string& strOrigin) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_originToName.find(strOrigin);
    return it == m_originToName.end() ? std::string() : it->second;
}

void CClipVaultDoc::RebuildOriginMap() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_originToName.clear();
    for (auto it = m_attachments.begin(); it != m_attachments.end(); ++it)
        m_originToName[it.value()->m_strOrigin] = it.value()->m_strName;
}

// ---------------------------------------------------------------- downloads

void CClipVaultDoc::ListForDownload(CNote* pNote, bool bStartNow) {
    m_pendingNotes.push_back(pNote);
    if (bStartNow) StartDownload(pNote);
    else HoldNote(pNote);
}

void CClipVaultDoc::StartDownload(CNote* pNote) {
    // No worker is started here yet: the note waits in the queue.
    pNote->m_nStatus = kStatusQueued;
}

void CClipVaultDoc::HoldNote(CNote* pNote) { pNote->m_nStatus = kStatusHeld; }

void CClipVaultDoc::UnlistNote(CNote* pNote) {
    for (size_t i = m_pendingNotes.size(); i-- > 0;)
        if (m_pendingNotes[i] == pNote) m_pendingNotes.erase(m_pendingNotes.begin() + static_cast<ptrdiff_t>(i));
}

bool CClipVaultDoc::StopDownload(CNote* pNote) {
    if (pNote->m_nStatus == kStatusRunning) pNote->m_nStatus = kStatusDone;
    return true;
}

namespace {
void CollectNotes(const CNoteCata* pCata, std::unordered_set<const CNote*>& out) {
    for (auto it = pCata->m_notes.begin(); it != pCata->m_notes.end(); ++it) out.insert(it.value());
    for (auto it = pCata->m_subCatas.begin(); it != pCata->m_subCatas.end(); ++it) CollectNotes(it.value(), out);
}
}  // namespace

void CClipVaultDoc::ReleaseDiscarded(CArchive& ar) {
    auto& discarded = ar.Discarded();
    if (discarded.empty()) return;
    std::unordered_set<const CNote*> gone;
    for (const auto& p : discarded) {
        if (auto* pNote = dynamic_cast<const CNote*>(p.get())) gone.insert(pNote);
        else if (auto* pCata = dynamic_cast<const CNoteCata*>(p.get())) CollectNotes(pCata, gone);
    }
    m_pendingNotes.erase(std::remove_if(m_pendingNotes.begin(), m_pendingNotes.end(),
                                        [&](CNote* n) { return gone.count(n) != 0; }),
                         m_pendingNotes.end());
    discarded.clear();
}
