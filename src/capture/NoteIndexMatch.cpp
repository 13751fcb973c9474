#include "capture/NoteIndexMatch.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <map>

namespace notetext {
namespace indexmatch {

const char* const kPlanPointerType = "clipvault_index_plan";

namespace {

// One trigram's positions in the current note, read as far as asked.
struct CCursor {
    Fts5PhraseIter it;
    // The iterator reads each position as a step from the one before: it
    // takes the last column and offset back.
    int iCol = -1;
    int iOff = -1;
    int nPos = -1;
};

void Start(const Fts5ExtensionApi* api, Fts5Context* ctx, int iPhrase, CCursor& c) {
    if (api->xPhraseFirst(ctx, iPhrase, &c.it, &c.iCol, &c.iOff) != SQLITE_OK || c.iCol < 0) {
        c.nPos = INT_MAX;
        return;
    }
    c.nPos = c.iOff;
}

void Next(const Fts5ExtensionApi* api, Fts5Context* ctx, CCursor& c) {
    api->xPhraseNext(ctx, &c.it, &c.iCol, &c.iOff);
    c.nPos = c.iCol < 0 ? INT_MAX : c.iOff;
}

// cv_at(table, plan): 1 when the current note holds the plan's trigrams at
// consecutive positions.
void At(const Fts5ExtensionApi* api, Fts5Context* ctx, sqlite3_context* out, int nVal, sqlite3_value** apVal) {
    const CPlan* plan = nVal == 1 ? static_cast<const CPlan*>(sqlite3_value_pointer(apVal[0], kPlanPointerType)) : nullptr;
    if (!plan || plan->m_order.empty()) {
        sqlite3_result_error(out, "cv_at needs a plan", -1);
        return;
    }
    const size_t n = plan->m_order.size();
    CCursor cursors[64];
    std::vector<CCursor> more(n > 64 ? n : 0);
    CCursor* c = n > 64 ? more.data() : cursors;
    for (size_t k = 0; k < n; ++k) Start(api, ctx, plan->m_phraseAt[plan->m_order[k]], c[k]);
    const int anchor = plan->m_order[0];
    for (; c[0].nPos != INT_MAX; Next(api, ctx, c[0])) {
        const int p = c[0].nPos - anchor;
        if (p < 0) continue;
        size_t k = 1;
        for (; k < n; ++k) {
            const int want = p + plan->m_order[k];
            while (c[k].nPos < want) Next(api, ctx, c[k]);
            if (c[k].nPos == INT_MAX) {
                // Later places lie further on still: none can match.
                sqlite3_result_int(out, 0);
                return;
            }
            if (c[k].nPos != want) break;
        }
        if (k == n) {
            sqlite3_result_int(out, 1);
            return;
        }
    }
    sqlite3_result_int(out, 0);
}

size_t CharLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

bool RegisterFunctions(sqlite3* pDb) {
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(pDb, "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    return api && api->xCreateFunction(api, "cv_at", nullptr, &At, nullptr) == SQLITE_OK;
}

CPlan PlanFor(const std::string& needle) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < needle.size(); i += CharLength(static_cast<unsigned char>(needle[i]))) starts.push_back(i);
    starts.push_back(needle.size());
    CPlan plan;
    std::map<std::string, int> seen;
    for (size_t i = 0; i + 3 < starts.size(); ++i) {
        const std::string tri = needle.substr(starts[i], starts[i + 3] - starts[i]);
        auto it = seen.find(tri);
        if (it == seen.end()) {
            it = seen.emplace(tri, static_cast<int>(plan.m_trigrams.size())).first;
            plan.m_trigrams.push_back(tri);
        }
        plan.m_phraseAt.push_back(it->second);
        plan.m_order.push_back(static_cast<int>(i));
    }
    return plan;
}

void ChooseCover(CPlan& plan, const std::vector<long long>& counts) {
    const int n = static_cast<int>(plan.m_phraseAt.size());
    if (n < 2) return;
    // best[o]: the least total count of a chain of offsets from 0 to o, each
    // at most three past the one before.
    std::vector<long long> best(n, LLONG_MAX);
    std::vector<int> from(n, -1);
    best[0] = counts[plan.m_phraseAt[0]];
    for (int o = 1; o < n; ++o) {
        for (int b = std::max(0, o - 3); b < o; ++b) {
            const long long c = best[b] + counts[plan.m_phraseAt[o]];
            if (best[b] != LLONG_MAX && c < best[o]) {
                best[o] = c;
                from[o] = b;
            }
        }
    }
    std::vector<int> cover;
    for (int o = n - 1; o >= 0; o = from[o]) cover.push_back(o);
    // Only the trigrams the cover uses go into the query.
    CPlan chosen;
    chosen.m_phraseAt.assign(n, -1);
    std::map<int, int> renumbered;
    for (int o : cover) {
        const int old = plan.m_phraseAt[o];
        auto it = renumbered.find(old);
        if (it == renumbered.end()) {
            it = renumbered.emplace(old, static_cast<int>(chosen.m_trigrams.size())).first;
            chosen.m_trigrams.push_back(plan.m_trigrams[old]);
        }
        chosen.m_phraseAt[o] = it->second;
        chosen.m_order.push_back(o);
    }
    std::stable_sort(chosen.m_order.begin(), chosen.m_order.end(), [&](int a, int b) {
        return counts[plan.m_phraseAt[a]] < counts[plan.m_phraseAt[b]];
    });
    plan = std::move(chosen);
}

std::string MatchText(const CPlan& plan, const char* pszJoin) {
    std::string q;
    for (const std::string& tri : plan.m_trigrams) {
        if (!q.empty()) q += pszJoin;
        q += '"';
        for (char ch : tri) {
            if (ch == '"') q += '"';
            q += ch;
        }
        q += '"';
    }
    return q;
}

}  // namespace indexmatch
}  // namespace notetext
