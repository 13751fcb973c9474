// The pages a notebook keeps, by their source address: whether an address
// about to be captured is there already, and as which note. Made once for a
// batch of imports, so that each address costs one look-up however many
// notes the notebook holds.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class CNote;
class CNoteCata;

class CKeptPages {
public:
    // Every note under `root` (its categories too) with a source address.
    explicit CKeptPages(const CNoteCata& root);

    // The most recent capture of `strAddress` (newest date, then highest
    // number), the addresses compared as PageKey has them; null when none.
    CNote* Newest(const std::string& strAddress) const;
    // Every note with that address, the most recent capture first; empty
    // when none.
    const std::vector<CNote*>& Notes(const std::string& strAddress) const;
    // A note filed after the pages were gathered.
    void Add(CNote& note);

    // The address as two addresses of one page compare: web and file
    // addresses only (else empty), without fragment, user or default port,
    // scheme and host in lower case, dot segments resolved, and a byte
    // written either as itself or as its escape compared as one. A trailing
    // slash or a query still makes another page.
    static std::string PageKey(const std::string& strAddress);

private:
    void AddAll(const CNoteCata& cata);
    // By address key, the most recent capture first.
    std::unordered_map<std::string, std::vector<CNote*>> m_notes;
};
