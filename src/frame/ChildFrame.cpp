#include "frame/ChildFrame.h"

#include "capture/gui/NoteBrowserView.h"
#include "document/Records.h"
#include "frame/FrameHost.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/ImportItemsEvent.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"
#include "platform/CommandIds.h"
#include "views/TabView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QSplitter>

CChildFrame::CChildFrame(CMainFrame& frame, CClipVaultDoc& doc) : m_frame(frame), m_doc(doc) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(CurrentLanguage().Icon(233));
    RegisterCommands();
}

CChildFrame::~CChildFrame() {
    // The window base still signals while it is torn down; nothing of this
    // class may be reached from there.
    disconnect(this, nullptr, this, nullptr);
    qApp->disconnect(this);
    // The views go before the notebook they point into.
    m_pTree = nullptr;
    m_pBrowser = nullptr;
    m_activeView = CCmdTargetPtr();
    delete widget();
    if (m_doc.m_pViews == this) m_doc.m_pViews = nullptr;
    g_bAutoHideAllowed = true;
    // Only a window that was built holds its notebook; when building failed,
    // the template's open takes the notebook back itself.
    if (!m_bBuilt) return;
    m_frame.Host().DocumentClosed(&m_doc);
}

bool CChildFrame::Create() {
    connect(this, &QMdiSubWindow::windowStateChanged, this, [this] { m_frame.UpdateFrameTitle(); });
    m_pSplitter = new QSplitter(Qt::Horizontal);
    m_pTabView = new CTabView(m_pSplitter);
    m_pTabView->SetTabSide(CTabView::kBottom);
    // The label goes into the tab through a ten-byte buffer of old: nine
    // bytes of it, whole characters only.
    const std::string tabTitle = CutToBytes(FromQ(CurrentLanguage().String(ids::IDS_TAB_CATEGORIES)), kTabLabelBytes);
    m_pTabView->AddView(tabTitle, [this](QWidget* pParent) {
        m_pTree = new CNoteCataView(*this, m_doc, pParent);
        return m_pTree;
    });
    m_pBrowser = new CNoteBrowserView(*this, m_pSplitter);
    if (!m_pTree || !m_pBrowser) {
        delete m_pSplitter;
        m_pSplitter = nullptr;
        m_pTabView = nullptr;
        m_pTree = nullptr;
        m_pBrowser = nullptr;
        AfxMessageBox(ids::IDS_CHILD_CREATE_FAILED, host::MB_OK);
        return false;
    }
    m_pSplitter->addWidget(m_pTabView);
    m_pSplitter->addWidget(m_pBrowser);
    m_pSplitter->setStretchFactor(0, 1);
    m_pSplitter->setStretchFactor(1, 2);
    m_pSplitter->setSizes({300, 600});
    setWidget(m_pSplitter);
    // The web engine makes and replaces the widget that has the browser's
    // focus as it renders pages; where the focus is, not which widget
    // holds it, tells the active view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* pNow) { OnFocusChanged(pNow); });
    SetActiveView(m_pTree);
    m_doc.m_pViews = this;
    m_pTree->Populate();
    // The tree is the active view: the keyboard starts there.
    m_pTabView->SetActivePage(0);
    TitleChanged();
    m_bBuilt = true;
    return true;
}

CCommandActions& CChildFrame::Actions() const { return m_frame.Actions(); }

void CChildFrame::OnFocusChanged(QWidget* pNow) {
    // Focus elsewhere (the bars, another window) keeps the view that had it.
    if (!pNow || !isAncestorOf(pNow)) return;
    // The innermost target among the focus widget's ancestors is its view.
    for (QWidget* w = pNow; w && w != this; w = w->parentWidget()) {
        if (auto* view = dynamic_cast<CCmdTarget*>(w)) {
            SetActiveView(view);
            return;
        }
    }
}

bool CChildFrame::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    if (CCmdTarget* view = ActiveView())
        if (view->OnCmdMsg(nID, pUI, pNotify)) return true;
    return CCmdTarget::OnCmdMsg(nID, pUI, pNotify);
}

void CChildFrame::ShowNote(CNote* pNote, bool, int, bool bSource) {
    if (!pNote) return;
    m_pCurrentNote = pNote;
    if (!m_pBrowser) return;
    if (bSource && !pNote->m_strSource.empty()) m_pBrowser->ShowSource(pNote);
    else m_pBrowser->ShowNote(pNote);
}

void CChildFrame::ClearCurrentNote() {
    m_pCurrentNote = nullptr;
    if (m_pBrowser) m_pBrowser->ShowNothing();
}

void CChildFrame::ForgetNote(CNote*) {}

void CChildFrame::ListCategory(CNoteCata*) { ClearCurrentNote(); }

void CChildFrame::ListGroup(int) { ClearCurrentNote(); }

void CChildFrame::RemoveFromList(CNoteBase*) {}

void CChildFrame::OpenImport() {
    CImportItemsEvent e(nullptr);
    QApplication::sendEvent(&m_frame, &e);
}

void CChildFrame::ImportNotes(const std::vector<CNote*>& notes) {
    if (m_frame.m_fnImportNotes) m_frame.m_fnImportNotes(m_doc, notes);
}

bool CChildFrame::ChooseSavePath(std::string& strPath) {
    CAutoHideBlock block;
    QString proposed = ToQ(m_doc.GetTitle());
    if (proposed.endsWith(QStringLiteral(" *"))) proposed.chop(2);
    const QString path = QFileDialog::getSaveFileName(this, QString(), proposed + QStringLiteral(".vlt"),
                                                      m_frame.Host().FileDialogFilter());
    if (path.isEmpty()) return false;
    strPath = FromQ(QFileInfo(path).suffix().compare(QLatin1String("vlt"), Qt::CaseInsensitive) == 0
                        ? path
                        : path + QStringLiteral(".vlt"));
    return true;
}

bool CChildFrame::SaveAs() {
    std::string path;
    if (!ChooseSavePath(path)) return false;
    if (!m_doc.OnSaveDocument(path)) return false;
    m_doc.SetPathName(path);
    m_frame.Host().AddToRecentFileList(ToQ(path));
    return true;
}

void CChildFrame::RefreshNote(CNote* pNote) {
    if (m_pTree) m_pTree->RefreshNote(pNote);
    if (m_pBrowser && m_pBrowser->ShownNote() == pNote) m_pBrowser->ShowNote(pNote);
}

void CChildFrame::NoteUnlisted(CNote* pNote) {
    if (m_pTree) m_pTree->RefreshNote(pNote);
}

void CChildFrame::RemoveItem(CNoteBase* pItem) {
    if (pItem && pItem->m_nKind == CNoteBase::kindNote && pItem == m_pCurrentNote) ClearCurrentNote();
    if (m_pCurrentNote && pItem && pItem->m_nKind == CNoteBase::kindCata) {
        // A category going takes its notes with it.
        for (CNoteCata* p = m_pCurrentNote->m_pParent; p; p = p->m_pParent)
            if (p == pItem) {
                ClearCurrentNote();
                break;
            }
    }
    if (m_pTree) m_pTree->RemoveRecord(pItem);
}

void CChildFrame::TitleChanged() {
    setWindowTitle(ToQ(m_doc.GetTitle()));
    if (m_pTree) m_pTree->UpdateRootTitle();
    m_frame.UpdateFrameTitle();
}

void CChildFrame::closeEvent(QCloseEvent* e) {
    if (m_bClosing) {
        e->accept();
        return;
    }
    bool ok = false;
    RunGuarded([&] { ok = m_doc.CanCloseFrame(); });
    if (!ok) {
        e->ignore();
        return;
    }
    m_bClosing = true;
    m_doc.PreCloseFrame();
    e->accept();
}

void CChildFrame::RegisterCommands() {
    OnCommand(cmd::kCmdClose, [this] { close(); });
    OnCommand(cmd::kCmdSave, [this] { m_doc.DoFileSave(); });
    OnCommand(cmd::kCmdSaveAs, [this] { SaveAs(); });
}
