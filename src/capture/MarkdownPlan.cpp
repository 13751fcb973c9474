// What a Markdown export writes, taken from the notebook: safe and unique
// names, the page bytes with their pictures pointed into assets/, and the
// pictures themselves.
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <ctime>
#include <map>
#include <set>

#include "capture/MarkdownExport.h"
#include "capture/NoteText.h"
#include "capture/PageExport.h"
#include "capture/PageSplice.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/Charset.h"

namespace markdown {
namespace {

// Length of the UTF-8 sequence starting at s[i], 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 4 : 0;
    if (!n || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

bool IsReservedDevice(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           std::isdigit(static_cast<unsigned char>(base[3]));
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The names taken in one folder, compared without regard to ASCII case: the
// export may well be copied to a system that does not tell them apart.
class CFolderNames {
public:
    void Reserve(const std::string& name) { m_used.insert(Lower(name)); }
    // `base` + `ext`, numbered before the extension until it is free; every
    // extra in `alsoExts` (a file note's .md) has to be free with it.
    std::string Take(const std::string& base, const std::string& ext, const std::string& alsoExt = std::string()) {
        for (unsigned n = 1;; ++n) {
            const std::string stem = n == 1 ? base : base + " (" + std::to_string(n) + ")";
            if (m_used.count(Lower(stem + ext)) || (!alsoExt.empty() && m_used.count(Lower(stem + alsoExt)))) continue;
            Reserve(stem + ext);
            if (!alsoExt.empty()) Reserve(stem + alsoExt);
            return stem;
        }
    }

private:
    std::set<std::string> m_used;
};

std::string IsoUtc(int64_t t) {
    const time_t tt = static_cast<time_t>(t);
    struct tm tmUtc;
    char buf[32];
    if (t <= 0 || !gmtime_r(&tt, &tmUtc) || !std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tmUtc))
        return std::string();
    return buf;
}

bool IsPage(const std::string& ext) {
    return SameType(ext, "htm") || SameType(ext, "html") || SameType(ext, "xhtml") || SameType(ext, "shtml");
}

class CPlanner {
public:
    CPlanner(CClipVaultDoc& doc, CMarkdownPlan& plan) : m_doc(doc), m_plan(plan) {}

    void AddCategory(CNoteCata& cata, const std::string& folder, int nDepth, CFolderNames& names) {
        for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
            if (it.value()) AddNote(*it.value(), folder, nDepth, names);
        for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
            if (!it.value()) continue;
            const std::string sub = names.Take(SafeName(charset::AnsiToUtf8(it.value()->m_strName)), std::string());
            const std::string path = folder.empty() ? sub : folder + "/" + sub;
            m_plan.m_folders.push_back(path);
            CFolderNames inner;
            AddCategory(*it.value(), path, nDepth + 1, inner);
        }
    }

    void AddNote(CNote& note, const std::string& folder, int nDepth, CFolderNames& names) {
        CMarkdownNote out;
        std::string assets;
        for (int i = 0; i < nDepth; ++i) assets += "../";
        out.m_strAssets = assets + "assets/";
        out.m_strTitle = charset::AnsiToUtf8(note.m_strName);
        out.m_strSource = charset::AnsiToUtf8(note.m_strSource);
        out.m_strCaptured = IsoUtc(note.m_tmDate);
        out.m_strCategory = CategoryPath(note.m_pParent);
        const std::string base = SafeName(out.m_strTitle);
        std::vector<uint8_t> content;
        {
            std::lock_guard<std::mutex> lock(note.m_dataLock);
            if (note.m_nContentType == kContentHeld) content = note.Content();
        }
        const std::string prefix = folder.empty() ? std::string() : folder + "/";
        if (note.m_nContentType != kContentHeld || (content.empty() && !note.m_strSource.empty())) {
            out.m_strKind = "link";
        } else if (IsPage(note.m_strExt)) {
            out.m_strKind = "page";
            std::vector<std::string> pointed;
            // What a browser loads, then what a reader follows: a link to a
            // kept picture or file goes to its copy as well.
            std::vector<uint8_t> page = PointAttachmentsInto(content, out.m_strAssets, HeldFn(), pointed);
            page = PointScannedLinks(page, out.m_strAssets, HeldFn(), pointed);
            for (const std::string& name : pointed) AddAsset(name);
            out.m_strBody = notetext::PageBytesToUtf8(page);
        } else if (SameType(note.m_strExt, "txt")) {
            out.m_strKind = "text";
            out.m_strBody = notetext::PageBytesToUtf8(content);
        } else {
            out.m_strKind = "file";
            const std::string ext = note.m_strExt.empty() ? std::string() : "." + SafeName(Lower(note.m_strExt), 16);
            const std::string stem = names.Take(base, ext, ".md");
            out.m_strFile = stem + ext;
            out.m_fileBytes = std::move(content);
            out.m_strPath = prefix + stem + ".md";
            m_plan.m_notePaths.emplace_back(note.m_nID, out.m_strPath);
            m_plan.m_notes.push_back(std::move(out));
            return;
        }
        out.m_strPath = prefix + names.Take(base, ".md") + ".md";
        m_plan.m_notePaths.emplace_back(note.m_nID, out.m_strPath);
        m_plan.m_notes.push_back(std::move(out));
    }

private:
    std::function<bool(const std::string&)> HeldFn() {
        return [this](const std::string& name) { return UsableFileName(name) && m_doc.FindAttachment(name); };
    }
    void AddAsset(const std::string& name) {
        if (!m_assetNames.insert(name).second) return;
        CNoteAttatch* pAttach = m_doc.FindAttachment(name);
        if (!pAttach) return;
        m_plan.m_assets.emplace_back(name, std::make_shared<const std::vector<uint8_t>>(pAttach->Data()));
    }
    std::string CategoryPath(const CNoteCata* pCata) const {
        std::string path;
        for (; pCata && pCata != &m_doc.m_rootCata; pCata = pCata->m_pParent)
            path = charset::AnsiToUtf8(pCata->m_strName) + (path.empty() ? "" : "/" + path);
        return path;
    }

    CClipVaultDoc& m_doc;
    CMarkdownPlan& m_plan;
    std::set<std::string> m_assetNames;
};

}  // namespace

std::string SafeName(const std::string& strUtf8, size_t nMaxBytes) {
    static const std::string kReplaced = "/\\:*?\"<>|#^[]";
    std::string out;
    for (size_t i = 0; i < strUtf8.size();) {
        const size_t n = Utf8Length(strUtf8, i);
        const unsigned char c = static_cast<unsigned char>(strUtf8[i]);
        if (!n) {
            out += '_';
            ++i;
            continue;
        }
        if (n == 1 && (c < 0x20 || c == 0x7F || kReplaced.find(static_cast<char>(c)) != std::string::npos)) out += '_';
        else if (out.size() + n <= nMaxBytes) out.append(strUtf8, i, n);
        else break;
        i += n;
    }
    // Blanks and dots at either end: hidden files, "..", and names some
    // systems quietly cut.
    const size_t first = out.find_first_not_of(" .");
    out = first == std::string::npos ? std::string() : out.substr(first, out.find_last_not_of(" .") - first + 1);
    if (out.empty()) out = "untitled";
    if (IsReservedDevice(out)) out.insert(0, "_");
    return out;
}

std::string NewExportFolder(const std::string& strParent, const std::string& strNameUtf8) {
    const std::string base = strParent + (strParent.empty() || strParent.back() == '/' ? "" : "/") + SafeName(strNameUtf8);
    struct stat st;
    for (unsigned n = 1;; ++n) {
        const std::string path = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        if (::lstat(path.c_str(), &st) != 0) return path;
    }
}

CMarkdownPlan PlanExport(CClipVaultDoc& doc, CNote* pNote, CNoteCata* pCata) {
    CMarkdownPlan plan;
    CPlanner planner(doc, plan);
    CFolderNames names;
    // The pictures' folder sits among the top names.
    names.Reserve("assets");
    if (pNote) planner.AddNote(*pNote, std::string(), 0, names);
    else if (pCata) planner.AddCategory(*pCata, std::string(), 0, names);
    return plan;
}

}  // namespace markdown
