// The window of one open notebook: the category tree on the left, the
// selected note on the right. It answers the document's view calls and
// routes commands to its active view first.
#pragma once

#include "document/ClipVaultDoc.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/NotePanes.h"

#include <QMdiSubWindow>
#include <memory>
#include <vector>

class CCommandActions;
class CKeptPageFinder;
class CMainFrame;
class CNote;
class CNoteBrowserView;
class CNoteCataView;
class CNoteIndexer;
class QSplitter;
class CTabView;

class CChildFrame : public QMdiSubWindow, public CCmdTarget, public IDocViews, public INoteFrame {
    Q_OBJECT
public:
    // What the right pane can hold besides the browser; the program installs
    // them (tests install stand-ins). Without one, the browser stands in.
    static NoteListFactory s_fnMakeList;
    static NoteEditorFactory s_fnMakeEditor;
    // Whether mail can be sent from here; the first success is remembered.
    // Replaceable for tests.
    static std::function<bool()> s_fnMailAvailable;
    // Sends a note by mail; without one, the user learns that no mail
    // system is there.
    static std::function<void(CNote&, QWidget*)> s_fnMailNote;

    enum Pane { kPaneList, kPaneBrowser, kPaneEditor };

    CChildFrame(CMainFrame& frame, CClipVaultDoc& doc);
    ~CChildFrame() override;

    // Builds the panes; message 33045 and false when that fails.
    bool Create();

    CClipVaultDoc& Document() const { return m_doc; }
    CNoteCataView* TreeView() const { return m_pTree; }
    CNoteBrowserView* BrowserView() const { return m_pBrowser; }
    INoteEditorPane* EditorView() const { return m_pEditor; }
    INoteListPane* ListView() const { return m_pList; }
    // The notebook's search index (the search form asks it first).
    CNoteIndexer* Indexer() const { return m_pIndexer.get(); }
    CNote* CurrentNote() const override { return m_pCurrentNote; }
    bool ShowingSource() const { return m_bShowingSource; }
    const std::vector<CNote*>& BackList() const { return m_backList; }
    const std::vector<CNote*>& ForwardList() const { return m_forwardList; }
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

    // ---- what the views and the rest of the program ask of the window
    // Shows a note in the right pane (mode 0 browser, 1 editor, -1 default).
    void ShowNote(CNote* pNote, bool bNew = false, int nMode = -1, bool bSource = false) override;
    void ListCategory(CNoteCata* pCata) override;
    void ListGroup(int nGroup) override;
    // Puts back what the right pane holds of the current note.
    void SaveCurrentNote();
    void ClearCurrentNote() override;
    // History only: the note leaves the back and forward lists.
    void ForgetNote(CNote* pNote) override;
    void RemoveFromList(CNoteBase* pRecord) override;
    void GoToNoteNumber(uint32_t nID) override;
    CNote* KeptNoteAt(const std::string& strAddress, const CNote* pFrom) override;
    void GoToKeptNote(uint32_t nID, const std::string& strFragment) override;
    void SetStatusText(const std::string& strText) override;
    void EditorMouseDown(int x, int y) override;
    // A note's download status changed: the tree moves it between its
    // download groups, the list keeps its row current.
    void NoteStatusChanged(CNote* pNote);
    void OpenImport() override;
    void ImportNotes(const std::vector<CNote*>& notes) override;
    // Saves the notebook under a name the user picks (57604); false when
    // cancelled or failed.
    bool SaveAs();
    // Writes a note to a file the user picks (33009: the current note), in
    // its own type: a page with its files in a folder beside it, anything
    // else byte for byte. False when cancelled or failed.
    bool ExportNote(CNote* pNote);
    // The name a note is offered under when it is written out: the
    // characters no file name may hold become blanks.
    static std::string ProposedFileName(const std::string& strNoteName);
    // Writes a note, a category with everything below it, or the whole
    // notebook (null: the tree's selection, else the note on show, else
    // the notebook) as Markdown into a new folder inside one the user picks
    // (ChildFrameMarkdown.cpp). The conversion runs on a worker while a
    // progress window can stop it; a message says how many notes went
    // where, or why none did. False when cancelled or failed.
    bool SaveAsMarkdown(CNoteBase* pItem = nullptr);

    // ---- the document's view calls
    void RefreshNote(CNote* pNote) override;
    void NoteFiled(CNote* pNote) override;
    void NoteUnlisted(CNote* pNote) override;
    void RemoveItem(CNoteBase* pItem) override;
    void TitleChanged() override;
    void CommitEdits() override;
    bool ChooseSavePath(std::string& strPath) override;
    void DocumentSaved() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void RegisterCommands();
    void RegisterNoteCommands();
    // The focus moved to `pNow`: the view that holds it becomes active.
    void OnFocusChanged(QWidget* pNow);
    // Puts a view of that kind into the right pane unless it is there;
    // true when it is there afterwards.
    bool SwitchRightPane(Pane nPane);
    // The current note saved and let go, the list in the right pane; false
    // when the program has no list to show.
    bool ShowList();
    // The tree or the list, whichever the shared editing commands go to.
    CCmdTarget* RoutedTarget() const;
    bool ListIsActive() const;
    // The browser followed a link away from the note on show.
    bool LeftCurrentNote() const;
    void OnBack();
    void OnForward();
    // ---- the password (ChildFrameLock.cpp)
    // The title with the notebook's state after it, the window's picture
    // with or without the lock, and the tree's root to match.
    void ShowTitle();
    void OnChangePassword();
    // Encryption (ChildFrameCrypt.cpp).
    void RegisterCryptCommands();
    void RegisterMarkdownCommands();
    void OnEncrypt(bool bChange);
    void OnRemoveEncryption();
    // A notebook just encrypted: its working copies, index and the page on
    // show from a plain file all go.
    void ForgetPlainCopies();
    // The notebook's working folder with everything in it.
    void RemoveWorkFolder();
    void OnUnlock();
    void OnMailNote();
    bool MailAvailable();
    // The search index: made with the window, started once it shows, its
    // progress in the status bar.
    void MakeIndexer();

    CMainFrame& m_frame;
    CClipVaultDoc& m_doc;
    CNoteCataView* m_pTree = nullptr;
    QWidget* m_pQueryForm = nullptr;  // the search form's page, when there is one
    CNoteBrowserView* m_pBrowser = nullptr;
    std::unique_ptr<CNoteIndexer> m_pIndexer;
    INoteEditorPane* m_pEditor = nullptr;
    INoteListPane* m_pList = nullptr;
    CNote* m_pCurrentNote = nullptr;
    // What the note on show left out when it was kept, for the status bar.
    std::string m_strRemark;
    QSplitter* m_pSplitter = nullptr;
    CTabView* m_pTabView = nullptr;
    bool m_bMailAvailable = false;
    bool m_bShowingSource = false;
    bool m_bShowsLock = false;  // the window's picture wears the lock
    std::vector<CNote*> m_backList;
    std::vector<CNote*> m_forwardList;
    // True while Back or Forward shows a note: only a step through the
    // history may take the note it leaves off the back list's end.
    bool m_bHistoryStep = false;
    // Which note keeps the page at an address; made at the first question.
    std::unique_ptr<CKeptPageFinder> m_pKeptPageFinder;
    // Where in its page the note about to be shown opens (a link's
    // fragment), for the one ShowNote that follows it.
    std::string m_strPendingFragment;
    CCmdTargetPtr m_activeView;
    bool m_bClosing = false;
    bool m_bBuilt = false;  // Create succeeded: the window holds its notebook
};
