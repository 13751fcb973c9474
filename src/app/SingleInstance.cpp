#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

CInstanceGuard::CInstanceGuard() = default;

CInstanceGuard::~CInstanceGuard() {
    if (!m_bOwner) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(QString::fromLatin1(kServiceName));
}

bool CInstanceGuard::ActivateRunningInstance(const QString& strAction) {
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
    QDBusMessage call = QDBusMessage::createMethodCall(
        name, QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.Application"),
        strAction.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("ActivateAction"));
    if (!strAction.isEmpty()) call << strAction << QVariant::fromValue(QVariantList());
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

void CApplicationAdaptor::Open(const QStringList&, const QVariantMap&) { m_pGuard->OnActivate(); }

void CInstanceGuard::OnAction(const QString& strAction) {
    if (m_fnAction) m_fnAction(strAction);
    else OnActivate();
}

void CApplicationAdaptor::ActivateAction(const QString& strAction, const QVariantList&, const QVariantMap&) {
    m_pGuard->OnAction(strAction);
}
