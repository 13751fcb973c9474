#include "views/NoteEditView.h"

#include "app/AppOptions.h"
#include "capture/LinkHelpers.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/FileUtil.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/ColorMenu.h"
#include "views/EditorDialogs.h"
#include "views/HyperlinkDlg.h"
#include "views/WebEditEngine.h"
#include "capture/gui/StoredPageScheme.h"

#include <QActionGroup>
#include <QChildEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <unistd.h>

namespace {

constexpr int kHelpContext = 4005;
// The captions the two popups get, whatever the language.
const char* const kStyleCaption = "Style";
const char* const kColorCaption = "Color";

constexpr unsigned kIdsErrorFirst = 34380;  // unspecified, bad argument, no file, not supported, disabled
constexpr unsigned kIdsErrorOther = 34385;

// A drop-down's popup when its button itself was pressed: at the mouse.
CCmdNotify DropDownAtCursor() {
    CCmdNotify n;
    n.m_nCode = CCmdNotify::kDropDown;
    n.m_rcButton = QRect(QCursor::pos(), QSize(0, 0));
    return n;
}

}  // namespace

// One row of the command table.
struct CNoteEditView::CEntry {
    unsigned m_nMenuID;
    int m_nEngineCmd;  // -1: none
    bool m_bHasArgHandler;
    bool m_bPrompt;
    bool (CNoteEditView::*m_pfnBefore)(QVariant& arg);
    void (CNoteEditView::*m_pfnAfter)(QVariant& arg);
};

CNoteEditView::EngineFactory CNoteEditView::s_fnMakeEngine = [](QWidget* pParent) -> std::unique_ptr<IEditEngine> {
    return std::make_unique<CWebEditEngine>(pParent);
};

std::function<bool(QColor&, QWidget*)> CNoteEditView::s_fnChooseColor = [](QColor& color, QWidget* pParent) {
    const QColor chosen = QColorDialog::getColor(QColor(), pParent);
    if (!chosen.isValid()) return false;
    color = chosen;
    return true;
};

namespace {
CColorMenu* g_pBackgroundMenu = nullptr;
}

void CNoteEditView::SetBackgroundMenu(CColorMenu* pMenu) { g_pBackgroundMenu = pMenu; }

CColorMenu& CNoteEditView::BackgroundMenu() {
    if (g_pBackgroundMenu) return *g_pBackgroundMenu;
    static CColorMenu s_menu(cmd::kCmdFirstBackColor);
    return s_menu;
}

QString CNoteEditView::ErrorText(int32_t hr) {
    unsigned id = 0;
    switch (hr) {
    case edit::kErrFail: id = kIdsErrorFirst; break;
    case edit::kErrInvalidArg: id = kIdsErrorFirst + 1; break;
    case edit::kErrFileNotFound: id = kIdsErrorFirst + 2; break;
    case edit::kErrNotSupported: id = kIdsErrorFirst + 3; break;
    case edit::kErrDisabled: id = kIdsErrorFirst + 4; break;
    default: break;
    }
    if (id) return CurrentLanguage().String(id);
    return CurrentLanguage().String(kIdsErrorOther).arg(static_cast<uint32_t>(hr), 8, 16, QLatin1Char('0')).toUpper();
}

const std::vector<CNoteEditView::CEntry>& CNoteEditView::CommandTable() {
    using V = CNoteEditView;
    static const std::vector<CEntry> table = {
        {32838, edit::kInsertImage, false, true, nullptr, nullptr},
        {32836, edit::kHyperlink, true, false, &V::HyperlinkArgument, nullptr},
        {32811, edit::kFont, false, true, nullptr, nullptr},
        {32828, edit::kJustifyLeft, false, false, nullptr, nullptr},
        {32829, edit::kJustifyRight, false, false, nullptr, nullptr},
        {32827, edit::kJustifyCenter, false, false, nullptr, nullptr},
        {32834, edit::kOrderList, false, false, nullptr, nullptr},
        {32831, edit::kUnorderList, false, false, nullptr, nullptr},
        {32833, edit::kIndent, false, false, nullptr, nullptr},
        {32832, edit::kOutdent, false, false, nullptr, nullptr},
        {32806, edit::kUndo, false, false, nullptr, nullptr},
        {32807, edit::kRedo, false, false, nullptr, nullptr},
        {32809, edit::kDelete, false, false, nullptr, nullptr},
        {32810, edit::kSelectAll, false, false, nullptr, nullptr},
        {32802, edit::kFind, false, true, nullptr, nullptr},
        {32803, edit::kCut, false, false, nullptr, nullptr},
        {32804, edit::kCopy, false, false, nullptr, nullptr},
        {32805, edit::kPaste, false, false, nullptr, nullptr},
        {32821, edit::kBold, false, false, nullptr, nullptr},
        {32825, edit::kItalic, false, false, nullptr, nullptr},
        {32826, edit::kUnderline, false, false, nullptr, nullptr},
        {32815, edit::kPrint, false, false, nullptr, nullptr},
        {32813, edit::kPrint, false, true, nullptr, nullptr},
        {32841, edit::kInsertTable, true, false, &V::InsertTableArgument, nullptr},
        {32846, edit::kInsertRow, false, false, nullptr, nullptr},
        {32847, edit::kInsertColumn, false, false, nullptr, nullptr},
        {32848, edit::kDeleteRows, false, false, nullptr, nullptr},
        {32849, edit::kDeleteColumns, false, false, nullptr, nullptr},
        {32850, edit::kMergeCells, false, false, nullptr, nullptr},
        {32851, edit::kSplitCell, false, false, nullptr, nullptr},
        {32852, edit::kInsertCell, false, false, nullptr, nullptr},
        {32853, edit::kDeleteCells, false, false, nullptr, nullptr},
        {32854, edit::kMakeAbsolute, false, false, nullptr, nullptr},
        {32855, edit::kLockElement, false, false, nullptr, nullptr},
        {32856, edit::kSendToBack, false, false, nullptr, nullptr},
        {32857, edit::kBringToFront, false, false, nullptr, nullptr},
        {32858, edit::kSendBackward, false, false, nullptr, nullptr},
        {32859, edit::kBringForward, false, false, nullptr, nullptr},
        {32860, edit::kSendBehindText, false, false, nullptr, nullptr},
        {32861, edit::kBringAboveText, false, false, nullptr, nullptr},
        {32862, edit::kConstrain, true, false, &V::ConstrainArgument, nullptr},
        {32863, edit::kNudge, true, false, &V::NudgeArgument, &V::FreePoint},
        {32864, edit::kAlignGrid, true, false, &V::AlignGridArgument, &V::FreePoint},
    };
    return table;
}

const CNoteEditView::CEntry* CNoteEditView::FindEntry(unsigned nID) {
    for (const CEntry& entry : CommandTable())
        if (entry.m_nMenuID == nID) return &entry;
    return nullptr;
}

CNoteEditView::CNoteEditView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent)
    : QWidget(pParent), m_frame(frame), m_doc(doc) {
    setAccessibleName(QStringLiteral("Note editor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    try {
        if (s_fnMakeEngine) m_pEngine = s_fnMakeEngine(this);
    } catch (const std::exception&) {
        // Without an engine the view shows nothing and every command stays
        // disabled.
        m_pEngine.reset();
    }
    if (m_pEngine) {
        if (QWidget* w = m_pEngine->Widget()) {
            layout->addWidget(w);
            WatchForHelp(w);
            // Clicks in the page make this the active view, as the focus does.
            setFocusProxy(w);
        }
        m_pEngine->m_fnReady = [this] { ApplyEditorOptions(); };
        m_pEngine->m_fnUpdateCommands = [this] { RefreshFontBoxes(); };
        m_pEngine->m_fnStatusText = [this](const QString& strText) { m_frame.SetStatusText(FromQ(LinkStatusText(strText))); };
        m_pEngine->m_fnFollowLink = [this](const QString& strHref) { FollowLink(strHref); };
        m_pEngine->m_fnMouseDown = [this](const QPoint& pt) { m_frame.EditorMouseDown(pt.x(), pt.y()); };
    }
    RegisterCommands();
}

CNoteEditView::~CNoteEditView() {
    CloseWindow();
    RevokeStoredPageToken(m_strToken);
}

void CNoteEditView::ShowPlace(const std::string& strFragment) {
    if (m_pEngine) m_pEngine->ShowPlace(ToQ(strFragment));
}

QString CNoteEditView::LinkStatusText(const QString& strHref) {
    CNote* pKept = strHref.isEmpty() ? nullptr : m_frame.KeptNoteAt(FromQ(strHref), m_pNote);
    if (!pKept) return strHref;
    return FormatMessageText(CurrentLanguage().String(ids::IDS_KEPT_NOTE_LINK), {pKept->m_strName});
}

void CNoteEditView::FollowLink(const QString& strHref) {
    const std::string href = FromQ(strHref);
    uint32_t nID = 0;
    std::string fragment;
    const bool bNoteLink = ParseNoteLink(href, nID);
    if (!bNoteLink) {
        CNote* pKept = m_frame.KeptNoteAt(href, m_pNote);
        // The rest of the web is not opened from the editor.
        if (!pKept) return;
        nID = pKept->m_nID;
        fragment = FromQ(QUrl(strHref).fragment(QUrl::FullyEncoded));
    }
    // Showing the note may replace this view, so that runs once the page's
    // call is over, on the pane that holds the view.
    INoteFrame* pFrame = &m_frame;
    auto go = [pFrame, nID, fragment, bNoteLink] {
        RunGuarded([&] {
            if (bNoteLink) pFrame->GoToNoteNumber(nID);
            else pFrame->GoToKeptNote(nID, fragment);
        });
    };
    if (QWidget* pPane = parentWidget()) QTimer::singleShot(0, pPane, go);
    else go();
}

void CNoteEditView::CloseWindow() {
    if (!m_pEngine) return;
    m_pEngine->m_fnReady = nullptr;
    m_pEngine->m_fnUpdateCommands = nullptr;
    m_pEngine->m_fnStatusText = nullptr;
    m_pEngine->m_fnMouseDown = nullptr;
    m_pEngine->Close();
}

void CNoteEditView::WatchForHelp(QObject* pObject) {
    pObject->installEventFilter(this);
    for (QObject* child : pObject->children())
        if (child->isWidgetType()) WatchForHelp(child);
}

bool CNoteEditView::eventFilter(QObject* pWatched, QEvent* e) {
    if (e->type() == QEvent::ChildAdded) {
        // The web engine makes the widget it renders into when it likes.
        QObject* child = static_cast<QChildEvent*>(e)->child();
        if (child && child->isWidgetType()) WatchForHelp(child);
    } else if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            if (e->type() == QEvent::ShortcutOverride) OpenHelpAt(kHelpContext);
            e->accept();
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, e);
}

// ---- engine

unsigned CNoteEditView::Status(int nCmd) { return m_pEngine ? m_pEngine->QueryStatus(nCmd) : 0; }

int32_t CNoteEditView::Execute(int nCmd, bool bPrompt, const QVariant& arg, QVariant* pResult) {
    if (!m_pEngine) return edit::kErrFail;
    return m_pEngine->Exec(nCmd, bPrompt ? edit::kPromptUser : edit::kDontPromptUser, arg, pResult);
}

bool CNoteEditView::IsEditable() {
    return !m_doc.IsReadOnly() && m_pNote && (Status(edit::kEditMode) & edit::kLatched);
}

int32_t CNoteEditView::LoadPage(const std::string& strPage) {
    if (!m_pEngine) return edit::kErrFail;
    if (strPage.empty()) return m_pEngine->LoadBlank();
    // Only these, as written: "HTTP:..." is a file's name.
    if (strPage.compare(0, 5, "file:") == 0 || strPage.compare(0, 5, "http:") == 0 ||
        strPage.compare(0, 6, "https:") == 0) {
        QString url = ToQ(strPage);
        url.truncate(256);
        return m_pEngine->LoadUrl(QUrl(url));
    }
    QString path = ToQ(strPage);
    path.truncate(256);
    return m_pEngine->LoadFile(path);
}

std::string CNoteEditView::PagePath(CNote* pNote) {
    if (!pNote) return std::string();
    return pNote->m_nContentType == kContentHeld ? pNote->GetWorkPath() : pNote->m_strSource;
}

bool CNoteEditView::OpenNote(CNote* pNote, bool bNew, int nMode) {
    (void)bNew;
    (void)nMode;
    try {
        m_pNote = pNote;
        m_bPageLoaded = false;
        if (!pNote) {
            ClearEditor();
            return false;
        }
        if (pNote->m_nContentType == kContentHeld && m_doc.IsEncrypted()) return OpenFromMemory(pNote);
        const std::string path = PagePath(pNote);
        // Only a page the notebook holds is written out: any other note's
        // page is its source file, which the note's bytes must not replace.
        if (pNote->m_nContentType == kContentHeld && (!fileutil::PathExists(path) || pNote->m_bLinksRewritten)) {
            if (!pNote->WriteWorkingCopy()) {
                ClearEditor();
                return false;
            }
        }
        // Without an engine there is nothing to load, and nothing to save.
        if (!m_pEngine) return true;
        return Loaded(pNote, LoadPage(path), path);
    } catch (const std::exception&) {
        ReportHandlerFailure();
        return true;
    }
}

bool CNoteEditView::OpenFromMemory(CNote* pNote) {
    if (!m_pEngine) return true;
    RevokeStoredPageToken(m_strToken);
    const CStoredPageGrant grant = GrantForNote(m_doc, *pNote);
    m_strToken = IssueStoredPageToken(grant);
    const auto page = grant.m_memory.find(grant.m_strPage);
    const std::vector<uint8_t> bytes = page == grant.m_memory.end()
                                           ? std::vector<uint8_t>()
                                           : std::vector<uint8_t>(page->second.begin(), page->second.end());
    // Where a save goes, in the notebook's private folder, and only for as
    // long as the note takes it back.
    const std::string path = PagePath(pNote);
    return Loaded(pNote, m_pEngine->LoadMemory(StoredPageUrl(m_strToken, grant.m_strPage), bytes, ToQ(path)), path);
}

bool CNoteEditView::Loaded(CNote* pNote, int32_t hr, const std::string& strPath) {
    if (edit::Failed(hr)) {
        // Blank, not the page before: the note is not this view's to write.
        ClearEditor();
        AfxMessageBox(ids::IDS_EDITOR_LOAD_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION,
                      {pNote->m_strName, FromQ(ErrorText(hr)), strPath});
        return false;
    }
    m_bPageLoaded = true;
    return true;
}

bool CNoteEditView::CommitNote() {
    try {
        if (!m_pNote || !m_bPageLoaded || !m_pEngine || !IsEditable()) return true;
        // Looking is not changing: a page the user left as it was is neither
        // written nor read back, and the notebook stays as it is.
        if (!m_pEngine->IsChanged()) return true;
        const std::string path = PagePath(m_pNote);
        const int32_t hr = m_pEngine->Save(ToQ(path));
        // A page that could not be written is no success, whatever the
        // notebook does next.
        if (edit::Failed(hr)) return false;
        m_doc.SetModifiedFlag(true);
        if (m_pNote->m_nContentType != kContentHeld) return true;
        const bool bOk = m_pNote->ReadBackAndAbsorb(path);
        // An encrypted notebook's page leaves the disk as soon as it is back
        // in the notebook.
        if (m_doc.IsEncrypted()) ::unlink(path.c_str());
        return bOk;
    } catch (const std::exception&) {
        ReportHandlerFailure();
        return true;
    }
}

void CNoteEditView::ClearEditor() {
    if (m_pEngine) LoadPage(std::string());
}

void CNoteEditView::ApplyEditorOptions() {
    const auto& o = AppOptions();
    Execute(edit::kActivateDtc, false, QVariant(o.m_bActivateDesignTimeControls));
    Execute(edit::kActivateActiveX, false, QVariant(o.m_bActivateActiveXControls));
    Execute(edit::kActivateApplets, false, QVariant(o.m_bActivateApplets));
    Execute(edit::kShowDetails, false, QVariant(o.m_bShowDetails));
    Execute(edit::kShowBorders, false, QVariant(o.m_bShowBorders));
}

// ---- the command table

void CNoteEditView::OnTableCommand(unsigned nID) {
    if (nID == cmd::kCmdInsertDateTime) {
        InsertDateTime();
        return;
    }
    const CEntry* entry = FindEntry(nID);
    if (!entry || entry->m_nEngineCmd < 0) return;
    QVariant arg;
    if (entry->m_pfnBefore && !(this->*(entry->m_pfnBefore))(arg)) return;
    int32_t hr;
    {
        CAutoHideBlock block;
        m_bInCommand = true;
        hr = Execute(entry->m_nEngineCmd, entry->m_bPrompt, arg);
        m_bInCommand = false;
    }
    // Only a command that asked the user something says why it failed; a
    // print that failed has said so itself.
    if (edit::Failed(hr) && entry->m_bPrompt && entry->m_nEngineCmd != edit::kPrint)
        AfxMessageBoxText(ErrorText(hr), host::MB_OK);
    if (entry->m_bHasArgHandler && entry->m_pfnAfter) (this->*(entry->m_pfnAfter))(arg);
}

void CNoteEditView::OnTableUpdate(CCmdUI* pUI) {
    const unsigned id = pUI->m_nID;
    if (!IsEditable() && id != cmd::kCmdPrint && id != cmd::kCmdPrintDirect) {
        pUI->Enable(false);
        pUI->EnablePopup(false);
        return;
    }
    const CEntry* entry = FindEntry(id);
    if (!entry) return;
    const unsigned flags = Status(entry->m_nEngineCmd);
    const bool bEnabled = (flags & edit::kEnabled) != 0;
    if (pUI->IsPopupEntry()) {
        // The alignment popup follows its first item; other popups stay
        // open for their items' own rules.
        if (id == cmd::kCmdAlignLeft) pUI->EnablePopup(bEnabled);
        return;
    }
    // Only a latched command shows a mark; the others stay plain entries
    // rather than empty check boxes.
    if (flags & edit::kLatched) pUI->SetCheck(1);
    pUI->Enable(bEnabled);
}

bool CNoteEditView::HyperlinkArgument(QVariant& arg) {
    QString strDefault;
    if (m_pEngine) {
        const CEditSelection sel = m_pEngine->Selection();
        QString tag = sel.m_strTag, href = sel.m_strHref;
        strDefault = sel.m_strText;
        // A picture inside a link stands for the link.
        if (tag.compare(QLatin1String("IMG"), Qt::CaseInsensitive) == 0) {
            tag = sel.m_strParentTag;
            href = sel.m_strParentHref;
        }
        if (tag.compare(QLatin1String("A"), Qt::CaseInsensitive) == 0 && !href.isEmpty()) strDefault = href;
    }
    CHyperlinkDlg dlg(this, &m_doc);
    dlg.m_strUrl = strDefault;
    if (dlg.DoModal() != host::IDOK) return false;
    // An empty address is no address at all: the link goes.
    arg = dlg.m_strUrl.isEmpty() ? QVariant(QString()) : QVariant(dlg.m_strUrl);
    return true;
}

bool CNoteEditView::InsertTableArgument(QVariant& arg) {
    CInsertTableDlg dlg(this);
    dlg.m_nRows = 2;
    dlg.m_nColumns = 2;
    dlg.m_strCaption = QStringLiteral("Here's A Table");
    dlg.m_strTableAttrs = QStringLiteral("BORDER=1 BGCOLOR=black");
    dlg.m_strCellAttrs = QStringLiteral("BGCOLOR=white");
    if (dlg.DoModal() != host::IDOK) return false;
    auto nullIfEmpty = [](const QString& s) { return s.isEmpty() ? QVariant(QString()) : QVariant(s); };
    QVariantList list;
    list << QVariant(static_cast<int>(dlg.m_nRows)) << QVariant(static_cast<int>(dlg.m_nColumns))
         << nullIfEmpty(dlg.m_strTableAttrs) << nullIfEmpty(dlg.m_strCellAttrs)
         << (dlg.m_strCaption.isEmpty() ? QVariant() : QVariant(dlg.m_strCaption));
    arg = list;
    return true;
}

bool CNoteEditView::ConstrainArgument(QVariant& arg) {
    m_bConstrain = !m_bConstrain;
    arg = QVariant(m_bConstrain);
    return true;
}

bool CNoteEditView::NudgeArgument(QVariant& arg) {
    CNudgeDlg dlg(this);
    dlg.m_nX = 0;
    dlg.m_nY = 0;
    if (dlg.DoModal() != host::IDOK) return false;
    arg = QVariant(QPoint(dlg.m_nX, dlg.m_nY));
    return true;
}

bool CNoteEditView::AlignGridArgument(QVariant& arg) {
    CAlignGridDlg dlg(this);
    dlg.m_nX = m_nGridX;
    dlg.m_nY = m_nGridY;
    if (dlg.DoModal() != host::IDOK) return false;
    m_nGridX = dlg.m_nX;
    m_nGridY = dlg.m_nY;
    arg = QVariant(QPoint(m_nGridX, m_nGridY));
    return true;
}

void CNoteEditView::FreePoint(QVariant& arg) { arg = QVariant(); }

void CNoteEditView::InsertDateTime() {
    CInsertDateTimeDlg dlg(this);
    if (dlg.DoModal() != host::IDOK || dlg.m_strText.empty() || !m_pEngine) return;
    if (m_pEngine->Selection().m_strType == QLatin1String("Control")) return;
    m_pEngine->PutSelectionText(ToQ(dlg.m_strText));
}

// ---- font boxes

void CNoteEditView::RefreshFontBoxes() {
    if (m_bInCommand || m_frame.ActiveView() != this) return;
    QComboBox* name = m_frame.Actions().ComboBox(cmd::kCmdFontName);
    QComboBox* size = m_frame.Actions().ComboBox(cmd::kCmdFontSize);
    // A page that cannot be edited has no font to choose.
    const bool bEditable = IsEditable();
    const unsigned s36 = bEditable ? Status(edit::kFontName) : 0, s37 = bEditable ? Status(edit::kFontSize) : 0;
    if (name) {
        name->setEnabled(s36 & edit::kEnabled);
        int index = -1;
        if ((s36 & edit::kEnabled) && !(s36 & edit::kIndeterminate)) {
            QVariant result;
            if (!edit::Failed(Execute(edit::kFontName, false, QVariant(), &result)))
                index = name->findText(result.toString(), Qt::MatchExactly | Qt::MatchCaseSensitive);
        }
        if (name->currentIndex() != index) name->setCurrentIndex(index);
        if (index < 0 && !name->currentText().isEmpty()) name->setEditText(QString());
    }
    if (size) {
        size->setEnabled(s37 & edit::kEnabled);
        int index = -1;
        if ((s37 & edit::kEnabled) && !(s37 & edit::kIndeterminate)) {
            QVariant result;
            if (!edit::Failed(Execute(edit::kFontSize, false, QVariant(), &result))) {
                bool ok = false;
                const int n = result.toInt(&ok);
                if (ok && n > 0 && n - 1 < size->count()) index = n - 1;
            }
        }
        if (size->currentIndex() != index) size->setCurrentIndex(index);
    }
}

// ---- block formats

void CNoteEditView::FetchBlockFormats() {
    if (m_nBlockFormatCount) return;
    QVariant result;
    if (edit::Failed(Execute(edit::kBlockFormats, false, QVariant(), &result))) return;
    m_blockFormats.clear();
    for (const QString& name : result.toStringList()) {
        if (m_blockFormats.size() >= kMaxBlockFormats) break;
        m_blockFormats.push_back(name);
    }
    m_nBlockFormatCount = static_cast<unsigned>(m_blockFormats.size());
}

QString CNoteEditView::CurrentBlockFormat() {
    QVariant result;
    if (edit::Failed(Execute(edit::kBlockFormat, false, QVariant(), &result))) return QString();
    return result.toString();
}

void CNoteEditView::FillBlockFormats(QMenu* pMenu) {
    FetchBlockFormats();
    // Beyond the first 21 the ids would be other commands' (the popups,
    // the bar's buttons): those names are not offered.
    const unsigned n = std::min(m_nBlockFormatCount, kMaxBlockFormatCommands);
    for (unsigned i = 0; i < n; ++i) {
        QAction* action = pMenu->addAction(m_blockFormats[i]);
        action->setData(cmd::kCmdFirstBlockFormat + i);
    }
}

void CNoteEditView::OnBlockFormatDropDown(const CCmdNotify& notify) {
    QMenu menu(this);
    FillBlockFormats(&menu);
    auto* group = new QActionGroup(&menu);
    const QString current = CurrentBlockFormat();
    bool bChecked = false;
    for (QAction* action : menu.actions()) {
        action->setCheckable(true);
        group->addAction(action);
        if (!bChecked && action->text() == current) {
            action->setChecked(true);
            bChecked = true;
        }
    }
    const unsigned id = CColorMenu::s_fnTrack(menu, notify.m_rcButton.bottomLeft());
    if (id) OnCmdMsg(id, nullptr);
}

// ---- colours

void CNoteEditView::OnForeColorDropDown(const CCmdNotify& notify) {
    CColorMenu menu(cmd::kCmdFirstForeColor);
    QVariant result(-1);
    if (!edit::Failed(Execute(edit::kForeColor, false, QVariant(), &result))) {
        bool ok = false;
        const int value = result.toInt(&ok);
        if (ok && value != -1) {
            for (int i = 0; i < CColorMenu::kColors; ++i) {
                if (CColorMenu::ColorRef(CColorMenu::ColorAt(i)) == (static_cast<uint32_t>(value) & 0xFFFFFF)) {
                    menu.m_nSelectedID = menu.Base() + static_cast<unsigned>(i);
                    break;
                }
            }
        }
    }
    const unsigned id = menu.Track(this, notify.m_rcButton.bottomLeft());
    if (id) OnCmdMsg(id, nullptr);
}

void CNoteEditView::SetBackgroundColor(const QColor& color) {
    if (!m_pEngine) return;
    static const char kDigits[] = "0123456789ABCDEF";
    const uint32_t ref = CColorMenu::ColorRef(color);
    QString text(QLatin1Char("#000000"[0]));
    for (int shift : {0, 8, 16}) {
        const uint32_t byte = (ref >> shift) & 0xFF;
        text += QLatin1Char(kDigits[byte >> 4]);
        text += QLatin1Char(kDigits[byte & 0xF]);
    }
    m_pEngine->SetBackgroundColor(text);
}

// ---- the map

void CNoteEditView::RegisterCommands() {
    using namespace cmd;
    OnCommandRange(kCmdFirstEditTable, kCmdLastEditTable, [this](unsigned nID) { OnTableCommand(nID); });
    OnUpdateRange(kCmdFirstEditTable, kCmdLastEditTable, [this](CCmdUI* pUI) { OnTableUpdate(pUI); });

    // The bar's font boxes are this view's: it alone keeps them in step.
    OnNotify(kCmdFontName, CCmdNotify::kSelEndOk, [this](const CCmdNotify& n) {
        if (!n.m_strText.isEmpty()) Execute(edit::kFontName, false, QVariant(n.m_strText));
    });
    OnNotify(kCmdFontSize, CCmdNotify::kSelEndOk, [this](const CCmdNotify& n) {
        if (n.m_nIndex >= 0) Execute(edit::kFontSize, false, QVariant(n.m_nIndex + 1));
    });
    OnUpdate(kCmdFontName, [](CCmdUI*) {});
    OnUpdate(kCmdFontSize, [](CCmdUI*) {});

    // Text colour.
    OnNotify(kCmdForeColorButton, CCmdNotify::kDropDown, [this](const CCmdNotify& n) { OnForeColorDropDown(n); });
    // The button itself opens the same menu as its arrow.
    OnCommand(kCmdForeColorButton, [this] { OnForeColorDropDown(DropDownAtCursor()); });
    OnUpdate(kCmdForeColorButton,
             [this](CCmdUI* pUI) { pUI->Enable(IsEditable() && (Status(edit::kForeColor) & edit::kEnabled)); });
    OnCommandRange(kCmdFirstForeColor, kCmdLastForeColor, [this](unsigned nID) {
        const QColor color = CColorMenu::ColorAt(static_cast<int>(nID - kCmdFirstForeColor));
        Execute(edit::kForeColor, false, QVariant(static_cast<int>(CColorMenu::ColorRef(color))));
    });
    OnUpdateRange(kCmdFirstForeColor, kCmdLastForeColor,
                  [this](CCmdUI* pUI) { pUI->Enable(IsEditable() && (Status(edit::kForeColor) & edit::kEnabled)); });

    // Paragraph styles.
    OnNotify(kCmdBlockFormatButton, CCmdNotify::kDropDown, [this](const CCmdNotify& n) { OnBlockFormatDropDown(n); });
    OnCommand(kCmdBlockFormatButton, [this] { OnBlockFormatDropDown(DropDownAtCursor()); });
    OnUpdate(kCmdBlockFormatButton,
             [this](CCmdUI* pUI) { pUI->Enable(IsEditable() && (Status(edit::kBlockFormat) & edit::kEnabled)); });
    OnCommandRange(kCmdFirstBlockFormat, kCmdLastBlockFormat, [this](unsigned nID) {
        FetchBlockFormats();
        const unsigned pos = nID - kCmdFirstBlockFormat;
        if (pos >= m_nBlockFormatCount) return;
        Execute(edit::kBlockFormat, false, QVariant(m_blockFormats[pos]));
    });
    OnUpdateRange(kCmdFirstBlockFormat, kCmdLastBlockFormat, [this](CCmdUI* pUI) {
        const bool bOn = IsEditable() && (Status(edit::kBlockFormat) & edit::kEnabled);
        if (pUI->IsPopupEntry()) {
            pUI->EnablePopup(bOn);
            return;
        }
        pUI->Enable(bOn);
        if (!bOn) return;
        FetchBlockFormats();
        const QString current = CurrentBlockFormat();
        const unsigned pos = pUI->m_nID - kCmdFirstBlockFormat;
        unsigned first = m_nBlockFormatCount;
        for (unsigned i = 0; i < m_nBlockFormatCount; ++i)
            if (m_blockFormats[i] == current) {
                first = i;
                break;
            }
        pUI->SetRadio(pos == first);
    });
    OnUpdate(kCmdStylePopup, [this](CCmdUI* pUI) {
        const bool bOn = IsEditable() && (Status(edit::kBlockFormat) & edit::kEnabled);
        if (pUI->IsMenu())
            pUI->SetPopup(QString::fromLatin1(kStyleCaption), [this](QMenu* pMenu) { FillBlockFormats(pMenu); });
        pUI->Enable(bOn);
        pUI->EnablePopup(bOn);
    });

    // Page background.
    OnCommand(kCmdBackColorDialog, [this] {
        QColor color;
        bool bChosen;
        {
            CAutoHideBlock block;
            bChosen = s_fnChooseColor(color, this);
        }
        if (bChosen) SetBackgroundColor(color);
    });
    OnUpdate(kCmdBackColorDialog, [this](CCmdUI* pUI) { pUI->Enable(IsEditable()); });
    OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [this](unsigned nID) {
        CColorMenu& menu = BackgroundMenu();
        SetBackgroundColor(menu.ColorOf(nID));
        menu.m_nSelectedID = nID;
    });
    OnUpdateRange(kCmdFirstBackColor, kCmdLastBackColor, [this](CCmdUI* pUI) {
        const bool bOn = IsEditable();
        pUI->Enable(bOn);
        pUI->EnablePopup(bOn);
        if (!pUI->IsPopupEntry()) pUI->SetRadio(pUI->m_nID == BackgroundMenu().m_nSelectedID);
    });
    OnUpdate(kCmdBackColorPopup, [this](CCmdUI* pUI) {
        const bool bOn = IsEditable();
        if (pUI->IsMenu())
            pUI->SetPopup(QString::fromLatin1(kColorCaption), [](QMenu* pMenu) { BackgroundMenu().Fill(pMenu); });
        pUI->Enable(bOn);
        pUI->EnablePopup(bOn);
    });
}
