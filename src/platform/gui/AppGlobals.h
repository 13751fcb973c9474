// Program-wide flags shared by the frames, views and dialogs.
#pragma once

class CNoteCata;

// The docked main window may slide out of view. Every modal dialog and
// message box clears it while it is up.
extern bool g_bAutoHideAllowed;
// Files offered for import are filed without the import dialog.
extern bool g_bDirectImport;
// The category last selected in a tree: where imports go.
extern CNoteCata* g_pCurrentTarget;

// Clears g_bAutoHideAllowed for as long as it lives, then puts back what was
// there (a box shown during start-up must not allow hiding early).
class CAutoHideBlock {
public:
    CAutoHideBlock() : m_bSaved(g_bAutoHideAllowed) { g_bAutoHideAllowed = false; }
    ~CAutoHideBlock() { g_bAutoHideAllowed = m_bSaved; }
    CAutoHideBlock(const CAutoHideBlock&) = delete;
    CAutoHideBlock& operator=(const CAutoHideBlock&) = delete;

private:
    bool m_bSaved;
};
