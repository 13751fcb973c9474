// The notebook window as the views inside it see it: what a view asks of
// the frame that hosts it. The frame makes the views and outlives them.
#pragma once

class CCmdTarget;
class CCommandActions;
class CNote;

class INoteFrame {
public:
    // Shows a note in the right pane (mode 0 browser, -1 the default; the
    // source instead of the content when asked).
    virtual void ShowNote(CNote* pNote, bool bNew = false, int nMode = -1, bool bSource = false) = 0;
    // The program's actions, for the views' context menus.
    virtual CCommandActions& Actions() const = 0;
    // The view that gets commands first; a pane that hides one of its views
    // clears it, so that commands stop going to a view nobody sees.
    virtual CCmdTarget* ActiveView() const = 0;
    virtual void SetActiveView(CCmdTarget* pView) = 0;

protected:
    ~INoteFrame() = default;
};
