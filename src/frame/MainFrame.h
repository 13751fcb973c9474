// The program's single top-level window: menus, toolbars and status bar
// from the language module, and an MDI area with one child frame per open
// notebook.
#pragma once

#include "platform/gui/CmdTarget.h"
#include "platform/gui/ImportItemsEvent.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>

class CAppBar;
class CChildFrame;
class CClipVaultDoc;
class CCommandActions;
class CCoolMenuManager;
class CGlobalHotKey;
class CLockKeys;
class IFrameHost;
class IRecaptureAnswerer;
class CPropertyPage;
class QComboBox;
class QDialog;
class QSystemTrayIcon;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;
class CWindowTabs;

class CMainFrame : public QMainWindow, public CCmdTarget {
    Q_OBJECT
public:
    explicit CMainFrame(IFrameHost& host);
    ~CMainFrame() override;

    // Builds the bars and the MDI area; false when a bar cannot be made.
    bool Create();

    // The route: the active child frame (which asks its active view first),
    // this frame, the application.
    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify = nullptr) override;
    void ExecuteCommand(unsigned nID);
    CCommandActions& Actions() { return *m_pActions; }
    // Pictures and key texts of the menus.
    CCoolMenuManager& MenuManager() { return *m_pMenuManager; }
    IFrameHost& Host() const { return m_host; }

    CChildFrame* ActiveChildFrame() const;
    QList<CChildFrame*> ChildFrames() const;
    CChildFrame* CreateChildFrame(CClipVaultDoc* pDoc);
    // The frame of a notebook, activated; null when it has none.
    CChildFrame* ActivateDocumentFrame(CClipVaultDoc* pDoc);
    QMdiArea* MdiArea() const { return m_pMdi; }
    // A notebook window is closing for good: when it was the maximized one
    // in front, the one that comes to the front next is maximized too.
    void ChildFrameClosing(CChildFrame* pChild);

    // The title: the program's name, and the active notebook's title.
    void UpdateFrameTitle();
    void SetMessageText(const QString& strText);
    // Where the mouse was last pressed in a note editor's page.
    QPoint m_ptEditorMouseDown;

    // ---- edge docking (MainFrameDock.cpp)
    // Turns docking on (with the dock option) or off; full-screen mode and
    // the options page switch it.
    void SetAutoHideDocking(bool bOn);
    // The dock option changed in the options: docking follows it, and a
    // window that docks now hides at its configured edge the first time
    // the user leaves it, as after a start.
    void DockOptionChanged(bool bOn);
    // Slides a docked window into view or out of it; a window that is not
    // docked is shown, restored and raised (command 33007).
    void ShowDockedWindow(bool bShow);
    // Restores, shows, raises and activates the window (command 33007, the
    // tray icon, the hot key).
    void BringToForeground();

    QToolBar* MainToolBar() const { return m_pMainBar; }
    QToolBar* SecondToolBar() const { return m_pSecondBar; }
    QToolBar* FormatToolBar() const { return m_pFormatBar; }
    // The idle refresh of the bars, which a timer runs every 250 ms.
    void UpdateToolBars();

    // ---- full screen, tray, dropped files, autosave, options (MainFrameServices.cpp)
    // Reading a note on the whole screen: the bars and the window tabs go,
    // a floating bar (toolbar 232) stays; only with a notebook window.
    void EnterFullScreen();
    void LeaveFullScreen();
    bool IsFullScreen() const { return m_bFullScreen; }
    QToolBar* FullScreenToolBar() const { return m_pFullScreenBar; }
    // Timer 2 runs again with the autosave options as they are now.
    void RestartAutosaveTimer();
    const QTimer& AutosaveTimer() const { return m_autosaveTimer; }
    // An open notebook that the user, not an automation caller, opened.
    bool HasUserNotebook() const;
    // Where imports go without a choice: the active notebook unless it
    // serves automation, else the next window's.
    CClipVaultDoc* GetImportTargetDocument() const;
    QSystemTrayIcon* TrayIcon() const { return m_pTray; }
    QMenu* TrayMenu() const { return m_pTrayMenu; }
    // The options sheet (command 33006) with the pages these make, in order:
    // general, editing, downloading unless replaced.
    std::vector<std::function<CPropertyPage*()>> m_optionPages;
    void SetDefaultOptionPages();
    // The import flow's dialog while it is up; new items go to it.
    QDialog* m_pImportDlg = nullptr;
    // Import items that arrived (WM_IMPORT_ITEMS) go here instead of the
    // import flow when set (tests); whatever it leaves in the array is
    // dropped with it.
    std::function<void(CImportItemArray&)> m_fnImportItems;
    // Notes of an open notebook to be filed again (command 33128): the
    // import dialog on those notes unless replaced.
    std::function<void(CClipVaultDoc& origin, const std::vector<CNote*>& notes)> m_fnImportNotes;
    // Whether Shift is held down: the keyboard's state unless replaced
    // (tests); Shift forces the import dialog.
    std::function<bool()> m_fnShiftHeld;
    // ---- the import flow (MainFrameImport.cpp)
    // Files the items into the import target notebook's current category;
    // how many notes were made. The notice tells of them. A page the
    // notebook keeps already is filed again only when `answerer` says so.
    int FileImportsDirectly(CImportItemArray& items, IRecaptureAnswerer& answerer);
    // The import dialog with these items (none for an empty batch).
    void RunImportDialog(CImportItemArray& items);
    // The import dialog on existing notes of `origin`.
    void RunImportAgainDialog(CClipVaultDoc& origin, const std::vector<CNote*>& notes);
    unsigned m_nImportBatches = 0;

    bool m_bRevealPending = false;
    // Each new notebook window is offered here before its panes are built;
    // false refuses it as a failed build would (tests use it).
    std::function<bool(CChildFrame&)> m_fnAcceptChildFrame;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void RegisterCommands();
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    void ToggleBar(QWidget* pBar);
    void UpdateBarsState();
    void BuildFormatToolBar();
    void FillWindowList(QMenu* pMenu);
    void RegisterServiceCommands();
    void CreateTrayIcon();
    void OnAutosave();
    void OnOptions();
    void OnImportItems(std::unique_ptr<CImportItemArray> pItems, bool bFromStartImport);
    bool ShiftHeld() const;
    // What the window's end undoes (tray icon, docking, working copies);
    // once, whether the window closed or was simply deleted.
    void OnDestroy();
    // F1 in one of this window's open menus.
    bool OnMenuHelpKey(QObject* pWatched, QEvent* e);
    void ShowWindowTabs(bool bShow);
    // A handler failed: message 33049, and the window goes on.
    void ReportFailure();

    IFrameHost& m_host;
    CCommandActions* m_pActions = nullptr;
    std::unique_ptr<CCoolMenuManager> m_pMenuManager;
    QMdiArea* m_pMdi = nullptr;
    QToolBar* m_pMainBar = nullptr;
    QToolBar* m_pSecondBar = nullptr;
    QToolBar* m_pFormatBar = nullptr;
    QComboBox* m_pFontName = nullptr;
    QComboBox* m_pFontSize = nullptr;
    QLabel* m_indicators[3] = {nullptr, nullptr, nullptr};
    QTimer m_idleTimer;
    unsigned m_nMenuShown = 0;  // 233 without a notebook, 234 with one
    bool m_bDestroyed = false;
    // The maximized notebook window in front that is closing; only
    // compared, as it may be gone by the time the next one comes.
    const QMdiSubWindow* m_pClosingMaximized = nullptr;

    // full screen, tray, autosave
    bool m_bFullScreen = false;
    bool m_bBarsBeforeFullScreen[4] = {true, true, true, true};  // status, main, second, format
    QRect m_rcBeforeFullScreen;
    Qt::WindowStates m_stateBeforeFullScreen;
    QToolBar* m_pFullScreenBar = nullptr;
    bool m_bChildWasMaximized = false;
    QSystemTrayIcon* m_pTray = nullptr;
    QMenu* m_pTrayMenu = nullptr;
    QTimer m_autosaveTimer;
    bool m_bDestroyDone = false;
    QObject* m_pMenuHelpFilter = nullptr;  // sees the whole program's keys

    // ---- global hot key and lock keys (MainFrameKeys.cpp)
public:
    // Grabs the hot key of the options (again); when it cannot be had, says
    // so and the program goes on without it.
    void RegisterHotKey();
    // The same without a word to the user: whether the key is held now.
    bool TryRegisterHotKey();
    void UnregisterHotKey();
    bool IsHotKeyRegistered() const;
    // The hot key: a window lying partly off the screen comes into view,
    // one fully on it slides away; either way it comes to the front.
    void OnHotKey();
    // Whether any side of the window's frame lies beyond the screen's.
    static bool LiesOffScreen(const QRect& rcWindow, const QRect& rcScreen);
    // Tests watch the hot key's choice (true: reveal) before it is carried out.
    std::function<void(bool bShow)> m_fnHotKeyChose;

private:
    void WatchLockKeys();
    void ShowLockKeys(unsigned nState);
    CGlobalHotKey* m_pHotKey = nullptr;  // children of the frame
    CLockKeys* m_pLockKeys = nullptr;
    // window tabs (and the start-up picture, which creation shows when asked)
public:
    // The tabs under the notebook windows; full-screen mode hides them.
    CWindowTabs* WindowTabs() const { return m_pWindowTabs; }
    // Start-up says before Create whether the command line asked for the
    // start-up picture.
    void SetShowSplash(bool bShow) { m_bShowSplash = bShow; }

private:
    CWindowTabs* m_pWindowTabs = nullptr;
    bool m_bShowSplash = false;
    // edge docking
public:
    // Where the window docks: an edge (0 left, 1 top, 2 right, 3 bottom),
    // -1 not docked, -2 floating while docking is on.
    struct CDockState {
        int m_nEdge = -1;
        bool m_bAutoHide = true;
        bool m_bAlwaysOnTop = true;
        QRect m_rcFloat;  // where the window goes when it floats again
    };
    bool IsDockingOn() const { return m_bDockingOn; }
    const CDockState& DockState() const { return m_dockState; }
    int ProposedDockEdge() const { return m_nProposedEdge; }
    bool IsDockShown() const { return m_bShown; }
    CAppBar* AppBar() const { return m_pAppBar.get(); }
    // Docks at `nEdge` or floats (-2) or ends docking (-1).
    void ApplyDockEdge(int nEdge);

protected:
    // What the application-bar service tells; the defaults act as a docked
    // window must.
    virtual void OnDockStateChanged() {}
    virtual void OnAutoHideRefused();
    virtual void OnFullScreenAppChanged(bool bOpen);
    virtual void OnTaskbarPosChanged();
    virtual void OnTaskbarStateChanged() {}
    virtual void OnWindowsArranged() {}

private:
    void ShowInTaskbar(bool bNormal);
    int FindAutoHideEdge() const;
    QRect GetDockedRect(int nEdge, const QRect& rc) const;
    bool GetSlideRect(bool bShown, QRect& rc) const;
    void SlideWindowTo(const QRect& rcTarget);
    int ProposeDockEdge(const QPoint& pt) const;
    bool CanAutoHide() const;
    void OnAutoHideTimer();
    void OnRevealPoll();
    void OnDeactivated();
    void OnAppBarNotify(int nCode, qintptr lParam);
    void ApplyDockZOrder();
    void SetFrameFlags(Qt::WindowFlags flags);
    void FixSizeWhileDocked(bool bFixed);
    QRect DockScreenRect() const;
    QRect WindowRect() const;
    void SetWindowRect(const QRect& rc);
    void BeginDrag(const QPoint& ptGlobal);
    void DragTo(const QPoint& ptGlobal);
    void EndDrag();
    void OnWmMovePoll();
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

    bool m_bDockingOn = false;
    CDockState m_dockState;
    int m_nProposedEdge = -1;  // during a drag; -1 when none is in progress
    bool m_bFullScreenAppOpen = false;
    bool m_bShown = true;
    std::shared_ptr<CAppBar> m_pAppBar;
    QTimer m_autoHideTimer;  // timer 1
    QTimer m_revealTimer;    // the pointer on a hidden window's strip
    QTimer m_wmMoveTimer;    // the end of a move by the window manager
    bool m_bDockFiltersInstalled = false;
    bool m_bSliding = false;
    bool m_bDragging = false;
    bool m_bWmMove = false;
    QPoint m_ptDragLast;
    QRect m_rcDrag;
    QRect m_rcLastSet;        // where the frame last moved itself
    QElapsedTimer m_ownMoveClock;
    bool m_bSizeFixed = false;
    QMargins m_frameMargins;  // the decorations around the client area
    QSize m_sizeMinFree, m_sizeMaxFree;
};
