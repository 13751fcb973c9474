#include "capture/gui/StoredPageScheme.h"

#include "capture/PageExport.h"
#include "document/AttachmentUse.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/gui/QtText.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMutex>
#include <QPointer>
#include <QRandomGenerator>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <map>
#include <mutex>
#include <vector>

namespace {

QMutex g_grantsLock;
std::map<QString, CStoredPageGrant> g_grants;

// Behind the request guard, a second wall: a page's scripts connect to no
// one but its own origin, and it embeds no plugin.
constexpr char kPolicy[] =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"connect-src 'self'; object-src 'none'\">";

bool IsBareName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

// Past a byte-order mark, white space and comments: where a doctype would
// stand.
int FirstMarkup(const QByteArray& html) {
    int i = html.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        while (i < html.size() && (html[i] == ' ' || html[i] == '\t' || html[i] == '\r' || html[i] == '\n' ||
                                   html[i] == '\f'))
            ++i;
        if (!html.mid(i, 4).startsWith("<!--")) return i;
        const int end = html.indexOf("-->", i + 4);
        if (end < 0) return i;
        i = end + 3;
    }
}

class CStoredPageHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* pJob) override {
        if (pJob->requestMethod() != "GET") {
            pJob->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        QByteArray bytes;
        QString path;
        if (StoredPageMemory(pJob->requestUrl(), bytes)) {
            path = pJob->requestUrl().path(QUrl::FullyDecoded).mid(1);
        } else {
            path = StoredPageFile(pJob->requestUrl());
            if (path.isEmpty()) {
                pJob->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                pJob->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            bytes = file.readAll();
        }
        const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        QByteArray mime = type.name().toLatin1();
        if (type.inherits(QStringLiteral("text/html"))) {
            bytes = WithPagePolicy(bytes);
            mime = "text/html";
        }
        auto* pBuffer = new QBuffer(pJob);
        pBuffer->setData(bytes);
        pJob->reply(mime, pBuffer);
    }
};

}  // namespace

QString StoredPageScheme() { return QStringLiteral("cvpage"); }

void RegisterStoredPageScheme() {
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        // An origin of its own per host; no local or cross-origin rights.
        QWebEngineUrlScheme scheme(StoredPageScheme().toLatin1());
        scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
        scheme.setFlags({});
        QWebEngineUrlScheme::registerScheme(scheme);
    });
}

namespace {

QByteArray Bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// A name for the page that no attachment has ("vlt" starts none of them)
// and that keeps the note's type.
QString MemoryPageName(const CNote& note) {
    QString ext = ToQ(note.m_strExt);
    if (!IsBareName(ext) || ext.contains(QLatin1Char('.'))) ext = QStringLiteral("bin");
    return QStringLiteral("vltnote%1.%2").arg(note.m_nID).arg(ext);
}

}  // namespace

CStoredPageGrant GrantForNote(CClipVaultDoc& doc, CNote& note) {
    CStoredPageGrant grant;
    const bool bMemory = doc.IsEncrypted();
    if (bMemory) {
        grant.m_strPage = MemoryPageName(note);
    } else {
        const QString work = ToQ(note.GetWorkPath());
        grant.m_strPage = QFileInfo(work).fileName();
        grant.m_strFolder = QFileInfo(QFileInfo(work).absolutePath()).canonicalFilePath();
    }
    std::vector<uint8_t> content;
    std::set<std::string> found;
    {
        std::lock_guard<std::mutex> guard(note.m_dataLock);
        content = note.Content();
        found.insert(note.m_attachNames.begin(), note.m_attachNames.end());
    }
    if (bMemory) grant.m_memory[grant.m_strPage] = Bytes(content);
    std::lock_guard<std::recursive_mutex> guard(doc.m_lock);
    std::vector<std::string> all;
    for (auto it = doc.m_attachments.begin(); it != doc.m_attachments.end(); ++it) all.push_back(it.key());
    const CAttachmentNameFinder finder(all);
    finder.FindIn(content, found);
    // What the note's stylesheets and frame pages use in turn.
    std::set<std::string> done;
    std::vector<std::string> todo(found.begin(), found.end());
    const std::string folder = FromQ(grant.m_strFolder);
    while (!todo.empty()) {
        const std::string name = std::move(todo.back());
        todo.pop_back();
        CNoteAttatch* pAttach = doc.FindAttachment(name);
        if (!pAttach || !UsableFileName(name) || !done.insert(name).second) continue;
        grant.m_names.insert(ToQ(name));
        if (bMemory) {
            if (pAttach->LoadData()) grant.m_memory[ToQ(name)] = Bytes(pAttach->Data());
        } else if (!folder.empty()) {
            pAttach->WriteIfMissing(folder + "/" + name);
        }
        if (!AttachmentMayReferToOthers(name) || !pAttach->LoadData()) continue;
        std::set<std::string> more;
        finder.FindIn(pAttach->Data(), more);
        for (const std::string& m : more)
            if (!done.count(m)) todo.push_back(m);
    }
    return grant;
}

QString IssueStoredPageToken(const CStoredPageGrant& grant, const QString& strToken) {
    QString token = strToken;
    if (token.isEmpty()) {
        quint32 words[4];
        QRandomGenerator::system()->fillRange(words);
        for (quint32 w : words) token += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
        // A host name begins with a letter.
        token.prepend(QLatin1Char('n'));
    }
    QMutexLocker guard(&g_grantsLock);
    g_grants[token] = grant;
    return token;
}

void RevokeStoredPageToken(const QString& strToken) {
    QMutexLocker guard(&g_grantsLock);
    g_grants.erase(strToken);
}

bool AddToStoredPageGrant(const QString& strToken, const QString& strName, const QByteArray& bytes) {
    QMutexLocker guard(&g_grantsLock);
    const auto it = g_grants.find(strToken);
    if (it == g_grants.end() || !it->second.m_strFolder.isEmpty()) return false;
    it->second.m_names.insert(strName);
    it->second.m_memory[strName] = bytes;
    return true;
}

QUrl StoredPageUrl(const QString& strToken, const QString& strName) {
    QUrl url;
    url.setScheme(StoredPageScheme());
    url.setHost(strToken);
    url.setPath(QLatin1Char('/') + strName);
    return url;
}

QString StoredPageFile(const QUrl& url) {
    if (url.scheme() != StoredPageScheme()) return QString();
    const QString name = url.path(QUrl::FullyDecoded).mid(1);
    if (!IsBareName(name)) return QString();
    CStoredPageGrant grant;
    {
        QMutexLocker guard(&g_grantsLock);
        const auto it = g_grants.find(url.host());
        if (it == g_grants.end()) return QString();
        grant = it->second;
    }
    if (grant.m_strFolder.isEmpty() || (name != grant.m_strPage && !grant.m_names.count(name))) return QString();
    const QFileInfo info(grant.m_strFolder + QLatin1Char('/') + name);
    const QString real = info.canonicalFilePath();
    if (real.isEmpty() || QFileInfo(real).absolutePath() != grant.m_strFolder) return QString();
    // A link, a pipe or a device in the folder is nothing a page may read.
    if (!QFileInfo(real).isFile() || info.isSymLink()) return QString();
    return real;
}

bool StoredPageMemory(const QUrl& url, QByteArray& bytes) {
    if (url.scheme() != StoredPageScheme()) return false;
    const QString name = url.path(QUrl::FullyDecoded).mid(1);
    if (!IsBareName(name)) return false;
    QMutexLocker guard(&g_grantsLock);
    const auto it = g_grants.find(url.host());
    if (it == g_grants.end()) return false;
    const auto found = it->second.m_memory.find(name);
    if (found == it->second.m_memory.end()) return false;
    bytes = found->second;
    return true;
}

QByteArray WithPagePolicy(const QByteArray& html) {
    if (html.startsWith("\xFF\xFE") || html.startsWith("\xFE\xFF")) return html;
    int at = FirstMarkup(html);
    if (html.mid(at, 9).toLower() == "<!doctype") {
        const int end = html.indexOf('>', at);
        at = end < 0 ? int(html.size()) : end + 1;
    }
    QByteArray out = html;
    out.insert(at, kPolicy);
    return out;
}

bool StoredPageRequestAllowed(const QUrl& url, const QString& strToken, const QUrl& templateUrl,
                              const QUrl& archive) {
    if (!archive.isEmpty() && url == archive) return true;
    const QString scheme = url.scheme().toLower();
    if (scheme == StoredPageScheme()) return !strToken.isEmpty() && url.host() == strToken;
    if (scheme == QLatin1String("data") || scheme == QLatin1String("blob") || scheme == QLatin1String("about"))
        return true;
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment) == templateUrl;
}

void InstallStoredPageHandler(QWebEngineProfile* pProfile) {
    RegisterStoredPageScheme();
    pProfile->installUrlSchemeHandler(StoredPageScheme().toLatin1(), new CStoredPageHandler(pProfile));
}

QWebEngineProfile* StoredPageProfile() {
    static QPointer<QWebEngineProfile> s_pProfile;
    if (!s_pProfile) {
        RegisterStoredPageScheme();
        s_pProfile = new QWebEngineProfile(qApp);
        InstallStoredPageHandler(s_pProfile);
        QWebEngineSettings* s = s_pProfile->settings();
        s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        // The engine's own PDF viewer is its only plugin; without it a kept
        // PDF shows as an empty page. It reads the note's file through this
        // profile, so the same walls hold.
        s->setAttribute(QWebEngineSettings::PluginsEnabled, true);
        s->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
        s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
        s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
        s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    }
    return s_pProfile;
}

void RemoveRealTimeConnections(QWebEnginePage& page) {
    QWebEngineScript script;
    script.setName(QStringLiteral("clipvault-no-rtc"));
    script.setSourceCode(QStringLiteral(
        "(function(){['RTCPeerConnection','webkitRTCPeerConnection','RTCDataChannel','RTCSessionDescription',"
        "'RTCIceCandidate','RTCRtpSender','RTCRtpReceiver','RTCRtpTransceiver','RTCDtlsTransport',"
        "'RTCIceTransport','RTCSctpTransport','RTCCertificate','RTCDTMFSender','RTCTrackEvent',"
        "'RTCPeerConnectionIceEvent','RTCDataChannelEvent','RTCEncodedAudioFrame','RTCEncodedVideoFrame']"
        ".forEach(function(n){try{delete window[n];}catch(e){}try{Object.defineProperty(window,n,"
        "{value:undefined,writable:false,configurable:false});}catch(e){}});"
        "try{if(navigator.mediaDevices)Object.defineProperty(navigator,'mediaDevices',{value:undefined});}catch(e){}"
        "})();"));
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(true);
    page.scripts().insert(script);
}
