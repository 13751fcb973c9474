#include "SearchFromFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchHost.h"
#include "capture/NoteIndex.h"
#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

namespace benchsearch {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& text) {
    std::fprintf(stderr, "search_bench: %s\n", text.c_str());
    std::exit(1);
}

template <typename F>
double Seconds(F&& fn) {
    const auto t0 = Clock::now();
    fn();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Resident and peak memory of this process, in MB.
std::pair<double, double> Memory() {
    std::ifstream in("/proc/self/status");
    std::string line;
    double rss = 0, hwm = 0;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atof(line.c_str() + 6) / 1024;
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::atof(line.c_str() + 6) / 1024;
    }
    return {rss, hwm};
}

struct CQuery {
    const char* pText;
    bool bIgnoreCase;
};
// An ordinary word, a rarer one, a phrase, the most common word, a miss,
// ignoring case, and one and two letters (no trigram of their own).
const CQuery kQueries[] = {{"river", false},   {"journey", false}, {"kitchen bread", false}, {"the", false},
                           {"zeppelin", false}, {"RIVER", true},    {"Journey", true},        {"qu", false},
                           {"Q", true},         {"z", false}};

std::vector<uint32_t> Found(const std::function<void(const std::function<void(CNote*)>&)>& search) {
    std::vector<uint32_t> ids;
    search([&](CNote* p) { ids.push_back(p->m_nID); });
    return ids;
}

}  // namespace

int RunFromFile(int argc, char** argv) {
    std::string from, pagesDir, indexFile = "/tmp/search_bench.idx";
    int nRounds = 5;
    bool bReuse = false, bNoScan = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reuse") {  // an index current for the file is not built again
            bReuse = true;
            continue;
        }
        if (a == "--no-scan") {  // the index alone (the scan keeps every page's text)
            bNoScan = true;
            continue;
        }
        if (i + 1 >= argc) Die("missing value after " + a);
        if (a == "--from") from = argv[++i];
        else if (a == "--pages-dir") pagesDir = argv[++i];
        else if (a == "--index") indexFile = argv[++i];
        else if (a == "--rounds") nRounds = std::max(1, std::atoi(argv[++i]));
        else Die("unknown option " + a);
    }
    PrintingHost printing;
    host::SetMessageHost(&printing);

    CClipVaultDoc doc;
    const double tOpen = Seconds([&] {
        if (!doc.OnOpenDocument(from) || doc.m_nLoadError != -1) Die("cannot open " + from);
    });
    std::printf("notebook %s: %.1f MB, opened in %.2f s; memory %.0f MB\n", from.c_str(), FileSize(from) / 1e6, tOpen,
                Memory().first);

    // The scan: the first text search reads every page, later ones use what
    // it kept.
    notetext::CNoteTextCache cache;
    std::vector<std::vector<uint32_t>> scanned;
    std::printf("\n%-16s %-6s %7s %10s %10s %10s %9s\n", "query", "case", "found", "scan ms", "index ms", "grep ms",
                "same");
    const double tFirst = bNoScan ? 0 : Seconds([&] {
        Found([&](auto fn) {
            notetext::SearchCategory(doc.m_rootCata, notetext::CNoteQuery("river", false, true), cache, fn);
        });
    });
    std::vector<double> tScan;
    for (const CQuery& q : kQueries) {
        const notetext::CNoteQuery query(q.pText, q.bIgnoreCase, true);
        std::vector<uint32_t> ids;
        tScan.push_back(bNoScan ? 0 : Seconds([&] {
            ids = Found([&](auto fn) { notetext::SearchCategory(doc.m_rootCata, query, cache, fn); });
        }));
        scanned.push_back(std::move(ids));
    }
    const double memScan = Memory().first;
    // The notes' text, against which search memory is measured.
    double textMB = 0;
    if (!bNoScan) {
        std::vector<const CNoteCata*> todo{&doc.m_rootCata};
        while (!todo.empty()) {
            const CNoteCata* c = todo.back();
            todo.pop_back();
            for (auto it = c->m_notes.begin(); it != c->m_notes.end(); ++it)
                textMB += notetext::NoteSearchText(*it.value()).size() / 1e6;
            for (auto it = c->m_subCatas.begin(); it != c->m_subCatas.end(); ++it) todo.push_back(it.value());
        }
    }
    cache.Clear();
    notetext::CNoteTextCache().Clear();

    // The index: built, closed, opened again.
    std::string error;
    double tBuild = 0;
    {
        auto index = notetext::CNoteIndex::Open(indexFile, &error);
        if (!index) Die(error);
        if (!bReuse || !index->IsCurrentFor(notetext::CFileStamp::Of(from))) tBuild = Seconds([&] {
            if (!notetext::BuildIndex(*index, doc.m_rootCata, notetext::CFileStamp::Of(from)))
                Die("build failed: " + index->LastError());
        });
    }
    const double memBeforeIndex = Memory().first;
    std::unique_ptr<notetext::CNoteIndex> index;
    const double tReopen = Seconds([&] { index = notetext::CNoteIndex::Open(indexFile, &error); });
    if (!index || !index->IsCurrentFor(notetext::CFileStamp::Of(from))) Die("the index is not current after reopening");

    bool bAllSame = true;
    double memIndexed = memBeforeIndex;
    for (size_t k = 0; k < sizeof(kQueries) / sizeof(kQueries[0]); ++k) {
        const CQuery& q = kQueries[k];
        const notetext::CNoteQuery query(q.pText, q.bIgnoreCase, true);
        std::vector<double> t;
        std::vector<uint32_t> ids;
        notetext::CNoteTextCache fallback;
        const int nRuns = notetext::CNoteIndex::CanAnswer(query) ? nRounds : 1;
        for (int r = 0; r < nRuns; ++r) {
            t.push_back(Seconds([&] {
                ids = Found([&](auto fn) {
                    notetext::SearchCategoryIndexed(doc.m_rootCata, query, *index, fallback, fn);
                });
            }));
        }
        double tGrep = 0;
        if (!pagesDir.empty()) {
            const std::string cmd = std::string("grep -rl") + (q.bIgnoreCase ? "i" : "") + "F -e '" + q.pText + "' '" +
                                    pagesDir + "' >/dev/null";
            std::vector<double> g;
            for (int r = 0; r < std::min(nRounds, 3); ++r) g.push_back(Seconds([&] { (void)std::system(cmd.c_str()); }));
            tGrep = Median(g);
        }
        if (nRuns > 1) memIndexed = std::max(memIndexed, Memory().first);
        const bool bSame = bNoScan || ids == scanned[k];
        bAllSame = bAllSame && bSame;
        std::printf("%-16s %-6s %7zu %10.1f %10.1f %10.1f %9s\n", q.pText, q.bIgnoreCase ? "ignore" : "exact",
                    ids.size(), tScan[k] * 1e3, Median(t) * 1e3, tGrep * 1e3, bSame ? "yes" : "NO");
    }
    const uint64_t nIndexBytes = FileSize(indexFile) + FileSize(indexFile + "-wal");
    std::printf("\nfirst scan (every page read): %.2f s; memory after the scans %.0f MB\n", tFirst, memScan);
    std::printf("index build: %.1f s for %zu texts; %.1f MB on disk (%.2fx the notebook); reopened in %.1f ms\n",
                tBuild, index->NoteCount(), nIndexBytes / 1e6, static_cast<double>(nIndexBytes) / FileSize(from),
                tReopen * 1e3);
    std::printf("memory: %.0f MB before the indexed searches, %.0f MB after them (the notebook itself is in both); "
                "the notes' text is %.0f MB\n",
                memBeforeIndex, memIndexed, textMB);
    if (!bNoScan) std::printf("results %s the scan's\n", bAllSame ? "equal" : "DIFFER FROM");
    return bAllSame ? 0 : 2;
}

}  // namespace benchsearch
