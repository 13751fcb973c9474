// Every highlight of a notebook, with the note it is in and where that note
// stands: for the Highlights tab and `clipvault-cli highlights`.
//
// Highlights live in the pages themselves, so the list is read from the
// pages. A page without highlights costs one byte search
// (`MayHoldHighlights`), and pages still in the notebook's file are read for
// the list without being kept in memory.
#pragma once

#include "capture/PageHighlights.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CClipVaultDoc;
class CNote;
class CNoteCata;

// A page that may carry highlights, and where it stands.
struct CHighlightNote {
    CNote* m_pNote = nullptr;
    uint32_t m_nNoteId = 0;
    std::string m_strNoteName;      // process code page
    std::string m_strCategoryPath;  // "Web/News"; "" for the top category; process code page
};

struct CNotebookHighlight {
    CHighlightNote m_note;
    CHighlight m_highlight;
};

// Whether a note of this type is a page that can carry highlights.
bool CanHoldHighlights(const std::string& strExt);

// The notebook's pages in the search's order (a category's notes, then its
// subcategories, depth first). Walks the tree of categories: call it on the
// thread that changes the tree (the window's); it reads no content.
std::vector<CHighlightNote> HighlightNotes(const CNoteCata& root);

// The highlights of one note, its content read under its data lock. Safe on
// a worker while the notebook is open, as long as the note itself lives (a
// copy, as the search's feed hands over, or a note the caller keeps).
std::vector<CHighlight> NoteHighlights(const CNote& note);

// Both at once: every highlight of the notebook, notes in the order above,
// each note's highlights in page order. `fnCancel`, when given, is asked
// between notes; a cancelled listing returns what it had.
std::vector<CNotebookHighlight> NotebookHighlights(const CClipVaultDoc& doc,
                                                   const std::function<bool()>& fnCancel = nullptr);
