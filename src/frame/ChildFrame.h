// The window of one open notebook: the category tree on the left, the
// selected note on the right. It answers the document's view calls and
// routes commands to its active view first.
#pragma once

#include "document/ClipVaultDoc.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/NoteFrame.h"

#include <QMdiSubWindow>

class CCommandActions;
class CMainFrame;
class CNote;
class CNoteBrowserView;
class CNoteCataView;
class QSplitter;
class CTabView;

class CChildFrame : public QMdiSubWindow, public CCmdTarget, public IDocViews, public INoteFrame {
    Q_OBJECT
public:
    CChildFrame(CMainFrame& frame, CClipVaultDoc& doc);
    ~CChildFrame() override;

    // Builds the panes; message 33045 and false when that fails.
    bool Create();

    CClipVaultDoc& Document() const { return m_doc; }
    CNoteCataView* TreeView() const { return m_pTree; }
    CNoteBrowserView* BrowserView() const { return m_pBrowser; }
    CNote* CurrentNote() const override { return m_pCurrentNote; }
    // The view that gets commands first: the one that last had the focus;
    // null once that view is gone.
    CCmdTarget* ActiveView() const override { return m_activeView.get(); }
    void SetActiveView(CCmdTarget* pView) override { m_activeView = CCmdTargetPtr(pView); }
    CTabView* TabView() const { return m_pTabView; }
    // Bytes of a page label the left pane's tabs show.
    static constexpr size_t kTabLabelBytes = 9;
    // The main frame's actions, for the views' context menus.
    CCommandActions& Actions() const override;

    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify = nullptr) override;

    // Shows a note in the right pane (mode 0 browser, -1 default).
    void ShowNote(CNote* pNote, bool bNew = false, int nMode = -1, bool bSource = false) override;
    void ListCategory(CNoteCata* pCata) override;
    void ListGroup(int nGroup) override;
    void ClearCurrentNote() override;
    void ForgetNote(CNote* pNote) override;
    void RemoveFromList(CNoteBase* pRecord) override;
    void OpenImport() override;
    void ImportNotes(const std::vector<CNote*>& notes) override;
    // Saves the notebook under a name the user picks (57604); false when
    // cancelled or failed.
    bool SaveAs();

    // ---- the document's view calls
    void RefreshNote(CNote* pNote) override;
    void NoteUnlisted(CNote* pNote) override;
    void RemoveItem(CNoteBase* pItem) override;
    void TitleChanged() override;
    bool ChooseSavePath(std::string& strPath) override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void RegisterCommands();
    // The focus moved to `pNow`: the view that holds it becomes active.
    void OnFocusChanged(QWidget* pNow);

    CMainFrame& m_frame;
    CClipVaultDoc& m_doc;
    QSplitter* m_pSplitter = nullptr;
    CTabView* m_pTabView = nullptr;
    CNoteCataView* m_pTree = nullptr;
    CNoteBrowserView* m_pBrowser = nullptr;
    CNote* m_pCurrentNote = nullptr;
    CCmdTargetPtr m_activeView;
    bool m_bClosing = false;
    bool m_bBuilt = false;  // Create succeeded: the window holds its notebook
};
