// The main frame's services beside its bars: full-screen reading, the tray
// icon, files dropped on the window, the autosave timer and the options
// sheet.
#include "frame/MainFrame.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/DroppedFiles.h"
#include "frame/FrameHost.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "capture/LinkHelpers.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NotePanes.h"
#include "platform/gui/PropertySheet.h"
#include "views/OptionsPages.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <memory>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>

using namespace cmd;

namespace {
// Where the floating bar of full-screen mode first stands.
const QPoint kFullScreenBarPos(300, 200);
// An autosave period of nothing would save without pause; the options
// page allows 0 minutes.
constexpr uint32_t kShortestAutosaveMs = 60000;
// The help page of the main window.
constexpr int kHelpContextMainWindow = 4001;

// Watches every key press of the program for F1 in an open menu: the menus
// are windows of their own, which the frame's own events never see.
class CMenuHelpFilter : public QObject {
public:
    CMenuHelpFilter(QObject* pOwner, std::function<bool(QObject*, QEvent*)> fn) : QObject(pOwner), m_fn(std::move(fn)) {}
    bool eventFilter(QObject* pWatched, QEvent* e) override { return m_fn(pWatched, e); }

private:
    std::function<bool(QObject*, QEvent*)> m_fn;
};

}  // namespace

void CMainFrame::RegisterServiceCommands() {
    OnCommand(kCmdFullScreen, [this] {
        if (m_bFullScreen) LeaveFullScreen();
        else EnterFullScreen();
    });
    OnUpdate(kCmdFullScreen, [this](CCmdUI* pUI) {
        pUI->Enable(ActiveChildFrame() != nullptr);
        pUI->SetCheck(m_bFullScreen);
    });
    OnCommand(kCmdOptions, [this] { OnOptions(); });
    connect(&m_autosaveTimer, &QTimer::timeout, this, &CMainFrame::OnAutosave);
    // F1 in an open menu asks for help on the window itself; elsewhere the
    // accelerator's command answers it.
    m_pMenuHelpFilter =
        new CMenuHelpFilter(this, [this](QObject* pWatched, QEvent* e) { return OnMenuHelpKey(pWatched, e); });
    qApp->installEventFilter(m_pMenuHelpFilter);
}

bool CMainFrame::OnMenuHelpKey(QObject* pWatched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_F1) return false;
    auto* menu = qobject_cast<QMenu*>(pWatched);
    bool bOurs = false;
    for (QWidget* w = menu; w && !bOurs; w = w->parentWidget()) bOurs = w == this;
    if (!bOurs) return false;
    for (QWidget* w = QApplication::activePopupWidget(); w; w = QApplication::activePopupWidget()) w->close();
    m_host.ShowHelp(kHelpContextMainWindow);
    return true;
}

void CMainFrame::ReportFailure() { AfxMessageBox(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

// ---- full screen

void CMainFrame::EnterFullScreen() {
    CChildFrame* child = ActiveChildFrame();
    if (m_bFullScreen || !child) return;
    m_bFullScreen = true;
    SetAutoHideDocking(false);
    QWidget* bars[4] = {statusBar(), m_pMainBar, m_pSecondBar, m_pFormatBar};
    for (int i = 0; i < 4; ++i) {
        m_bBarsBeforeFullScreen[i] = bars[i] && !bars[i]->isHidden();
        if (bars[i]) bars[i]->hide();
    }
    // A bar of its own that floats over the note: not dockable, it goes
    // with the mode.
    m_pFullScreenBar = m_pActions->BuildToolBar(kToolbarFullScreen, this);
    if (m_pFullScreenBar) {
        m_pFullScreenBar->setObjectName(QStringLiteral("FullScreenBar"));
        m_pFullScreenBar->setWindowTitle(CurrentLanguage().StringPart(kCmdFullScreen, 1));
        m_pFullScreenBar->setAccessibleName(m_pFullScreenBar->windowTitle());
        m_pFullScreenBar->setMovable(false);
        m_pFullScreenBar->setFloatable(false);
        m_pFullScreenBar->setAllowedAreas(Qt::NoToolBarArea);
        m_pFullScreenBar->setParent(this, Qt::Tool | Qt::WindowStaysOnTopHint);
        m_pFullScreenBar->adjustSize();
        m_pFullScreenBar->move(kFullScreenBarPos);
    }
    m_rcBeforeFullScreen = geometry();
    m_stateBeforeFullScreen = windowState();
    m_bChildWasMaximized = child->isMaximized();
    child->showMaximized();
    ShowWindowTabs(false);
    // The window manager takes the caption and the borders away and gives
    // the window the whole screen.
    showFullScreen();
    if (m_pFullScreenBar) {
        m_pFullScreenBar->show();
        m_pActions->UpdateToolBar(m_pFullScreenBar);
    }
}

void CMainFrame::LeaveFullScreen() {
    if (!m_bFullScreen) return;
    delete m_pFullScreenBar;
    m_pFullScreenBar = nullptr;
    QWidget* bars[4] = {statusBar(), m_pMainBar, m_pSecondBar, m_pFormatBar};
    for (int i = 0; i < 4; ++i)
        if (bars[i] && m_bBarsBeforeFullScreen[i]) bars[i]->show();
    if (m_stateBeforeFullScreen & Qt::WindowMaximized) {
        showMaximized();
    } else {
        showNormal();
        setGeometry(m_rcBeforeFullScreen);
    }
    if (CChildFrame* child = ActiveChildFrame()) {
        if (m_bChildWasMaximized) child->showMaximized();
        else child->showNormal();
    }
    ShowWindowTabs(true);
    m_bFullScreen = false;
    SetAutoHideDocking(true);
    // Docking comes back floating: the window hides at its edge the next
    // time the user leaves it, as after a start, or it would float for good.
    m_bRevealPending = m_bDockingOn;
}

// ---- tray icon

void CMainFrame::CreateTrayIcon() {
    const CLanguageModule& lang = CurrentLanguage();
    m_pTray = new QSystemTrayIcon(lang.Icon(233), this);
    m_pTray->setToolTip(lang.String(233));
    m_pTrayMenu = m_pActions->BuildContextMenu(kMenuTray, 0, *this, this);
    if (m_pTrayMenu) {
        m_pTrayMenu->setObjectName(QStringLiteral("TrayMenu"));
        // The first entry is what a double click would do: shown in bold.
        // The menu is laid out anew each time it opens.
        auto markDefault = [this] {
            for (QAction* a : m_pTrayMenu->actions()) {
                if (a->isSeparator()) continue;
                m_pTrayMenu->setDefaultAction(a);
                break;
            }
        };
        connect(m_pTrayMenu, &QMenu::aboutToShow, this, markDefault);
        markDefault();
        m_pTray->setContextMenu(m_pTrayMenu);
    }
    connect(m_pTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
        ShowDockedWindow(true);
        BringToForeground();
    });
    // Without a tray host the icon simply does not appear; it does once a
    // host starts.
    m_pTray->show();
}

// ---- dropped files

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && !DroppedPaths(e->mimeData()->urls()).isEmpty()) e->acceptProposedAction();
    else QMainWindow::dragEnterEvent(e);
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* e) {
    if (e->mimeData()->hasUrls() && !DroppedPaths(e->mimeData()->urls()).isEmpty()) e->acceptProposedAction();
    else QMainWindow::dragMoveEvent(e);
}

void CMainFrame::dropEvent(QDropEvent* e) {
    if (!e->mimeData()->hasUrls()) {
        QMainWindow::dropEvent(e);
        return;
    }
    activateWindow();
    const QStringList paths = DroppedPaths(e->mimeData()->urls());
    e->acceptProposedAction();
    try {
        auto items = CollectDroppedFiles(paths, [this](const QString& strPath) { m_host.OpenDocumentFile(strPath); });
        // Even a drop of notebooks alone tells the import flow, with nothing.
        QCoreApplication::postEvent(this, new CImportItemsEvent(std::move(items)));
    } catch (const std::exception&) {
        ReportFailure();
    }
}

// ---- autosave

void CMainFrame::RestartAutosaveTimer() {
    m_autosaveTimer.stop();
    const CAppOptions& opt = AppOptions();
    if (!opt.m_bAutoSaveEnabled) return;
    const uint32_t period = opt.m_nAutoSavePeriod ? opt.m_nAutoSavePeriod : kShortestAutosaveMs;
    m_autosaveTimer.start(static_cast<int>(std::min<uint32_t>(period, INT32_MAX)));
}

void CMainFrame::OnAutosave() {
    // A dialog or message box is waiting for the user, perhaps the one a
    // save asked: a save now would run inside it. The next period saves.
    // (Every modal box clears the auto-hide flag, a native file dialog too.)
    if (QApplication::activeModalWidget() || !g_bAutoHideAllowed) return;
    try {
        if (AppOptions().m_bAutoSaveEnabled) m_host.SaveAllModified();
    } catch (const std::exception&) {
        ReportFailure();
    }
}

// ---- options sheet

namespace {
// What the general page asks of this window.
class CFrameOptions : public IOptionsFrame {
public:
    explicit CFrameOptions(CMainFrame& frame) : m_frame(frame) {}
    void RestartAutosaveTimer() override { m_frame.RestartAutosaveTimer(); }
    void SetAutoHideDocking(bool bOn) override { m_frame.DockOptionChanged(bOn); }
    void UnregisterHotKey() override { m_frame.UnregisterHotKey(); }
    bool RegisterHotKey() override { return m_frame.TryRegisterHotKey(); }

private:
    CMainFrame& m_frame;
};
}  // namespace

void CMainFrame::SetDefaultOptionPages() {
    auto frame = std::make_shared<CFrameOptions>(*this);
    m_optionPages = {
        [frame] { return new CPgeOptGenral(*frame); },
        [] { return new COptEditPage; },
        [] { return new CPgeOptDwn; },
    };
}

void CMainFrame::OnOptions() {
    {
        CPropertySheet sheet(CurrentLanguage().String(ids::IDS_OPTIONS_CAPTION), this);
        for (const auto& make : m_optionPages)
            if (make) sheet.AddPage(make());
        sheet.DoModal();
    }
    // However the sheet was left, every editor shows the editing options as
    // they are now.
    for (CChildFrame* child : ChildFrames())
        if (INoteEditorPane* editor = child->EditorView()) editor->ApplyEditorOptions();
}

// ---- documents

bool CMainFrame::HasUserNotebook() const {
    for (CClipVaultDoc* doc : m_host.OpenDocuments())
        if (doc && !doc->m_bAutomationInstance) return true;
    return false;
}

CClipVaultDoc* CMainFrame::GetImportTargetDocument() const {
    CChildFrame* active = ActiveChildFrame();
    if (active && !active->Document().m_bAutomationInstance) return &active->Document();
    if (!m_pMdi) return nullptr;
    // The window below the active one.
    const QList<QMdiSubWindow*> stack = m_pMdi->subWindowList(QMdiArea::StackingOrder);
    for (qsizetype i = stack.size() - 1; i >= 0; --i) {
        if (stack[i] == active) continue;
        if (auto* child = qobject_cast<CChildFrame*>(stack[i])) return &child->Document();
    }
    return nullptr;
}

// ---- the end

void CMainFrame::OnDestroy() {
    if (m_bDestroyDone) return;
    m_bDestroyDone = true;
    if (m_pTray) {
        m_pTray->hide();
        delete m_pTray;
        m_pTray = nullptr;
    }
    SetAutoHideDocking(false);
    m_autosaveTimer.stop();
    // The working copies of this run go now.
    if (!m_host.TempRoot().isEmpty()) DeleteTempFiles(FromQ(m_host.TempRoot()));
}
