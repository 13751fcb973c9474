#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

CInstanceGuard::CInstanceGuard() = default;

CInstanceGuard::~CInstanceGuard() {
    if (!m_bOwner) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(QString::fromLatin1(kServiceName));
}

bool CInstanceGuard::ActivateRunningInstance(const QString& strAction, const QStringList& files) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString name = QString::fromLatin1(kServiceName);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_bOwner = true;
        new CApplicationAdaptor(this);
        if (m_fnExport) m_fnExport(this);
        bus.registerObject(QString::fromLatin1(kObjectPath), this);
        return false;
    }
    if (!reply.isValid()) return false;  // the bus would not say: run alone
    const QString method = !files.isEmpty()       ? QStringLiteral("Open")
                           : !strAction.isEmpty() ? QStringLiteral("ActivateAction")
                                                  : QStringLiteral("Activate");
    QDBusMessage call = QDBusMessage::createMethodCall(name, QString::fromLatin1(kObjectPath),
                                                       QStringLiteral("org.freedesktop.Application"), method);
    if (!files.isEmpty()) {
        // The running instance has a working folder of its own: the paths
        // go as this start resolves them.
        QStringList uris;
        for (const QString& f : files) uris << FileUri(f);
        call << uris;
    } else if (!strAction.isEmpty()) {
        call << strAction << QVariant::fromValue(QVariantList());
    }
    call << QVariantMap();
    // A running instance that does not answer in time is still running:
    // this start ends either way.
    bus.call(call, QDBus::Block, 2000);
    return true;
}

void CInstanceGuard::OnActivate() {
    if (m_fnActivate) m_fnActivate();
}

CApplicationAdaptor::CApplicationAdaptor(CInstanceGuard* pGuard) : QDBusAbstractAdaptor(pGuard), m_pGuard(pGuard) {}

void CApplicationAdaptor::Activate(const QVariantMap&) { m_pGuard->OnActivate(); }

void CInstanceGuard::OnOpen(const QStringList& paths) {
    if (m_fnOpen) m_fnOpen(paths);
    else OnActivate();
}

QString CInstanceGuard::FileUri(const QString& strPath) {
    return QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(strPath).absoluteFilePath()).toEncoded());
}

QStringList CInstanceGuard::LocalPaths(const QStringList& uris, QStringList& refused) {
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri, QUrl::StrictMode);
        const bool bHere = url.host().isEmpty() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
        const QString path = url.path(QUrl::FullyDecoded);
        // A file on another host is none of this machine's to open.
        if (url.isValid() && url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0 && bHere &&
            path.startsWith(QLatin1Char('/')))
            paths << path;
        else
            refused << uri;
    }
    return paths;
}

void CApplicationAdaptor::Open(const QStringList& uris, const QVariantMap&) {
    QStringList refused;
    const QStringList paths = CInstanceGuard::LocalPaths(uris, refused);
    if (!paths.isEmpty() || refused.isEmpty()) m_pGuard->OnOpen(paths);
    if (!refused.isEmpty() && m_pGuard->calledFromDBus())
        m_pGuard->sendErrorReply(QDBusError::InvalidArgs,
                                 QStringLiteral("Only local files can be opened: %1").arg(refused.join(QStringLiteral(", "))));
}

void CInstanceGuard::OnAction(const QString& strAction) {
    if (m_fnAction) m_fnAction(strAction);
    else OnActivate();
}

void CApplicationAdaptor::ActivateAction(const QString& strAction, const QVariantList&, const QVariantMap&) {
    m_pGuard->OnAction(strAction);
}
