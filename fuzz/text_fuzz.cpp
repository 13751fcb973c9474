// Random pages through the search's reading of notes: visible text, case
// folding and the passage of a match. No crash, no hang; the visible text
// is never longer than the page, and a piece of it is always found again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/NoteText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The first two bytes pick a piece of the visible text to look for.
    const uint8_t at = data[0], len = data[1];
    const std::vector<uint8_t> bytes(data + 2, data + size);
    const std::string page = notetext::PageBytesToUtf8(bytes);
    const std::string text = notetext::VisibleText(page);
    if (text.size() > page.size()) {
        std::fprintf(stderr, "visible text longer than its page\n");
        std::abort();
    }
    notetext::FoldCase(text);
    if (text.empty()) return 0;
    const size_t from = at % text.size();
    const std::string needle = text.substr(from, 1 + len % 32);
    notetext::CPassageMatch match;
    const std::string passage = notetext::MatchPassage(text, notetext::CNoteQuery(needle, false, true), 40, &match);
    if (passage.empty() || match.m_nStart + match.m_nLength > passage.size() ||
        passage.compare(match.m_nStart, match.m_nLength, needle) != 0) {
        std::fprintf(stderr, "a piece of the text was not found in it\n");
        std::abort();
    }
    const std::string folded = notetext::MatchPassage(text, notetext::CNoteQuery(needle, true, true), 40, &match);
    if (!folded.empty() && match.m_nStart + match.m_nLength > folded.size()) {
        std::fprintf(stderr, "the match lies outside its passage\n");
        std::abort();
    }
    return 0;
}
