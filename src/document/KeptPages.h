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
    // number); null when none. The fragment does not count, nor the case of
    // the scheme and host, nor a default port.
    CNote* Newest(const std::string& strAddress) const;
    // A note filed after the pages were gathered.
    void Add(CNote& note);
    size_t Size() const { return m_newest.size(); }

    // What two addresses of the same page have in common.
    static std::string PageKey(const std::string& strAddress);

private:
    void AddAll(const CNoteCata& cata);
    std::unordered_map<std::string, CNote*> m_newest;
};
