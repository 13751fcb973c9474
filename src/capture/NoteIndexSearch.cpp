// Building a notebook's index in one go, and the search form's walk over the
// tree answered from it.
#include "capture/NoteIndex.h"

#include "document/Records.h"

#include <algorithm>
#include <unordered_map>

namespace notetext {

namespace {

// Notes per transaction while building: big enough that committing costs
// little, small enough that the write-ahead log stays a few dozen MB.
constexpr size_t kBuildBatch = 500;

// The notes in the order the search reports them.
void CollectNotes(const CNoteCata& cata, std::vector<const CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it)
        if (it.value()) out.push_back(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it)
        if (it.value()) CollectNotes(*it.value(), out);
}

bool Cancelled(const std::function<bool()>& fn) { return fn && fn(); }

// The walk of SearchCategory; the text part from `fnText`.
bool Walk(const CNoteCata& cata, const CNoteQuery& query, const std::function<bool(const CNote&)>& fnText,
          const std::function<void(CNote*)>& fnFound, const std::function<bool()>& fnCancelled, size_t& nSeen) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) {
        CNote* pNote = it.value();
        if (!pNote) continue;
        if ((++nSeen & 255) == 0 && Cancelled(fnCancelled)) return false;
        if (query.NameMatches(pNote->m_strName) || (query.SearchText() && fnText(*pNote))) fnFound(pNote);
    }
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
        if (it.value() && !Walk(*it.value(), query, fnText, fnFound, fnCancelled, nSeen)) return false;
    }
    return true;
}

}  // namespace

bool BuildIndex(CNoteIndex& index, const CNoteCata& root, const CFileStamp& stamp,
                const std::function<bool(size_t nDone, size_t nTotal)>& fnProgress) {
    std::vector<const CNote*> notes;
    CollectNotes(root, notes);
    std::unordered_map<uint32_t, int> uses;
    for (const CNote* pNote : notes) ++uses[pNote->m_nID];
    std::vector<uint32_t> shared;
    for (const auto& u : uses)
        if (u.second > 1) shared.push_back(u.first);

    index.Reset();
    index.SetScannedIDs(shared);
    const size_t nTotal = notes.size();
    if (fnProgress && !fnProgress(0, nTotal)) return false;
    index.Begin();
    for (size_t k = 0; k < nTotal; ++k) {
        const CNote& note = *notes[k];
        if (uses[note.m_nID] == 1) {
            const std::string text = NoteSearchText(note);
            if (!text.empty()) index.Put(note.m_nID, text);
        }
        if ((k + 1) % kBuildBatch == 0 || k + 1 == nTotal) {
            if (!index.Commit()) return false;
            if (fnProgress && !fnProgress(k + 1, nTotal)) return false;
            if (k + 1 < nTotal) index.Begin();
        }
    }
    if (nTotal == 0 && !index.Commit()) return false;
    index.MarkComplete(stamp);
    return index.IsComplete() && index.LastError().empty();
}

bool SearchCategoryIndexed(const CNoteCata& cata, const CNoteQuery& query, CNoteIndex& index, CNoteTextCache& cache,
                           const std::function<void(CNote*)>& fnFound, const std::function<bool()>& fnCancelled) {
    if (query.Text().empty()) return true;
    std::vector<uint32_t> ids;
    bool bIndexed = query.SearchText() && index.IsComplete() && CNoteIndex::CanAnswer(query);
    if (bIndexed && !index.FindText(query, ids, fnCancelled)) {
        if (Cancelled(fnCancelled)) return false;
        // An index that cannot be read is no reason to find nothing.
        bIndexed = false;
    }
    size_t nSeen = 0;
    if (!bIndexed) {
        return Walk(cata, query, [&](const CNote& note) { return NoteMatches(note, query, cache); }, fnFound,
                    fnCancelled, nSeen);
    }
    // Note numbers are given one after another: a bitmap is the quickest
    // set to look each note up in while walking tens of thousands of them.
    // A file may carry numbers far apart: then a sorted list.
    uint32_t nMax = 0;
    for (uint32_t id : ids) nMax = std::max(nMax, id);
    const bool bBitmap = nMax < (64u << 20) || nMax / 16 < ids.size();
    std::vector<bool> found(bBitmap && !ids.empty() ? static_cast<size_t>(nMax) + 1 : 0);
    if (bBitmap) {
        for (uint32_t id : ids) found[id] = true;
    } else {
        std::sort(ids.begin(), ids.end());
    }
    const bool bAnyScanned = index.HasScannedIDs();
    return Walk(cata, query,
                [&](const CNote& note) {
                    if (bAnyScanned && index.IsScannedID(note.m_nID)) return NoteMatches(note, query, cache);
                    if (!bBitmap) return std::binary_search(ids.begin(), ids.end(), note.m_nID);
                    return note.m_nID < found.size() && found[note.m_nID];
                },
                fnFound, fnCancelled, nSeen);
}

}  // namespace notetext
