#include "HostBus.h"

namespace nativehost {

namespace {

constexpr const char* kBusName = "org.clipvault.Clipvault";
constexpr const char* kObjectPath = "/org/clipvault/Clipvault";
constexpr const char* kInterface = "org.clipvault.Automation";
// Long enough for the bus to start the program and for it to load a large
// page; the browser waits as long as we do.
constexpr int kCallTimeoutMs = 120000;

}  // namespace

CAutomationBus::~CAutomationBus() {
    if (m_pConnection) g_object_unref(m_pConnection);
}

GDBusConnection* CAutomationBus::Connection(std::string& strError) {
    if (m_pConnection) return m_pConnection;
    GError* err = nullptr;
    m_pConnection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &err);
    if (!m_pConnection) {
        strError = std::string("no session bus to reach Clipvault: ") + (err ? err->message : "unknown error");
        g_clear_error(&err);
    }
    return m_pConnection;
}

bool CAutomationBus::Call(const char* method, GVariant* args, std::string& strError) {
    if (args) g_variant_ref_sink(args);
    GDBusConnection* conn = Connection(strError);
    if (!conn) {
        if (args) g_variant_unref(args);
        return false;
    }
    GError* err = nullptr;
    // No NO_AUTO_START: the bus starts the program when it is not running.
    GVariant* reply = g_dbus_connection_call_sync(conn, kBusName, kObjectPath, kInterface, method, args, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &err);
    if (args) g_variant_unref(args);
    if (!reply) {
        if (err) g_dbus_error_strip_remote_error(err);
        strError = std::string("Clipvault did not take the call ") + method + ": " + (err ? err->message : "unknown error");
        g_clear_error(&err);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

bool CAutomationBus::AddNoteFromIE(const std::string& strUrl, const std::string& strTitle, std::string& strError) {
    // Type 0: a web page, captured with what it uses.
    return Call("AddNoteFromIE", g_variant_new("(ssi)", strUrl.c_str(), strTitle.c_str(), 0), strError);
}

bool CAutomationBus::AddNoteFromPage(const std::string& strUrl, const std::string& strTitle,
                                     const std::string& strHtml, std::string& strError) {
    return Call("AddNoteFromPage", g_variant_new("(sss)", strUrl.c_str(), strTitle.c_str(), strHtml.c_str()),
                strError);
}

bool CAutomationBus::StartImport(std::string& strError) { return Call("StartImport", nullptr, strError); }

}  // namespace nativehost
