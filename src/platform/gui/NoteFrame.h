// The notebook window as the views inside it see it: what a view asks of
// the frame that hosts it. The frame makes the views and outlives them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CCmdTarget;
class CCommandActions;
class CNote;
class CNoteBase;
class CNoteCata;

class INoteFrame {
public:
    // Shows a note in the right pane (mode 0 browser, 1 editor, -1 the
    // default; the source instead of the content when asked).
    virtual void ShowNote(CNote* pNote, bool bNew = false, int nMode = -1, bool bSource = false) = 0;
    // The right pane lists a category, or one of the tree's groups by its
    // number (1 recent, 2 today, 3 yesterday, 4 this week, 5 downloads,
    // 6 running, 7 queued, 8 waiting, 9 failed).
    virtual void ListCategory(CNoteCata* pCata) = 0;
    virtual void ListGroup(int nGroup) = 0;
    // The note being shown, or null.
    virtual CNote* CurrentNote() const = 0;
    // The note being shown is going away: nothing is shown any more, and
    // nothing of it is saved.
    virtual void ClearCurrentNote() = 0;
    // A note left the notebook: it leaves the back and forward lists.
    virtual void ForgetNote(CNote* pNote) = 0;
    // A record left the tree: the note list drops its row.
    virtual void RemoveFromList(CNoteBase* pRecord) = 0;
    // A link between notes was followed: the tree selects that note, and
    // so it is shown.
    virtual void GoToNoteNumber(uint32_t nID) = 0;
    // The note of this notebook that keeps the page at a web or file
    // address (its fragment aside): `pFrom` when that is one, else the most
    // recent capture. Null when none.
    virtual CNote* KeptNoteAt(const std::string& strAddress, const CNote* pFrom) {
        (void)strAddress;
        (void)pFrom;
        return nullptr;
    }
    // A link to a kept page was followed: the note is opened as a note link
    // opens it, at the place `strFragment` names in its page.
    virtual void GoToKeptNote(uint32_t nID, const std::string& strFragment) {
        (void)nID;
        (void)strFragment;
    }
    // The import dialog, empty (32780), or on notes of this notebook so that
    // they can be filed elsewhere (33128).
    virtual void OpenImport() = 0;
    virtual void ImportNotes(const std::vector<CNote*>& notes) = 0;
    // The program's actions, for the views' context menus.
    virtual CCommandActions& Actions() const = 0;
    // The view that gets commands first; a pane that hides one of its views
    // clears it, so that commands stop going to a view nobody sees.
    virtual CCmdTarget* ActiveView() const = 0;
    virtual void SetActiveView(CCmdTarget* pView) = 0;

    // The editor's page tells the status bar something (empty clears it),
    // and where the mouse was last pressed in it.
    virtual void SetStatusText(const std::string& strText) { (void)strText; }
    virtual void EditorMouseDown(int x, int y) {
        (void)x;
        (void)y;
    }

protected:
    ~INoteFrame() = default;
};
