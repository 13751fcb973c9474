// The views that take turns in the right pane of a notebook window, as the
// window sees them: the note list and the note editor. The window makes
// them through factories the program installs, so that a window without
// one of them still works (it shows the browser instead).
#pragma once

#include <functional>
#include <string>

class CClipVaultDoc;
class CCmdTarget;
class CNote;
class CNoteBase;
class CNoteCata;
class CNoteCataView;
class INoteFrame;
class QWidget;

class INoteListPane {
public:
    virtual ~INoteListPane() = default;
    virtual QWidget* Widget() = 0;
    // Where its commands go when it is the active view.
    virtual CCmdTarget* Target() = 0;
    // The tree whose selection it lists, and which opens what it opens.
    virtual void SetTreeView(CNoteCataView* pTree) = 0;
    virtual void ListCategory(CNoteCata* pCata) = 0;
    virtual void ListGroup(int nGroup) = 0;
    virtual void RemoveRecord(CNoteBase* pRecord) = 0;
    // A note's download status changed: its row (or its place in a
    // download group) follows.
    virtual void NoteStatusChanged(CNote* pNote) = 0;
};

class INoteEditorPane {
public:
    virtual ~INoteEditorPane() = default;
    virtual QWidget* Widget() = 0;
    virtual CCmdTarget* Target() = 0;
    // Loads a note (`bNew`: just made; mode as the frame's ShowNote); false
    // when its page cannot be produced for editing.
    virtual bool LoadNote(CNote* pNote, bool bNew, int nMode) = 0;
    // Puts what is being edited back into its note; false when that failed.
    virtual bool SaveNote() = 0;
    virtual CNote* EditedNote() const = 0;
    // The pane is about to be replaced: a last chance to let go of the page.
    virtual void CloseWindow() = 0;
    // The editing options (borders, details) as they are now.
    virtual void ApplyEditorOptions() {}
    // The note's page opens at the place a link's fragment names.
    virtual void ShowPlace(const std::string& strFragment) { (void)strFragment; }
};

using NoteListFactory = std::function<INoteListPane*(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)>;
using NoteEditorFactory = std::function<INoteEditorPane*(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)>;
