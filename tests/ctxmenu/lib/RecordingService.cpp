#include "RecordingService.h"

#include <gio/gio.h>

#include <chrono>
#include <cstdlib>

namespace ctxmenu_test {

namespace {

const char kFullXml[] =
    "<node><interface name='org.clipvault.Automation'>"
    "<method name='AddNotesFromFiles'><arg type='v' name='files' direction='in'/></method>"
    "<method name='StartImport'/>"
    "</interface></node>";
const char kWithoutMemberXml[] =
    "<node><interface name='org.clipvault.Automation'><method name='StartImport'/></interface></node>";

void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* pszMethod,
                  GVariant* pParams, GDBusMethodInvocation* pInvocation, gpointer pUser) {
    if (g_strcmp0(pszMethod, "AddNotesFromFiles") == 0) {
        RecordedCall call;
        call.strSignature = g_variant_get_type_string(pParams);
        GVariant* pBox = g_variant_get_child_value(pParams, 0);
        GVariant* pInner = g_variant_get_variant(pBox);
        call.strInnerType = g_variant_get_type_string(pInner);
        if (g_variant_is_of_type(pInner, G_VARIANT_TYPE("av"))) {
            const gsize n = g_variant_n_children(pInner);
            for (gsize i = 0; i < n; ++i) {
                GVariant* pElem = g_variant_get_child_value(pInner, i);
                GVariant* pValue = g_variant_get_variant(pElem);
                if (g_variant_is_of_type(pValue, G_VARIANT_TYPE_STRING))
                    call.paths.push_back(g_variant_get_string(pValue, nullptr));
                else
                    call.bAllStrings = false;
                g_variant_unref(pValue);
                g_variant_unref(pElem);
            }
        }
        g_variant_unref(pInner);
        g_variant_unref(pBox);
        static_cast<RecordingService*>(pUser)->Record(std::move(call));
    }
    g_dbus_method_invocation_return_value(pInvocation, nullptr);
}

}  // namespace

std::string ServiceDir() {
    const char* psz = std::getenv("CTXMENU_TEST_SERVICE_DIR");
    return psz ? psz : "";
}

RecordingService::RecordingService(Kind kind) : m_kind(kind) {
    m_thread = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return m_bReady; });
}

RecordingService::~RecordingService() {
    if (m_pLoop) {
        GMainLoop* pLoop = m_pLoop;
        g_main_context_invoke(m_pContext, [](gpointer p) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(p));
            return G_SOURCE_REMOVE;
        }, pLoop);
    }
    m_thread.join();
}

void RecordingService::Run() {
    m_pContext = g_main_context_new();
    g_main_context_push_thread_default(m_pContext);
    GError* pError = nullptr;
    bool bOk = false;
    guint nObject = 0;
    // A connection of its own: the code under test uses the process's shared
    // one and blocks its thread while it waits for the answer.
    gchar* pszAddress = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &pError);
    if (pszAddress) {
        m_pBus = g_dbus_connection_new_for_address_sync(
            pszAddress,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &pError);
        g_free(pszAddress);
    }
    if (m_pBus) {
        GDBusNodeInfo* pNode =
            g_dbus_node_info_new_for_xml(m_kind == Kind::Full ? kFullXml : kWithoutMemberXml, nullptr);
        static const GDBusInterfaceVTable kVtable = {OnMethodCall, nullptr, nullptr, {nullptr}};
        nObject = g_dbus_connection_register_object(m_pBus, "/org/clipvault/Clipvault", pNode->interfaces[0],
                                                    &kVtable, this, nullptr, nullptr);
        g_dbus_node_info_unref(pNode);
        GVariant* pReply = g_dbus_connection_call_sync(
            m_pBus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.clipvault.Clipvault", 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &pError);
        if (pReply) {
            guint nResult = 0;
            g_variant_get(pReply, "(u)", &nResult);
            bOk = nObject != 0 && nResult == 1;  // primary owner
            g_variant_unref(pReply);
        }
    }
    if (pError) {
        g_printerr("recording service: %s\n", pError->message);
        g_clear_error(&pError);
    }
    if (bOk) m_pLoop = g_main_loop_new(m_pContext, FALSE);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStarted = bOk;
        m_bReady = true;
    }
    m_cond.notify_all();
    if (m_pLoop) {
        g_main_loop_run(m_pLoop);
        g_main_loop_unref(m_pLoop);
    }
    if (m_pBus) {
        // Given back before the next test asks for it.
        GVariant* pReply = g_dbus_connection_call_sync(
            m_pBus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReleaseName",
            g_variant_new("(s)", "org.clipvault.Clipvault"), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (pReply) g_variant_unref(pReply);
        if (nObject) g_dbus_connection_unregister_object(m_pBus, nObject);
        g_dbus_connection_close_sync(m_pBus, nullptr, nullptr);
        g_object_unref(m_pBus);
    }
    g_main_context_pop_thread_default(m_pContext);
    g_main_context_unref(m_pContext);
}

void RecordingService::Record(RecordedCall call) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrCalls.push_back(std::move(call));
    }
    m_cond.notify_all();
}

bool RecordingService::WaitForCalls(std::size_t nCalls, int nMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(nMs), [&] { return m_arrCalls.size() >= nCalls; });
}

std::vector<RecordedCall> RecordingService::Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrCalls;
}

}  // namespace ctxmenu_test
