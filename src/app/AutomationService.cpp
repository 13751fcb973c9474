#include "app/AutomationService.h"

#include "capture/ImportItem.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QVariantList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <exception>

namespace automation {

std::string CutUtf8(const std::string& str, std::size_t nMax) {
    if (str.size() <= nMax) return str;
    std::size_t n = nMax;
    // Back off continuation bytes so the cut keeps whole characters.
    while (n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80) --n;
    return str.substr(0, n);
}

std::unique_ptr<CImportItem> ItemFromUrl(const std::string& strUrl, const std::string& strTitle, int nType) {
    std::string url;
    url.reserve(strUrl.size());
    for (std::size_t i = 0; i < strUrl.size(); ++i) {
        if (strUrl.compare(i, 3, "%20") == 0) {
            url += ' ';
            i += 2;
        } else {
            url += strUrl[i];
        }
    }
    auto item = std::make_unique<CImportItem>();
    item->m_strTitle = strTitle;
    const bool bFile = url.size() >= 5 && (url[0] == 'f' || url[0] == 'F') && (url[1] == 'i' || url[1] == 'I') &&
                       (url[2] == 'l' || url[2] == 'L') && (url[3] == 'e' || url[3] == 'E') && url[4] == ':';
    if (bFile) {
        // "file:///C:/x.htm" names C:/x.htm; "file:///home/u/x.htm" names
        // /home/u/x.htm: the slashes go, but a path without a drive keeps
        // the one that makes it absolute, or it would name a file relative
        // to wherever the program happens to run.
        std::string path = url.substr(5);
        const std::size_t first = path.find_first_not_of('/');
        path.erase(0, first == std::string::npos ? path.size() : first);
        const bool bDrive = path.size() >= 2 && path[1] == ':' &&
                            ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
        if (!path.empty() && !bDrive) path.insert(0, 1, '/');
        item->m_strSource = path;
        item->m_nImportKind = 2;
    } else {
        item->m_strSource = url;
        item->m_nImportKind = nType == 2 ? 1 : 0;
    }
    return item;
}

QString ActivationFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dbus-1/services/org.clipvault.Clipvault.service");
}

QByteArray ActivationFileText(const QString& strProgram) {
    // The bus reads Exec with shell quoting: quote the path, escape what
    // double quotes leave special.
    QString quoted = strProgram;
    for (const char* c : {"\\", "\"", "$", "`"}) quoted.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
    return QByteArrayLiteral("[D-BUS Service]\nName=org.clipvault.Clipvault\nExec=\"") + quoted.toUtf8() +
           QByteArrayLiteral("\" --automation\n");
}

namespace {

// The program an existing file starts, unquoted; empty when none is named.
QString ProgramOf(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("Exec=")) continue;
        QString exec = QString::fromUtf8(line.mid(5)).trimmed();
        if (!exec.startsWith(QLatin1Char('"'))) return exec.section(QLatin1Char(' '), 0, 0);
        QString out;
        for (qsizetype i = 1; i < exec.size(); ++i) {
            if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size()) out += exec[++i];
            else if (exec[i] == QLatin1Char('"')) break;
            else out += exec[i];
        }
        return out;
    }
    return QString();
}

}  // namespace

bool InstallActivationFile(const QString& strProgram) {
    const QString path = ActivationFilePath();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        const QString program = ProgramOf(existing.read(64 * 1024));
        existing.close();
        const QFileInfo fi(program);
        if (!program.isEmpty() && fi.isFile() && fi.isExecutable()) return true;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    out.write(ActivationFileText(strProgram));
    return out.commit();
}

}  // namespace automation

namespace {

// The paths of an array of variants; anything else gives nothing, and
// elements that are not text are passed over.
bool PathsOf(const QVariant& files, QStringList& paths) {
    if (files.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument arg = files.value<QDBusArgument>();
        if (arg.currentSignature() != QLatin1String("av")) return false;
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusVariant element;
            arg >> element;
            const QVariant v = element.variant();
            if (v.metaType() == QMetaType::fromType<QString>()) paths << v.toString();
        }
        arg.endArray();
        return true;
    }
    if (files.metaType() == QMetaType::fromType<QVariantList>()) {
        for (const QVariant& v : files.toList()) {
            const QVariant inner = v.metaType() == QMetaType::fromType<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
            if (inner.metaType() == QMetaType::fromType<QString>()) paths << inner.toString();
        }
        return true;
    }
    return false;
}

void ReportFailure() { AfxMessageBox(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

}  // namespace

CAutomationServer::CAutomationServer(QObject* pParent) : QObject(pParent) {}

CAutomationServer::~CAutomationServer() = default;

void CAutomationServer::AddNotesFromFiles(const QVariant& files) {
    try {
        m_bAutomationInstance = 1;
        QStringList paths;
        if (!PathsOf(files, paths)) return;
        auto items = std::make_unique<CImportItemArray>();
        items->reserve(static_cast<std::size_t>(paths.size()));
        for (const QString& p : paths) {
            auto item = std::make_unique<CImportItem>();
            item->m_nImportKind = 2;
            item->m_strSource = automation::CutUtf8(FromQ(p), automation::kMaxPathBytes);
            item->m_strTitle = TitleForSource(item->m_strSource);
            items->push_back(std::move(item));
        }
        if (QObject* pMain = MainWindow()) QCoreApplication::postEvent(pMain, new CImportItemsEvent(std::move(items)));
        else m_heldFiles.push_back(std::move(items));
    } catch (const std::exception&) {
        ReportFailure();
    }
}

void CAutomationServer::MainWindowReady() {
    QObject* pMain = MainWindow();
    if (!pMain) return;
    for (auto& items : m_heldFiles) QCoreApplication::postEvent(pMain, new CImportItemsEvent(std::move(items)));
    m_heldFiles.clear();
}

void CAutomationServer::AddPending(std::unique_ptr<CImportItem> item, const QString& strCaller) {
    auto& pending = m_pendingImports[strCaller];
    if (!pending) pending = std::make_unique<CImportItemArray>();
    pending->push_back(std::move(item));
}

int CAutomationServer::AddNoteFromIE(const QString& strUrl, const QString& strTitle, int nType,
                                     const QString& strCaller) {
    try {
        m_bAutomationInstance = 1;
        AddPending(automation::ItemFromUrl(FromQ(strUrl), FromQ(strTitle), nType), strCaller);
    } catch (const std::exception&) {
        ReportFailure();
    }
    return 0;
}

void CAutomationServer::AddNoteFromPage(const QString& strUrl, const QString& strTitle, const QString& strHtml,
                                        const QString& strCaller) {
    try {
        m_bAutomationInstance = 1;
        auto item = automation::ItemFromUrl(FromQ(strUrl), FromQ(strTitle), 0);
        // A page on disk is taken from its file; the text is for a web page,
        // and stays UTF-8 whatever the code page: the capture is told so.
        if (item->m_nImportKind == 0) {
            const QByteArray html = strHtml.toUtf8();
            item->m_strShownPage.assign(html.constData(), static_cast<std::size_t>(html.size()));
        }
        AddPending(std::move(item), strCaller);
    } catch (const std::exception&) {
        ReportFailure();
    }
}

void CAutomationServer::StartImport(const QString& strCaller) {
    try {
        QObject* pMain = MainWindow();
        const auto it = m_pendingImports.find(strCaller);
        if (it == m_pendingImports.end() || !pMain) return;
        std::unique_ptr<CImportItemArray> items = std::move(it->second);
        m_pendingImports.erase(it);
        QCoreApplication::postEvent(pMain, new CImportItemsEvent(std::move(items), 1));
    } catch (const std::exception&) {
        ReportFailure();
    }
}

void CAutomationServer::DropCaller(const QString& strCaller) { m_pendingImports.erase(strCaller); }

CAutomationAdaptor::CAutomationAdaptor(QObject* pObject, CAutomationServer& server)
    : QDBusAbstractAdaptor(pObject), m_server(server) {
    m_callers.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_callers, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& strCaller) {
        m_callers.removeWatchedService(strCaller);
        m_server.DropCaller(strCaller);
    });
}

QString CAutomationAdaptor::Caller() const {
    const auto* pContext = dynamic_cast<const QDBusContext*>(parent());
    return pContext && pContext->calledFromDBus() ? pContext->message().service() : QString();
}

void CAutomationAdaptor::WatchCaller(const QString& strCaller) {
    if (strCaller.isEmpty() || m_callers.watchedServices().contains(strCaller)) return;
    const QDBusConnection bus = dynamic_cast<const QDBusContext*>(parent())->connection();
    if (m_callers.watchedServices().isEmpty()) m_callers.setConnection(bus);
    m_callers.addWatchedService(strCaller);
    // The caller may have left before its call was served, and then the bus
    // already told of it before the watch began.
    QDBusConnectionInterface* pBus = bus.interface();
    if (pBus && !pBus->isServiceRegistered(strCaller).value()) {
        m_callers.removeWatchedService(strCaller);
        m_server.DropCaller(strCaller);
    }
}

void CAutomationAdaptor::AddNotesFromFiles(const QDBusVariant& files) { m_server.AddNotesFromFiles(files.variant()); }

int CAutomationAdaptor::AddNoteFromIE(const QString& url, const QString& title, int type) {
    const QString caller = Caller();
    const int result = m_server.AddNoteFromIE(url, title, type, caller);
    WatchCaller(caller);
    return result;
}

void CAutomationAdaptor::AddNoteFromPage(const QString& url, const QString& title, const QString& html) {
    const QString caller = Caller();
    m_server.AddNoteFromPage(url, title, html, caller);
    WatchCaller(caller);
}

void CAutomationAdaptor::StartImport() { m_server.StartImport(Caller()); }
