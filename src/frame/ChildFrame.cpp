#include "frame/ChildFrame.h"

#include "capture/KeptPageFinder.h"
#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/PageHighlighter.h"
#include "document/NoteMail.h"
#include "document/Records.h"
#include "frame/CataListView.h"
#include "frame/FrameHost.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/ImportItemsEvent.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/QtText.h"
#include "platform/CommandIds.h"
#include "app/AppOptions.h"
#include "views/HighlightsTab.h"
#include "views/ImportSettingsDlg.h"
#include "views/NoteEditView.h"
#include "views/NotebookPropertiesDlg.h"
#include "views/PasswordDlgs.h"
#include "views/NoteIndexer.h"
#include "views/QueryForm.h"
#include "views/TabView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>

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
    // Its thread reads copies only, but it is stopped before the notebook goes.
    m_pIndexer.reset();
    if (m_doc.m_pViews == this) m_doc.m_pViews = nullptr;
    g_bAutoHideAllowed = true;
    // Only a window that was built holds its notebook; when building failed,
    // the template's open takes the notebook back itself.
    if (!m_bBuilt) return;
    // Whatever an encrypted notebook had to put on disk (an edit on its way
    // back, a web archive on show) goes with its window.
    if (m_doc.IsEncrypted()) RemoveWorkFolder();
    m_frame.Host().DocumentClosed(&m_doc);
}

NoteListFactory CChildFrame::s_fnMakeList = [](INoteFrame& frame, CClipVaultDoc& doc,
                                               QWidget* pParent) -> INoteListPane* {
    return new CCataListView(frame, doc, pParent);
};
NoteEditorFactory CChildFrame::s_fnMakeEditor = [](INoteFrame& frame, CClipVaultDoc& doc,
                                                   QWidget* pParent) -> INoteEditorPane* {
    return new CNoteEditView(frame, doc, pParent);
};
std::function<bool()> CChildFrame::s_fnMailAvailable = [] {
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-email")).isEmpty();
};
std::function<void(CNote&, QWidget*)> CChildFrame::s_fnMailNote = [](CNote& note, QWidget*) { SendNoteByMail(note); };

bool CChildFrame::Create() {
    MakeIndexer();
    connect(this, &QMdiSubWindow::windowStateChanged, this, [this] { m_frame.UpdateFrameTitle(); });
    m_pSplitter = new QSplitter(Qt::Horizontal);
    m_pSplitter->setChildrenCollapsible(false);
    m_pTabView = new CTabView(m_pSplitter);
    m_pTabView->SetTabSide(CTabView::kBottom);
    // The label goes into the tab through a ten-byte buffer of old: nine
    // bytes of it, whole characters only.
    const std::string tabTitle = CutToBytes(FromQ(CurrentLanguage().String(ids::IDS_TAB_CATEGORIES)), kTabLabelBytes);
    m_pTabView->AddView(tabTitle, [this](QWidget* pParent) {
        m_pTree = new CNoteCataView(*this, m_doc, pParent);
        return m_pTree;
    });
    m_pTabView->AddView(CutToBytes(FromQ(CurrentLanguage().String(ids::IDS_TAB_SEARCH)), kTabLabelBytes),
                        [this](QWidget* pParent) -> QWidget* {
                            auto* pForm = new CQueryForm(*this, m_doc, pParent);
                            if (!pForm->IsCreated()) {  // no template in the language module
                                delete pForm;
                                return nullptr;
                            }
                            pForm->SetIndexer(m_pIndexer.get());
                            m_pQueryForm = pForm;
                            return pForm;
                        });
    // A highlight opens its note in the browser, scrolled to it.
    m_pTabView->AddView(FromQ(CurrentLanguage().String(ids::IDS_TAB_HIGHLIGHTS)), [this](QWidget* pParent) {
        return new CHighlightsTab(m_doc, [this](CNote* pNote, const std::string& strId) {
            ShowNote(pNote, false, 0);
            if (m_pBrowser && m_pBrowser->ShownNote() == pNote) m_pBrowser->Highlighter().Reveal(strId);
        }, pParent);
    });
    m_pBrowser = new CNoteBrowserView(*this, m_doc, m_pSplitter);
    if (!m_pTree || !m_pBrowser) {
        delete m_pSplitter;
        m_pSplitter = nullptr;
        m_pTabView = nullptr;
        m_pTree = nullptr;
        m_pQueryForm = nullptr;
        m_pBrowser = nullptr;
        AfxMessageBox(ids::IDS_CHILD_CREATE_FAILED, host::MB_OK);
        return false;
    }
    m_pSplitter->addWidget(m_pTabView);
    m_pSplitter->addWidget(m_pBrowser);
    // One third for the tree, the rest for the note, also as the window grows.
    m_pSplitter->setStretchFactor(0, 1);
    m_pSplitter->setStretchFactor(1, 2);
    const int w = std::max(width(), 300);
    m_pSplitter->setSizes({w / 3, 2 * w / 3});
    setWidget(m_pSplitter);
    // The window's own menu closes it on the desktop's Close keys, Ctrl+W
    // among them, which is also the notebook's Close command: Qt runs
    // neither of two actions that claim one key. Ctrl+F4 stays the window's.
    if (QMenu* pMenu = systemMenu()) {
        for (QAction* pAction : pMenu->actions()) {
            QList<QKeySequence> keys = pAction->shortcuts();
            if (keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_W)) > 0) pAction->setShortcuts(keys);
        }
    }
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
    // After the window's first showing: the index is opened, and built when
    // it does not describe the notebook's file.
    QTimer::singleShot(100, this, [this] {
        if (m_pIndexer) m_pIndexer->Start();
    });
    return true;
}

void CChildFrame::MakeIndexer() {
    m_pIndexer = std::make_unique<CNoteIndexer>(
        m_doc, notetext::CNoteIndex::FolderBesideOptions(CAppOptions::DefaultOptionsPath()));
    connect(m_pIndexer.get(), &CNoteIndexer::Progress, this, [this](qulonglong nDone, qulonglong nTotal) {
        SetStatusText(FromQ(FormatMessageText(CurrentLanguage().String(ids::IDS_INDEX_PROGRESS),
                                              {notefeed::GroupedNumber(nDone), notefeed::GroupedNumber(nTotal)})));
    });
    connect(m_pIndexer.get(), &CNoteIndexer::StateChanged, this, [this](int nState) {
        if (nState == CNoteIndexer::kFailed) SetStatusText(FromQ(CurrentLanguage().String(ids::IDS_INDEX_FAILED)));
        else if (nState == CNoteIndexer::kReady) SetStatusText(std::string());
    });
}

void CChildFrame::DocumentSaved() {
    if (m_pIndexer) m_pIndexer->Saved();
}

bool CChildFrame::SwitchRightPane(Pane nPane) {
    const bool bThere = (nPane == kPaneList && m_pList) || (nPane == kPaneBrowser && m_pBrowser) ||
                        (nPane == kPaneEditor && m_pEditor);
    if (bThere) return true;
    if (!m_pSplitter) return false;
    // Only a view the program can make replaces the one that is there.
    if ((nPane == kPaneList && !s_fnMakeList) || (nPane == kPaneEditor && !s_fnMakeEditor)) return false;
    QWidget* pOld = m_pSplitter->count() > 1 ? m_pSplitter->widget(1) : nullptr;
    const QList<int> sizes = m_pSplitter->sizes();
    if (m_pEditor) m_pEditor->CloseWindow();
    CCmdTarget* pActive = ActiveView();
    const bool bOldWasActive = pActive && ((m_pBrowser && pActive == m_pBrowser) ||
                                           (m_pEditor && pActive == m_pEditor->Target()) ||
                                           (m_pList && pActive == m_pList->Target()));
    m_pBrowser = nullptr;
    m_pEditor = nullptr;
    m_pList = nullptr;
    QWidget* pNew = nullptr;
    switch (nPane) {
    case kPaneList:
        m_pList = s_fnMakeList(*this, m_doc, m_pSplitter);
        if (m_pList) {
            m_pList->SetTreeView(m_pTree);
            pNew = m_pList->Widget();
        }
        break;
    case kPaneBrowser:
        m_pBrowser = new CNoteBrowserView(*this, m_doc, m_pSplitter);
        pNew = m_pBrowser;
        break;
    case kPaneEditor:
        m_pEditor = s_fnMakeEditor(*this, m_doc, m_pSplitter);
        if (m_pEditor) pNew = m_pEditor->Widget();
        break;
    }
    // The old view goes even when the new one could not be made: the pane
    // never shows a view the frame no longer knows.
    delete pOld;
    if (pNew) {
        m_pSplitter->insertWidget(1, pNew);
        m_pSplitter->setStretchFactor(1, 2);
        if (sizes.size() == 2) m_pSplitter->setSizes(sizes);
        pNew->show();
    }
    if (bOldWasActive || !ActiveView()) SetActiveView(m_pTree);
    return pNew != nullptr;
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


bool CChildFrame::ListIsActive() const {
    return m_pList && ActiveView() && ActiveView() == m_pList->Target();
}

CCmdTarget* CChildFrame::RoutedTarget() const {
    if (ListIsActive()) return m_pList->Target();
    return m_pTree;
}

void CChildFrame::SaveCurrentNote() {
    if (m_doc.IsReadOnly() || !m_pCurrentNote || m_pCurrentNote->m_nStatus.load() == kStatusDeleting) return;
    if (m_pEditor) {
        if (!m_pEditor->SaveNote()) AfxMessageBox(ids::IDS_EDITOR_SAVE_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return;
    }
    if (m_pBrowser) m_pBrowser->SaveShownPage();
}

void CChildFrame::CommitEdits() { SaveCurrentNote(); }

void CChildFrame::ShowNote(CNote* pNote, bool bNew, int nMode, bool bSource) {
    if (!pNote || pNote->m_pDocument != &m_doc) return;
    const std::string fragment = std::exchange(m_strPendingFragment, std::string());
    SaveCurrentNote();
    // Going on to the note before this one (by a link, say) is a new visit,
    // not a step back: the note left goes onto the list all the same, or
    // Back would show the same note again and lose the one in between.
    if (m_pCurrentNote && m_pCurrentNote != pNote &&
        (!m_bHistoryStep || m_backList.empty() || m_backList.back() != pNote))
        m_backList.push_back(m_pCurrentNote);
    if ((m_forwardList.empty() || m_forwardList.back() != pNote) && (m_backList.empty() || m_backList.back() != pNote))
        m_forwardList.clear();
    m_pCurrentNote = pNote;
    m_bShowingSource = false;
    if (bSource && !pNote->m_strSource.empty()) {
        if (!SwitchRightPane(kPaneBrowser)) return;
        m_bShowingSource = true;
        m_pBrowser->ShowSource(pNote);
        return;
    }
    const int status = pNote->m_nStatus.load();
    // A page kept with some of its files left at their addresses (past what
    // one capture may hold) says so while it is read; any other note clears
    // what the last one said.
    {
        std::lock_guard<std::mutex> guard(pNote->m_dataLock);
        m_strRemark = status == kStatusDone ? pNote->m_strError : std::string();
    }
    SetStatusText(std::string());
    const bool bDownload = status == kStatusQueued || status == kStatusRunning || status == kStatusFailed ||
                           status == kStatusHeld;
    const bool bEditable =
        SameType(pNote->m_strExt, "htm") || SameType(pNote->m_strExt, "html") || SameType(pNote->m_strExt, "txt");
    const bool bWantEditor = !bDownload && bEditable && !m_doc.IsReadOnly() &&
                             (nMode == 1 || (nMode == -1 && (bNew || AppOptions().m_nDefaultView == 0)));
    if (bWantEditor && SwitchRightPane(kPaneEditor)) {
        // A page that cannot be produced for editing is not edited: the
        // browser shows what there is of it.
        if (m_pEditor->LoadNote(pNote, bNew, nMode)) {
            if (!fragment.empty()) m_pEditor->ShowPlace(fragment);
            if (m_pCurrentNote == pNote && m_pEditor) SetActiveView(m_pEditor->Target());
            return;
        }
        if (m_pCurrentNote != pNote) return;
    }
    if (!SwitchRightPane(kPaneBrowser)) return;
    m_pBrowser->ShowNote(pNote, false, ToQ(fragment));
}

bool CChildFrame::ShowList() {
    // A note being deleted is not saved on the way out (SaveCurrentNote
    // leaves it alone).
    SaveCurrentNote();
    m_pCurrentNote = nullptr;
    m_bShowingSource = false;
    if (!m_strRemark.empty()) {
        m_strRemark.clear();
        SetStatusText(std::string());
    }
    if (SwitchRightPane(kPaneList)) return true;
    if (m_pBrowser) m_pBrowser->ShowNothing();
    return false;
}

void CChildFrame::ListCategory(CNoteCata* pCata) {
    if (ShowList()) m_pList->ListCategory(pCata);
}

void CChildFrame::ListGroup(int nGroup) {
    if (ShowList()) m_pList->ListGroup(nGroup);
}

void CChildFrame::ClearCurrentNote() {
    m_pCurrentNote = nullptr;
    m_strRemark.clear();
    m_bShowingSource = false;
    // An editor would write its page into a note that is gone: it goes,
    // unsaved, and the browser shows nothing.
    if (m_pEditor) SwitchRightPane(kPaneBrowser);
    if (m_pBrowser) m_pBrowser->ShowNothing();
}

// What the page says (a link under the mouse) goes over the shown note's
// remark only while it lasts.
void CChildFrame::SetStatusText(const std::string& strText) {
    m_frame.SetMessageText(ToQ(strText.empty() ? m_strRemark : strText));
}

void CChildFrame::EditorMouseDown(int x, int y) { m_frame.m_ptEditorMouseDown = QPoint(x, y); }

void CChildFrame::ForgetNote(CNote* pNote) {
    m_backList.erase(std::remove(m_backList.begin(), m_backList.end(), pNote), m_backList.end());
    m_forwardList.erase(std::remove(m_forwardList.begin(), m_forwardList.end(), pNote), m_forwardList.end());
}

void CChildFrame::RemoveFromList(CNoteBase* pRecord) {
    if (m_pList) m_pList->RemoveRecord(pRecord);
}

void CChildFrame::GoToNoteNumber(uint32_t nID) {
    // Selected as a click would: the tree's selection shows the note.
    if (!m_pTree || !m_pTree->SelectNoteNumber(nID, false)) return;
    // When the tree had it selected already, nothing changed there; the
    // pane may still show another note (one opened from the search form).
    CNoteBase* pRecord = m_pTree->RecordOf(m_pTree->currentItem());
    if (pRecord && pRecord->m_nKind == CNoteBase::kindNote && pRecord != m_pCurrentNote &&
        static_cast<CNote*>(pRecord)->m_nID == nID)
        ShowNote(static_cast<CNote*>(pRecord));
}

CNote* CChildFrame::KeptNoteAt(const std::string& strAddress, const CNote* pFrom) {
    if (!m_pKeptPageFinder) m_pKeptPageFinder = std::make_unique<CKeptPageFinder>(m_doc);
    return m_pKeptPageFinder->Find(strAddress, pFrom);
}

void CChildFrame::GoToKeptNote(uint32_t nID, const std::string& strFragment) {
    // A link to a place in the page on show only moves there.
    if (m_pCurrentNote && m_pCurrentNote->m_nID == nID && !m_bShowingSource) {
        if (m_pBrowser && m_pBrowser->ShownNote() == m_pCurrentNote) {
            m_pBrowser->ShowNote(m_pCurrentNote, false, ToQ(strFragment));
            return;
        }
        if (m_pEditor && m_pEditor->EditedNote() == m_pCurrentNote) {
            m_pEditor->ShowPlace(strFragment);
            return;
        }
    }
    // Opened as a note link opens it: the tree selects it, and so it is
    // shown and goes into the history.
    m_strPendingFragment = strFragment;
    GoToNoteNumber(nID);
    m_strPendingFragment.clear();
}

void CChildFrame::NoteStatusChanged(CNote* pNote) {
    if (m_pTree) m_pTree->PlaceInDownloadGroup(pNote);
    if (m_pList) m_pList->NoteStatusChanged(pNote);
}

void CChildFrame::OpenImport() {
    CImportItemsEvent e(nullptr);
    QApplication::sendEvent(&m_frame, &e);
}

void CChildFrame::ImportNotes(const std::vector<CNote*>& notes) {
    if (m_frame.m_fnImportNotes) m_frame.m_fnImportNotes(m_doc, notes);
}

namespace {

struct CHistoryStep {
    explicit CHistoryStep(bool& bFlag) : m_bFlag(bFlag) { m_bFlag = true; }
    ~CHistoryStep() { m_bFlag = false; }
    bool& m_bFlag;
};

}  // namespace

bool CChildFrame::LeftCurrentNote() const {
    return m_pCurrentNote && !m_bShowingSource && m_pBrowser && m_pBrowser->ShownNote() == m_pCurrentNote &&
           m_pBrowser->LeftNote();
}

void CChildFrame::OnBack() {
    // A link that took the browser away from the note (to the web) is the
    // last step taken: Back returns to the note's page, not past it.
    if (LeftCurrentNote()) {
        m_pBrowser->ShowNote(m_pCurrentNote);
        return;
    }
    if (m_backList.empty()) return;
    CNote* pEntry = m_backList.back();
    if (m_pCurrentNote) m_forwardList.push_back(m_pCurrentNote);
    {
        CHistoryStep step(m_bHistoryStep);
        ShowNote(pEntry, false, -1);
        if (m_pTree) m_pTree->SelectRecord(pEntry, true);
    }
    // The entry is the last one unless showing it added the note it left.
    auto it = std::find(m_backList.rbegin(), m_backList.rend(), pEntry);
    if (it != m_backList.rend()) m_backList.erase(std::next(it).base());
}

void CChildFrame::OnForward() {
    if (!m_forwardList.empty() && m_forwardList.back() == m_pCurrentNote) {
        m_forwardList.pop_back();
        if (m_forwardList.empty()) return;
    }
    if (m_forwardList.empty()) return;
    CNote* pEntry = m_forwardList.back();
    {
        CHistoryStep step(m_bHistoryStep);
        ShowNote(pEntry, false, -1);
        if (m_pTree) m_pTree->SelectRecord(pEntry, true);
    }
    auto it = std::find(m_forwardList.rbegin(), m_forwardList.rend(), pEntry);
    if (it != m_forwardList.rend()) m_forwardList.erase(std::next(it).base());
}

bool CChildFrame::ChooseSavePath(std::string& strPath) {
    CAutoHideBlock block;
    QString proposed = ToQ(m_doc.GetTitle());
    if (proposed.endsWith(QStringLiteral(" *"))) proposed.chop(2);
    // The damaged file's own name would only be refused.
    if (m_doc.IsDamaged())
        proposed = FormatMessageText(CurrentLanguage().String(ids::IDS_RECOVERED_NAME), {FromQ(proposed)});
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
    if (!m_doc.AskSavePath(path)) return false;
    if (!m_doc.OnSaveDocument(path)) return false;
    m_doc.SetPathName(path);
    m_frame.Host().AddToRecentFileList(ToQ(path));
    return true;
}

void CChildFrame::NoteFiled(CNote* pNote) {
    if (m_pIndexer) m_pIndexer->NotebookChanged();
    // Only where the category is shown: a branch not built yet shows the
    // note when it is built.
    if (!m_pTree || !pNote) return;
    if (QTreeWidgetItem* item = m_pTree->ItemOf(pNote->m_pParent)) m_pTree->InsertNote(pNote, item);
    // The list showing that category lists it too.
    if (auto* list = dynamic_cast<CCataListView*>(m_pList))
        if (list->CurrentCategory() == pNote->m_pParent) list->ListCategory(pNote->m_pParent);
}

void CChildFrame::RefreshNote(CNote* pNote) {
    if (!pNote) return;
    if (m_pIndexer) m_pIndexer->NotebookChanged();
    if (m_pTree) m_pTree->RefreshNote(pNote);
    NoteStatusChanged(pNote);
    // The shown note's page follows its download: its state page while it
    // is fetched, its content once it is there.
    if (pNote == m_pCurrentNote && m_pBrowser && !m_bShowingSource && m_pBrowser->ShownNote() == pNote)
        m_pBrowser->ShowNote(pNote);
}

void CChildFrame::NoteUnlisted(CNote* pNote) {
    if (!pNote) return;
    if (m_pTree) m_pTree->RefreshNote(pNote);
    NoteStatusChanged(pNote);
}

void CChildFrame::RemoveItem(CNoteBase* pItem) {
    if (!pItem) return;
    if (m_pIndexer) m_pIndexer->NotebookChanged();
    if (pItem->m_nKind == CNoteBase::kindNote) {
        auto* pNote = static_cast<CNote*>(pItem);
        if (pNote == m_pCurrentNote) ClearCurrentNote();
        ForgetNote(pNote);
    } else if (pItem->m_nKind == CNoteBase::kindCata) {
        // A category going takes its notes with it, out of the history too.
        auto inside = [pItem](const CNote* pNote) {
            for (const CNoteCata* p = pNote ? pNote->m_pParent : nullptr; p; p = p->m_pParent)
                if (p == pItem) return true;
            return false;
        };
        if (inside(m_pCurrentNote)) ClearCurrentNote();
        m_backList.erase(std::remove_if(m_backList.begin(), m_backList.end(), inside), m_backList.end());
        m_forwardList.erase(std::remove_if(m_forwardList.begin(), m_forwardList.end(), inside), m_forwardList.end());
    }
    RemoveFromList(pItem);
    if (m_pTree) m_pTree->RemoveRecord(pItem);
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
    m_frame.ChildFrameClosing(this);
    m_doc.PreCloseFrame();
    e->accept();
}

void CChildFrame::RegisterCommands() {
    OnCommand(cmd::kCmdClose, [this] { close(); });
    // A damaged notebook goes only to a new file, and to the recent list
    // from there.
    OnCommand(cmd::kCmdSave, [this] {
        if (m_doc.IsDamaged()) SaveAs();
        else m_doc.DoFileSave();
    });
    OnCommand(cmd::kCmdSaveAs, [this] { SaveAs(); });
    RegisterNoteCommands();
    RegisterCryptCommands();
    RegisterMarkdownCommands();
}

bool CChildFrame::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    using namespace cmd;
    // The reader view is the browser's, whichever view has the keyboard.
    if (nID >= kCmdReaderFirst && nID <= kCmdReaderLast) return m_pBrowser && m_pBrowser->OnCmdMsg(nID, pUI, pNotify);
    if (pNotify) {
        // Notifications (a drop-down arrow, a font box) belong to the view
        // that owns the control's command.
        if (CCmdTarget* view = ActiveView())
            if (view->OnCmdMsg(nID, pUI, pNotify)) return true;
        return CCmdTarget::OnCmdMsg(nID, pUI, pNotify);
    }
    switch (nID) {
    // The shared editing commands go to the tree or to the list, whichever
    // was last used, whatever view has the focus now.
    case kCmdNewCategory:
    case kCmdDelete:
    case kCmdNewNote:
    case kCmdRename:
    case kCmdCopyRecord:
    case kCmdSpareRecord:
    case kCmdCutRecord:
    case kCmdPasteRecord:
    case kCmdNoteProperties:
    case kCmdImportAgain:
    case kCmdHoldDownload:
    case kCmdStartDownload:
    case kCmdStopDownload:
    case kCmdHoldGroup:
    case kCmdStartGroup:
    case kCmdStopGroup:
    case kCmdDeleteGroup: {
        CCmdTarget* target = RoutedTarget();
        return target && target->OnCmdMsg(nID, pUI);
    }
    case kCmdEmptyCategory:
    case kCmdSortByName:
        return m_pTree && m_pTree->OnCmdMsg(nID, pUI);
    case kCmdBrowserStop:
    case kCmdBrowserRefresh:
    case kCmdTextSizeLargest:
    case kCmdTextSizeLarger:
    case kCmdTextSizeMedium:
    case kCmdTextSizeSmaller:
    case kCmdTextSizeSmallest:
    case kCmdPageScripts:
    // The selection to highlight is in the page, wherever the keys are.
    case kCmdHighlight:
    case kCmdHighlightYellow:
    case kCmdHighlightYellow + 1:
    case kCmdHighlightYellow + 2:
    case kCmdHighlightPink:
    case kCmdHighlightComment:
    case kCmdRemoveHighlight:
        // Without a browser nobody answers, and the command stays disabled.
        return m_pBrowser && m_pBrowser->OnCmdMsg(nID, pUI);
    case kCmdPrint:
    case kCmdPrintDirect:
        // The note on show prints, whichever view has the keyboard.
        if (m_pEditor) return m_pEditor->Target()->OnCmdMsg(nID, pUI);
        return m_pBrowser && m_pBrowser->OnCmdMsg(nID, pUI);
    case kCmdViewNote:
    case kCmdEditNote:
        if (m_pList) return m_pList->Target()->OnCmdMsg(nID, pUI);
        break;
    case kCmdViewSource:
        if (ListIsActive()) return m_pList->Target()->OnCmdMsg(nID, pUI);
        break;
    case kCmdImport:
        // The window's own, whatever view is active: it alone knows the
        // notebook's lock for an import into no particular category.
        break;
    default:
        if (CCmdTarget* view = ActiveView())
            if (view->OnCmdMsg(nID, pUI)) return true;
        break;
    }
    return CCmdTarget::OnCmdMsg(nID, pUI);
}

void CChildFrame::RegisterNoteCommands() {
    using namespace cmd;
    OnCommand(kCmdImport, [this] {
        if (!RefuseChange(m_doc)) OpenImport();
    });
    OnUpdate(kCmdImport, [this](CCmdUI* pUI) { pUI->Enable(!m_doc.IsDamaged()); });

    OnCommand(kCmdViewNote, [this] {
        if (!m_pCurrentNote) return;
        if (m_pEditor && !m_doc.IsReadOnly() && !m_pEditor->SaveNote())
            AfxMessageBox(ids::IDS_EDITOR_SAVE_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        ShowNote(m_pCurrentNote, false, 0);
    });
    OnUpdate(kCmdViewNote, [this](CCmdUI* pUI) {
        pUI->Enable(m_pCurrentNote != nullptr);
        pUI->SetCheck(m_pBrowser ? 1 : 0);
    });
    OnCommand(kCmdEditNote, [this] {
        if (!RefuseChange(m_doc)) ShowNote(m_pCurrentNote, false, 1);
    });
    // On while locked, so that it can say so; a damaged notebook is never
    // edited.
    OnUpdate(kCmdEditNote, [this](CCmdUI* pUI) {
        pUI->Enable(m_pCurrentNote && !m_doc.IsDamaged() && !m_bShowingSource);
        pUI->SetCheck(m_pEditor ? 1 : 0);
    });
    OnCommand(kCmdViewSource, [this] { ShowNote(m_pCurrentNote, false, -1, true); });
    OnUpdate(kCmdViewSource, [this](CCmdUI* pUI) {
        pUI->Enable(m_pCurrentNote && !m_pCurrentNote->m_strSource.empty() &&
                    m_pCurrentNote->m_nContentType == kContentHeld);
    });

    OnCommand(kCmdBack, [this] { OnBack(); });
    OnUpdate(kCmdBack, [this](CCmdUI* pUI) { pUI->Enable(!m_backList.empty() || LeftCurrentNote()); });
    OnCommand(kCmdForward, [this] { OnForward(); });
    OnUpdate(kCmdForward, [this](CCmdUI* pUI) { pUI->Enable(!m_forwardList.empty()); });
    OnCommand(kCmdNextNote, [this] {
        if (m_pTree) m_pTree->SelectNextNote(true);
    });
    OnUpdate(kCmdNextNote, [this](CCmdUI* pUI) { pUI->Enable(m_pTree != nullptr); });
    OnCommand(kCmdPreviousNote, [this] {
        if (m_pTree) m_pTree->SelectNextNote(false);
    });
    OnUpdate(kCmdPreviousNote, [this](CCmdUI* pUI) { pUI->Enable(m_pTree != nullptr); });

    OnCommand(kCmdDirectImport, [this] {
        if (g_bDirectImport) g_bDirectImport = false;
        else if (EditImportSettings(this)) g_bDirectImport = true;
    });
    OnUpdate(kCmdDirectImport, [](CCmdUI* pUI) { pUI->SetCheck(g_bDirectImport ? 1 : 0); });

    OnCommand(kCmdChangePassword, [this] { OnChangePassword(); });
    // A password is a change, which a damaged notebook takes none of.
    OnUpdate(kCmdChangePassword, [this](CCmdUI* pUI) { pUI->Enable(!m_doc.IsDamaged()); });
    OnCommand(kCmdUnlockNotebook, [this] { OnUnlock(); });
    OnUpdate(kCmdUnlockNotebook, [this](CCmdUI* pUI) { pUI->Enable(m_doc.IsLocked()); });
    OnCommand(kCmdMailNote, [this] { OnMailNote(); });
    OnUpdate(kCmdMailNote, [this](CCmdUI* pUI) { pUI->Enable(m_pCurrentNote && MailAvailable()); });
    OnCommand(kCmdSaveNoteAs, [this] { ExportNote(m_pCurrentNote); });
    OnUpdate(kCmdSaveNoteAs, [this](CCmdUI* pUI) { pUI->Enable(m_pCurrentNote != nullptr); });
    OnCommand(kCmdNotebookProperties, [this] { ShowNotebookProperties(m_doc, this); });
}

bool CChildFrame::MailAvailable() {
    // Tested until it succeeds once; a mail program does not go away while
    // the program runs, but one may be installed meanwhile.
    if (!m_bMailAvailable && s_fnMailAvailable) m_bMailAvailable = s_fnMailAvailable();
    return m_bMailAvailable;
}

void CChildFrame::OnMailNote() {
    if (!m_pCurrentNote) return;
    SaveCurrentNote();
    if (!s_fnMailNote) {
        AfxMessageBox(ids::IDS_NO_MAIL_SYSTEM, host::MB_OK | host::MB_ICONEXCLAMATION);
        return;
    }
    // Writing the page's files and starting the mail program take a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct CRestore {
        ~CRestore() { QApplication::restoreOverrideCursor(); }
    } restore;
    s_fnMailNote(*m_pCurrentNote, this);
}

std::string CChildFrame::ProposedFileName(const std::string& strNoteName) {
    std::string name = strNoteName;
    for (char& c : name)
        if (c && std::strchr("\\/:?\"<>|", c)) c = ' ';
    return name;
}

bool CChildFrame::ExportNote(CNote* pNote) {
    if (!pNote) return false;
    const bool bCurrent = pNote == m_pCurrentNote;
    if (bCurrent) SaveCurrentNote();
    const QString ext = ToQ(pNote->m_strExt);
    const QString filter = QStringLiteral("(*.%1)").arg(ext);
    QString path;
    {
        CAutoHideBlock block;
        QFileDialog dlg(this, QString(), ToQ(ProposedFileName(pNote->m_strName)), filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setDefaultSuffix(ext);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        path = dlg.selectedFiles().first();
    }
    // The dialog may have shown a page that deleted the note meanwhile.
    if (bCurrent && pNote != m_pCurrentNote) return false;
    if (!pNote->WriteWorkingCopy(FromQ(path), true)) {
        AfxMessageBox(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}
