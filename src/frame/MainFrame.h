// The program's single top-level window: menus, toolbars and status bar
// from the language module, and an MDI area with one child frame per open
// notebook.
#pragma once

#include "platform/gui/CmdTarget.h"
#include "platform/gui/ImportItemsEvent.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>

class CChildFrame;
class CClipVaultDoc;
class CCommandActions;
class CGlobalHotKey;
class CLockKeys;
class IFrameHost;
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
    IFrameHost& Host() const { return m_host; }

    CChildFrame* ActiveChildFrame() const;
    QList<CChildFrame*> ChildFrames() const;
    CChildFrame* CreateChildFrame(CClipVaultDoc* pDoc);
    // The frame of a notebook, activated; null when it has none.
    CChildFrame* ActivateDocumentFrame(CClipVaultDoc* pDoc);
    QMdiArea* MdiArea() const { return m_pMdi; }

    // The title: the program's name, and the active notebook's title.
    void UpdateFrameTitle();
    void SetMessageText(const QString& strText);

    // ---- edge docking (MainFrameDock.cpp)
    // Turns docking on (with the dock option) or off; full-screen mode and
    // the options page switch it.
    void SetAutoHideDocking(bool bOn);
    // Slides a docked window into view or out of it; a window that is not
    // docked is shown, restored and raised (command 33007).
    void ShowDockedWindow(bool bShow);

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
    // The options sheet (command 33006) with the pages these make, in order.
    std::vector<std::function<CPropertyPage*()>> m_optionPages;
    // The import flow's dialog while it is up; new items go to it.
    QDialog* m_pImportDlg = nullptr;
    // Import items that arrived (WM_IMPORT_ITEMS): the import flow takes
    // them; whatever it leaves in the array is dropped with it.
    std::function<void(CImportItemArray&)> m_fnImportItems;
    unsigned m_nImportBatches = 0;

    bool m_bRevealPending = false;
    // Each new notebook window is offered here before its panes are built;
    // false refuses it as a failed build would (tests use it).
    std::function<bool(CChildFrame&)> m_fnAcceptChildFrame;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;
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
    void OnImportItems(std::unique_ptr<CImportItemArray> pItems);
    // What the window's end undoes (tray icon, docking, working copies);
    // once, whether the window closed or was simply deleted.
    void OnDestroy();
    void ShowWindowTabs(bool bShow);
    // A handler failed: message 33049, and the window goes on.
    void ReportFailure();

    IFrameHost& m_host;
    CCommandActions* m_pActions = nullptr;
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

    // ---- global hot key and lock keys (MainFrameKeys.cpp)
public:
    // Grabs the hot key of the options (again); when it cannot be had, says
    // so and the program goes on without it.
    void RegisterHotKey();
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
};
