// The pages a notebook keeps, by their source address: whether an address
// about to be captured is there already, and as which note. Made once for a
// batch of imports, so that each address costs one look-up however many
// notes the notebook holds.
#pragma once

#include <string>
#include <unordered_map>

class CNote;
class CNoteCata;

class CKeptPages {
public:
    // Every note under `root` (its categories too) with a source address.
    explicit CKeptPages(const CNoteCata& root);

    // The most recent capture of `strAddress` (newest date, then highest
    // number), the addresses compared as PageKey has them; null when none.
    CNote* Newest(const std::string& strAddress) const;
    // A note filed after the pages were gathered.
    void Add(CNote& note);
    size_t Size() const { return m_newest.size(); }

    // The address as two addresses of one page compare: web and file
    // addresses only (else empty), without fragment, user or default port,
    // scheme and host in lower case, dot segments resolved, and a byte
    // written either as itself or as its escape compared as one. A trailing
    // slash or a query still makes another page.
    static std::string PageKey(const std::string& strAddress);

private:
    void AddAll(const CNoteCata& cata);
    std::unordered_map<std::string, CNote*> m_newest;
};
