// The automation service: outside callers (the browser's context menu, the
// file managers' menu, clipvault-cli, scripts) hand the program pages and
// files to import, over the session bus as "org.clipvault.Automation" on
// the program's object.
#pragma once

#include "platform/gui/ImportItemsEvent.h"

#include <QDBusAbstractAdaptor>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CImportItem;

namespace automation {

// The most bytes of a path taken from AddNotesFromFiles; longer ones are cut,
// never inside a character.
constexpr std::size_t kMaxPathBytes = 259;

// The item AddNoteFromIE makes: "%20" becomes a blank; "file:" in any case
// makes a local file without the scheme and the slashes after it (one kept
// before a path without a drive letter); else a web page, or a single web
// file when `nType` is 2.
std::unique_ptr<CImportItem> ItemFromUrl(const std::string& strUrl, const std::string& strTitle, int nType);

// The session bus's activation file for the service, in
// $XDG_DATA_HOME/dbus-1/services, starting `strProgram --automation`. Kept
// when it is there and names a program that exists (another copy's file is
// not taken over); written when missing or stale. False when it could not be
// written.
bool InstallActivationFile(const QString& strProgram);
QString ActivationFilePath();
// The file's text.
QByteArray ActivationFileText(const QString& strProgram);

// `str` cut to at most `nMax` bytes, at the start of a UTF-8 character.
std::string CutUtf8(const std::string& str, std::size_t nMax);

}  // namespace automation

// What the automation calls do, without the bus; the adaptor below and the
// tests call it.
class CAutomationServer : public QObject {
    Q_OBJECT
public:
    explicit CAutomationServer(QObject* pParent = nullptr);
    ~CAutomationServer() override;

    // Where the import items go; null when the program has no main window
    // (yet), and the calls then post nothing.
    std::function<QObject*()> m_fnMainWindow;

    void AddNotesFromFiles(const QVariant& files);
    // Posts the files that arrived before there was a main window: a start
    // through activation may hear its caller that early, and the files
    // must not be lost.
    void MainWindowReady();
    // Addresses wait in their caller's own batch (`strCaller`, the bus's
    // unique name; empty for a call from inside the program): one caller's
    // StartImport never hands over what another one collected.
    int AddNoteFromIE(const QString& strUrl, const QString& strTitle, int nType, const QString& strCaller = {});
    // As AddNoteFromIE for a web page, with the page as the user's browser
    // showed it, which the capture takes instead of fetching the address.
    void AddNoteFromPage(const QString& strUrl, const QString& strTitle, const QString& strHtml,
                         const QString& strCaller = {});
    void StartImport(const QString& strCaller = {});
    // The caller has left: what it collected and never started is dropped.
    void DropCaller(const QString& strCaller);

    // Set by the first AddNoteFromIE or AddNotesFromFiles: an outside
    // caller has used this program.
    int m_bAutomationInstance = 0;
    // Collected by AddNoteFromIE until StartImport hands them over, per
    // caller; a caller is here only while it has items waiting.
    std::map<QString, std::unique_ptr<CImportItemArray>> m_pendingImports;

private:
    void AddPending(std::unique_ptr<CImportItem> item, const QString& strCaller);
    std::vector<std::unique_ptr<CImportItemArray>> m_heldFiles;
    QObject* MainWindow() const { return m_fnMainWindow ? m_fnMainWindow() : nullptr; }
};

// org.clipvault.Automation on the program's object.
class CAutomationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.clipvault.Automation")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.clipvault.Automation\">\n"
                "    <method name=\"AddNotesFromFiles\">\n"
                "      <arg direction=\"in\" type=\"v\" name=\"files\"/>\n"
                "    </method>\n"
                "    <method name=\"AddNoteFromIE\">\n"
                "      <arg direction=\"in\" type=\"s\" name=\"url\"/>\n"
                "      <arg direction=\"in\" type=\"s\" name=\"title\"/>\n"
                "      <arg direction=\"in\" type=\"i\" name=\"type\"/>\n"
                "      <arg direction=\"out\" type=\"i\" name=\"result\"/>\n"
                "    </method>\n"
                "    <method name=\"StartImport\"/>\n"
                "    <method name=\"AddNoteFromPage\">\n"
                "      <annotation name=\"org.gtk.GDBus.DocString\" value=\"A web page as the caller's browser "
                "shows it, after its scripts and log-ins: captured from this text, its pictures, stylesheets and "
                "frames fetched from their addresses. Pending until StartImport, as AddNoteFromIE.\"/>\n"
                "      <arg direction=\"in\" type=\"s\" name=\"url\"/>\n"
                "      <arg direction=\"in\" type=\"s\" name=\"title\"/>\n"
                "      <arg direction=\"in\" type=\"s\" name=\"html\"/>\n"
                "    </method>\n"
                "  </interface>\n")
public:
    // Lives on `pObject` (the exported object, which should be a
    // QDBusContext for batches to be kept per caller) and calls `server`.
    CAutomationAdaptor(QObject* pObject, CAutomationServer& server);

public slots:
    void AddNotesFromFiles(const QDBusVariant& files);
    int AddNoteFromIE(const QString& url, const QString& title, int type);
    void AddNoteFromPage(const QString& url, const QString& title, const QString& html);
    void StartImport();

private:
    // The unique name of the bus caller being served, as the exported
    // object (a QDBusContext) knows it; empty off the bus.
    QString Caller() const;
    // Watches `strCaller` leaving the bus, so that its batch goes with it;
    // a caller already gone by now is dropped at once.
    void WatchCaller(const QString& strCaller);

    CAutomationServer& m_server;
    QDBusServiceWatcher m_callers;
};
