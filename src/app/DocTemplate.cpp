#include "app/DocTemplate.h"

#include "app/ClipVaultApp.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/gui/QtText.h"
#include "views/PassphraseDlgs.h"

#include <QFileInfo>

CDocTemplate::CDocTemplate(CClipVaultApp& app) : m_app(app) {}

CDocTemplate::~CDocTemplate() = default;

CClipVaultDoc* CDocTemplate::FindOpenDocument(const QString& strPath) const {
    const QFileInfo wanted(strPath);
    for (const auto& doc : m_docs) {
        if (doc->GetPathName().empty()) continue;
        const QFileInfo open(ToQ(doc->GetPathName()));
        if (open == wanted || (open.exists() && open.canonicalFilePath() == wanted.canonicalFilePath())) return doc.get();
    }
    return nullptr;
}

CClipVaultDoc* CDocTemplate::OpenDocumentFile(const QString& strPath) {
    CMainFrame* frame = m_app.MainFrame();
    if (!frame) return nullptr;
    if (!strPath.isEmpty()) {
        if (CClipVaultDoc* open = FindOpenDocument(strPath)) {
            frame->ActivateDocumentFrame(open);
            return open;
        }
    }
    auto doc = std::make_unique<CClipVaultDoc>();
    // Every notebook the window opens, whichever way, asks here for its
    // passphrase when it has one, and keeps asking at a later open.
    IPassphraseQuestions& questions = m_app.PassphraseQuestions();
    doc->SetPassphraseAsker(&questions);
    const bool ok = strPath.isEmpty() ? doc->OnNewDocument() : doc->OnOpenDocument(FromQ(QFileInfo(strPath).absoluteFilePath()));
    questions.OpenEnded();
    if (!ok) return nullptr;
    CClipVaultDoc* pDoc = doc.get();
    m_docs.push_back(std::move(doc));
    if (!frame->CreateChildFrame(pDoc)) {
        DocumentClosed(pDoc);
        return nullptr;
    }
    if (!strPath.isEmpty()) m_app.AddToRecentFileList(QFileInfo(strPath).absoluteFilePath());
    return pDoc;
}

void CDocTemplate::DocumentClosed(CClipVaultDoc* pDoc) {
    for (auto it = m_docs.begin(); it != m_docs.end(); ++it) {
        if (it->get() == pDoc) {
            std::unique_ptr<CClipVaultDoc> gone = std::move(*it);
            m_docs.erase(it);
            gone->m_pViews = nullptr;
            return;
        }
    }
}

void CDocTemplate::SaveAllModified() {
    for (const auto& doc : m_docs) doc->AutoSave();
}

bool CDocTemplate::CloseAllDocuments() {
    CMainFrame* frame = m_app.MainFrame();
    if (!frame) return true;
    for (CChildFrame* child : frame->ChildFrames()) {
        if (!child->close()) return false;
    }
    return true;
}

QString CDocTemplate::FileDialogFilter() const {
    // "\nVLT\n<type>\n<filter name>\n<extension>\n..." as document types
    // describe themselves.
    const QStringList parts = m_app.LoadString(234).split(QLatin1Char('\n'));
    QString name = parts.size() > 3 ? parts[3] : QString();
    QString ext = parts.size() > 4 ? parts[4] : QString();
    if (ext.isEmpty()) ext = QStringLiteral(".vlt");
    if (name.isEmpty()) name = QStringLiteral("Clipvault file(*.vlt)");
    // The module's name lists the pattern already; the file dialogs read
    // the name's parentheses as the filter.
    if (name.contains(QLatin1Char('('))) return name;
    return QStringLiteral("%1 (*%2)").arg(name, ext);
}
