#include "frame/MainFrame.h"

#include "app/AppOptions.h"
#include "capture/LinkHelpers.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/FrameHost.h"
#include "frame/HighlightButton.h"
#include "frame/NoteCataView.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/CoolMenu.h"
#include "platform/CommandIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/OwnerFocus.h"
#include "platform/gui/QtText.h"
#include "views/SplashWnd.h"
#include "views/WindowTabs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>

using namespace cmd;

namespace {
// How often the toolbars ask whether their commands are enabled.
constexpr int kIdleUpdateMs = 250;
}  // namespace

CMainFrame::CMainFrame(IFrameHost& host) : m_host(host) {
    setObjectName(QStringLiteral("MainFrame"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Files dropped anywhere on the window that nothing inside takes.
    setAcceptDrops(true);
    RegisterCommands();
    RegisterServiceCommands();
    SetDefaultOptionPages();
    m_fnImportNotes = [this](CClipVaultDoc& origin, const std::vector<CNote*>& notes) {
        RunImportAgainDialog(origin, notes);
    };
}

CMainFrame::~CMainFrame() {
    // Its keys would otherwise reach a frame half torn down.
    delete m_pMenuHelpFilter;
    m_pMenuHelpFilter = nullptr;
    if (m_pWindowTabs) m_pWindowTabs->Detach();
    m_bDestroyed = true;
    m_idleTimer.stop();
    // Closing the notebook windows below activates others; this frame is
    // no longer there to hear it.
    if (m_pMdi) {
        m_pMdi->disconnect(this);
        // The notebook windows hand their notebooks back through this frame's
        // host; the QWidget base would delete them only after this object has
        // stopped being a main frame.
        for (QMdiSubWindow* sub : m_pMdi->subWindowList()) delete sub;
    }
    OnDestroy();
}

bool CMainFrame::Create() {
    const CLanguageModule& lang = CurrentLanguage();
    m_pActions = new CCommandActions(this, lang, *this);
    m_pActions->SetImageToolbars({kToolbarMain, kToolbarFullScreen, kToolbarSecond, kToolbarFormat});
    m_pActions->AddAccelerators(kAccelMain);
    m_pActions->AddAccelerators(kAccelNotebook);
    m_pMenuManager = std::make_unique<CCoolMenuManager>(lang);
    m_pMenuManager->Install(this);
    for (unsigned nID : {kToolbarMain, kToolbarFullScreen, kToolbarSecond, kToolbarFormat})
        m_pMenuManager->LoadToolbar(nID);
    // The keys shown are those of the table in force: the notebook's while
    // a notebook window is open.
    m_pMenuManager->m_fnCurrentAccelerators = [this] { return m_nMenuShown == kMenuNotebook ? kAccelNotebook : kAccelMain; };
    m_pActions->SetMenuManager(m_pMenuManager.get());

    m_pMdi = new QMdiArea(this);
    m_pMdi->setViewMode(QMdiArea::SubWindowView);
    m_pMdi->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(m_pMdi);
    connect(m_pMdi, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);

    // The bars are made main, format, second, and sit side by side main,
    // second, format.
    m_pMainBar = m_pActions->BuildToolBar(kToolbarMain, this);
    if (!m_pMainBar) return false;
    m_pFormatBar = m_pActions->BuildToolBar(kToolbarFormat, this);
    if (!m_pFormatBar) return false;
    BuildFormatToolBar();
    m_pSecondBar = m_pActions->BuildToolBar(kToolbarSecond, this);
    if (!m_pSecondBar) return false;
    // The reader view's button drops down its style menu.
    for (int i = 0; i < m_pSecondBar->actions().size(); ++i)
        if (m_pActions->IdOf(m_pSecondBar->actions()[i]) == cmd::kCmdReaderView) m_pActions->SetDropDown(m_pSecondBar, i);
    m_pSecondBar->addSeparator();
    AddHighlightButton(*m_pActions, m_pSecondBar);
    // Each bar is named as the View menu's command that shows it.
    const std::pair<QToolBar*, unsigned> named[] = {{m_pMainBar, 59392}, {m_pSecondBar, 32954}, {m_pFormatBar, 32786}};
    for (const auto& [bar, toggle] : named) {
        bar->setMovable(true);
        bar->setWindowTitle(lang.StringPart(toggle, 1));
        // The format bar is as wide as the other two together: it gets a
        // row of its own instead of being cut off.
        if (bar == m_pFormatBar) addToolBarBreak(Qt::TopToolBarArea);
        addToolBar(Qt::TopToolBarArea, bar);
    }

    QStatusBar* status = statusBar();
    status->showMessage(CurrentLanguage().String(ids::IDS_IDLE_MESSAGE));
    const unsigned indicators[3] = {ids::IDS_INDICATOR_CAPS, ids::IDS_INDICATOR_NUM, ids::IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(CurrentLanguage().String(indicators[i]), status);
        m_indicators[i]->setMinimumWidth(m_indicators[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRLW")));
        m_indicators[i]->setAlignment(Qt::AlignCenter);
        // Greyed until the lock keys' state is known.
        m_indicators[i]->setEnabled(false);
        status->addPermanentWidget(m_indicators[i]);
    }
    WatchLockKeys();

    m_nMenuShown = 0;
    OnSubWindowActivated(nullptr);

    // A first start has no stored rectangle: wide enough for the two main
    // bars, centred.
    CWindowRect& rc = AppOptions().m_rcMainWindow;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    resize(qMin(1100, avail.width()), qMin(760, avail.height()));
    auto centre = [&] { move(avail.x() + (avail.width() - width()) / 2, avail.y() + (avail.height() - height()) / 2); };
    // Where a new window stands before anything moves it: the rule below
    // keeps its top and bottom, and a top of 0 would put the caption off
    // the screen.
    centre();
    if (rc.m_nRight == rc.m_nLeft) {
        const int want = m_pMainBar->sizeHint().width() + m_pSecondBar->sizeHint().width() + 10;
        if (want < width() && want < avail.width()) {
            const QRect g = frameGeometry();
            rc.m_nLeft = avail.x() + (avail.width() - want) / 2;
            rc.m_nRight = rc.m_nLeft + want;
            rc.m_nTop = g.top();
            rc.m_nBottom = g.bottom() + 1;
        }
    }

    CreateTrayIcon();
    m_bRevealPending = false;
    RestartAutosaveTimer();

    // The notebook windows' tabs run along the MDI area's foot; a tab is
    // named after its notebook.
    m_pWindowTabs = new CWindowTabs;
    takeCentralWidget();
    setCentralWidget(m_pWindowTabs->Attach(m_pMdi, [](QMdiSubWindow* w) {
        const auto* child = qobject_cast<CChildFrame*>(w);
        return child ? child->windowTitle() : QString();
    }));
    RegisterHotKey();
    // The keys come back here when a dialog of this window closes; with no
    // widget that had them, to the notebook's tree.
    new COwnerFocus(this, [this]() -> QWidget* {
        CChildFrame* child = ActiveChildFrame();
        return child ? child->TreeView() : nullptr;
    });
    if (m_bShowSplash) CSplashWnd::ShowSplashScreen(this);
    centre();

    connect(&m_idleTimer, &QTimer::timeout, this, &CMainFrame::UpdateToolBars);
    m_idleTimer.start(kIdleUpdateMs);
    // The bars show the right state from the first paint on.
    UpdateToolBars();
    // Docking last: it takes the window's place as it floats.
    SetAutoHideDocking(AppOptions().m_bDockEnabled);
    return true;
}

void CMainFrame::BuildFormatToolBar() {
    // The first two buttons give their places to the font boxes.
    m_pFontName = new QComboBox(m_pFormatBar);
    m_pFontName->setEditable(true);
    m_pFontName->setInsertPolicy(QComboBox::NoInsert);
    m_pFontName->setFixedWidth(150);
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    m_pFontName->addItems(families);
    m_pFontName->setCurrentIndex(-1);
    m_pFontSize = new QComboBox(m_pFormatBar);
    m_pFontSize->setFixedWidth(50);
    for (int size : {8, 10, 12, 14, 18, 24, 36}) m_pFontSize->addItem(QString::number(size));
    m_pFontSize->setCurrentIndex(-1);
    const QList<QAction*> actions = m_pFormatBar->actions();
    for (QAction* a : actions) {
        const unsigned id = m_pActions->IdOf(a);
        if (id == cmd::kCmdFontName || id == cmd::kCmdFontSize) {
            QComboBox* box = id == cmd::kCmdFontName ? m_pFontName : m_pFontSize;
            m_pFormatBar->insertWidget(a, box)->setData(id);
            m_pFormatBar->removeAction(a);
            m_pActions->SetComboBox(id, box);
        }
    }
    // The colour and paragraph-style buttons pop up what their handler
    // builds.
    for (int nIndex : {3, 8}) m_pActions->SetDropDown(m_pFormatBar, nIndex);
}

void CMainFrame::UpdateToolBars() {
    for (QToolBar* bar : {m_pMainBar, m_pSecondBar, m_pFormatBar, m_pFullScreenBar})
        if (bar && !bar->isHidden()) m_pActions->UpdateToolBar(bar);
    UpdateBarsState();
}

void CMainFrame::UpdateBarsState() {
    // The font boxes belong to the view that handles them (the editor keeps
    // them in step with the text); refreshing them here too would undo its
    // work. Without such a view (none active in the notebook window, or no
    // notebook window) nobody formats text: the boxes stand empty.
    for (unsigned id : {cmd::kCmdFontName, cmd::kCmdFontSize}) {
        QComboBox* box = m_pActions->ComboBox(id);
        if (!box) continue;
        CCmdUI ui(id, CCmdUI::kindToolbar);
        if (OnCmdMsg(id, &ui)) continue;
        if (box->currentIndex() != -1) box->setCurrentIndex(-1);
        box->setEnabled(false);
    }
}

bool CMainFrame::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    if (CChildFrame* child = ActiveChildFrame())
        if (child->OnCmdMsg(nID, pUI, pNotify)) return true;
    if (CCmdTarget::OnCmdMsg(nID, pUI, pNotify)) return true;
    return m_host.AppTarget().OnCmdMsg(nID, pUI, pNotify);
}

void CMainFrame::ExecuteCommand(unsigned nID) { OnCmdMsg(nID, nullptr); }

CChildFrame* CMainFrame::ActiveChildFrame() const {
    return m_pMdi ? qobject_cast<CChildFrame*>(m_pMdi->activeSubWindow()) : nullptr;
}

QList<CChildFrame*> CMainFrame::ChildFrames() const {
    QList<CChildFrame*> out;
    if (!m_pMdi) return out;
    for (QMdiSubWindow* w : m_pMdi->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(w)) out << child;
    return out;
}

CChildFrame* CMainFrame::CreateChildFrame(CClipVaultDoc* pDoc) {
    auto* child = new CChildFrame(*this, *pDoc);
    bool bBuilt = false;
    try {
        bBuilt = (!m_fnAcceptChildFrame || m_fnAcceptChildFrame(*child)) && child->Create();
    } catch (const std::exception&) {
        AfxMessageBox(ids::IDS_OPERATION_FAILED);
    }
    if (!bBuilt) {
        // The window never held the notebook; whoever asked for it takes
        // the notebook back.
        delete child;
        return nullptr;
    }
    m_pMdi->addSubWindow(child);
    // Notebook windows open maximized.
    child->showMaximized();
    m_pMdi->setActiveSubWindow(child);
    OnSubWindowActivated(child);
    return child;
}

CChildFrame* CMainFrame::ActivateDocumentFrame(CClipVaultDoc* pDoc) {
    for (CChildFrame* child : ChildFrames()) {
        if (&child->Document() == pDoc) {
            m_pMdi->setActiveSubWindow(child);
            return child;
        }
    }
    return nullptr;
}

void CMainFrame::ChildFrameClosing(CChildFrame* pChild) {
    m_pClosingMaximized = pChild && pChild == ActiveChildFrame() && pChild->isMaximized() ? pChild : nullptr;
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* pWindow) {
    if (m_bDestroyed) return;
    // The MDI area keeps only the window in front maximized and hands that
    // on as another comes to the front, but not from a window that closes:
    // the others would come back as the small windows they never were.
    if (pWindow && m_pClosingMaximized && pWindow != m_pClosingMaximized) {
        m_pClosingMaximized = nullptr;
        if (!pWindow->isMaximized()) pWindow->showMaximized();
    }
    const unsigned want = ActiveChildFrame() ? kMenuNotebook : kMenuMain;
    if (want != m_nMenuShown) {
        m_pActions->FillMenuBar(menuBar(), want);
        m_nMenuShown = want;
    }
    UpdateFrameTitle();
    UpdateToolBars();
}

void CMainFrame::UpdateFrameTitle() {
    QString title = CurrentLanguage().StringPart(233, 0);
    if (title.isEmpty()) title = QStringLiteral("Clipvault");
    // A maximized notebook window shows its title in the frame's itself
    // (" - [title]"), so the frame adds it only for one that is not.
    CChildFrame* child = ActiveChildFrame();
    if (child && !child->isMaximized()) title += QStringLiteral(" - ") + child->windowTitle();
    if (title != windowTitle()) setWindowTitle(title);
}

void CMainFrame::SetMessageText(const QString& strText) {
    statusBar()->showMessage(strText.isEmpty() ? CurrentLanguage().String(ids::IDS_IDLE_MESSAGE) : strText);
}

void CMainFrame::ToggleBar(QWidget* pBar) {
    if (pBar) pBar->setVisible(!pBar->isVisible());
}

void CMainFrame::FillWindowList(QMenu* pMenu) {
    const QList<CChildFrame*> children = ChildFrames();
    if (children.isEmpty()) return;
    pMenu->addSeparator();
    unsigned id = cmd::kCmdFirstWindow;
    for (CChildFrame* child : children) {
        if (id > cmd::kCmdLastWindow) break;
        QString title = ToQ(child->Document().GetTitle());
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = pMenu->addAction(QStringLiteral("&%1 %2").arg(id - cmd::kCmdFirstWindow + 1).arg(title));
        a->setData(id++);
    }
}

void CMainFrame::RegisterCommands() {
    OnCommand(cmd::kCmdToggleToolbar, [this] { ToggleBar(m_pMainBar); });
    OnUpdate(cmd::kCmdToggleToolbar, [this](CCmdUI* pUI) { pUI->SetCheck(m_pMainBar && m_pMainBar->isVisible()); });
    OnCommand(cmd::kCmdToggleSecondToolbar, [this] { ToggleBar(m_pSecondBar); });
    OnUpdate(cmd::kCmdToggleSecondToolbar, [this](CCmdUI* pUI) { pUI->SetCheck(m_pSecondBar && m_pSecondBar->isVisible()); });
    OnCommand(cmd::kCmdToggleFormatToolbar, [this] { ToggleBar(m_pFormatBar); });
    OnUpdate(cmd::kCmdToggleFormatToolbar, [this](CCmdUI* pUI) { pUI->SetCheck(m_pFormatBar && m_pFormatBar->isVisible()); });
    OnCommand(cmd::kCmdToggleStatusBar, [this] { ToggleBar(statusBar()); });
    OnUpdate(cmd::kCmdToggleStatusBar, [this](CCmdUI* pUI) { pUI->SetCheck(statusBar()->isVisible()); });
    OnCommand(cmd::kCmdShowWindow, [this] {
        ShowDockedWindow(true);
        BringToForeground();
    });
    OnCommand(cmd::kCmdCascade, [this] { m_pMdi->cascadeSubWindows(); });
    OnCommand(cmd::kCmdTileHorizontally, [this] { m_pMdi->tileSubWindows(); });
    OnCommand(cmd::kCmdTileVertically, [this] { m_pMdi->tileSubWindows(); });
    OnCommand(cmd::kCmdArrangeIcons, [this] { m_pMdi->tileSubWindows(); });
    for (unsigned id : {57649u, 57650u, 57651u, 57652u})
        OnUpdate(id, [this](CCmdUI* pUI) { pUI->Enable(ActiveChildFrame() != nullptr); });
    // The Window menu lists the notebook windows where its first id stands;
    // the active one is checked.
    OnUpdateRange(cmd::kCmdFirstWindow, cmd::kCmdLastWindow, [this](CCmdUI* pUI) {
        const QList<CChildFrame*> children = ChildFrames();
        const qsizetype n = pUI->m_nID - cmd::kCmdFirstWindow;
        pUI->Enable(n < children.size());
        pUI->SetCheck(n < children.size() && children[n] == ActiveChildFrame());
        if (pUI->m_nID == cmd::kCmdFirstWindow) pUI->SetItems([this](QMenu* pMenu) { FillWindowList(pMenu); });
    });
    OnCommandRange(cmd::kCmdFirstWindow, cmd::kCmdLastWindow, [this](unsigned nID) {
        const QList<CChildFrame*> children = ChildFrames();
        const qsizetype n = nID - cmd::kCmdFirstWindow;
        if (n < children.size()) m_pMdi->setActiveSubWindow(children[n]);
    });
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    LeaveFullScreen();
    // Every notebook goes through its own close sequence first; one that
    // refuses keeps the program running.
    if (!m_host.CloseAllDocuments()) {
        e->ignore();
        return;
    }
    if (!isMaximized() && !isMinimized()) {
        const QRect g = geometry();
        CWindowRect& rc = AppOptions().m_rcMainWindow;
        rc.m_nLeft = g.left();
        rc.m_nTop = g.top();
        rc.m_nRight = g.left() + g.width();
        rc.m_nBottom = g.top() + g.height();
    }
    m_idleTimer.stop();
    UnregisterHotKey();
    e->accept();
    OnDestroy();
    // The help window may still be open; the program ends with this one.
    QCoreApplication::quit();
}

void CMainFrame::ShowWindowTabs(bool bShow) {
    if (!m_pWindowTabs) return;
    if (bShow) m_pWindowTabs->Show();
    else m_pWindowTabs->Hide();
}
