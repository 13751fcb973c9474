#include "capture/KeptPageFinder.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Url.h"

#include <algorithm>
#include <cstring>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendEscape(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// One spelling for path and query: an escape of a byte that means nothing
// to the address's structure stands for the byte, and every byte that is no
// printable ASCII is escaped. Escaped delimiters stay escaped ("a%2Fb" is
// not "a/b").
std::string CanonicalEscapes(const std::string& text) {
    static const char kDelimiters[] = ":/?#[]@!$&'()*+,;=%";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            const auto decoded = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
            if (decoded != 0 && std::strchr(kDelimiters, decoded)) {
                AppendEscape(out, decoded);
                continue;
            }
            c = decoded;
        }
        if (c <= 0x20 || c >= 0x7F || c == '%') AppendEscape(out, c);
        else out += static_cast<char>(c);
    }
    return out;
}

bool IsKept(const CNote& note) {
    return note.m_nStatus.load() == kStatusDone && note.m_nContentType == kContentHeld && !note.m_strSource.empty();
}

void Collect(const CNoteCata& cata, std::vector<CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.push_back(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) Collect(*it.value(), out);
}

}  // namespace

std::string CKeptPageFinder::AddressKey(const std::string& strAddress) {
    const size_t b = strAddress.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    const size_t e = strAddress.find_last_not_of(" \t\r\n");
    url::CUrlParts parts;
    if (!url::CrackUrl(strAddress.substr(b, e - b + 1), parts)) return std::string();
    const std::string& scheme = parts.m_strScheme;
    if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "file") return std::string();
    parts.m_strFragment.clear();
    parts.m_strPath = CanonicalEscapes(parts.m_strPath);
    parts.m_strQuery = CanonicalEscapes(parts.m_strQuery);
    return url::BuildUrl(parts);
}

CNote* CKeptPageFinder::Find(const std::string& strAddress, const CNote* pPrefer) {
    const std::string key = AddressKey(strAddress);
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
        std::string key = AddressKey(p->m_strSource);
        if (!key.empty()) m_notes[std::move(key)].push_back(p);
    }
    for (auto& entry : m_notes) {
        std::sort(entry.second.begin(), entry.second.end(), [](const CNote* a, const CNote* b) {
            if (a->m_tmDate != b->m_tmDate) return a->m_tmDate > b->m_tmDate;
            return a->m_nID > b->m_nID;
        });
    }
}
