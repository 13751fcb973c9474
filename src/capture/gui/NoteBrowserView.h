// The right pane's browser: shows a note's page from the notebook's working
// folder, the note's source, or, while the note is still being fetched, a
// status page whose links run the download commands.
#pragma once

#include "platform/gui/CmdTarget.h"

#include <QEvent>
#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CClipVaultDoc;
class CNote;
class INoteFrame;
class QPrinter;
class QWebEngineProfile;
class CStoredPageGuard;
class CPageHighlighter;
class CReaderMode;

// A command a link asked for, posted to the view so that it runs after the
// engine's navigation call has returned.
class CBrowserCommand : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 0x468);
    CBrowserCommand(CClipVaultDoc* pDoc, QString strName, CNote* pNote, uint32_t nNumber = 0,
                    std::string strFragment = std::string())
        : QEvent(kType), m_pDoc(pDoc), m_strName(std::move(strName)), m_pNote(pNote), m_nNumber(nNumber),
          m_strFragment(std::move(strFragment)) {}
    CClipVaultDoc* m_pDoc;
    QString m_strName;
    CNote* m_pNote;
    uint32_t m_nNumber;
    // Where in the note's page a link to a kept page leads.
    std::string m_strFragment;
};

// Hands an address to the desktop's own program for it (a web browser, a
// mail program).
class IDesktopOpener {
public:
    virtual void OpenOnDesktop(const QUrl& url) = 0;

protected:
    ~IDesktopOpener() = default;
};

class CNoteBrowserView : public QWebEngineView, public CCmdTarget {
    Q_OBJECT
public:
    // What a status page says.
    enum StatusKind {
        kStatusRunningNote = 0,
        kStatusQueuedNote = 1,
        kStatusHeldNote = 2,
        kStatusFailedNote = 3,
        kStatusRunningGroup = 4,
        kStatusQueuedGroup = 5,
        kStatusHeldGroup = 6,
        kStatusFailedGroup = 7,
        kStatusEmpty = 8,
    };

    // Without an opener, links leave for the desktop's own.
    CNoteBrowserView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent, IDesktopOpener* pOpener = nullptr);
    ~CNoteBrowserView() override;

    // Shows a note: its source when asked, its status page while it is
    // fetched, else its page from the working copy (at the place a fragment
    // names). Null shows an empty page.
    void ShowNote(CNote* pNote, bool bSource = false, const QString& strFragment = QString());
    void ShowSource(CNote* pNote) { ShowNote(pNote, true); }
    void ShowNothing() { ShowNote(nullptr); }
    void ShowStatusPage(int nKind);
    // Before the frame leaves the note: a document the engine shows as
    // something other than a page goes back into the note.
    void SaveShownPage();

    CNote* ShownNote() const { return m_pNote; }
    // What the view was asked to show: a note's working copy as a file
    // address, its source, or the status page template.
    QUrl ShownUrl() const { return m_shownUrl; }
    // Whether the pages this notebook keeps run their scripts.
    bool PageScriptsOn() const;
    bool ShowingSource() const { return m_bShowingSource; }
    // A link took the view away from the note it was asked to show.
    bool LeftNote() const { return m_bLeftPage; }
    bool IsPageReady() const { return m_bPageReady; }
    // The status page on show, or -1.
    int ShownStatusKind() const { return m_nStatusKind; }
    // 0 smallest to 4 largest.
    int TextSize() const { return m_nTextSize; }
    // The highlights of the page on show.
    CPageHighlighter& Highlighter() const { return *m_pHighlighter; }
    // A note's own page is on show (not a status page, its source or a
    // page a link led to); and the reader view of it.
    bool ShowingKeptPage() const {
        return m_pNote && m_nStatusKind < 0 && !m_bShowingSource && !m_bLeftPage && page() == m_pStoredPage;
    }
    CReaderMode* Reader() const { return m_pReader; }
    bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify = nullptr) override;

    // The blank page status pages are written into.
    static QUrl TemplateUrl();
    // The engine's settings for live pages (a note's source, a linked
    // address) and the editor; the notebook's own pages are shown on
    // StoredPageProfile(), with no way out.
    static QWebEngineProfile* Profile();
    // May a page of this view (of any view without one) read this address?
    // Files only inside its notebook's working folder, or beside a local
    // source the user asked to see.
    static bool FileAccessAllowed(const QUrl& url, const CNoteBrowserView* pView = nullptr);

    // The navigation hook of both pages: false when the view took the link
    // itself or refused it.
    bool OnBeforeNavigate(const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame, bool bLive);

    // Asks where to print; false cancels. The print dialog unless replaced.
    static std::function<bool(QPrinter&, QWidget*)> s_fnAskPrinter;

signals:
    // A status page's text is in its body.
    void StatusPageFilled();
    // A print job ended.
    void PrintDone(bool bOk);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    void RegisterCommands();
    void Navigate(const QUrl& shown, const QUrl& load, QWebEnginePage* pPage);
    void UsePage(QWebEnginePage* pPage);
    void ShowStoredPage(CNote* pNote, const std::string& strPath, const QString& strFragment);
    // The note of this notebook whose kept page a link of the note's page
    // on show leads to, and the place in it; null when there is none.
    CNote* KeptNoteOf(const QUrl& url, QString* pFragment) const;
    void OnLinkHovered(const QString& strUrl);
    void ShowLive(const QUrl& url);
    bool RefuseFromStoredPage(const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame);
    void SetPageScripts(bool bOn);
    void OnLoadFinished(bool bOk);
    void RunCommand(const CBrowserCommand& command);
    void DeleteNote(CNote* pNote);
    void DeleteNotesWithStatus(int nStatus);
    bool HoldsNote(const CNote* pNote) const;
    void SetTextSize(int nSize);
    void Print();
    void AllowFolders();
    void OpenOnDesktop(const QString& strLink);

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    IDesktopOpener& m_opener;
    CNote* m_pNote = nullptr;
    // The notebook's pages and the status pages; live pages.
    QWebEnginePage* m_pStoredPage = nullptr;
    QWebEnginePage* m_pLivePage = nullptr;
    // The origin the shown note's page is served under, and its guard.
    QString m_strToken;
    CStoredPageGuard* m_pStoredGuard = nullptr;
    QUrl m_shownUrl;
    QUrl m_loadUrl;
    bool m_bShowingSource = false;
    // A link took the view away from what it was asked to show.
    bool m_bLeftPage = false;
    bool m_bPageReady = false;
    int m_nStatusKind = -1;
    int m_nTextSize = 2;
    // The status bar says where a hovered link leads.
    bool m_bKeptHint = false;
    QString m_strPendingBody;
    QString m_strPendingTitle;
    std::vector<std::pair<QString, QString>> m_pendingAttributes;
    std::unique_ptr<QPrinter> m_pPrinter;
    QStringList m_allowedFolders;
    CPageHighlighter* m_pHighlighter = nullptr;
    CReaderMode* m_pReader = nullptr;
};
