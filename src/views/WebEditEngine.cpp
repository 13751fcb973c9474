#include "views/WebEditEngine.h"

#include "capture/LinkHelpers.h"
#include "capture/PageSplice.h"
#include "capture/gui/NoteBrowserView.h"
#include "capture/gui/StoredPageScheme.h"
#include "platform/AtomicFile.h"
#include "platform/ByteStream.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/QtText.h"
#include "views/WebEditDialogs.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <utility>
#include <QMutex>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <cmath>

using namespace edit;

namespace {

// Text ids of the engine's strings.
constexpr unsigned kIdsFormatFirst = 34300;  // the block-format names, in kFormatTags order

const char* const kFormatTags[] = {"p", "pre", "address", "h1", "h2", "h3", "h4", "h5", "h6",
                                   "ol", "ul", "dir", "menu", "dt", "dd", "div"};
constexpr int kFormatCount = sizeof(kFormatTags) / sizeof(kFormatTags[0]);

// A value as a JavaScript literal: points become [x, y], lists arrays, a
// null string null.
QJsonValue ToJson(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QJsonValue(QJsonValue::Null);
    switch (v.typeId()) {
    case QMetaType::QPoint: return QJsonArray{v.toPoint().x(), v.toPoint().y()};
    case QMetaType::Bool: return v.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return v.toLongLong();
    case QMetaType::Double: return v.toDouble();
    case QMetaType::QString: return v.toString().isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(v.toString());
    case QMetaType::QVariantList: {
        QJsonArray a;
        for (const QVariant& e : v.toList()) a.append(ToJson(e));
        return a;
    }
    case QMetaType::QVariantMap: {
        QJsonObject o;
        const QVariantMap m = v.toMap();
        for (auto it = m.begin(); it != m.end(); ++it) o.insert(it.key(), ToJson(it.value()));
        return o;
    }
    default: break;
    }
    return QJsonValue::fromVariant(v);
}

QString Literal(const QJsonValue& v) {
    // Wrapped in an array so that a bare value serialises too.
    const QByteArray s = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(s.mid(1, s.size() - 2));
}

QString ScriptSource(const QString& strResource) {
    QFile f(strResource);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

// Point size to the legacy font sizes 1-7.
int LegacySize(double dPoints) {
    const double limits[] = {8.5, 11, 12.5, 15.5, 21, 30};
    for (int i = 0; i < 6; ++i)
        if (dPoints <= limits[i]) return i + 1;
    return 7;
}

QString FolderOf(const QString& strFile) {
    const QFileInfo fi(strFile);
    return QFileInfo(fi.absolutePath()).canonicalFilePath();
}

}  // namespace

// --- the page --------------------------------------------------------------

// The page being edited reads files only from the folder of its own file,
// and asks nothing of the network: whatever a stranger's page names stays
// unfetched while it is edited. The page the engine was told to load passes
// as it is; our own script comes from the program's resources.
class CEditFileGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void SetFolder(const QString& strFolder, const QUrl& page) {
        QMutexLocker guard(&m_lock);
        m_strFolder = strFolder;
        m_page = page;
    }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        QString folder;
        QUrl page;
        {
            QMutexLocker guard(&m_lock);
            folder = m_strFolder;
            page = m_page;
        }
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame &&
            url.adjusted(QUrl::RemoveFragment) == page.adjusted(QUrl::RemoveFragment))
            return;
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("qrc") || scheme == QLatin1String("data") || scheme == QLatin1String("blob") ||
            scheme == QLatin1String("about"))
            return;
        // A page from memory reads the files its grant holds, and nothing
        // on disk.
        if (scheme == StoredPageScheme() && page.scheme() == scheme && url.host() == page.host()) return;
        if (!url.isLocalFile()) {
            info.block(true);
            return;
        }
        QString path = QFileInfo(url.toLocalFile()).canonicalFilePath();
        if (path.isEmpty()) path = QDir::cleanPath(url.toLocalFile());
        if (folder.isEmpty() || !(path.startsWith(folder + QLatin1Char('/')) || path == folder)) info.block(true);
    }

private:
    QMutex m_lock;
    QString m_strFolder;
    QUrl m_page;
};

class CEditPage : public QWebEnginePage {
public:
    CEditPage(CWebEditEngine& engine, QWebEngineProfile* pProfile, QObject* pParent)
        : QWebEnginePage(pProfile, pParent), m_engine(engine) {}
    CEditFileGuard* m_pGuard = nullptr;

protected:
    // Only the loads the engine started; a link in the page goes nowhere.
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool bMainFrame) override {
        if (!bMainFrame) return type != NavigationTypeLinkClicked && type != NavigationTypeFormSubmitted;
        if (m_engine.m_bLoading && url.adjusted(QUrl::RemoveFragment) == m_engine.m_requestedUrl.adjusted(QUrl::RemoveFragment))
            return true;
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    CWebEditEngine& m_engine;
};

// What the page's script calls.
class CEditHostBridge : public QObject {
    Q_OBJECT
public:
    explicit CEditHostBridge(CWebEditEngine& engine) : QObject(&engine), m_engine(engine) {}
    unsigned m_nSerial = 0;  // the load it belongs to

public slots:
    void ready(const QVariantMap& s) {
        m_engine.OnChannelReady();
        m_engine.OnState(s);
    }
    void state(const QVariantMap& s) { m_engine.OnState(s); }
    void mouseDown(double x, double y) {
        if (m_engine.m_fnMouseDown) m_engine.m_fnMouseDown(QPoint(int(std::lround(x)), int(std::lround(y))));
    }
    void hover(const QString& strHref) {
        if (m_engine.m_fnStatusText) m_engine.m_fnStatusText(strHref);
    }
    void follow(const QString& strHref) {
        if (m_engine.m_fnFollowLink) m_engine.m_fnFollowLink(strHref);
    }

private:
    CWebEditEngine& m_engine;
};

// --- the engine ----------------------------------------------------------------

CWebEditEngine::CWebEditEngine(QWidget* pParent) : QObject(nullptr) {
    m_pWidget = new QWidget(pParent);
    m_pWidget->setAccessibleName(QStringLiteral("Note editor"));
    auto* pLayout = new QVBoxLayout(m_pWidget);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    m_pView = new QWebEngineView(m_pWidget);
    m_pView->setAccessibleName(m_pWidget->accessibleName());
    m_pView->setContextMenuPolicy(Qt::NoContextMenu);
    pLayout->addWidget(m_pView, 1);
    m_pFindBar = new CEditFindBar(m_pView, m_pWidget);
    m_pFindBar->hide();
    pLayout->addWidget(m_pFindBar);

    m_pPage = new CEditPage(*this, CNoteBrowserView::Profile(), this);
    m_pPage->m_pGuard = new CEditFileGuard(m_pPage);
    m_pPage->setUrlRequestInterceptor(m_pPage->m_pGuard);
    QWebEngineSettings* pSettings = m_pPage->settings();
    // The page's own scripts never run; ours run in a world of their own.
    pSettings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    pSettings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    pSettings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    pSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    pSettings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    pSettings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);

    const QString source = ScriptSource(QStringLiteral(":/qtwebchannel/qwebchannel.js")) + QLatin1Char('\n') +
                           ScriptSource(QStringLiteral(":/clipvault/editor/engine.js"));
    QWebEngineScript script;
    script.setName(QStringLiteral("clipvault-editor"));
    script.setSourceCode(source);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setRunsOnSubFrames(false);
    m_pPage->scripts().insert(script);

    m_pBridge = new CEditHostBridge(*this);
    m_pChannel = new QWebChannel(this);
    m_pChannel->registerObject(QStringLiteral("host"), m_pBridge);
    m_pPage->setWebChannel(m_pChannel, QWebEngineScript::ApplicationWorld);
    m_pView->setPage(m_pPage);

    connect(m_pPage, &QWebEnginePage::loadFinished, this, &CWebEditEngine::OnLoadFinished);
    connect(m_pPage, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
        if (m_fnTitle) m_fnTitle(title);
    });
    auto printed = [this](bool bOk) {
        m_pPrinter.reset();
        emit PrintDone(bOk);
    };
    connect(m_pView, &QWebEngineView::printFinished, this, printed);
    connect(m_pView, &QWebEngineView::pdfPrintingFinished, this, [printed](const QString&, bool bOk) { printed(bOk); });
}

CWebEditEngine::~CWebEditEngine() {
    Close();
    // The page goes before the view that shows it.
    if (m_pView) m_pView->setPage(nullptr);
    delete m_pPage;
    delete m_pWidget.data();
}

QWidget* CWebEditEngine::Widget() { return m_pWidget; }

QStringList CWebEditEngine::BlockFormatNames() {
    QStringList names;
    for (int i = 0; i < kFormatCount; ++i) names << CurrentLanguage().String(kIdsFormatFirst + unsigned(i));
    return names;
}

int32_t CWebEditEngine::StartLoad(const QUrl& url, const QString& strFile) {
    m_strMemoryToken.clear();
    if (!m_pPage || !m_pView) return kErrFail;
    ++m_nLoadSerial;
    m_bChannelUp = false;
    m_strPlace.clear();
    m_dStateSeq = -1;
    m_state.clear();
    m_queue.clear();
    m_bBusy = false;
    m_strFile = strFile;
    m_loaded.clear();
    m_bHaveLoaded = false;
    if (url.isLocalFile()) {
        QFile f(url.toLocalFile());
        if (!f.open(QIODevice::ReadOnly)) return LoadFailed(kErrFileNotFound);
        const QByteArray bytes = f.readAll();
        m_loaded.assign(bytes.begin(), bytes.end());
        m_bHaveLoaded = true;
    }
    m_strFolder = url.isLocalFile() ? FolderOf(url.toLocalFile()) : QString();
    m_pPage->m_pGuard->SetFolder(m_strFolder, url);
    m_requestedUrl = url;
    m_bLoading = true;
    m_pPage->load(url);
    return kOk;
}

int32_t CWebEditEngine::LoadBlank() { return StartLoad(QUrl(QStringLiteral("about:blank")), QString()); }

// The page before stays in no case: a save after a failed load would write
// it into the file that could not be loaded.
int32_t CWebEditEngine::LoadFailed(int32_t hr) {
    LoadBlank();
    return hr;
}

int32_t CWebEditEngine::LoadUrl(const QUrl& url) {
    if (!url.isValid()) return LoadFailed(kErrInvalidArg);
    // A file's address edits that file, as its path would.
    return StartLoad(url, url.isLocalFile() ? QFileInfo(url.toLocalFile()).absoluteFilePath() : QString());
}

int32_t CWebEditEngine::LoadMemory(const QUrl& url, const std::vector<uint8_t>& bytes, const QString& strSaveFile) {
    if (url.scheme() != StoredPageScheme() || strSaveFile.isEmpty()) return LoadFailed(kErrInvalidArg);
    const int32_t hr = StartLoad(url, QString());
    if (hr != kOk) return hr;
    // What a save compares with and splices into, as a file load has it.
    m_loaded = bytes;
    m_bHaveLoaded = true;
    m_strFile = strSaveFile;
    m_strMemoryToken = url.host();
    return kOk;
}

int32_t CWebEditEngine::LoadFile(const QString& strPath) {
    const QFileInfo fi(strPath);
    if (strPath.isEmpty() || !fi.isFile()) return LoadFailed(kErrFileNotFound);
    return StartLoad(QUrl::fromLocalFile(fi.absoluteFilePath()), fi.absoluteFilePath());
}

void CWebEditEngine::ShowPlace(const QString& strFragment) {
    if (strFragment.isEmpty()) return;
    if (!m_bChannelUp) {
        m_strPlace = strFragment;
        return;
    }
    const QString arg = QString::fromUtf8(QJsonDocument(QJsonArray{strFragment}).toJson(QJsonDocument::Compact));
    Send(QStringLiteral("(function(a){var f=a[0];try{f=decodeURIComponent(f);}catch(e){}"
                        "var e=document.getElementById(f)||document.getElementsByName(f)[0];"
                        "if(e)e.scrollIntoView();return true;})(%1)")
             .arg(arg),
         [](const QVariant&) {});
}

void CWebEditEngine::OnLoadFinished(bool) {
    m_bLoading = false;
}

void CWebEditEngine::OnChannelReady() {
    m_bChannelUp = true;
    m_bLoading = false;
    for (const auto& [nCmd, script] : m_settings) Send(script);
    if (!m_strPlace.isEmpty()) ShowPlace(std::exchange(m_strPlace, QString()));
    if (!m_bReadySent) {
        m_bReadySent = true;
        // After the state below, so that the host's first questions have answers.
        QTimer::singleShot(0, this, [this] {
            if (m_fnReady) m_fnReady();
        });
    }
}

void CWebEditEngine::OnState(const QVariantMap& reported) {
    if (!m_bChannelUp || !reported.contains(QStringLiteral("flags"))) return;
    // The channel hands nested objects and numbers over as JSON values.
    const QVariantMap state = QJsonObject::fromVariantMap(reported).toVariantMap();
    // A late report of the debounced kind never overrides a newer one.
    const double seq = state.value(QStringLiteral("seq")).toDouble();
    if (seq < m_dStateSeq) return;
    m_dStateSeq = seq;
    m_state = state;
    if (m_fnUpdateCommands) m_fnUpdateCommands();
}

unsigned CWebEditEngine::QueryStatus(int nCmd) {
    if (!m_bChannelUp) return 0;
    return m_state.value(QStringLiteral("flags")).toMap().value(QString::number(nCmd)).toUInt();
}

void CWebEditEngine::Send(const QString& strScript, std::function<void(const QVariant&)> fnDone) {
    CQueued q;
    q.m_strScript = strScript;
    q.m_fnDone = std::move(fnDone);
    m_queue.push_back(std::move(q));
    Pump();
}

void CWebEditEngine::SendAction(int nAction) {
    CQueued q;
    q.m_nAction = nAction;
    m_queue.push_back(std::move(q));
    Pump();
}

// One at a time, so that a page action runs after the scripts before it.
void CWebEditEngine::Pump() {
    while (!m_bBusy && !m_queue.empty() && m_pPage) {
        CQueued q = std::move(m_queue.front());
        m_queue.pop_front();
        if (q.m_nAction >= 0) {
            m_pPage->triggerAction(static_cast<QWebEnginePage::WebAction>(q.m_nAction));
            // The page's state after the action.
            Send(QStringLiteral("window.__vltEditor && window.__vltEditor.state()"));
            continue;
        }
        m_bBusy = true;
        const unsigned serial = m_nLoadSerial;
        QPointer<CWebEditEngine> self(this);
        m_pPage->runJavaScript(q.m_strScript, QWebEngineScript::ApplicationWorld,
                               [self, serial, fn = std::move(q.m_fnDone)](const QVariant& v) {
                                   if (!self) return;
                                   if (serial == self->m_nLoadSerial) {
                                       if (fn) fn(v);
                                       else if (v.typeId() == QMetaType::QVariantMap) self->OnState(v.toMap());
                                   }
                                   self->m_bBusy = false;
                                   self->Pump();
                               });
    }
}

bool CWebEditEngine::WaitFor(const std::function<bool()>& fnDone, int nTimeoutMs) {
    if (fnDone()) return true;
    QEventLoop loop;
    QTimer poll;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (fnDone()) loop.quit();
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(5);
    deadline.start(nTimeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return fnDone();
}

QVariant CWebEditEngine::Evaluate(const QString& strScript, int nTimeoutMs) {
    if (!m_pPage) return QVariant();
    bool bDone = false;
    QVariant result;
    auto pFlag = std::make_shared<bool>(true);
    Send(strScript, [&, pFlag](const QVariant& v) {
        if (!*pFlag) return;
        result = v;
        bDone = true;
    });
    WaitFor([&] { return bDone; }, nTimeoutMs);
    *pFlag = false;
    return result;
}

bool CWebEditEngine::WaitIdle(int nTimeoutMs) {
    return WaitFor([this] { return m_bChannelUp && !m_bBusy && m_queue.empty(); }, nTimeoutMs);
}

int32_t CWebEditEngine::Exec(int nCmd, int nExecOpt, const QVariant& arg, QVariant* pResult) {
    static const int kKnown[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 14, 15, 16, 17, 18, 19, 20,
                                 21, 22, 23, 24, 25, 27, 28, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
                                 41, 42, 43, 44, 45, 46, 47, 48, 50, 51, 52, 54, 55, 56, 57, 58, 60};
    if (std::find(std::begin(kKnown), std::end(kKnown), nCmd) == std::end(kKnown)) return kErrNotSupported;
    if (!m_bChannelUp) return kErrDisabled;
    const unsigned flags = QueryStatus(nCmd);
    if (!(flags & kEnabled)) return kErrDisabled;

    // Questions answer from the last state the page reported.
    const bool bAsk = pResult && !arg.isValid();
    if (bAsk) {
        switch (nCmd) {
        case kFontName: *pResult = m_state.value(QStringLiteral("fontName")).toString(); return kOk;
        case kFontSize: *pResult = m_state.value(QStringLiteral("fontSize")).toInt(); return kOk;
        case kForeColor: *pResult = m_state.value(QStringLiteral("foreColor")).toInt(); return kOk;
        case kBlockFormats: *pResult = BlockFormatNames(); return kOk;
        case kBlockFormat: {
            const QString tag = m_state.value(QStringLiteral("blockFormat")).toString();
            QString name;
            for (int i = 0; i < kFormatCount; ++i)
                if (tag == QLatin1String(kFormatTags[i])) name = CurrentLanguage().String(kIdsFormatFirst + unsigned(i));
            *pResult = name;
            return kOk;
        }
        default: break;
        }
    }

    QJsonValue value = ToJson(arg);
    switch (nCmd) {
    case kBlockFormats: if (pResult) *pResult = BlockFormatNames(); return kOk;
    case kFind: ShowFindBar(); return kOk;
    case kFont: return ChooseFont();
    case kInsertImage: return InsertImage(nExecOpt, arg);
    case kPrint: return Print(nExecOpt);
    case kCut: SendAction(QWebEnginePage::Cut); return kOk;
    case kCopy: SendAction(QWebEnginePage::Copy); return kOk;
    case kPaste: SendAction(QWebEnginePage::Paste); return kOk;
    case kBlockFormat: {
        const int i = BlockFormatNames().indexOf(arg.toString());
        if (i < 0) return kErrInvalidArg;
        value = QString::fromLatin1(kFormatTags[i]);
        break;
    }
    case kFontName:
        if (arg.toString().isEmpty()) return kErrInvalidArg;
        break;
    case kFontSize: {
        bool bOk = false;
        const int n = arg.toInt(&bOk);
        if (!bOk || n < 1 || n > 7) return kErrInvalidArg;
        value = n;
        break;
    }
    case kForeColor: {
        bool bOk = false;
        const qlonglong n = arg.toLongLong(&bOk);
        if (!bOk) return kErrInvalidArg;
        value = qint64(n & 0xFFFFFF);
        break;
    }
    case kNudge:
    case kAlignGrid:
        if (arg.typeId() != QMetaType::QPoint) return kErrInvalidArg;
        break;
    case kInsertTable:
        if (arg.typeId() != QMetaType::QVariantList || arg.toList().size() < 2) return kErrInvalidArg;
        break;
    case kEditMode:
    case kConstrain:
    case kShowBorders:
    case kShowDetails:
    case kActivateActiveX:
    case kActivateApplets:
    case kActivateDtc: value = arg.isValid() ? QJsonValue(arg.toBool()) : QJsonValue(true); break;
    default: break;
    }
    const QString script = QStringLiteral("window.__vltEditor.exec(%1, %2)").arg(nCmd).arg(Literal(value));
    // Settings of the editor rather than of the page: every page loaded
    // later gets them too.
    switch (nCmd) {
    case kAlignGrid:
    case kConstrain:
    case kShowBorders:
    case kShowDetails:
    case kActivateActiveX:
    case kActivateApplets:
    case kActivateDtc: m_settings[nCmd] = script; break;
    default: break;
    }
    Send(script);
    return kOk;
}

void CWebEditEngine::ShowFindBar() {
    if (m_pWidget) m_pFindBar->Open();
}

int32_t CWebEditEngine::ChooseFont() {
    QFont font(m_state.value(QStringLiteral("fontName")).toString());
    if (!s_fnChooseFont(font, m_pWidget)) return kFalse;
    QVariantMap a;
    a[QStringLiteral("family")] = font.family();
    a[QStringLiteral("size")] = font.pointSizeF() > 0 ? LegacySize(font.pointSizeF()) : 0;
    a[QStringLiteral("bold")] = font.bold();
    a[QStringLiteral("italic")] = font.italic();
    a[QStringLiteral("underline")] = font.underline();
    Send(QStringLiteral("window.__vltEditor.exec(35, %1)").arg(Literal(ToJson(a))));
    return kOk;
}

int32_t CWebEditEngine::InsertImage(int nExecOpt, const QVariant& arg) {
    QString address = arg.toString();
    if (nExecOpt == kPromptUser) {
        if (!s_fnChooseImage(address, m_pWidget)) return kFalse;
    }
    if (address.isEmpty()) return kErrInvalidArg;
    // A picture on this computer goes beside the page, so that the note
    // takes it in with the page when it is read back.
    QString local;
    const QUrl url(address);
    if (QFileInfo(address).isAbsolute()) local = address;
    else if (url.isLocalFile()) local = url.toLocalFile();
    if (!local.isEmpty()) {
        if (!QFileInfo(local).isFile()) return kErrFileNotFound;
        if (m_strFile.isEmpty()) return kErrFail;  // no folder to put it in
        const QString folder = QFileInfo(m_strFile).absolutePath();
        const QString suffix = QFileInfo(local).suffix();
        const std::string target = MakeTempName(FromQ(folder), FromQ(suffix));
        if (target.empty()) return kErrFail;
        if (!QFile::copy(local, ToQ(target))) return kErrFail;
        address = QFileInfo(ToQ(target)).fileName();
        // A page held in memory reads nothing from that folder: the picture
        // is served with the page until the note takes it in.
        if (!m_strMemoryToken.isEmpty()) {
            QFile copy(ToQ(target));
            if (!copy.open(QIODevice::ReadOnly)) return kErrFail;
            AddToStoredPageGrant(m_strMemoryToken, address, copy.readAll());
        }
    }
    Send(QStringLiteral("window.__vltEditor.exec(41, %1)").arg(Literal(address)));
    return kOk;
}

int32_t CWebEditEngine::Print(int nExecOpt) {
    if (m_pPrinter || !m_pView) return kErrFail;  // one job at a time
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (nExecOpt == kPromptUser) {
        if (!s_fnAskPrinter(*printer, m_pWidget)) return kFalse;
    } else {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) return kErrFail;
        printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    m_pPrinter = std::move(printer);
    if (m_pPrinter->outputFormat() == QPrinter::PdfFormat && !m_pPrinter->outputFileName().isEmpty())
        m_pView->printToPdf(m_pPrinter->outputFileName(), m_pPrinter->pageLayout());
    else
        m_pView->print(m_pPrinter.get());
    return kOk;
}

namespace {

// What the page's script reports against the page as loaded (or last saved).
bool ReportsChange(const QVariantMap& s) {
    if (s.value(QStringLiteral("text")).toBool()) return s.value(QStringLiteral("changed")).toBool();
    return s.value(QStringLiteral("startTagChanged")).toBool() || s.value(QStringLiteral("innerChanged")).toBool();
}

}  // namespace

bool CWebEditEngine::IsChanged() {
    if (!m_bChannelUp || !m_pPage) return false;
    const QVariantMap s = Evaluate(QStringLiteral("window.__vltEditor.serialize()")).toMap();
    // A page that does not answer may hold edits: taken as changed, so that
    // the save says what went wrong instead of dropping them in silence.
    return s.isEmpty() || ReportsChange(s);
}

int32_t CWebEditEngine::Save(const QString& strPath) {
    QString target = strPath.isEmpty() ? m_strFile : strPath;
    if (target.startsWith(QLatin1String("file:"))) {
        const QUrl url(target);
        if (url.isLocalFile()) target = QFileInfo(url.toLocalFile()).absoluteFilePath();
    }
    if (target.isEmpty() || !m_pPage) return kErrInvalidArg;
    if (!WaitFor([this] { return m_bChannelUp; }, 10000)) return kErrFail;
    const QVariantMap s = Evaluate(QStringLiteral("window.__vltEditor.serialize()")).toMap();
    if (s.isEmpty()) return kErrFail;
    if (!m_bHaveLoaded) {
        // A page from the web has nowhere to go back to: untouched it needs
        // nothing, edited it cannot be kept.
        return ReportsChange(s) ? kErrFail : kOk;
    }

    std::vector<uint8_t> out;
    if (s.value(QStringLiteral("text")).toBool()) {
        if (s.value(QStringLiteral("changed")).toBool())
        {
            const QByteArray text = s.value(QStringLiteral("content")).toString().toUtf8();
            out = EncodeTextPage(std::string(text.constData(), size_t(text.size())), m_loaded);
        }
        else
            out = m_loaded;
    } else {
        CBodyEdit edit;
        edit.m_bStartTagChanged = s.value(QStringLiteral("startTagChanged")).toBool();
        edit.m_bInnerChanged = s.value(QStringLiteral("innerChanged")).toBool();
        if (edit.m_bStartTagChanged || edit.m_bInnerChanged) {
            const QByteArray tag = s.value(QStringLiteral("startTag")).toString().toUtf8();
            const QByteArray inner = s.value(QStringLiteral("inner")).toString().toUtf8();
            edit.m_strStartTag.assign(tag.constData(), size_t(tag.size()));
            edit.m_strInner.assign(inner.constData(), size_t(inner.size()));
            if (!ReplacePageBody(m_loaded, edit, out)) return kErrFail;
        } else {
            out = m_loaded;
        }
    }
    if (out == m_loaded && target == m_strFile) {
        // Unchanged, and the file still holds what was loaded: left alone.
        QFile f(target);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            if (size_t(bytes.size()) == out.size() && std::equal(out.begin(), out.end(), bytes.constData(),
                                                                 [](uint8_t a, char b) { return a == uint8_t(b); }))
                return kOk;
        }
    }
    int nErrno = 0;
    const bool bOk = fileutil::AtomicWriteFile(
        FromQ(target), [&out](CByteSink& sink) { sink.Write(out.data(), out.size()); }, &nErrno);
    if (!bOk) return nErrno == ENOENT ? kErrFileNotFound : kErrFail;
    if (target == m_strFile) {
        // What the file holds now is what later saves compare with.
        m_loaded = std::move(out);
        Send(QStringLiteral("window.__vltEditor.saved()"));
    }
    return kOk;
}

void CWebEditEngine::SetBackgroundColor(const QString& strColor) {
    if (!m_bChannelUp) return;
    Send(QStringLiteral("window.__vltEditor.setBackground(%1), window.__vltEditor.state()").arg(Literal(strColor)));
}

CEditSelection CWebEditEngine::Selection() {
    CEditSelection sel;
    if (!m_bChannelUp) return sel;
    const QVariantMap m = m_state.value(QStringLiteral("selection")).toMap();
    if (m.isEmpty()) return sel;
    sel.m_strType = m.value(QStringLiteral("type")).toString();
    sel.m_strTag = m.value(QStringLiteral("tag")).toString();
    sel.m_strHref = m.value(QStringLiteral("href")).toString();
    sel.m_strParentTag = m.value(QStringLiteral("parentTag")).toString();
    sel.m_strParentHref = m.value(QStringLiteral("parentHref")).toString();
    sel.m_strText = m.value(QStringLiteral("text")).toString();
    return sel;
}

void CWebEditEngine::PutSelectionText(const QString& strText) {
    if (!m_bChannelUp) return;
    Send(QStringLiteral("window.__vltEditor.putText(%1), window.__vltEditor.state()").arg(Literal(strText)));
}

void CWebEditEngine::Close() {
    m_queue.clear();
    m_bChannelUp = false;
    m_state.clear();
    m_strFile.clear();
    m_loaded.clear();
    m_bHaveLoaded = false;
    if (m_pPage) {
        m_pPage->triggerAction(QWebEnginePage::Stop);
        m_pPage->m_pGuard->SetFolder(QString(), QUrl());
    }
}

#include "WebEditEngine.moc"
