// Writes a text-heavy notebook for the benches through the document classes
// and the normal save:
//
//   make_notebook OUT.vlt --notes N [--seed S] [--pages-dir FOLDER]
//
// --pages-dir also writes every note's page as a file there, so that grep
// can be timed over the same text.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "NotebookGen.h"
#include "document/ClipVaultDoc.h"
#include "BenchHost.h"

namespace {

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "make_notebook: %s\n", what.c_str());
    std::exit(1);
}

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    benchgen::CGenOptions options;
    options.nNotes = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            if (!out.empty()) Die("more than one output file given");
            out = a;
            continue;
        }
        if (i + 1 >= argc) Die("missing value after " + a);
        if (a == "--notes") options.nNotes = std::atoi(argv[++i]);
        else if (a == "--seed") options.nSeed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--pages-dir") options.strPagesDir = argv[++i];
        else Die("unknown option " + a);
    }
    if (out.empty() || options.nNotes < 1)
        Die("usage: make_notebook OUT.vlt --notes N [--seed S] [--pages-dir FOLDER]");
    PrintingHost printing;
    host::SetMessageHost(&printing);

    const auto t0 = std::chrono::steady_clock::now();
    CClipVaultDoc doc;
    benchgen::CGenResult result;
    std::string error;
    if (!benchgen::GenerateNotebook(doc, options, result, error)) Die(error);
    const double tBuild = Since(t0);
    const auto t1 = std::chrono::steady_clock::now();
    if (!doc.OnSaveDocument(out)) Die("cannot save " + out);
    std::printf("%s: %d notes in %d categories, %d with a picture, %.1f MB of pages (built in %.1f s, saved in %.1f s)\n",
                out.c_str(), options.nNotes, result.nCategories, result.nPictureNotes, result.nPageBytes / 1048576.0,
                tBuild, Since(t1));
    return 0;
}
