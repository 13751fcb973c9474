// Random pages through the highlights: a piece of the page's text is marked,
// listed and taken off again. No crash, no hang; a highlight that was added
// is listed once and its removal gives back the page's bytes exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/NoteText.h"
#include "capture/PageHighlights.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The first two bytes pick the piece of the visible text to mark.
    const uint8_t at = data[0], len = data[1];
    const std::vector<uint8_t> page(data + 2, data + size);
    const std::string text = notetext::VisibleText(notetext::PageBytesToUtf8(page));
    CHighlightQuote quote;
    if (!text.empty()) {
        size_t from = at % text.size(), to = std::min(text.size(), from + 1 + len % 48);
        while (from > 0 && (static_cast<uint8_t>(text[from]) & 0xC0) == 0x80) --from;
        while (to < text.size() && (static_cast<uint8_t>(text[to]) & 0xC0) == 0x80) ++to;
        quote.m_strExact = text.substr(from, to - from);
    }
    const size_t nBefore = ListHighlights(page).size();
    CHighlight hl;
    hl.m_strId = "fz";
    hl.m_strComment = "a \"<comment>\" & \xE4\xB8\xAD";
    std::vector<uint8_t> marked, changed, back;
    if (AddHighlight(page, quote, hl, marked) != HighlightResult::kDone) return 0;
    if (ListHighlights(marked).size() != nBefore + 1) {
        std::fprintf(stderr, "a highlight added is not listed once\n");
        std::abort();
    }
    if (ChangeHighlight(marked, "fz", "other", "pink", changed) != HighlightResult::kDone) {
        std::fprintf(stderr, "a highlight added cannot be changed\n");
        std::abort();
    }
    if (RemoveHighlight(changed, "fz", back) != HighlightResult::kDone || back != page) {
        std::fprintf(stderr, "removing a highlight did not give back the page\n");
        std::abort();
    }
    return 0;
}
