#include "document/RecordClipboard.h"

#include <algorithm>

#include "document/Records.h"

CRecordClipboard& TheRecordClipboard() {
    // Never destroyed: records deleted during static destruction still call
    // Forget on it.
    static CRecordClipboard* p = new CRecordClipboard;
    return *p;
}

void CRecordClipboard::ClipCategory(CNoteCata* pCata, int bCut) {
    ClearClip();
    m_pCata = pCata;
    m_bCut = bCut;
}

void CRecordClipboard::ClipNote(CNote* pNote, int bCut) {
    ClearClip();
    m_pNote = pNote;
    m_bCut = bCut;
}

void CRecordClipboard::AddClipCategory(CNoteCata* pCata, int bCut) {
    m_pCata = nullptr;
    m_pNote = nullptr;
    m_catas.push_back(pCata);
    m_bCut = bCut;
}

void CRecordClipboard::AddClipNote(CNote* pNote, int bCut) {
    m_pCata = nullptr;
    m_pNote = nullptr;
    m_notes.push_back(pNote);
    m_bCut = bCut;
}

void CRecordClipboard::ClearClip() {
    m_pCata = nullptr;
    m_pNote = nullptr;
    m_catas.clear();
    m_notes.clear();
    m_bCut = 0;
}

int CRecordClipboard::ClipState() const {
    if (m_pCata) return stateCategory;
    if (m_pNote) return stateNote;
    if (!m_catas.empty() || !m_notes.empty()) return stateList;
    return stateEmpty;
}

bool CRecordClipboard::CanPasteInto(const CNoteCata* pTarget) const {
    auto refused = [&](const CNoteCata* pClipped) {
        return pTarget->IsInside(pClipped) || (m_bCut && pTarget == pClipped);
    };
    if (m_pCata && refused(m_pCata)) return false;
    return std::none_of(m_catas.begin(), m_catas.end(), refused);
}

CClipVaultDoc* CRecordClipboard::SourceDocument() const {
    if (m_pCata) return m_pCata->m_pDocument;
    if (m_pNote) return m_pNote->m_pDocument;
    if (!m_catas.empty()) return m_catas.front()->m_pDocument;
    if (!m_notes.empty()) return m_notes.front()->m_pDocument;
    return nullptr;
}

CNoteCata* CRecordClipboard::CopyClippedCategory(CClipVaultDoc* pTarget) const {
    return m_pCata ? m_pCata->CopyTo(pTarget) : nullptr;
}

CNote* CRecordClipboard::CopyClippedNote(CClipVaultDoc* pTarget) const {
    return m_pNote ? m_pNote->CopyTo(pTarget) : nullptr;
}

void CRecordClipboard::Forget(const CNoteBase* pRecord) {
    if (m_pCata == pRecord) m_pCata = nullptr;
    if (m_pNote == pRecord) m_pNote = nullptr;
    if (!m_catas.empty())
        m_catas.erase(std::remove(m_catas.begin(), m_catas.end(), pRecord), m_catas.end());
    if (!m_notes.empty())
        m_notes.erase(std::remove(m_notes.begin(), m_notes.end(), pRecord), m_notes.end());
}
