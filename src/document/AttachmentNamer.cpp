#include "document/AttachmentNamer.h"

namespace {

std::string NameAt(const std::string& base, int index) {
    return index == 0 ? "vlt" + base : "vlt-" + std::to_string(index) + base;
}

}  // namespace

std::string CAttachmentNamer::Pick(const std::string& strBase, const Taken& taken) {
    auto it = m_firstMaybeFree.find(strBase);
    int index = it == m_firstMaybeFree.end() ? 0 : it->second;
    std::string candidate = NameAt(strBase, index);
    while (taken(candidate)) candidate = NameAt(strBase, ++index);
    // The name found is not taken yet: the caller may still drop it.
    if (index > 0) m_firstMaybeFree[strBase] = index;
    return candidate;
}

void CAttachmentNamer::Freed(const std::string& strName) {
    if (strName.compare(0, 3, "vlt") != 0) return;
    Lower(strName.substr(3), 0);
    // "vlt-12x.png" may be number 12 of "x.png" or number 1 of "2x.png":
    // both families may have a free name there now.
    if (strName.size() < 5 || strName[3] != '-' || strName[4] == '0') return;
    int index = 0;
    for (size_t i = 4; i < strName.size() && i < 13 && strName[i] >= '0' && strName[i] <= '9'; ++i) {
        index = index * 10 + (strName[i] - '0');
        Lower(strName.substr(i + 1), index);
    }
}

void CAttachmentNamer::Lower(const std::string& strBase, int nIndex) {
    auto it = m_firstMaybeFree.find(strBase);
    if (it == m_firstMaybeFree.end() || it->second <= nIndex) return;
    if (nIndex == 0) m_firstMaybeFree.erase(it);
    else it->second = nIndex;
}
