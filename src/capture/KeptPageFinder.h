// Which note of a notebook keeps the page at an address, so that a link in
// one kept page to another opens the note instead of going to the web. The
// notebook's pages themselves are never rewritten for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CClipVaultDoc;
class CKeptPages;
class CNote;

class CKeptPageFinder {
public:
    explicit CKeptPageFinder(CClipVaultDoc& doc);
    ~CKeptPageFinder();

    // The note whose source is `strAddress` (compared as CKeptPages::PageKey
    // has it) and whose page is kept: `pPrefer` when it is one of them (a
    // page's link to a place in itself), else the most recent capture. Null
    // when none.
    CNote* Find(const std::string& strAddress, const CNote* pPrefer = nullptr);

    // How often the map was made: once, and again only after the notebook
    // changed.
    uint64_t Builds() const { return m_nBuilds; }

private:
    CClipVaultDoc& m_doc;
    uint64_t m_nBuiltAt = ~uint64_t(0);
    uint64_t m_nBuilds = 0;
    std::unique_ptr<CKeptPages> m_pPages;
};
