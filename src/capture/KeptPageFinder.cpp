#include "capture/KeptPageFinder.h"

#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "document/Records.h"
#include "platform/Url.h"

#include <algorithm>

namespace {

bool IsKept(const CNote& note) {
    return note.m_nStatus.load() == kStatusDone && note.m_nContentType == kContentHeld && !note.m_strSource.empty();
}

void Collect(const CNoteCata& cata, std::vector<CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.push_back(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) Collect(*it.value(), out);
}

}  // namespace

CNote* CKeptPageFinder::Find(const std::string& strAddress, const CNote* pPrefer) {
    const std::string key = CKeptPages::PageKey(strAddress);
    if (key.empty()) return nullptr;
    if (m_nBuiltAt != m_doc.ChangeCount()) Rebuild();
    const auto it = m_notes.find(key);
    if (it == m_notes.end()) return nullptr;
    const std::vector<CNote*>& notes = it->second;
    // A note kept when the map was made may be fetched again since.
    CNote* pFound = nullptr;
    for (CNote* p : notes) {
        if (!IsKept(*p)) continue;
        if (p == pPrefer) return p;
        if (!pFound) pFound = p;
    }
    return pFound;
}

void CKeptPageFinder::Rebuild() {
    ++m_nBuilds;
    m_nBuiltAt = m_doc.ChangeCount();
    m_notes.clear();
    std::vector<CNote*> all;
    Collect(m_doc.m_rootCata, all);
    for (CNote* p : all) {
        // Any state but deleting: a note still being fetched is kept once
        // its capture ends, which refreshes it without a change of its own.
        if (p->m_strSource.empty() || p->m_nStatus.load() == kStatusDeleting) continue;
        std::string key = CKeptPages::PageKey(p->m_strSource);
        if (!key.empty()) m_notes[std::move(key)].push_back(p);
    }
    for (auto& entry : m_notes) {
        std::sort(entry.second.begin(), entry.second.end(), [](const CNote* a, const CNote* b) {
            if (a->m_tmDate != b->m_tmDate) return a->m_tmDate > b->m_tmDate;
            return a->m_nID > b->m_nID;
        });
    }
}
