// The main frame's side of imports: batches of pages and files that arrive
// (dropped on the window, from the automation service, from the views) are
// filed straight into the current category or offered in the import
// dialog; existing notes are filed again through the same dialog.
#include "frame/MainFrame.h"

#include "document/ClipVaultDoc.h"
#include "document/KeptPages.h"
#include "frame/ChildFrame.h"
#include "frame/FrameHost.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/QtText.h"
#include "views/ImportDlg.h"
#include "views/ImportNotice.h"
#include "views/ImportSettingsDlg.h"
#include "views/KeptPageQuestion.h"

#include <QGuiApplication>
#include <QPointer>
#include <QStatusTipEvent>
#include <unordered_set>

bool CMainFrame::event(QEvent* e) {
    if (e->type() == CImportItemsEvent::kType) {
        auto* pEvent = static_cast<CImportItemsEvent*>(e);
        OnImportItems(pEvent->Take(), pEvent->LParam() == 1);
        return true;
    }
    // A menu or button the pointer leaves takes its hint back with an empty
    // one, which would leave the status line blank instead of idle.
    if (e->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(e)->tip().isEmpty()) {
        SetMessageText(QString());
        return true;
    }
    return QMainWindow::event(e);
}

bool CMainFrame::ShiftHeld() const {
    if (m_fnShiftHeld) return m_fnShiftHeld();
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

void CMainFrame::OnImportItems(std::unique_ptr<CImportItemArray> pItems, bool bFromStartImport) {
    ++m_nImportBatches;
    try {
        if (m_fnImportItems) {
            CImportItemArray none;
            m_fnImportItems(pItems ? *pItems : none);
            return;
        }
        if (!pItems) {
            // No carrier: the user asked for the dialog itself; one that is
            // up already comes to the front rather than a second one.
            if (m_pImportDlg) {
                m_pImportDlg->raise();
                m_pImportDlg->activateWindow();
                return;
            }
            CImportItemArray none;
            RunImportDialog(none);
            return;
        }
        if (pItems->empty()) return;
        if (g_bDirectImport && HasUserNotebook() && (pItems->size() == 1 || !bFromStartImport) && !ShiftHeld()) {
            CRecaptureQuestion question;
            FileImportsDirectly(*pItems, question);
            return;
        }
        if (auto* open = qobject_cast<CImportDlg*>(m_pImportDlg)) {
            open->AddItems(*pItems);
            return;
        }
        RunImportDialog(*pItems);
    } catch (const std::exception&) {
        ReportFailure();
    }
}

namespace {
// How many items of the batch the notebook keeps already, counting a page
// the batch brings twice the second time.
size_t CountKept(const CImportItemArray& items, const CKeptPages& kept) {
    size_t nKept = 0;
    std::unordered_set<std::string> seen;
    for (const auto& item : items)
        if (item) {
            const std::string key = CKeptPages::PageKey(item->m_strSource);
            if (kept.Newest(item->m_strSource) || (!key.empty() && !seen.insert(key).second)) ++nKept;
        }
    return nKept;
}
}  // namespace

int CMainFrame::FileImportsDirectly(CImportItemArray& items, IRecaptureAnswerer& answerer) {
    CClipVaultDoc* pDoc = GetImportTargetDocument();
    if (!pDoc) return 0;
    CChildFrame* child = nullptr;
    for (CChildFrame* c : ChildFrames())
        if (&c->Document() == pDoc) child = c;
    CNoteCata* pCata = child && child->TreeView() ? child->TreeView()->CurrentCategory() : nullptr;
    if (!pCata) pCata = &pDoc->m_rootCata;
    if (RefuseChange(*pDoc)) return 0;
    // Gathered once for the batch: a look-up per item, whatever the size of
    // the notebook.
    CKeptPages kept(pDoc->m_rootCata);
    CRecaptureChoice choice(answerer, CountKept(items, kept));
    int nFiled = 0;
    for (auto& item : items) {
        if (!item) continue;
        if (const CNote* pKept = kept.Newest(item->m_strSource))
            if (!choice.CaptureAgain(*item, *pKept)) continue;
        if (item->m_strTitle.empty()) item->m_strTitle = TitleForSource(item->m_strSource);
        item->m_pTargetDoc = pDoc;
        item->m_nContentMode = CImportSettingsDlg::ContentSetting() == 1 ? 1 : 2;
        item->m_bStartNow = CImportSettingsDlg::StartSetting() == 1 ? 0 : 1;
        if (CNote* pNote = FileImportItem(std::move(item), *pCata)) {
            kept.Add(*pNote);
            ++nFiled;
        }
    }
    items.clear();
    if (nFiled > 0) {
        // The title without the mark of a modified notebook, which the
        // import itself has just set.
        std::string title = pDoc->GetTitle();
        if (title.size() > 2 && title.compare(title.size() - 2, 2, " *") == 0) title.resize(title.size() - 2);
        const QString text =
            FormatMessageText(CurrentLanguage().String(ids::IDS_IMPORT_FILED), {std::to_string(nFiled), title});
        CImportNotice::Show(text);
    }
    return nFiled;
}

void CMainFrame::RunImportDialog(CImportItemArray& items) {
    ShowDockedWindow(true);
    BringToForeground();
    if (m_host.OpenDocuments().empty()) ExecuteCommand(cmd::kCmdNew);
    CAutoHideBlock block;
    CImportDlg dlg(m_host.OpenDocuments(), this);
    dlg.SetTargetDocument(GetImportTargetDocument());
    dlg.SetItems(std::move(items));
    items.clear();
    QPointer<CImportDlg> guard(&dlg);
    m_pImportDlg = &dlg;
    try {
        dlg.DoModal();
    } catch (...) {
        m_pImportDlg = nullptr;
        throw;
    }
    m_pImportDlg = nullptr;
}

void CMainFrame::RunImportAgainDialog(CClipVaultDoc& origin, const std::vector<CNote*>& notes) {
    if (notes.empty()) return;
    CAutoHideBlock block;
    CImportDlg dlg(m_host.OpenDocuments(), this);
    dlg.SetFixedTarget(origin, notes);
    dlg.DoModal();
}
