// What the frames need from the application that builds them. The
// application implements it; the frames never see the application itself.
#pragma once

#include <QString>
#include <vector>

class CCmdTarget;
class CClipVaultDoc;
class IPassphraseQuestions;

class IFrameHost {
public:
    // The last target on the command route, after the main frame.
    virtual CCmdTarget& AppTarget() = 0;
    // The private temporary root, ending with "/"; empty when there is none.
    virtual const QString& TempRoot() const = 0;
    virtual void AddToRecentFileList(const QString& strPath) = 0;
    // Closes every notebook through its close sequence; false when one of
    // them refused.
    virtual bool CloseAllDocuments() = 0;
    // A notebook window is going away: the notebook goes with it.
    virtual void DocumentClosed(CClipVaultDoc* pDoc) = 0;
    // The file-type filter for the notebook file dialogs.
    virtual QString FileDialogFilter() const = 0;
    // Opens a notebook, or activates it when it is open; null on failure,
    // after the message.
    virtual CClipVaultDoc* OpenDocumentFile(const QString& strPath) = 0;
    // Every open notebook, windowed or not.
    virtual std::vector<CClipVaultDoc*> OpenDocuments() const = 0;
    // The autosave: each modified notebook with a file of its own that was
    // read whole saves itself, without asking anything.
    virtual void SaveAllModified() = 0;
    // The help window at a context number.
    virtual void ShowHelp(int nContext) = 0;
    // What the user is asked about encrypted notebooks.
    virtual IPassphraseQuestions& PassphraseQuestions() = 0;

protected:
    ~IFrameHost() = default;
};
