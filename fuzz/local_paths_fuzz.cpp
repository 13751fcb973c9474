// Names from a page or a notebook turned into paths on disk: which local
// files a page may read, where a note's working copy and its files go, and
// what an export writes. Whatever the names, a read stays inside the page's
// folder (never a parent, /proc, /sys or a device) and every write stays in
// the working folder or beside the export's target.
//
// The first byte picks the case; the rest is split at line breaks into the
// names the case uses.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "capture/LinkHelpers.h"
#include "capture/LocalReadRules.h"
#include "capture/ModernCapture.h"
#include "capture/ModernNames.h"
#include "capture/PageExport.h"
#include "document/ClipVaultDoc.h"
#include "platform/TempFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Real(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

bool Below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

bool IsSystem(const std::string& path) {
    for (const char* sys : {"/proc", "/sys", "/dev"})
        if (path == sys || Below(path, sys)) return true;
    return false;
}

// A tree with every kind of trap a page can name, made once per process.
struct Tree {
    std::string root, site, page, home, homePage, work, exportDir;
    std::set<std::string> fixed;  // entries that belong to the tree

    Tree() {
        // Not on /dev/shm: nothing below /dev is ever a page's folder.
        const char* tmp = getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/local_paths_fuzz.XXXXXX";
        fuzz::Check(mkdtemp(templ.data()) != nullptr, "work folder made");
        root = Real(templ);
        fuzz::Check(!root.empty(), "work folder resolves");
        site = root + "/site";
        page = site + "/page.htm";
        work = root + "/work";
        exportDir = root + "/export";
        // A page saved right in the home folder, beside the user's keys.
        home = root + "/home";
        homePage = home + "/page.htm";
        fs::create_directories(home + "/page_files");
        fs::create_directories(home + "/.ssh");
        Put(homePage);
        Put(home + "/page_files/pic.gif");
        Put(home + "/.ssh/id_rsa");
        fs::create_symlink(home + "/.ssh", home + "/page_files/keys");
        setenv("HOME", home.c_str(), 1);
        fs::create_directories(site + "/page_files/sub");
        fs::create_directories(root + "/outside");
        fs::create_directories(work);
        fs::create_directories(exportDir);
        Put(root + "/outside/secret.txt");
        Put(page);
        Put(site + "/page_files/pic.gif");
        Put(site + "/page_files/sub/style.css");
        Put(site + "/plain.gif");
        mkfifo((site + "/fifo").c_str(), 0600);
        fs::create_symlink(root + "/outside/secret.txt", site + "/out-link");
        fs::create_symlink(root + "/outside", site + "/out-dir");
        fs::create_symlink("/proc/self", site + "/proc-link");
        fs::create_symlink("/dev/zero", site + "/dev-link");
        fs::create_symlink("/", site + "/root-link");
        fs::create_symlink("loop", site + "/loop");
        fs::create_symlink("page_files/pic.gif", site + "/in-link");
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
            fixed.insert(it->path().string());
        tempfiles::SetTempRoot(work);
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void Put(const std::string& path) { fuzz::WriteFile(path, reinterpret_cast<const uint8_t*>("x"), 1); }

    // Everything written since the tree was made must lie below `allowed`;
    // it is removed again for the next input.
    void CheckWrites(const std::string& allowed) {
        std::vector<std::string> extra;
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
            const std::string p = it->path().string();
            if (fixed.count(p)) continue;
            fuzz::Check(Below(p, allowed), "written only inside the folder it belongs to");
            extra.push_back(p);
        }
        for (const std::string& p : extra) {
            std::error_code ec;
            fs::remove_all(p, ec);
        }
    }
};

std::vector<std::string> Fields(const uint8_t* data, size_t size) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') out.emplace_back();
        else out.back() += static_cast<char>(data[i]);
    }
    return out;
}

void CheckRead(const std::string& ref, const std::string& folder) {
    for (bool bDecode : {false, true}) {
        const std::string real = localread::PathToRead(localread::PathOfReference(ref, bDecode), folder);
        if (real.empty()) continue;
        fuzz::Check(Below(real, folder), "a read stays below the page's folder");
        fuzz::Check(!IsSystem(real), "no kernel or device file");
        fuzz::Check(Real(real) == real, "the path returned is resolved");
        struct stat st;
        fuzz::Check(lstat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode), "only regular files");
    }
}

// A reference of the page, resolved as each capture resolves it.
void LocalRead(Tree& t, const std::vector<std::string>& f) {
    const std::string folder = localread::PageFolder(t.page);
    fuzz::Check(folder == t.site, "the page's folder is its own");
    const std::string companion = localread::PageFolder(t.homePage);
    fuzz::Check(companion == t.home + "/page_files", "a page in the home folder has only its companion");
    for (const std::string& ref : f) {
        CheckRead(ref, folder);
        CheckRead(t.site + "/" + ref, folder);
        CheckRead(ResolveReference(modernurl::FileUrlFor(t.page), ref), folder);
        CheckRead(t.home + "/" + ref, companion);
        CheckRead(ResolveReference(modernurl::FileUrlFor(t.homePage), ref), companion);
        // A page somewhere named by the input: its folder is never the root,
        // a system folder or a broad one.
        const std::string other = localread::PageFolder(ref);
        if (!other.empty()) {
            fuzz::Check(other != "/" && other.find('/', 1) != std::string::npos, "never the root or below it");
            fuzz::Check(!IsSystem(other), "never a system folder");
            fuzz::Check(other != t.home && !Below(t.home, other), "never the home folder or one above it");
            fuzz::Check(Real(other) == other, "a page's folder is resolved");
        }
    }
}

// A note's working copy and its files, named by the notebook.
void WorkingCopy(Tree& t, const std::vector<std::string>& f) {
    {
        CClipVaultDoc doc;
        CNote* n = doc.m_rootCata.AddNewNote("n");
        n->m_nContentType = kContentHeld;
        n->m_strExt = f[0];
        n->SetContent(std::vector<uint8_t>(f[0].begin(), f[0].end()));
        for (size_t i = 1; i < f.size(); ++i) {
            if (CNoteAttatch* a = doc.MakeAttachment(f[i], "x", std::vector<uint8_t>{'a'}))
                n->m_attachNames.push_back(a->m_strName);
            n->m_attachNames.push_back(f[i]);
        }
        const std::string path = n->GetWorkPath();
        const std::string folder = doc.GetWorkFolder(true);
        if (!path.empty()) {
            fuzz::Check(Below(path, t.work), "the working copy is in the working folder");
            fuzz::Check(path.rfind('/') == folder.size() || path.rfind('/') + 1 == folder.size(),
                        "the working copy is directly in the notebook's folder");
            n->WriteWorkingCopy();
        }
        // The names a capture gives files it takes from an address.
        for (const std::string& s : f)
            fuzz::Check(UsableFileName(ModernAttachmentName(s, s, static_cast<int>(s.size() % 3))),
                        "a name from an address is a plain file name");
    }
    t.CheckWrites(t.work);
}

// A note written out under a name the user typed.
void Export(Tree& t, const std::vector<std::string>& f) {
    if (f[0].empty() || f[0].find('/') != std::string::npos || f[0].find('\0') != std::string::npos ||
        f[0] == "." || f[0] == "..")
        return;
    {
        CClipVaultDoc doc;
        std::vector<std::string> listed;
        std::string page;
        for (size_t i = 1; i < f.size(); ++i) {
            doc.MakeAttachment(f[i], "x", std::vector<uint8_t>(f[i].begin(), f[i].end()));
            listed.push_back(f[i]);
            page += "<img src=\"" + f[i] + "\"><link rel=stylesheet href='" + f[i] + "'>";
        }
        ExportPage(doc, std::vector<uint8_t>(page.begin(), page.end()), listed, t.exportDir + "/" + f[0]);
    }
    t.CheckWrites(t.exportDir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InstallSilentHost();
    static Tree tree;
    if (size < 1 || size > 4096) return 0;
    const std::vector<std::string> fields = Fields(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: LocalRead(tree, fields); break;
    case 1: WorkingCopy(tree, fields); break;
    default: Export(tree, fields); break;
    }
    return 0;
}
