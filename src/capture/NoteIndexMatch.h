// How the index finds a needle of several trigrams. FTS5's own phrase query
// reads every position of every trigram of the needle in every note holding
// them all, which for the common trigrams of prose is most of the index.
// Instead the query asks for the notes holding all of the needle's trigrams
// (their lists of notes only), and a function of ours checks each such note:
// it walks the positions of the needle's rarest trigram and stops at the
// first place where every other trigram sits at its offset. Exact, since the
// trigram at offset i of the needle lies at position p + i of the text
// exactly when the text holds the needle at code point p; and a few
// trigrams that cover every character of the needle are enough.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace notetext {
namespace indexmatch {

// The needle's trigrams: for each offset, which distinct trigram
// (`m_phraseAt`); the distinct trigrams in the order of the MATCH text.
struct CPlan {
    std::vector<std::string> m_trigrams;
    std::vector<int> m_phraseAt;
    // Offsets to check, rarest trigram first (the first is walked).
    std::vector<int> m_order;
};

// Registers the check ("cv_at") with the connection's FTS5.
bool RegisterFunctions(sqlite3* pDb);

// The plan for a needle of valid UTF-8 with three or more code points.
CPlan PlanFor(const std::string& needle);

// Keeps the cheapest trigrams that still cover every character of the
// needle (offsets at most three apart, the first and the last among them),
// `counts` guessing how often each distinct trigram occurs, and orders them
// rarest first. Exact all the same: each character lies in a
// trigram that is checked.
void ChooseCover(CPlan& plan, const std::vector<long long>& counts);

// The MATCH text: every distinct trigram of the plan, joined by `pszJoin`
// (" AND " or " OR ").
std::string MatchText(const CPlan& plan, const char* pszJoin);

// The name bound pointers to a plan carry.
extern const char* const kPlanPointerType;

}  // namespace indexmatch
}  // namespace notetext
