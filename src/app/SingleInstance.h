// One running instance per session: the first process owns the bus name
// "org.clipvault.Clipvault"; a later start hands it the notebook it was
// started with (or asks it to come forward) and ends.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

// Carries the bus call being served, which the adaptors on it read: the bus
// tells a call's caller to the exported object, not to its adaptors.
class CInstanceGuard : public QObject, public QDBusContext {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.clipvault.Clipvault";
    static constexpr const char* kObjectPath = "/org/clipvault/Clipvault";

    CInstanceGuard();
    ~CInstanceGuard() override;

    // Claims the name. When another process holds it, asks that one to
    // open `files` (named from this process's working folder), or else to
    // carry out the launcher action strAction, or else to come forward, and
    // answers true: this start should end. Without a session bus the
    // program runs alone (false).
    bool ActivateRunningInstance(const QString& strAction = QString(), const QStringList& files = {});
    bool OwnsName() const { return m_bOwner; }

    // Runs on the user-interface thread when another start asked.
    std::function<void()> m_fnActivate;
    // Runs on the user-interface thread for a launcher action asked for by
    // another start or by the desktop (org.freedesktop.Application).
    std::function<void(const QString&)> m_fnAction;
    // Runs on the user-interface thread with the local files another start
    // or the desktop asked to open (org.freedesktop.Application.Open).
    std::function<void(const QStringList&)> m_fnOpen;
    // Puts the program's other interfaces on the object before it is
    // exported, once the name is ours.
    std::function<void(QObject*)> m_fnExport;

    void OnActivate();
    void OnAction(const QString& strAction);
    void OnOpen(const QStringList& paths);

    // The local paths of `uris`: "file:" URIs on this machine (no host or
    // "localhost"), decoded. Any other goes to `refused`.
    static QStringList LocalPaths(const QStringList& uris, QStringList& refused);
    // The "file:" URI of a path, which a relative path names from the
    // current working folder.
    static QString FileUri(const QString& strPath);

private:
    bool m_bOwner = false;
};

// org.freedesktop.Application on the program's object.
class CApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit CApplicationAdaptor(CInstanceGuard* pGuard);

public slots:
    void Activate(const QVariantMap& platformData);
    // Opens the local files among `uris` and comes forward; the call is
    // answered with an error naming any URI that is not a local file.
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& strAction, const QVariantList& parameter, const QVariantMap& platformData);

private:
    CInstanceGuard* m_pGuard;
};
