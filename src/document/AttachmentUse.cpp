#include "document/AttachmentUse.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"

#include <mutex>

namespace {

const char kPrefix[] = "vlt";
constexpr size_t kPrefixLen = 3;

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

std::string PercentEscaped(const std::string& s, const char* digits) {
    std::string out;
    for (unsigned char c : s) {
        if (Unreserved(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string AmpersandsAsEntities(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

// The bytes as text in the process code page: a page in UTF-16 (either byte
// order, with its mark) is converted, anything else is taken as it is.
std::string AsText(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return charset::Utf16LeToAnsi(bytes.data() + 2, bytes.size() - 2);
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        std::vector<uint8_t> le(bytes.begin() + 2, bytes.end());
        for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
        return charset::Utf16LeToAnsi(le.data(), le.size());
    }
    return std::string(bytes.begin(), bytes.end());
}

std::string LowerExtension(const std::string& strName) {
    const size_t dot = strName.rfind('.');
    if (dot == std::string::npos) return std::string();
    return LowerAscii(strName.substr(dot + 1));
}

}  // namespace

CAttachmentNameFinder::CAttachmentNameFinder(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (name.empty()) continue;
        for (const std::string& spelling : {name, PercentEscaped(name, "0123456789ABCDEF"),
                                            PercentEscaped(name, "0123456789abcdef"), AmpersandsAsEntities(name)}) {
            if (!m_spellings.emplace(spelling, name).second) continue;
            if (spelling.compare(0, kPrefixLen, kPrefix) == 0) m_lengths.insert(spelling.size());
            else m_others.push_back(spelling);
        }
    }
}

void CAttachmentNameFinder::FindIn(const std::vector<uint8_t>& bytes, std::set<std::string>& found) const {
    if (m_spellings.empty() || bytes.empty()) return;
    FindInText(AsText(bytes), found);
}

void CAttachmentNameFinder::FindInText(const std::string& text, std::set<std::string>& found) const {
    if (!m_lengths.empty()) {
        for (size_t at = text.find(kPrefix); at != std::string::npos; at = text.find(kPrefix, at + 1)) {
            for (size_t len : m_lengths) {
                if (at + len > text.size()) break;
                auto it = m_spellings.find(text.substr(at, len));
                if (it != m_spellings.end()) found.insert(it->second);
            }
        }
    }
    for (const std::string& spelling : m_others)
        if (text.find(spelling) != std::string::npos) found.insert(m_spellings.at(spelling));
}

bool AttachmentMayReferToOthers(const std::string& strName) {
    static const std::set<std::string> kinds = {"css", "htm", "html", "shtml", "shtm", "xhtml", "xht", "xml",
                                                "xsl", "xslt", "svg", "js",   "mjs",   "htc",  "xls"};
    return kinds.count(LowerExtension(strName)) != 0;
}

namespace {

// Every note of the tree: what it lists and what its page names.
// Pages still in the notebook's file are read into `scratch` one after the
// other and not kept. False when a page could not be read: what it names
// is then unknown.
bool CollectFromNotes(const CNoteCata& cata, const CAttachmentNameFinder& finder, std::set<std::string>& found,
                      std::vector<uint8_t>& scratch) {
    bool bComplete = true;
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) {
        const CNote* pNote = it.value();
        if (!pNote) continue;
        // A worker may still change its note's page and list.
        std::lock_guard<std::mutex> guard(pNote->m_dataLock);
        found.insert(pNote->m_attachNames.begin(), pNote->m_attachNames.end());
        if (const std::vector<uint8_t>* pBytes = pNote->ContentForScan(scratch)) finder.FindIn(*pBytes, found);
        else bComplete = false;
    }
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (it.value() && !CollectFromNotes(*it.value(), finder, found, scratch)) bComplete = false;
    return bComplete;
}

}  // namespace

bool CollectAttachmentsInUse(CClipVaultDoc& doc, std::unordered_set<std::string>& inUse) {
    inUse.clear();
    std::vector<std::string> names;
    {
        std::lock_guard<std::recursive_mutex> guard(doc.m_lock);
        for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it) names.push_back(it.key());
    }
    const CAttachmentNameFinder finder(names);
    std::set<std::string> found;
    std::vector<uint8_t> scratch;
    bool bComplete = CollectFromNotes(doc.m_rootCata, finder, found, scratch);

    // What the kept stylesheets and frame pages use in turn.
    std::lock_guard<std::recursive_mutex> guard(doc.m_lock);
    std::vector<std::string> todo(found.begin(), found.end());
    while (!todo.empty()) {
        const std::string name = std::move(todo.back());
        todo.pop_back();
        CNoteAttatch* pAttach = doc.FindAttachment(name);
        if (!pAttach || !inUse.insert(name).second || !AttachmentMayReferToOthers(name)) continue;
        if (!pAttach->LoadData()) {
            bComplete = false;
            continue;
        }
        std::set<std::string> more;
        finder.FindIn(pAttach->Data(), more);
        for (const std::string& m : more)
            if (!inUse.count(m)) todo.push_back(m);
    }
    return bComplete;
}
