// Scanning and rewriting a large page: a generated 2 MB page holding 5,000
// references (images, stylesheets, hyperlinks, backgrounds) between filler
// text.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "capture/PageScanner.h"

namespace {

std::string MakePage(size_t nBytes, int nRefs) {
    std::mt19937 rng(42);
    std::string page = "<html><head><title>Generated</title></head><body>\n";
    const size_t filler = nBytes / static_cast<size_t>(nRefs);
    const char* const kinds[] = {"<img src=\"img/p%d.gif\" alt=\"picture\">", "<a href='pages/a%d.htm'>link</a>",
                                 "<link rel=stylesheet href=css/s%d.css>", "<td background=bg/b%d.jpg>",
                                 "<img src=\"skip/p%d.png\">"};
    char buf[128];
    for (int i = 0; i < nRefs; ++i) {
        std::snprintf(buf, sizeof buf, kinds[rng() % 5], i);
        page += buf;
        for (size_t k = 0; k + 48 < filler; k += 48) page += "<p>Lorem ipsum dolor sit amet, text text</p>\n";
    }
    page += "</body></html>\n";
    return page;
}

const std::string& Page() {
    static const std::string page = MakePage(2 << 20, 5000);
    return page;
}

void BM_ScanPage(benchmark::State& state) {
    const std::string& page = Page();
    size_t found = 0;
    for (auto _ : state) {
        CPageScanner scanner;
        scanner.m_bBackgroundPass = true;
        scanner.ScanPage(page, page.size(), "http://host:8080/site/index.htm", false);
        found = scanner.m_items.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["references"] = static_cast<double>(found);
    state.counters["page_MB"] = static_cast<double>(page.size()) / 1e6;
}
BENCHMARK(BM_ScanPage)->Unit(benchmark::kMillisecond);

void BM_RewritePage(benchmark::State& state) {
    const std::string& page = Page();
    CPageScanner scanner;
    scanner.ScanPage(page, page.size(), "http://host/site/index.htm", false);
    for (auto& item : scanner.m_items) {
        item->m_bReplace = 1;
        item->m_strReplace = "vlt" + item->m_strValue.substr(item->m_strValue.rfind('/') + 1);
    }
    for (auto _ : state) {
        std::vector<uint8_t> bytes(page.begin(), page.end());
        scanner.RewritePage(bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_RewritePage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
