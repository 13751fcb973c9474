#include "document/KeptPages.h"

#include "document/Records.h"
#include "platform/Url.h"

CKeptPages::CKeptPages(const CNoteCata& root) { AddAll(root); }

void CKeptPages::AddAll(const CNoteCata& cata) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
        if (it.value()) Add(*it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (it.value()) AddAll(*it.value());
}

void CKeptPages::Add(CNote& note) {
    // A note on its way out of the notebook keeps nothing any more.
    if (note.m_strSource.empty() || note.m_nStatus.load() == kStatusDeleting) return;
    CNote*& newest = m_newest[PageKey(note.m_strSource)];
    if (!newest || note.m_tmDate > newest->m_tmDate ||
        (note.m_tmDate == newest->m_tmDate && note.m_nID > newest->m_nID))
        newest = &note;
}

CNote* CKeptPages::Newest(const std::string& strAddress) const {
    if (strAddress.empty()) return nullptr;
    const auto it = m_newest.find(PageKey(strAddress));
    return it == m_newest.end() ? nullptr : it->second;
}

std::string CKeptPages::PageKey(const std::string& strAddress) {
    url::CUrlParts parts;
    if (!url::CrackUrl(strAddress, parts)) return strAddress.substr(0, strAddress.find('#'));
    parts.m_strFragment.clear();
    return url::BuildUrl(parts);
}
