// The search form's work on a large notebook: 10,000 page notes in 100
// categories holding 200 MB of HTML (markup, scripts, styles, English text
// with German, Greek, Russian and Chinese passages). Name search, the first
// text search (every page read and folded) and later text searches (what
// was read is kept).
//
//   search_bench --from FILE.vlt [--pages-dir DIR] [--index FILE] [--rounds R] [--reuse] [--no-scan]
// times a generated notebook (bench/make_notebook) instead: the scan, the
// index's build and its size, and searches answered from it, each next to
// `grep -rilF` over the same pages (DIR, written by make_notebook --pages).
#include <benchmark/benchmark.h>

#include "SearchFromFile.h"

#include <random>
#include <string>
#include <vector>

#include "capture/NoteText.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"

namespace {

constexpr int kNotes = 10000;
constexpr int kCategories = 100;
constexpr size_t kPageBytes = 200u * 1000 * 1000 / kNotes;

const char* const kWords[] = {"harbour", "lighthouse", "keeper", "morning", "river",   "bridge", "market",
                              "garden",  "window",     "letter", "train",   "station", "summer", "winter",
                              "village", "mountain",   "coffee", "paper",   "history", "museum", "island"};
const char* const kForeign[] = {
    "Die gro\xC3\x9F" "e Stra\xC3\x9F" "e f\xC3\xBChrt \xC3\xBC" "ber die Br\xC3\xBC" "cke.",
    "\xCE\x97 \xCE\xB8\xCE\xAC\xCE\xBB\xCE\xB1\xCF\x83\xCF\x83\xCE\xB1 \xCE\xB5\xCE\xAF\xCE\xBD\xCE\xB1\xCE\xB9 \xCE\x93\xCE\x91\xCE\x9B\xCE\x97\xCE\x9D\xCE\x97.",
    "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xD0\xB7\xD0\xB8\xD0\xBC\xD0\xBE\xD0\xB9 \xD0\x9E\xD0\xA7\xD0\x95\xD0\x9D\xD0\xAC \xD1\x85\xD0\xBE\xD0\xBB\xD0\xBE\xD0\xB4\xD0\xBD\xD0\xB0\xD1\x8F.",
    "\xE6\x88\x91\xE4\xBB\xAC\xE6\xB2\xBF\xE7\x9D\x80\xE6\xB8\xAF\xE5\x8F\xA3\xE8\xB5\xB0\xE5\x88\xB0\xE8\x80\x81\xE7\x81\xAF\xE5\xA1\x94\xE3\x80\x82",
};

std::string MakePage(std::mt19937& rng, int nNote) {
    std::string page;
    page.reserve(kPageBytes + 512);
    page += "<html><head><title>Note " + std::to_string(nNote) + "</title>";
    page += "<style>.box { margin: 0 } .harbourstyle { color: #333 }</style>";
    page += "<script>var tracking = 'lighthousescript'; function f(a) { return a < 3; }</script></head><body>";
    while (page.size() < kPageBytes) {
        page += "<div class=\"box\"><p id=\"p" + std::to_string(page.size()) + "\">";
        for (int w = 0; w < 40; ++w) {
            const char* word = kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
            if (w % 9 == 3) {
                page += "<b>";
                page += word;
                page += "</b> ";
            } else {
                page += word;
                page += ' ';
            }
        }
        if (rng() % 4 == 0) page += kForeign[rng() % 4];
        page += " &amp; more&nbsp;text</p></div>\n";
    }
    // One rare word, in every hundredth page.
    if (nNote % 100 == 7) page += "<p>Zeppelin</p>";
    page += "</body></html>";
    return page;
}

CClipVaultDoc& Notebook() {
    static CClipVaultDoc* pDoc = [] {
        auto* doc = new CClipVaultDoc;
        doc->OnNewDocument();
        std::mt19937 rng(7);
        std::vector<CNoteCata*> catas;
        for (int c = 0; c < kCategories; ++c) catas.push_back(doc->m_rootCata.AddNewSubCata("Category " + std::to_string(c)));
        for (int i = 0; i < kNotes; ++i) {
            CNote* note = catas[i % kCategories]->AddNewNote("Note " + std::to_string(i) + " " + kWords[i % 21]);
            note->m_strExt = "htm";
            const std::string page = MakePage(rng, i);
            note->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
        }
        return doc;
    }();
    return *pDoc;
}

size_t TotalBytes() {
    static size_t n = [] {
        size_t total = 0;
        std::vector<const CNoteCata*> todo{&Notebook().m_rootCata};
        while (!todo.empty()) {
            const CNoteCata* c = todo.back();
            todo.pop_back();
            for (auto it = c->m_notes.begin(); it != c->m_notes.end(); ++it) total += it.value()->ContentSize();
            for (auto it = c->m_subCatas.begin(); it != c->m_subCatas.end(); ++it) todo.push_back(it.value());
        }
        return total;
    }();
    return n;
}

int Search(const notetext::CNoteQuery& query, notetext::CNoteTextCache& cache) {
    int n = 0;
    notetext::SearchCategory(Notebook().m_rootCata, query, cache, [&](CNote*) { ++n; });
    return n;
}

void Report(benchmark::State& state, int nFound) {
    state.counters["found"] = nFound;
    state.counters["page_MB"] = static_cast<double>(TotalBytes()) / 1e6;
}

void BM_NameSearch(benchmark::State& state) {
    Notebook();
    const bool bIgnoreCase = state.range(0) != 0;
    notetext::CNoteTextCache cache;
    int n = 0;
    for (auto _ : state) n = Search(notetext::CNoteQuery(bIgnoreCase ? "LIGHTHOUSE" : "lighthouse", bIgnoreCase, false), cache);
    Report(state, n);
}
BENCHMARK(BM_NameSearch)->Arg(0)->Arg(1)->ArgName("ignore_case")->Unit(benchmark::kMillisecond);

// Every iteration starts with nothing read.
void BM_FirstTextSearch(benchmark::State& state) {
    Notebook();
    const bool bIgnoreCase = state.range(0) != 0;
    int n = 0;
    for (auto _ : state) {
        notetext::CNoteTextCache cache;
        n = Search(notetext::CNoteQuery(bIgnoreCase ? "ZEPPELIN" : "Zeppelin", bIgnoreCase, true), cache);
        state.PauseTiming();
        cache.Clear();
        state.ResumeTiming();
    }
    Report(state, n);
}
BENCHMARK(BM_FirstTextSearch)->Arg(0)->Arg(1)->ArgName("ignore_case")->Iterations(3)->Unit(benchmark::kMillisecond);

// After a first search: a different text each time, found in a few notes,
// in most, or in none (so every page is looked through to its end).
void BM_LaterTextSearch(benchmark::State& state) {
    Notebook();
    const bool bIgnoreCase = state.range(0) != 0;
    notetext::CNoteTextCache cache;
    Search(notetext::CNoteQuery("x", bIgnoreCase, true), cache);
    const char* const texts[] = {"Zeppelin", "OCHEN", "\xD0\x9E\xD0\xA7\xD0\x95\xD0\x9D\xD0\xAC", "stra\xC3\x9F" "e", "nowhere at all", "harbour garden"};
    size_t k = 0;
    int n = 0;
    for (auto _ : state) {
        n = Search(notetext::CNoteQuery(texts[k++ % 6], bIgnoreCase, true), cache);
        benchmark::DoNotOptimize(n);
    }
    Report(state, n);
}
BENCHMARK(BM_LaterTextSearch)->Arg(0)->Arg(1)->ArgName("ignore_case")->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--from") return benchsearch::RunFromFile(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
