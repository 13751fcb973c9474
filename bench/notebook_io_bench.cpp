// Notebook open and save throughput against the system's own tools on the
// same file in the same run: `cat FILE >/dev/null` for reading and
// `cp FILE X && sync` for writing. Open aims at half of cat's rate or more,
// save at no more than 1.25 times the time of cp and sync.
//
//   notebook_io_bench [--notes N] [--mb M] [--rounds R] [--dir FOLDER] [--keep]
//   notebook_io_bench --from FILE.vlt [--rounds R] [--dir FOLDER]
//
// The built notebook is mostly attachments with small pages; --from times a
// notebook made elsewhere instead (make_notebook's text-heavy ones), left
// where it is. Saves and copies still go to FOLDER.
// --keep leaves FOLDER/bench.vlt behind for profiling the open on its own.
//
// Then the same notebook encrypted: its open (less the key derivation,
// timed on its own) and save against the plain ones, aiming at 1.3 times
// or less.
//
// The page cache cannot be dropped without root, so every figure is taken
// with the file cached (each side reads it right after something else did).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "BenchHost.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "notebook_io_bench: %s\n", what.c_str());
    std::exit(1);
}

// Random bytes compress and compare like image data; a cheap generator keeps
// building 300 MB from dominating the run.
struct Rng {
    uint64_t s;
    uint64_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    size_t Between(size_t lo, size_t hi) { return lo + Next() % (hi - lo + 1); }
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> b(n);
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            const uint64_t v = Next();
            std::memcpy(&b[i], &v, 8);
        }
        for (; i < n; ++i) b[i] = static_cast<uint8_t>(Next());
        return b;
    }
};

// Mostly small images (1-200 KB) with a few files of several megabytes, as
// captured pages collect them; each note is a page naming a few of them.
void Build(CClipVaultDoc& doc, int nNotes, uint64_t nTargetBytes) {
    doc.OnNewDocument();
    Rng rng{0x9E3779B97F4A7C15ull};
    std::vector<std::string> names;
    uint64_t total = 0;
    for (int i = 0; total < nTargetBytes; ++i) {
        const size_t size = i % 100 == 7 ? rng.Between(2u << 20, 8u << 20) : rng.Between(1024, 200 * 1024);
        CNoteAttatch* p = doc.MakeAttachment("vltimg" + std::to_string(i) + ".jpg",
                                             "http://example.test/img/" + std::to_string(i) + ".jpg", rng.Bytes(size));
        names.push_back(p->m_strName);
        total += size;
    }
    const int nCategories = std::max(1, nNotes / 200);
    std::vector<CNoteCata*> catas;
    for (int c = 0; c < nCategories; ++c) catas.push_back(doc.m_rootCata.AddNewSubCata("topic " + std::to_string(c)));
    for (int n = 0; n < nNotes; ++n) {
        CNote* p = catas[n % nCategories]->AddNewNote("page " + std::to_string(n));
        p->m_strExt = "htm";
        p->m_nSourceKind = kSourceWebPage;
        p->m_strSource = "http://example.test/page/" + std::to_string(n) + ".html";
        std::string html = "<html><head><title>page " + std::to_string(n) + "</title></head><body>";
        for (int k = 0, nImages = static_cast<int>(rng.Between(1, 3)); k < nImages; ++k) {
            const std::string& a = names[rng.Next() % names.size()];
            html += "<p>paragraph text around an image</p><img src=\"" + a + "\">";
            p->m_attachNames.push_back(a);
        }
        html.append(rng.Between(500, 3000), 'x');
        html += "</body></html>";
        p->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
    }
}

double Seconds(const std::function<void()>& fn) {
    const auto t0 = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Shell(const std::string& cmd) {
    if (std::system(cmd.c_str()) != 0) Die("command failed: " + cmd);
}

// Paths go to the shell inside single quotes.
std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) Die("cannot stat " + path);
    return static_cast<uint64_t>(st.st_size);
}

struct Sealed {
    double tKey = 0, tOpen = 0, tSave = 0, tPlainWhole = 0;
};

// A plain open leaves pages and attachments in the file; an encrypted one
// must read and authenticate every byte before anything shows. This brings
// every block of a plain notebook in, for the fair comparison.
void ReadEveryBlock(CClipVaultDoc& doc) {
    std::vector<const CNoteCata*> todo{&doc.m_rootCata};
    while (!todo.empty()) {
        const CNoteCata* c = todo.back();
        todo.pop_back();
        for (auto it = c->m_notes.begin(); it != c->m_notes.end(); ++it) it.value()->Content();
        for (auto it = c->m_subCatas.begin(); it != c->m_subCatas.end(); ++it) todo.push_back(it.value());
    }
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it)
        if (!it.value()->LoadData()) Die("an attachment could not be read");
}

struct FixedPassphrase : IPassphraseAsker {
    bool AskPassphrase(const std::string&, int nAttempt, std::string& out) override {
        out = "bench passphrase";
        return nAttempt == 1;
    }
};

// Encrypts the notebook into `file` and times its opens and saves; the key
// derivation is timed apart, since it costs the same for any notebook.
Sealed TimeSealed(CClipVaultDoc& doc, const std::string& file, int nRounds) {
    std::vector<double> tWhole;
    for (int r = 0; r < nRounds; ++r) {
        CClipVaultDoc plain;
        tWhole.push_back(Seconds([&] {
            if (!plain.OnOpenDocument(file)) Die("plain open failed");
            ReadEveryBlock(plain);
        }));
    }
    doc.SetPathName(file);
    if (!doc.Encrypt("bench passphrase")) Die("encrypting failed");
    const vault::KdfLimits limits = vault::ModerateLimits();
    uint8_t salt[vault::kSaltBytes] = {};
    std::vector<double> tKey, tOpen, tSave;
    FixedPassphrase asker;
    for (int r = 0; r < nRounds; ++r) {
        tKey.push_back(Seconds([&] {
            if (!vault::CVaultKey::Derive("bench passphrase", salt, limits)) Die("no key");
        }));
        CClipVaultDoc back;
        back.SetPassphraseAsker(&asker);
        tOpen.push_back(Seconds([&] {
            if (!back.OnOpenDocument(file) || back.m_nLoadError != -1) Die("encrypted open failed");
        }) - tKey.back());
        const std::string again = file + ".again.vlt";
        tSave.push_back(Seconds([&] {
            if (!back.OnSaveDocument(again)) Die("encrypted save failed");
        }));
        std::remove(again.c_str());
        std::printf("encrypted round %d: key %.3f s, open less key %.3f s, save %.3f s\n", r + 1, tKey.back(),
                    tOpen.back(), tSave.back());
        std::fflush(stdout);
    }
    return {Median(tKey), Median(tOpen), Median(tSave), Median(tWhole)};
}

}  // namespace

int main(int argc, char** argv) {
    int nNotes = 10000;
    uint64_t nMegabytes = 300;
    int nRounds = 5;
    std::string dir = ".";
    bool bKeep = false;
    std::string from;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--keep") {
            bKeep = true;
            continue;
        }
        if (i + 1 >= argc) Die("missing value after " + a);
        if (a == "--notes") nNotes = std::atoi(argv[++i]);
        else if (a == "--mb") nMegabytes = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--rounds") nRounds = std::atoi(argv[++i]);
        else if (a == "--dir") dir = argv[++i];
        else if (a == "--from") from = argv[++i];
        else Die("unknown option " + a);
    }
    if (nNotes < 1 || nRounds < 1) Die("--notes and --rounds must be positive");
    PrintingHost printing;
    host::SetMessageHost(&printing);

    const std::string file = from.empty() ? dir + "/bench.vlt" : from;
    const std::string saved = dir + "/bench-saved.vlt";
    const std::string copy = dir + "/bench-copy.vlt";

    CClipVaultDoc doc;
    if (from.empty()) {
        const double tBuild = Seconds([&] { Build(doc, nNotes, nMegabytes << 20); });
        if (!doc.OnSaveDocument(file)) Die("first save failed");
        std::printf("notebook: %d notes, %zu attachments, %.1f MB file (built in %.1f s)\n", nNotes,
                    doc.m_attachments.GetCount(), FileSize(file) / 1048576.0, tBuild);
    } else {
        if (!doc.OnOpenDocument(file) || doc.m_nLoadError != -1) Die("cannot open " + file);
        std::printf("notebook: %s, %zu attachments, %.1f MB file\n", file.c_str(), doc.m_attachments.GetCount(),
                    FileSize(file) / 1048576.0);
    }
    const uint64_t nBytes = FileSize(file);
    std::printf("folder: %s; page cache warm for every measurement (cannot be dropped without root)\n",
                dir.c_str());
    std::fflush(stdout);

    std::vector<double> tOpen, tCat, tSave, tCopy;
    for (int r = 0; r < nRounds; ++r) {
        // Each reader runs right after the other, so both find the file cached.
        tCat.push_back(Seconds([&] { Shell("cat " + Quote(file) + " >/dev/null"); }));
        {
            CClipVaultDoc back;
            tOpen.push_back(Seconds([&] {
                if (!back.OnOpenDocument(file)) Die("open failed");
            }));
            if (back.m_nLoadError != -1) Die("the file read back damaged");
        }
        // Both writers make a new file beside an existing one and sync it.
        Shell("rm -f " + Quote(copy));
        tCopy.push_back(Seconds([&] { Shell("cp " + Quote(file) + " " + Quote(copy) + " && sync"); }));
        // A save over the notebook's own file leaves the old one to its open
        // descriptor; freeing a file of the last round is no part of it.
        Shell("rm -f " + Quote(saved));
        tSave.push_back(Seconds([&] {
            if (!doc.OnSaveDocument(saved)) Die("save failed");
        }));
        if (FileSize(saved) != nBytes) Die("the saved file has another size");
        std::printf("round %d: open %.3f s, cat %.3f s, save %.3f s, cp+sync %.3f s\n", r + 1, tOpen.back(),
                    tCat.back(), tSave.back(), tCopy.back());
        std::fflush(stdout);
    }
    std::remove(copy.c_str());
    const Sealed sealed = TimeSealed(doc, saved, nRounds);
    if (!bKeep && from.empty()) std::remove(file.c_str());
    std::remove(saved.c_str());

    const double mb = nBytes / 1048576.0;
    const double open = mb / Median(tOpen), cat = mb / Median(tCat);
    const double save = mb / Median(tSave), cp = mb / Median(tCopy);
    std::printf("\nmedian of %d rounds, %.1f MB:\n", nRounds, mb);
    std::printf("  %-22s %10s %10s\n", "", "seconds", "MB/s");
    std::printf("  %-22s %10.3f %10.0f\n", "open (notebook)", Median(tOpen), open);
    std::printf("  %-22s %10.3f %10.0f\n", "cat FILE >/dev/null", Median(tCat), cat);
    std::printf("  %-22s %10.3f %10.0f\n", "save (notebook)", Median(tSave), save);
    std::printf("  %-22s %10.3f %10.0f\n", "cp FILE X && sync", Median(tCopy), cp);
    std::printf("\n  open / cat     = %.2f  (target >= 0.50) %s\n", open / cat, open / cat >= 0.5 ? "ok" : "MISSED");
    std::printf("  save time / cp = %.2f  (target <= 1.25) %s\n", Median(tSave) / Median(tCopy),
                Median(tSave) / Median(tCopy) <= 1.25 ? "ok" : "MISSED");
    std::printf("  (MB/s = file size / median time; warm page cache)\n");
    std::printf("\nencrypted, median of %d rounds:\n", nRounds);
    std::printf("  %-22s %10.3f\n", "key derivation", sealed.tKey);
    std::printf("  %-22s %10.3f\n", "open, less the key", sealed.tOpen);
    std::printf("  %-22s %10.3f\n", "save", sealed.tSave);
    std::printf("  %-22s %10.3f\n", "plain open, every block", sealed.tPlainWhole);
    const double openRatio = sealed.tOpen / Median(tOpen), saveRatio = sealed.tSave / Median(tSave);
    std::printf("\n  encrypted open / plain open = %.2f  (target <= 1.30) %s\n", openRatio,
                openRatio <= 1.3 ? "ok" : "MISSED");
    std::printf("  encrypted open / plain open reading every block = %.2f\n", sealed.tOpen / sealed.tPlainWhole);
    std::printf("  encrypted save / plain save = %.2f  (target <= 1.30) %s\n", saveRatio,
                saveRatio <= 1.3 ? "ok" : "MISSED");
    return 0;
}
