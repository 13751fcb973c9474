// The notebook document type: the open notebooks, each shown in one child
// frame of the main window.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class CChildFrame;
class CClipVaultApp;
class CClipVaultDoc;
class CMainFrame;

class CDocTemplate {
public:
    explicit CDocTemplate(CClipVaultApp& app);
    ~CDocTemplate();

    // A new empty notebook (empty path) or the notebook at `strPath`, in a
    // new child frame. A notebook already open is activated instead. Null
    // when it cannot be opened (the document has said why).
    CClipVaultDoc* OpenDocumentFile(const QString& strPath);
    // The notebook at the same file, when open.
    CClipVaultDoc* FindOpenDocument(const QString& strPath) const;

    const std::vector<std::unique_ptr<CClipVaultDoc>>& Documents() const { return m_docs; }
    // The child frame is going away: the document goes with it.
    void DocumentClosed(CClipVaultDoc* pDoc);
    // The autosave: each modified notebook that has a file of its own and
    // was read whole saves itself; no question is asked.
    void SaveAllModified();
    // Closes every notebook through its close sequence; false when one of
    // them refused (the rest stay open).
    bool CloseAllDocuments();

    // The file-type texts of template string 234: the filter for file dialogs.
    QString FileDialogFilter() const;

private:
    CClipVaultApp& m_app;
    std::vector<std::unique_ptr<CClipVaultDoc>> m_docs;
};
