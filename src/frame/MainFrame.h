// The program's single top-level window: menus, toolbars and status bar
// from the language module, and an MDI area with one child frame per open
// notebook.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>

class CChildFrame;
class CClipVaultDoc;
class CCommandActions;
class IFrameHost;
class QComboBox;
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

    bool m_bRevealPending = false;
    // Each new notebook window is offered here before its panes are built;
    // false refuses it as a failed build would (tests use it).
    std::function<bool(CChildFrame&)> m_fnAcceptChildFrame;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void RegisterCommands();
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    void ToggleBar(QWidget* pBar);
    void UpdateBarsState();
    void BuildFormatToolBar();
    void FillWindowList(QMenu* pMenu);

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
