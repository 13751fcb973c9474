#include "capture/PageExport.h"

#include <strings.h>
#include <sys/stat.h>

#include <deque>
#include <functional>
#include <set>
#include <utility>

#include "capture/CssRefs.h"
#include "capture/LinkHelpers.h"
#include "capture/ModernCapture.h"
#include "capture/PageScanner.h"
#include "capture/PageSplice.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/FileUtil.h"

namespace {

bool IsUtf16Page(const std::vector<uint8_t>& b) { return b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE; }

bool EndsWith(const std::string& name, const char* ext) {
    const size_t n = std::char_traits<char>::length(ext);
    return name.size() > n && strcasecmp(name.c_str() + name.size() - n, ext) == 0;
}

// A file met only by its name (the note's list, the first rules' reading):
// read as its name says.
int UseByName(const std::string& name) {
    if (EndsWith(name, ".css")) return kPointedStylesheet;
    if (EndsWith(name, ".htm") || EndsWith(name, ".html") || EndsWith(name, ".xhtml") || EndsWith(name, ".svg"))
        return kPointedFrame;
    return kPointedFile;
}

// The files a page uses, followed down to the last: each written into the
// folder once, a stylesheet's and a frame's files found in their bytes.
class CPageExport {
public:
    CPageExport(CClipVaultDoc& doc, std::string folder, std::string prefix)
        : m_doc(doc), m_folder(std::move(folder)), m_prefix(std::move(prefix)) {}

    bool Held(const std::string& name) { return UsableFileName(name) && m_doc.FindAttachment(name); }
    std::function<bool(const std::string&)> HeldFn() {
        return [this](const std::string& name) { return Held(name); };
    }
    void Reach(const std::string& name, int nUse) {
        if (Held(name) && m_seen.insert({name, nUse}).second) m_queue.push_back({name, nUse});
    }
    void Reach(const std::vector<CPointedFile>& used, bool bInFolder) {
        // A transformation of a frame page in the folder shows its output
        // there, beside its files: read as it is.
        for (const CPointedFile& f : used)
            Reach(f.m_strName, bInFolder && f.m_nUse == kPointedTransform ? kPointedFrame : f.m_nUse);
    }
    void Run() {
        while (!m_queue.empty()) {
            const CPointedFile next = m_queue.front();
            m_queue.pop_front();
            Write(next);
        }
    }

private:
    void Write(const CPointedFile& file) {
        CNoteAttatch* pAttach = m_doc.FindAttachment(file.m_strName);
        if (!pAttach) return;
        const std::string path = m_folder + "/" + file.m_strName;
        const std::vector<uint8_t>& data = pAttach->Data();
        const bool bParse = !TooDeepToParse(data.data(), data.size());
        std::vector<CPointedFile> used;
        if (file.m_nUse == kPointedTransform && bParse) {
            // Its output is a page at the page's own place: what it shows
            // is pointed into the folder like the page's own references.
            const std::vector<uint8_t> out = PointFilesInto(data, m_prefix, HeldFn(), true, used);
            if (out != data && fileutil::WriteWholeFile(path, out.data(), out.size(), fileutil::kNoFollow))
                m_rewritten.insert(file.m_strName);
            Reach(used, false);
        } else if (file.m_nUse == kPointedFrame && bParse) {
            PointFilesInto(data, std::string(), HeldFn(), false, used);
            Reach(used, true);
        } else if (file.m_nUse == kPointedStylesheet) {
            for (const CCssRef& r : FindCssRefs(reinterpret_cast<const char*>(data.data()), data.size()))
                Reach(r.m_strValue.substr(0, r.m_strValue.find('#')),
                      r.m_nKind == kCssImport ? kPointedStylesheet : kPointedFile);
        }
        if (!m_rewritten.count(file.m_strName)) pAttach->WriteIfMissing(path);
    }

    CClipVaultDoc& m_doc;
    const std::string m_folder, m_prefix;
    std::deque<CPointedFile> m_queue;
    std::set<std::pair<std::string, int>> m_seen;
    std::set<std::string> m_rewritten;  // an XSL's copy that shows its output from the page's place
};

// The folder "%s%s.files" beside the target, made when missing; empty when
// there is none to write into.
std::string FilesFolderFor(const std::string& strPath, std::string& folderName) {
    const size_t slash = strPath.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : strPath.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? strPath : strPath.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    folderName = base + ".files";
    const std::string folder = dir + folderName;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 ? ::mkdir(folder.c_str(), 0755) != 0 : !S_ISDIR(st.st_mode))
        return std::string();
    return folder;
}

}  // namespace

bool UsableFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::vector<uint8_t> PointScannedLinks(const std::vector<uint8_t>& page, const std::string& strPrefix,
                                       const std::function<bool(const std::string&)>& fnHeld,
                                       std::vector<std::string>& pointed) {
    const bool bUtf16 = IsUtf16Page(page);
    const std::string text = bUtf16 ? PageBytesToText(page) : std::string(page.begin(), page.end());
    // Only the links as written matter here; the base just has to be
    // absolute for the scanner to accept them.
    CPageScanner scanner;
    scanner.ScanPage(text, text.size(), "/files/page.htm", true);
    bool bReplaced = false;
    for (auto& item : scanner.m_items) {
        if (!fnHeld(item->m_strRaw)) continue;
        pointed.push_back(item->m_strRaw);
        item->m_bReplace = 1;
        item->m_strReplace = strPrefix + item->m_strRaw;
        bReplaced = true;
    }
    if (!bReplaced) return page;
    std::vector<uint8_t> out(text.begin(), text.end());
    scanner.RewritePage(out);
    return bUtf16 ? TextToUtf16Page(std::string(out.begin(), out.end())) : out;
}

bool ExportPage(CClipVaultDoc& doc, const std::vector<uint8_t>& content, const std::vector<std::string>& listed,
                const std::string& strPath) {
    std::string folderName;
    const std::string folder = FilesFolderFor(strPath, folderName);
    if (folder.empty()) return ::WriteWholeFile(strPath, content);
    const std::string prefix = "./" + folderName + "/";
    CPageExport files(doc, folder, prefix);

    // What a browser follows, as it finds it.
    std::vector<CPointedFile> used;
    std::vector<uint8_t> out = PointFilesInto(content, prefix, files.HeldFn(), false, used);
    files.Reach(used, false);

    // Then whatever else the first rules' reading takes for a link, as it
    // stands in the page.
    std::vector<std::string> scanned;
    out = PointScannedLinks(out, prefix, files.HeldFn(), scanned);
    for (const std::string& name : scanned) files.Reach(name, UseByName(name));

    // Every file of the note goes along, with what it refers to.
    for (const std::string& name : listed) files.Reach(name, UseByName(name));
    files.Run();
    return ::WriteWholeFile(strPath, out);
}
