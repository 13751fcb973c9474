#include "capture/gui/NoteBrowserView.h"

#include "capture/LinkHelpers.h"
#include "capture/gui/KeptLinks.h"
#include "capture/gui/PageHighlighter.h"
#include "capture/gui/PageScriptChoice.h"
#include "capture/gui/ReaderView.h"
#include "capture/gui/StoredPageScheme.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/ReadOnlyNotice.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QMutex>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QKeyEvent>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include <algorithm>
#include <map>

namespace {

constexpr int kHelpContext = 4004;
// Text sizes 0 (smallest) to 4 (largest) as zoom factors.
constexpr double kZoomOfSize[] = {0.7, 0.85, 1.0, 1.25, 1.5};

// The working folder (and the folder of a local source on show) of each
// browser of the program: the only places its pages may read files from.
QMutex g_foldersLock;
std::map<const CNoteBrowserView*, QStringList> g_allowedFolders;

QString FolderKey(const QString& path) {
    QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!clean.endsWith(QLatin1Char('/'))) clean += QLatin1Char('/');
    return clean;
}

// Where a file address really leads: through links too, so that a link in
// the working folder does not open the rest of the disk.
QString RealPath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// One per view: a page of one notebook does not read another's folder.
class CFileGuard : public QWebEngineUrlRequestInterceptor {
public:
    CFileGuard(const CNoteBrowserView& view, QObject* pParent) : QWebEngineUrlRequestInterceptor(pParent), m_view(view) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!CNoteBrowserView::FileAccessAllowed(info.requestUrl(), &m_view)) info.block(true);
    }

private:
    const CNoteBrowserView& m_view;
};

class CNoteBrowserPage : public QWebEnginePage {
public:
    CNoteBrowserPage(CNoteBrowserView& view, QWebEngineProfile* pProfile, bool bLive)
        : QWebEnginePage(pProfile, &view), m_view(view), m_bLive(bLive) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool bMainFrame) override {
        return m_view.OnBeforeNavigate(url, type, bMainFrame, m_bLive);
    }
    // A kept page opens no windows of its own.
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    CNoteBrowserView& m_view;
    const bool m_bLive;
};

bool IsScheme(const QUrl& url, const char* scheme) {
    return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

// The source as a link target on a status page: web and file addresses
// only, so that a source like "javascript:..." cannot run in the page.
QString SourceLink(const std::string& strSource) {
    const QString source = ToQ(strSource);
    if (QFileInfo(source).isAbsolute()) return QUrl::fromLocalFile(source).toString(QUrl::FullyEncoded);
    const QUrl url(source);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                          scheme == QLatin1String("ftp") || scheme == QLatin1String("file")))
        return url.toString(QUrl::FullyEncoded);
    return QStringLiteral("about:blank");
}

// A note's source as an address the engine can load.
QUrl AddressOf(const std::string& strPath) {
    const QString path = ToQ(strPath);
    if (QFileInfo(path).isAbsolute()) return QUrl::fromLocalFile(path);
    return QUrl::fromUserInput(path);
}

// The number at the start of a note link's text, as atoi reads it.
uint32_t LeadingNumber(const QString& text) {
    const QString t = text.trimmed();
    int n = 0;
    while (n < t.size() && t[n].isDigit()) ++n;
    return t.left(n).toUInt();
}

const QStringList& CommandNames() {
    static const QStringList names = {
        QStringLiteral("ImportAllICancel"),      QStringLiteral("QueueAllImporteLater"),
        QStringLiteral("SheduleAllImporteNow"),  QStringLiteral("FailAllImporteLater"),
        QStringLiteral("FailAllImporteNow"),     QStringLiteral("CancelImporting"),
        QStringLiteral("ImporteLater"),          QStringLiteral("ImporteNow"),
        QStringLiteral("ImportAllDeleteNotes"),  QStringLiteral("QueueAllDeleteNotes"),
        QStringLiteral("SheduleAllDeleteNotes"), QStringLiteral("FailAllDeleteNotes"),
        QStringLiteral("DeleteTheNote"),
    };
    return names;
}

bool Is(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

void CollectNotes(const CNoteCata& cata, std::vector<CNote*>& out) {
    for (auto it = cata.m_notes.begin(); it != cata.m_notes.end(); ++it) out.push_back(it.value());
    for (auto it = cata.m_subCatas.begin(); it != cata.m_subCatas.end(); ++it) CollectNotes(*it.value(), out);
}

class CDesktopServicesOpener : public IDesktopOpener {
public:
    void OpenOnDesktop(const QUrl& url) override { QDesktopServices::openUrl(url); }
};
IDesktopOpener& DesktopServices() {
    static CDesktopServicesOpener s_opener;
    return s_opener;
}
}  // namespace

// The notebook's pages ask for nothing but the shown note's own files (and
// the status page template); the network, the disk and other notes' origins
// are not there for them.
class CStoredPageGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void SetToken(const QString& token, const QUrl& archive = QUrl()) {
        QMutexLocker guard(&m_lock);
        m_strToken = token;
        m_archive = archive;
    }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        QString token;
        QUrl archive;
        {
            QMutexLocker guard(&m_lock);
            token = m_strToken;
            archive = m_archive;
        }
        if (!StoredPageRequestAllowed(info.requestUrl(), token, CNoteBrowserView::TemplateUrl(), archive))
            info.block(true);
    }

private:
    QMutex m_lock;
    QString m_strToken;
    QUrl m_archive;
};

std::function<bool(QPrinter&, QWidget*)> CNoteBrowserView::s_fnAskPrinter = [](QPrinter& printer, QWidget* pParent) {
    QPrintDialog dlg(&printer, pParent);
    return dlg.exec() == QDialog::Accepted;
};

QUrl CNoteBrowserView::TemplateUrl() { return QUrl(QStringLiteral("qrc:/browser/235.html")); }

QWebEngineProfile* CNoteBrowserView::Profile() {
    static QPointer<QWebEngineProfile> s_pProfile;
    if (!s_pProfile) {
        // A profile of the program's own, kept off the disk, for live pages
        // (a note's original, a link-only note): they run as on the web, and
        // each view's file guard keeps local ones to their folder. A PDF
        // there shows in the engine's own viewer, not as an empty page.
        s_pProfile = new QWebEngineProfile(qApp);
        // The editor shows an encrypted notebook's page from memory too.
        InstallStoredPageHandler(s_pProfile);
        s_pProfile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
        s_pProfile->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        s_pProfile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
        s_pProfile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    }
    return s_pProfile;
}

bool CNoteBrowserView::FileAccessAllowed(const QUrl& url, const CNoteBrowserView* pView) {
    if (!url.isLocalFile()) return true;
    const QString path = RealPath(url.toLocalFile());
    QMutexLocker guard(&g_foldersLock);
    for (const auto& [view, folders] : g_allowedFolders) {
        if (pView && view != pView) continue;
        for (const QString& folder : folders)
            if (path.startsWith(folder) || path + QLatin1Char('/') == folder) return true;
    }
    return false;
}

CNoteBrowserView::CNoteBrowserView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent, IDesktopOpener* pOpener)
    : QWebEngineView(pParent), m_frame(frame), m_doc(doc), m_opener(pOpener ? *pOpener : DesktopServices()) {
    m_pLivePage = new CNoteBrowserPage(*this, Profile(), true);
    m_pLivePage->setUrlRequestInterceptor(new CFileGuard(*this, m_pLivePage));
    m_pStoredPage = new CNoteBrowserPage(*this, StoredPageProfile(), false);
    m_pStoredGuard = new CStoredPageGuard(m_pStoredPage);
    m_pStoredPage->setUrlRequestInterceptor(m_pStoredGuard);
    RemoveRealTimeConnections(*m_pStoredPage);
    m_pStoredPage->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, NotebookRunsPageScripts(m_doc));
    setPage(m_pStoredPage);
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) child->installEventFilter(this);
    setAccessibleName(QStringLiteral("Note"));
    connect(this, &QWebEngineView::loadFinished, this, &CNoteBrowserView::OnLoadFinished);
    connect(m_pStoredPage, &QWebEnginePage::linkHovered, this, &CNoteBrowserView::OnLinkHovered);
    // Printing reads the shown page and writes nothing: the note keeps
    // what it holds, whatever the working copy has come to hold.
    auto printed = [this](bool bOk) {
        m_pPrinter.reset();
        emit PrintDone(bOk);
    };
    connect(this, &QWebEngineView::printFinished, this, printed);
    connect(this, &QWebEngineView::pdfPrintingFinished, this, [printed](const QString&, bool bOk) { printed(bOk); });
    AllowFolders();
    RegisterCommands();
    m_pReader = new CReaderMode(*this, m_frame);
    ShowNothing();
}

CNoteBrowserView::~CNoteBrowserView() {
    {
        QMutexLocker guard(&g_foldersLock);
        g_allowedFolders.erase(this);
    }
    RevokeStoredPageToken(m_strToken);
    // The pages go before the view they call back into.
    setPage(nullptr);
    delete m_pStoredPage;
    delete m_pLivePage;
}

void CNoteBrowserView::AllowFolders() {
    QStringList folders;
    const std::string work = m_doc.GetWorkFolder(true);
    if (!work.empty()) folders << FolderKey(RealPath(ToQ(work)));
    // A file the user asked to see outside the notebook brings its folder:
    // its pictures and frames lie beside it.
    if (m_shownUrl.isLocalFile() && m_nStatusKind < 0) {
        const QString dir = QFileInfo(RealPath(m_shownUrl.toLocalFile())).absolutePath();
        folders << FolderKey(dir);
    }
    QMutexLocker guard(&g_foldersLock);
    g_allowedFolders[this] = folders;
}

void CNoteBrowserView::UsePage(QWebEnginePage* pPage) {
    if (page() == pPage) return;
    setPage(pPage);
    setZoomFactor(kZoomOfSize[m_nTextSize]);
}

void CNoteBrowserView::Navigate(const QUrl& shown, const QUrl& load, QWebEnginePage* pPage) {
    // A note's page that goes takes its origin with it.
    if (!IsScheme(load, "cvpage") && !m_strToken.isEmpty()) {
        RevokeStoredPageToken(m_strToken);
        m_strToken.clear();
    }
    m_shownUrl = shown;
    m_loadUrl = load;
    m_bLeftPage = false;
    AllowFolders();
    UsePage(pPage);
    // Loads replace the shown page without adding to the engine's history.
    pPage->history()->clear();
    pPage->setUrl(load);
}

void CNoteBrowserView::ShowStoredPage(CNote* pNote, const std::string& strPath, const QString& strFragment) {
    // Each note shown gets an origin of its own, which no other note's page
    // can name.
    RevokeStoredPageToken(m_strToken);
    QUrl file = QUrl::fromLocalFile(ToQ(strPath));
    if (!strFragment.isEmpty()) file.setFragment(strFragment, QUrl::TolerantMode);
    if (SameType(pNote->m_strExt, "mht")) {
        // The engine renders a web archive only from a file, and then with
        // no script, plugin or request of its own: that one file is let in.
        m_strToken.clear();
        m_pStoredGuard->SetToken(QString(), file);
        Navigate(file, file, m_pStoredPage);
        return;
    }
    const CStoredPageGrant grant = GrantForNote(m_doc, *pNote);
    m_strToken = IssueStoredPageToken(grant);
    m_pStoredGuard->SetToken(m_strToken);
    QUrl load = StoredPageUrl(m_strToken, grant.m_strPage);
    if (!strFragment.isEmpty()) load.setFragment(strFragment, QUrl::TolerantMode);
    Navigate(strPath.empty() ? load : file, load, m_pStoredPage);
}

void CNoteBrowserView::ShowLive(const QUrl& url) {
    m_bLeftPage = true;
    UsePage(m_pLivePage);
    m_pLivePage->history()->clear();
    m_pLivePage->setUrl(url);
}

bool CNoteBrowserView::PageScriptsOn() const {
    return m_pStoredPage->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled);
}

void CNoteBrowserView::SetPageScripts(bool bOn) {
    RememberPageScripts(m_doc, bOn);
    m_pStoredPage->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, bOn);
    // The note's page on show is loaded anew to run, or stop, its scripts.
    if (m_pNote && m_nStatusKind < 0 && !m_bShowingSource && page() == m_pStoredPage) ShowNote(m_pNote);
}

// ---------------------------------------------------------------- showing

void CNoteBrowserView::ShowNote(CNote* pNote, bool bSource, const QString& strFragment) {
    const bool bWasSource = m_bShowingSource;
    m_bShowingSource = false;
    if (!pNote) {
        m_pNote = nullptr;
        ShowStatusPage(kStatusEmpty);
        return;
    }
    if (bSource) {
        m_bShowingSource = true;
        m_bPageReady = false;
        m_nStatusKind = -1;
        m_pNote = pNote;
        const QUrl url = AddressOf(pNote->m_strSource);
        const QUrl load = url.isValid() ? url : QUrl(QStringLiteral("about:blank"));
        Navigate(load, load, m_pLivePage);
        return;
    }
    switch (pNote->m_nStatus.load()) {
    case kStatusQueued:
        m_pNote = pNote;
        ShowStatusPage(kStatusQueuedNote);
        return;
    case kStatusRunning:
        m_pNote = pNote;
        ShowStatusPage(kStatusRunningNote);
        return;
    case kStatusFailed:
        m_pNote = pNote;
        ShowStatusPage(kStatusFailedNote);
        return;
    case kStatusStopRequested:
        m_pNote = pNote;
        ShowStatusPage(kStatusEmpty);
        return;
    case kStatusHeld:
        m_pNote = pNote;
        ShowStatusPage(kStatusHeldNote);
        return;
    default:
        break;
    }
    // The note's own page already on show is only refreshed; a status page
    // or the source of the same note gives way to the page.
    if (pNote == m_pNote && m_nStatusKind < 0 && !bWasSource && !m_bLeftPage && !m_shownUrl.isEmpty()) {
        // What the page may read follows what the note now holds.
        if (page() == m_pStoredPage && !m_strToken.isEmpty()) IssueStoredPageToken(GrantForNote(m_doc, *pNote), m_strToken);
        if (strFragment.isEmpty()) {
            reload();
            return;
        }
        // A place in the page on show: the engine only moves there.
        m_loadUrl.setFragment(strFragment, QUrl::TolerantMode);
        m_shownUrl.setFragment(strFragment, QUrl::TolerantMode);
        page()->setUrl(m_loadUrl);
        return;
    }
    m_bPageReady = false;
    m_pNote = pNote;
    // An encrypted notebook's page comes from memory; only a web archive,
    // which the engine renders from a file alone, needs its working copy.
    if (pNote->m_nContentType == kContentHeld && m_doc.IsEncrypted() && !SameType(pNote->m_strExt, "mht")) {
        m_nStatusKind = -1;
        ShowStoredPage(pNote, std::string(), strFragment);
        return;
    }
    const std::string path = pNote->GetWorkPath();
    if (pNote->m_nContentType == kContentHeld) {
        const bool bThere = !path.empty() && QFileInfo::exists(ToQ(path));
        if (path.empty() || (!bThere && !pNote->WriteWorkingCopy())) {
            ShowStatusPage(kStatusEmpty);
            m_pNote = pNote;
            return;
        }
    }
    m_nStatusKind = -1;
    if (pNote->m_nContentType == kContentHeld) {
        ShowStoredPage(pNote, path, strFragment);
        return;
    }
    // A note that only links to its page shows it from where it is.
    const QUrl url = AddressOf(path);
    const QUrl load = url.isValid() ? url : QUrl(QStringLiteral("about:blank"));
    Navigate(load, load, m_pLivePage);
}

void CNoteBrowserView::ShowStatusPage(int nKind) {
    QString body;
    const CLanguageModule& lang = CurrentLanguage();
    // What the note's download brought in goes into the page as text: an
    // address or a server's error message is no markup of ours.
    const std::string source = m_pNote ? FromQ(ToQ(m_pNote->m_strSource).toHtmlEscaped()) : std::string();
    const std::string link = m_pNote ? FromQ(SourceLink(m_pNote->m_strSource).toHtmlEscaped()) : std::string();
    switch (nKind) {
    case kStatusRunningNote:
        body = FormatMessageText(lang.String(ids::IDS_STATUS_RUNNING_NOTE), {link, source});
        break;
    case kStatusQueuedNote:
        body = FormatMessageText(lang.String(ids::IDS_STATUS_QUEUED_NOTE), {link, source});
        break;
    case kStatusHeldNote:
        body = FormatMessageText(lang.String(ids::IDS_STATUS_HELD_NOTE), {link, source});
        break;
    case kStatusFailedNote: {
        const std::string error = m_pNote ? FromQ(ToQ(m_pNote->m_strError).toHtmlEscaped()) : std::string();
        body = FormatMessageText(lang.String(ids::IDS_STATUS_FAILED_NOTE), {link, source, error});
        break;
    }
    case kStatusRunningGroup:
        body = lang.String(ids::IDS_STATUS_RUNNING_GROUP);
        break;
    case kStatusQueuedGroup:
        body = lang.String(ids::IDS_STATUS_QUEUED_GROUP);
        break;
    case kStatusHeldGroup:
        body = lang.String(ids::IDS_STATUS_HELD_GROUP);
        break;
    case kStatusFailedGroup:
        body = lang.String(ids::IDS_STATUS_FAILED_GROUP);
        break;
    default:
        nKind = kStatusEmpty;
        break;
    }
    m_strPendingBody = body;
    m_nStatusKind = nKind;
    m_bPageReady = true;
    m_pStoredGuard->SetToken(QString());
    Navigate(TemplateUrl(), TemplateUrl(), m_pStoredPage);
}

void CNoteBrowserView::OnLoadFinished(bool bOk) {
    // Only the template page is written into; a link followed away from a
    // status page keeps its own body.
    if (!bOk || !m_bPageReady || m_nStatusKind < 0 || url() != TemplateUrl()) return;
    QJsonArray attributes;
    for (const auto& [name, value] : m_pendingAttributes) attributes.append(QJsonArray{name, value});
    const QJsonArray args{m_strPendingTitle, m_strPendingBody, attributes};
    const QString data = QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact));
    const QString script = QStringLiteral(
                               "(function(a){if(a[0])document.title=a[0];document.body.innerHTML=a[1];"
                               "a[2].forEach(function(p){document.body.setAttribute(p[0],p[1]);});return true;})(%1)")
                               .arg(data);
    QPointer<CNoteBrowserView> self(this);
    // In a world of the program's own: the page's scripts may be off.
    page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self](const QVariant&) {
        if (self) emit self->StatusPageFilled();
    });
}

void CNoteBrowserView::SaveShownPage() {
    CNote* pNote = m_pNote;
    if (!pNote || m_bShowingSource || m_nStatusKind >= 0 || SameType(pNote->m_strExt, "mht") ||
        pNote->m_nSourceKind == kSourceWebPage || pNote->m_nContentType != kContentHeld)
        return;
    if (!m_shownUrl.isLocalFile()) return;
    // The engine names the document by its type; anything but a page it
    // shows as a document of its own kind.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(m_shownUrl.toLocalFile());
    const bool bHtml = type.inherits(QStringLiteral("text/html")) ||
                       type.inherits(QStringLiteral("application/xhtml+xml"));
    if (bHtml) return;
    if (RefuseChange(m_doc)) return;
    // The engine shows such a document from the working copy and writes
    // nothing of its own, so the working copy is what the note holds now.
    std::vector<uint8_t> before;
    {
        std::lock_guard<std::mutex> guard(pNote->m_dataLock);
        before = pNote->Content();
    }
    if (!pNote->ReadBack(FromQ(m_shownUrl.toLocalFile()))) return;
    bool bChanged;
    {
        std::lock_guard<std::mutex> guard(pNote->m_dataLock);
        bChanged = pNote->Content() != before;
    }
    if (bChanged) m_doc.SetModifiedFlag();
}

// ---------------------------------------------------------------- links

void CNoteBrowserView::OpenOnDesktop(const QString& strLink) {
    const QUrl url(strLink, QUrl::StrictMode);
    // Both the text and what the engine would make of it must be a web or
    // mail address: anything else (a file, a share, a script) could have the
    // desktop run what a stranger's page names.
    if (url.isValid() && IsDesktopAddress(FromQ(strLink)) && IsDesktopAddress(FromQ(url.toString()))) {
        m_opener.OpenOnDesktop(url);
        return;
    }
    // Not inside the engine's navigation call: the box waits for the user.
    const std::string link = FromQ(strLink);
    QMetaObject::invokeMethod(
        this, [link] { AfxMessageBox(ids::IDS_LINK_NOT_OPENED, host::MB_OK | host::MB_ICONEXCLAMATION, {link}); },
        Qt::QueuedConnection);
}

bool CNoteBrowserView::OnBeforeNavigate(const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame,
                                        bool bLive) {
    const QString text = url.toString();
    // Links of the program's own act only when clicked: a frame or a
    // redirect of a page does not reach the desktop or the tree.
    const bool bClicked = type == QWebEnginePage::NavigationTypeLinkClicked;
    if (text.startsWith(QLatin1String("vlt"))) {
        if (bClicked) OpenOnDesktop(text.mid(3));
        return false;
    }
    if (text.startsWith(QLatin1String("clipvault:"), Qt::CaseInsensitive)) {
        if (!bClicked) return false;
        QString rest = QUrl::fromPercentEncoding(text.mid(10).toUtf8());
        const int eq = rest.indexOf(QLatin1Char('='));
        if (eq > 0) rest = rest.left(eq);
        QCoreApplication::postEvent(this, new CBrowserCommand(&m_doc, QStringLiteral("GoItemID"), nullptr,
                                                              LeadingNumber(rest)));
        return false;
    }
    // The view's own loads pass: a shown page's address is no command.
    if (url == m_loadUrl && type != QWebEnginePage::NavigationTypeLinkClicked) return true;
    // A link of a kept page to another page the notebook keeps opens that
    // note, offline as online; the page itself stays as it was captured.
    QString fragment;
    CNote* pKept = !bLive && bMainFrame && bClicked ? KeptNoteOf(url, &fragment) : nullptr;
    if (pKept) {
        QCoreApplication::postEvent(this, new CBrowserCommand(&m_doc, QStringLiteral("GoKeptNote"), pKept,
                                                              pKept->m_nID, FromQ(fragment)));
        return false;
    }
    const QString path = url.path();
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    QString name = slash < 0 ? text : text.mid(slash + 1);
    // A query or fragment is no part of the command's name.
    if (!path.isEmpty()) name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    for (const QString& command : CommandNames()) {
        if (name.compare(command, Qt::CaseInsensitive) != 0) continue;
        // Only a click on the program's own status page, in its main frame,
        // runs a command; any other page naming one (a kept page, its
        // frames, a live page) is refused and goes nowhere.
        const bool bOwnPage = !bLive && page() == m_pStoredPage && m_nStatusKind >= 0 && !m_bShowingSource &&
                              m_pStoredPage->url() == TemplateUrl();
        if (bOwnPage && bMainFrame && bClicked)
            QCoreApplication::postEvent(this, new CBrowserCommand(&m_doc, command, m_pNote));
        return false;
    }
    if (!bLive && RefuseFromStoredPage(url, type, bMainFrame)) return false;
    // Any other link leaves the note's page, and showing the note again
    // loads it anew. The file guard stays as it was: a link does not open
    // the folder it leads to. A live page still on its way when the view
    // went back to the note (its error page, say) leaves nothing.
    if (bMainFrame && page() == (bLive ? m_pLivePage : m_pStoredPage)) m_bLeftPage = true;
    return true;
}

CNote* CNoteBrowserView::KeptNoteOf(const QUrl& url, QString* pFragment) const {
    // Only from a note's own page: a status page's link to the source is
    // the way to the live page.
    if (!m_pNote || page() != m_pStoredPage || m_nStatusKind >= 0 || m_bShowingSource) return nullptr;
    const std::string address = KeptLinkAddress(url, m_strToken, m_pNote->m_strSource);
    if (address.empty()) return nullptr;
    CNote* pKept = m_frame.KeptNoteAt(address, m_pNote);
    if (pKept && pFragment) *pFragment = url.fragment(QUrl::FullyEncoded);
    return pKept;
}

void CNoteBrowserView::OnLinkHovered(const QString& strUrl) {
    CNote* pKept = strUrl.isEmpty() ? nullptr : KeptNoteOf(QUrl(strUrl), nullptr);
    if (pKept) {
        m_frame.SetStatusText(FromQ(FormatMessageText(CurrentLanguage().String(ids::IDS_KEPT_NOTE_LINK), {pKept->m_strName})));
        m_bKeptHint = true;
    } else if (m_bKeptHint) {
        // Only what this view said goes: the status bar may say more.
        m_frame.SetStatusText(std::string());
        m_bKeptHint = false;
    }
}

bool CNoteBrowserView::RefuseFromStoredPage(const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame) {
    // Within the note's own origin a page goes where it likes (a frame, an
    // attachment of its own); the guard keeps it there.
    if (IsScheme(url, "cvpage") || IsScheme(url, "about") || IsScheme(url, "data") || IsScheme(url, "blob"))
        return false;
    // A web link the user clicks leaves the notebook for the live page; a
    // file only from a status page (a local source).
    const bool bWeb = IsScheme(url, "http") || IsScheme(url, "https") || IsScheme(url, "ftp");
    const bool bStatusSource = IsScheme(url, "file") && m_nStatusKind >= 0 && !m_bLeftPage;
    if (bMainFrame && type == QWebEnginePage::NavigationTypeLinkClicked && (bWeb || bStatusSource)) {
        QMetaObject::invokeMethod(this, [this, url] { ShowLive(url); }, Qt::QueuedConnection);
    }
    return true;
}

bool CNoteBrowserView::eventFilter(QObject* pWatched, QEvent* e) {
    // The engine's own widget takes every key the page might want, so F1
    // is caught on its way there.
    if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            // Every key press asks first whether a shortcut takes it; that
            // question comes once, the press itself may not come at all.
            if (e->type() == QEvent::ShortcutOverride) OpenHelpAt(kHelpContext);
            e->accept();
            return true;
        }
    }
    return QWebEngineView::eventFilter(pWatched, e);
}

bool CNoteBrowserView::event(QEvent* e) {
    if (e->type() == QEvent::ChildAdded) {
        // The widget the engine renders into, made anew as it likes.
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child())) child->installEventFilter(this);
    }
    if (e->type() != CBrowserCommand::kType) return QWebEngineView::event(e);
    const CBrowserCommand command = *static_cast<CBrowserCommand*>(e);
    RunGuarded([&] { RunCommand(command); });
    return true;
}

bool CNoteBrowserView::HoldsNote(const CNote* pNote) const {
    if (!pNote) return false;
    std::vector<CNote*> notes;
    CollectNotes(m_doc.m_rootCata, notes);
    return std::find(notes.begin(), notes.end(), pNote) != notes.end();
}

void CNoteBrowserView::DeleteNote(CNote* pNote) {
    const int status = pNote->m_nStatus.load();
    if (status == kStatusQueued || status == kStatusRunning || m_doc.HasWorker(pNote)) m_doc.StopDownload(pNote);
    // A worker that would not stop is waited for when its note is freed;
    // such a note stays until it has ended.
    if (m_doc.HasWorker(pNote)) return;
    m_doc.DeleteItem(pNote);
}

void CNoteBrowserView::DeleteNotesWithStatus(int nStatus) {
    std::vector<CNote*> notes;
    CollectNotes(m_doc.m_rootCata, notes);
    // The notes of that state when asked: stopping one download may start
    // a queued one, which is not among them.
    notes.erase(std::remove_if(notes.begin(), notes.end(), [&](const CNote* p) { return p->m_nStatus.load() != nStatus; }),
                notes.end());
    for (CNote* pNote : notes)
        if (HoldsNote(pNote)) DeleteNote(pNote);
}

void CNoteBrowserView::RunCommand(const CBrowserCommand& command) {
    // A command from another notebook's page, or for a note that has gone
    // since its link was clicked, finds nothing to act on.
    if (command.m_pDoc != &m_doc) return;
    CNote* pNote = HoldsNote(command.m_pNote) ? command.m_pNote : nullptr;
    const QString& name = command.m_strName;
    if (Is(name, "GoKeptNote")) {
        // Like a note link, once the view's event is over; a note gone since
        // the click is no longer found by its number.
        if (!pNote) return;
        INoteFrame* pFrame = &m_frame;
        const uint32_t nNumber = command.m_nNumber;
        const std::string fragment = command.m_strFragment;
        auto go = [pFrame, nNumber, fragment] { RunGuarded([&] { pFrame->GoToKeptNote(nNumber, fragment); }); };
        if (QWidget* pPane = parentWidget()) QTimer::singleShot(0, pPane, go);
        else go();
        return;
    }
    if (Is(name, "GoItemID")) {
        // The tree selects the note, and the frame shows it as for a click.
        // Showing it may replace this view, so that runs once the view's
        // event is over, on the pane that holds the view (and goes with its
        // frame).
        INoteFrame* pFrame = &m_frame;
        const uint32_t nNumber = command.m_nNumber;
        auto go = [pFrame, nNumber] { RunGuarded([&] { pFrame->GoToNoteNumber(nNumber); }); };
        if (QWidget* pPane = parentWidget()) QTimer::singleShot(0, pPane, go);
        else go();
        return;
    }
    if (Is(name, "ImportAllICancel")) {
        m_doc.StopAllDownloads();
    } else if (Is(name, "QueueAllImporteLater")) {
        m_doc.HoldAllQueued();
    } else if (Is(name, "SheduleAllImporteNow")) {
        m_doc.StartAllHeld();
    } else if (Is(name, "FailAllImporteLater")) {
        m_doc.HoldAllFailed();
    } else if (Is(name, "FailAllImporteNow")) {
        m_doc.RetryAllFailed();
    } else if (Is(name, "CancelImporting")) {
        if (pNote) m_doc.StopDownload(pNote);
    } else if (Is(name, "ImporteLater")) {
        if (pNote) m_doc.HoldNote(pNote);
    } else if (Is(name, "ImporteNow")) {
        if (pNote) m_doc.StartDownload(pNote);
    } else {
        // Deleting changes the notebook, which a locked one refuses.
        int status = -1;
        if (Is(name, "ImportAllDeleteNotes")) status = kStatusRunning;
        else if (Is(name, "QueueAllDeleteNotes")) status = kStatusQueued;
        else if (Is(name, "SheduleAllDeleteNotes")) status = kStatusHeld;
        else if (Is(name, "FailAllDeleteNotes")) status = kStatusFailed;
        else if (!Is(name, "DeleteTheNote")) return;
        if (RefuseChange(m_doc)) return;
        if (status >= 0) DeleteNotesWithStatus(status);
        else if (pNote) DeleteNote(pNote);
    }
}

// ---------------------------------------------------------------- commands

void CNoteBrowserView::SetTextSize(int nSize) {
    m_nTextSize = std::clamp(nSize, 0, 4);
    setZoomFactor(kZoomOfSize[m_nTextSize]);
}

void CNoteBrowserView::Print() {
    if (m_pPrinter) return;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!s_fnAskPrinter(*printer, this)) return;
    m_pPrinter = std::move(printer);
    // The engine prints to a printer as pictures of the pages; a PDF file
    // is written by the engine itself and keeps the page's text as text.
    if (m_pPrinter->outputFormat() == QPrinter::PdfFormat && !m_pPrinter->outputFileName().isEmpty())
        printToPdf(m_pPrinter->outputFileName(), m_pPrinter->pageLayout());
    else
        print(m_pPrinter.get());
}

bool CNoteBrowserView::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    return (m_pReader && m_pReader->OnCmdMsg(nID, pUI, pNotify)) || CCmdTarget::OnCmdMsg(nID, pUI, pNotify);
}

void CNoteBrowserView::RegisterCommands() {
    using namespace cmd;
    OnCommand(kCmdBrowserStop, [this] { stop(); });
    OnCommand(kCmdBrowserRefresh, [this] { reload(); });
    OnCommandRange(kCmdTextSizeLargest, kCmdTextSizeSmallest,
                   [this](unsigned nID) { SetTextSize(4 - static_cast<int>(nID - kCmdTextSizeLargest)); });
    OnUpdateRange(kCmdTextSizeLargest, kCmdTextSizeSmallest, [this](CCmdUI* pUI) {
        const int size = 4 - static_cast<int>(pUI->m_nID - kCmdTextSizeLargest);
        pUI->SetCheck(size == 4 ? m_nTextSize > 3 : m_nTextSize == size);
    });
    // For the notebook: its pages' scripts run, still inside their walls.
    OnCommand(kCmdPageScripts, [this] { SetPageScripts(!PageScriptsOn()); });
    OnUpdate(kCmdPageScripts, [this](CCmdUI* pUI) {
        pUI->Enable(true);
        pUI->SetCheck(PageScriptsOn());
    });
    OnCommand(kCmdCopy, [this] { page()->triggerAction(QWebEnginePage::Copy); });
    OnUpdate(kCmdCopy, [](CCmdUI* pUI) { pUI->Enable(true); });
    OnCommand(kCmdSelectAll, [this] { page()->triggerAction(QWebEnginePage::SelectAll); });
    OnUpdate(kCmdSelectAll, [](CCmdUI* pUI) { pUI->Enable(true); });
    OnCommand(kCmdFind, [] {});
    OnUpdate(kCmdFind, [](CCmdUI* pUI) { pUI->Enable(false); });
    m_pHighlighter = new CPageHighlighter(*this, m_doc);
    OnCommandRange(kCmdHighlight, kCmdRemoveHighlight, [this](unsigned nID) { m_pHighlighter->OnCommand(nID); });
    OnUpdateRange(kCmdHighlight, kCmdRemoveHighlight, [this](CCmdUI* pUI) { m_pHighlighter->OnUpdate(pUI); });
    OnCommand(kCmdPrint, [this] { Print(); });
    // Any page that has loaded prints, the note's own as much as a status
    // page; one job at a time.
    OnUpdate(kCmdPrint, [this](CCmdUI* pUI) { pUI->Enable(!m_pPrinter && !m_shownUrl.isEmpty()); });
}
