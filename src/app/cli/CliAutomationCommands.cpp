// add-url, add-page, add-files and start-import: hand pages and files to the running
// program through its automation service on the session bus. The bus starts
// the program (activation) when it is not running.
//
// libdbus-1 is the session bus's own client library: plain C, no main loop
// needed for a blocking call, and it honours activation and
// DBUS_SESSION_BUS_ADDRESS as every other client does.
#include <dbus/dbus.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/cli/CliCommon.h"

namespace cli {
namespace {

constexpr const char* kService = "org.clipvault.Clipvault";
constexpr const char* kObject = "/org/clipvault/Clipvault";
constexpr const char* kInterface = "org.clipvault.Automation";
// Long enough for the program to start through activation.
constexpr int kCallTimeoutMs = 60000;

struct MessageUnref {
    void operator()(DBusMessage* p) const { dbus_message_unref(p); }
};
using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;

struct BusError {
    BusError() { dbus_error_init(&e); }
    ~BusError() { dbus_error_free(&e); }
    std::string Text() const { return std::string(e.name ? e.name : "") + ": " + (e.message ? e.message : ""); }
    DBusError e;
};

// Texts on the bus must be UTF-8; anything else is the caller's mistake.
bool CheckUtf8(const std::string& text, const char* what) {
    BusError err;
    if (dbus_validate_utf8(text.c_str(), &err.e) && text.find('\0') == std::string::npos) return true;
    UsageError(std::string(what) + " is not UTF-8 text");
    return false;
}

// Sends `msg` to the program and waits for its answer; the exit code.
int Call(DBusMessage* msg, DBusMessage** ppReply = nullptr) {
    BusError err;
    DBusConnection* conn = dbus_bus_get(DBUS_BUS_SESSION, &err.e);
    if (!conn) return Failure("no session bus (" + err.Text() + ")");
    dbus_message_set_auto_start(msg, TRUE);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(conn, msg, kCallTimeoutMs, &err.e);
    dbus_connection_unref(conn);
    if (!reply) return Failure(std::string("the program did not take the call (") + err.Text() + ")");
    if (ppReply) *ppReply = reply;
    else dbus_message_unref(reply);
    return kExitOk;
}

MessagePtr NewCall(const char* method) {
    return MessagePtr(dbus_message_new_method_call(kService, kObject, kInterface, method));
}

// A path as the program, running elsewhere, must see it: absolute.
std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return path;
    return std::string(buf) + "/" + path;
}

}  // namespace

int CmdAddUrl(CliArgs& args) {
    CliOption title("--title", true);
    if (!TakeOptions(args, {&title})) return kExitUsage;
    if (args.words.size() != 1) return UsageError("add-url takes one URL");
    const std::string& url = args.words[0];
    if (!CheckUtf8(url, "the URL") || !CheckUtf8(title.value, "the title")) return kExitUsage;
    MessagePtr msg = NewCall("AddNoteFromIE");
    if (!msg) return Failure("out of memory");
    const char* pszUrl = url.c_str();
    const char* pszTitle = title.value.c_str();
    dbus_int32_t nType = 0;
    if (!dbus_message_append_args(msg.get(), DBUS_TYPE_STRING, &pszUrl, DBUS_TYPE_STRING, &pszTitle, DBUS_TYPE_INT32,
                                  &nType, DBUS_TYPE_INVALID))
        return Failure("out of memory");
    if (int rc = Call(msg.get())) return rc;
    // The item waits in the program until the batch is started.
    MessagePtr start = NewCall("StartImport");
    if (!start) return Failure("out of memory");
    return Call(start.get());
}

int CmdAddPage(CliArgs& args) {
    CliOption title("--title", true);
    CliOption html("--html", true);
    if (!TakeOptions(args, {&title, &html})) return kExitUsage;
    if (args.words.size() != 1) return UsageError("add-page takes one URL");
    if (html.value.empty()) return UsageError("add-page needs --html FILE, the page as it was shown");
    std::ifstream in(html.value, std::ios::binary);
    if (!in) return Failure("cannot read '" + html.value + "'");
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Failure("cannot read '" + html.value + "'");
    const std::string& url = args.words[0];
    if (!CheckUtf8(url, "the URL") || !CheckUtf8(title.value, "the title") || !CheckUtf8(page, "the page"))
        return kExitUsage;
    MessagePtr msg = NewCall("AddNoteFromPage");
    if (!msg) return Failure("out of memory");
    const char* pszUrl = url.c_str();
    const char* pszTitle = title.value.c_str();
    const char* pszPage = page.c_str();
    if (!dbus_message_append_args(msg.get(), DBUS_TYPE_STRING, &pszUrl, DBUS_TYPE_STRING, &pszTitle, DBUS_TYPE_STRING,
                                  &pszPage, DBUS_TYPE_INVALID))
        return Failure("out of memory");
    if (int rc = Call(msg.get())) return rc;
    MessagePtr start = NewCall("StartImport");
    if (!start) return Failure("out of memory");
    return Call(start.get());
}

int CmdAddFiles(CliArgs& args) {
    if (!TakeOptions(args, {})) return kExitUsage;
    if (args.words.empty()) return UsageError("add-files takes one or more paths");
    std::vector<std::string> paths;
    for (const std::string& p : args.words) {
        if (!CheckUtf8(p, ("the path '" + p + "'").c_str())) return kExitUsage;
        paths.push_back(Absolute(p));
    }
    MessagePtr msg = NewCall("AddNotesFromFiles");
    if (!msg) return Failure("out of memory");
    DBusMessageIter top, variant, array;
    dbus_message_iter_init_append(msg.get(), &top);
    bool ok = dbus_message_iter_open_container(&top, DBUS_TYPE_VARIANT, "av", &variant) &&
              dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "v", &array);
    for (const std::string& p : paths) {
        if (!ok) break;
        DBusMessageIter element;
        const char* psz = p.c_str();
        ok = dbus_message_iter_open_container(&array, DBUS_TYPE_VARIANT, "s", &element) &&
             dbus_message_iter_append_basic(&element, DBUS_TYPE_STRING, &psz) &&
             dbus_message_iter_close_container(&array, &element);
    }
    ok = ok && dbus_message_iter_close_container(&variant, &array) && dbus_message_iter_close_container(&top, &variant);
    if (!ok) return Failure("out of memory");
    return Call(msg.get());
}

int CmdStartImport(CliArgs& args) {
    if (!TakeOptions(args, {})) return kExitUsage;
    if (!args.words.empty()) return UsageError("start-import takes no arguments");
    MessagePtr msg = NewCall("StartImport");
    if (!msg) return Failure("out of memory");
    return Call(msg.get());
}

}  // namespace cli
