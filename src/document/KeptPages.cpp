#include "document/KeptPages.h"

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

}  // namespace

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
    std::string key = PageKey(note.m_strSource);
    if (key.empty()) return;
    std::vector<CNote*>& notes = m_notes[std::move(key)];
    const auto newer = [](const CNote* a, const CNote* b) {
        if (a->m_tmDate != b->m_tmDate) return a->m_tmDate > b->m_tmDate;
        return a->m_nID > b->m_nID;
    };
    notes.insert(std::upper_bound(notes.begin(), notes.end(), &note, newer), &note);
}

const std::vector<CNote*>& CKeptPages::Notes(const std::string& strAddress) const {
    static const std::vector<CNote*> kNone;
    const std::string key = PageKey(strAddress);
    if (key.empty()) return kNone;
    const auto it = m_notes.find(key);
    return it == m_notes.end() ? kNone : it->second;
}

CNote* CKeptPages::Newest(const std::string& strAddress) const {
    const std::vector<CNote*>& notes = Notes(strAddress);
    return notes.empty() ? nullptr : notes.front();
}

std::string CKeptPages::PageKey(const std::string& strAddress) {
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

