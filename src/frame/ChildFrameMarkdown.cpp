// Save as Markdown: the selected note, category or the whole notebook
// written by the core's Markdown exporter, the same one clipvault-cli
// export-md runs, into a new folder inside one the user picks. The plan is
// taken here, where the notebook lives; node converts and the files are
// written on a worker, so a large category leaves the window painting and a
// progress window able to stop it.
#include "frame/ChildFrame.h"

#include "capture/MarkdownExport.h"
#include "document/Records.h"
#include "frame/NoteCataView.h"
#include "platform/Charset.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// What the worker and the window share while an export runs.
struct CMarkdownRun {
    std::atomic<size_t> m_nDone{0};
    std::atomic<size_t> m_nTotal{0};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFinished{false};
    markdown::CMarkdownResult m_result;  // read once m_bFinished is set
};

// Runs the export on a worker while a progress window shows how far it is;
// its Cancel stops the export between two notes.
markdown::CMarkdownResult RunWithProgress(QWidget* pParent, markdown::CMarkdownPlan plan, const std::string& strFolder) {
    auto run = std::make_shared<CMarkdownRun>();
    run->m_nTotal = plan.m_notes.size();
    QProgressDialog progress(LoadQString(ids::IDS_MARKDOWN_PROGRESS), LoadQString(ids::IDS_SEARCH_CANCEL), 0,
                             static_cast<int>(plan.m_notes.size()), pParent);
    progress.setAccessibleName(LoadQString(ids::IDS_MARKDOWN_PROGRESS_NAME));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::thread worker([run, plan = std::move(plan), strFolder] {
        run->m_result = markdown::WriteExport(plan, strFolder, [&run](size_t nDone, size_t) {
            run->m_nDone = nDone;
            return !run->m_bStop.load();
        });
        run->m_bFinished = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) run->m_bStop = true;
        progress.setValue(static_cast<int>(run->m_nDone.load()));
        if (run->m_bFinished) loop.quit();
    });
    poll.start(50);
    {
        CAutoHideBlock block;
        QApplication::setOverrideCursor(Qt::BusyCursor);
        loop.exec();
        QApplication::restoreOverrideCursor();
    }
    worker.join();
    return run->m_result;
}

}  // namespace

void CChildFrame::RegisterMarkdownCommands() {
    OnCommand(cmd::kCmdSaveAsMarkdown, [this] { SaveAsMarkdown(); });
    OnUpdate(cmd::kCmdSaveAsMarkdown, [this](CCmdUI* pUI) { pUI->Enable(m_bBuilt && !m_doc.IsDamaged()); });
}

bool CChildFrame::SaveAsMarkdown(CNoteBase* pItem) {
    QString parent;
    {
        CAutoHideBlock block;
        QFileDialog dlg(this, LoadQString(ids::IDS_MARKDOWN_CHOOSE),
                        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        dlg.setAccessibleName(LoadQString(ids::IDS_MARKDOWN_CHOOSE));
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly, true);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        parent = dlg.selectedFiles().first();
    }
    // What to write is read once the dialog is gone: its own event loop may
    // have seen the selection change or a note go.
    if (!pItem && m_pTree) pItem = m_pTree->RecordOf(m_pTree->currentItem());
    if (!pItem) pItem = m_pCurrentNote;
    if (!pItem) pItem = &m_doc.m_rootCata;
    if (pItem == m_pCurrentNote) SaveCurrentNote();
    CNote* pNote = pItem->m_nKind == CNoteBase::kindNote ? static_cast<CNote*>(pItem) : nullptr;
    CNoteCata* pCata = pNote ? nullptr : static_cast<CNoteCata*>(pItem);
    std::string name = pNote ? pNote->m_strName : pCata->m_strName;
    if (pCata == &m_doc.m_rootCata || name.empty()) name = FromQ(QFileInfo(ToQ(m_doc.GetPathName())).completeBaseName());
    const std::string folder =
        markdown::NewExportFolder(charset::AnsiToUtf8(FromQ(parent)), charset::AnsiToUtf8(name));
    const markdown::CMarkdownResult r = RunWithProgress(this, markdown::PlanExport(m_doc, pNote, pCata), folder);
    if (!r.m_bDone) {
        AfxMessageBox(ids::IDS_MARKDOWN_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION,
                      {charset::Utf8ToAnsi(r.m_strError)});
        return false;
    }
    AfxMessageBox(ids::IDS_MARKDOWN_DONE, host::MB_OK | host::MB_ICONINFORMATION,
                  {std::to_string(r.m_nNotes), charset::Utf8ToAnsi(folder)});
    return true;
}
