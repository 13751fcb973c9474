#pragma once
#include <functional>
#include <string>
#include <unordered_map>

// Picks attachment names of a family "vlt<base>", "vlt-1<base>", "vlt-2<base>"
// ... : always the first one that is free. A page with thousands of pictures
// of one file name would make each new name walk the whole family again, so
// the namer remembers per base where the free names may begin. That hint only
// ever skips names known to be taken; whoever frees a name says so (Freed),
// and whoever empties the maps forgets all hints (Clear).
class CAttachmentNamer {
public:
    // Whether a candidate name is in use; asked under the owner's lock.
    using Taken = std::function<bool(const std::string&)>;

    // The first free name of `strBase`'s family.
    std::string Pick(const std::string& strBase, const Taken& taken);
    // `strName` may be free again: hints past it are lowered.
    void Freed(const std::string& strName);
    void Clear() { m_firstMaybeFree.clear(); }

private:
    // Base -> index of the first name that may be free (0 is "vlt<base>").
    std::unordered_map<std::string, int> m_firstMaybeFree;

    void Lower(const std::string& strBase, int nIndex);
};
