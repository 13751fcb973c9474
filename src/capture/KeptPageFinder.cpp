#include "capture/KeptPageFinder.h"

#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "document/Records.h"

namespace {

bool IsKept(const CNote& note) {
    return note.m_nStatus.load() == kStatusDone && note.m_nContentType == kContentHeld && !note.m_strSource.empty();
}

}  // namespace

CKeptPageFinder::CKeptPageFinder(CClipVaultDoc& doc) : m_doc(doc) {}

CKeptPageFinder::~CKeptPageFinder() = default;

CNote* CKeptPageFinder::Find(const std::string& strAddress, const CNote* pPrefer) {
    if (!m_pPages || m_nBuiltAt != m_doc.ChangeCount()) {
        // Notes in any state but deleting are mapped: one still being
        // fetched is kept once its capture ends, which changes nothing the
        // count sees.
        ++m_nBuilds;
        m_nBuiltAt = m_doc.ChangeCount();
        m_pPages = std::make_unique<CKeptPages>(m_doc.m_rootCata);
    }
    // A note kept when the map was made may be fetched again since.
    CNote* pFound = nullptr;
    for (CNote* p : m_pPages->Notes(strAddress)) {
        if (!IsKept(*p)) continue;
        if (p == pPrefer) return p;
        if (!pFound) pFound = p;
    }
    return pFound;
}
