#include "capture/NotebookHighlights.h"

#include "document/ClipVaultDoc.h"
#include "document/Records.h"

#include <mutex>

namespace {

void Collect(const CNoteCata& cata, const std::string& strPath, std::vector<CHighlightNote>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) {
        CNote* pNote = it.value();
        if (!pNote) continue;
        {
            // A download may be changing the type.
            std::lock_guard<std::mutex> lock(pNote->m_dataLock);
            if (!CanHoldHighlights(pNote->m_strExt)) continue;
        }
        out.push_back({pNote, pNote->m_nID, pNote->m_strName, strPath});
    }
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) {
        const CNoteCata* pSub = it.value();
        if (pSub) Collect(*pSub, strPath.empty() ? pSub->m_strName : strPath + '/' + pSub->m_strName, out);
    }
}

}  // namespace

bool CanHoldHighlights(const std::string& strExt) { return SameType(strExt, "htm") || SameType(strExt, "html"); }

std::vector<CHighlightNote> HighlightNotes(const CNoteCata& root) {
    std::vector<CHighlightNote> out;
    Collect(root, std::string(), out);
    return out;
}

std::vector<CHighlight> NoteHighlights(const CNote& note) {
    std::lock_guard<std::mutex> lock(note.m_dataLock);
    if (!CanHoldHighlights(note.m_strExt)) return {};
    std::vector<uint8_t> scratch;
    const std::vector<uint8_t>* pBytes = note.ContentForScan(scratch);
    if (!pBytes || !MayHoldHighlights(*pBytes)) return {};
    return ListHighlights(*pBytes);
}

std::vector<CNotebookHighlight> NotebookHighlights(const CClipVaultDoc& doc, const std::function<bool()>& fnCancel) {
    std::vector<CNotebookHighlight> out;
    for (const CHighlightNote& note : HighlightNotes(doc.m_rootCata)) {
        if (fnCancel && fnCancel()) break;
        for (CHighlight& hl : NoteHighlights(*note.m_pNote)) out.push_back({note, std::move(hl)});
    }
    return out;
}
