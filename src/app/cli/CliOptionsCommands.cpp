// "options": the settings record as JSON, and changes to it by name. The
// names are part of the command line scripts rely on, so they are spelled out
// here once and never derived from member names.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "app/AppOptions.h"
#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"

namespace cli {
namespace {

using FieldRef = std::variant<bool*, uint32_t*, int32_t*, std::string*>;

struct OptionField {
    const char* name;  // "group.name" for the nested records
    FieldRef ref;
};

std::vector<OptionField> Fields(CAppOptions& o) {
    CWindowRect& r = o.m_rcMainWindow;
    CHotKeyOptions& k = o.m_hotKey;
    CDownloadOptions& d = o.m_download;
    return {
        {"dock_enabled", &o.m_bDockEnabled},
        {"dock_edge", &o.m_nDockEdge},
        {"snap_to_corner", &o.m_bSnapToCorner},
        {"autosave_enabled", &o.m_bAutoSaveEnabled},
        {"autosave_period_ms", &o.m_nAutoSavePeriod},
        {"editor_load_1", &o.m_bEditorLoad1},
        {"editor_load_2", &o.m_bEditorLoad2},
        {"editor_load_3", &o.m_bEditorLoad3},
        {"show_details", &o.m_bShowDetails},
        {"show_borders", &o.m_bShowBorders},
        {"reserved", &o.m_nReserved},
        {"activate_design_time_controls", &o.m_bActivateDesignTimeControls},
        {"activate_activex_controls", &o.m_bActivateActiveXControls},
        {"activate_applets", &o.m_bActivateApplets},
        {"max_download_workers", &o.m_nMaxDownloadWorkers},
        {"default_view", &o.m_nDefaultView},
        {"date_format", &o.m_strDateFormat},
        {"main_window.left", &r.m_nLeft},
        {"main_window.top", &r.m_nTop},
        {"main_window.right", &r.m_nRight},
        {"main_window.bottom", &r.m_nBottom},
        {"hot_key.enabled", &k.m_bEnabled},
        {"hot_key.ctrl", &k.m_bCtrl},
        {"hot_key.shift", &k.m_bShift},
        {"hot_key.alt", &k.m_bAlt},
        {"hot_key.virtual_key", &k.m_nVirtualKey},
        {"download.fetch_resources", &d.m_bFetchResources},
        {"download.reserved_1", &d.m_nReserved1},
        {"download.reserved_2", &d.m_nReserved2},
        {"download.reserved_3", &d.m_nReserved3},
        {"download.reserved_4", &d.m_nReserved4},
        {"download.connection_kind", &d.m_nConnectionKind},
        {"download.connection_text_1", &d.m_strConnectionText1},
        {"download.connection_text_2", &d.m_strConnectionText2},
        {"download.proxy_logon", &d.m_bProxyLogon},
        {"download.proxy_user", &d.m_strProxyUser},
        {"download.proxy_password", &d.m_strProxyPassword},
        {"download.retries", &d.m_nRetries},
        {"download.retry_without_limit", &d.m_bRetryNoLimit},
        {"download.modern_capture", &d.m_bModernCapture},
        {"download.max_file_bytes", &d.m_nMaxFileBytes},
        {"download.capture_budget_mb", &d.m_nCaptureBudgetMB},
        {"reader.theme", &o.m_reader.m_nTheme},
        {"reader.text_size", &o.m_reader.m_nTextSize},
        {"reader.line_width", &o.m_reader.m_nLineWidth},
    };
}

void WriteValue(JsonWriter& w, const FieldRef& ref) {
    if (auto p = std::get_if<bool*>(&ref)) w.Bool(**p);
    else if (auto p = std::get_if<uint32_t*>(&ref)) w.Number(**p);
    else if (auto p = std::get_if<int32_t*>(&ref)) w.Number(**p);
    else if (auto p = std::get_if<std::string*>(&ref)) w.String(AnsiToJsonText(**p));
}

std::string DumpOptions(CAppOptions& o) {
    JsonWriter w;
    w.BeginObject();
    std::string group;  // the nested record currently open, if any
    for (const OptionField& f : Fields(o)) {
        const std::string name = f.name;
        const size_t dot = name.find('.');
        const std::string g = dot == std::string::npos ? std::string() : name.substr(0, dot);
        if (g != group) {
            if (!group.empty()) w.EndObject();
            if (!g.empty()) {
                w.Key(g);
                w.BeginObject();
            }
            group = g;
        }
        w.Key(dot == std::string::npos ? name : name.substr(dot + 1));
        WriteValue(w, f.ref);
    }
    if (!group.empty()) w.EndObject();
    w.EndObject();
    return w.Text();
}

bool ParseUnsigned(const std::string& s, uint64_t nMax, uint64_t& out) {
    if (s.empty() || s.size() > 20) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), nullptr, 10);
    if (errno == ERANGE || v > nMax) return false;
    out = v;
    return true;
}

bool Invalid(const std::string& text) {
    UsageError(text);
    return false;
}

// Parses `text` into the field; false (after reporting) when it does not fit.
bool SetValue(const std::string& name, const FieldRef& ref, const std::string& text) {
    if (auto p = std::get_if<bool*>(&ref)) {
        if (text == "1" || text == "true") **p = true;
        else if (text == "0" || text == "false") **p = false;
        else return Invalid(name + " takes 0, 1, true or false, not '" + text + "'");
        return true;
    }
    if (auto p = std::get_if<uint32_t*>(&ref)) {
        uint64_t v = 0;
        if (!ParseUnsigned(text, UINT32_MAX, v))
            return Invalid(name + " takes a number from 0 to 4294967295, not '" + text + "'");
        **p = static_cast<uint32_t>(v);
        return true;
    }
    if (auto p = std::get_if<int32_t*>(&ref)) {
        const bool bNegative = !text.empty() && text[0] == '-';
        uint64_t v = 0;
        if (!ParseUnsigned(bNegative ? text.substr(1) : text, bNegative ? 2147483648u : 2147483647u, v))
            return Invalid(name + " takes a number from -2147483648 to 2147483647, not '" + text + "'");
        **p = static_cast<int32_t>(bNegative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
        return true;
    }
    return ArgToAnsi(text, **std::get_if<std::string*>(&ref));
}

int SetOptions(CAppOptions& o, const std::vector<std::string>& assignments) {
    if (assignments.empty()) return UsageError("options set needs NAME=VALUE");
    std::vector<OptionField> fields = Fields(o);
    for (const std::string& a : assignments) {
        const size_t eq = a.find('=');
        if (eq == std::string::npos) return UsageError("'" + a + "' is not NAME=VALUE");
        const std::string name = a.substr(0, eq);
        const OptionField* pField = nullptr;
        for (const OptionField& f : fields)
            if (name == f.name) pField = &f;
        if (!pField) return UsageError("no option named '" + name + "'");
        if (!SetValue(name, pField->ref, a.substr(eq + 1))) return kExitUsage;
    }
    return kExitOk;
}

}  // namespace

int CmdOptions(CliArgs& args) {
    CliOption file{"--file", true};
    if (!TakeOptions(args, {&file})) return kExitUsage;
    if (args.words.empty() || (args.words[0] != "dump" && args.words[0] != "set"))
        return UsageError("options needs 'dump' or 'set NAME=VALUE...'");
    const bool bDump = args.words[0] == "dump";
    if (bDump && args.words.size() != 1) return UsageError("options dump takes no further arguments");

    const std::string path = file.present ? file.value : CAppOptions::DefaultOptionsPath();
    CAppOptions options;
    // A missing file reads as the defaults; a damaged one would be replaced
    // by them on the next save, which is not for a script to decide.
    if (!options.LoadOptions(path)) return Failure("cannot read the options file " + path);
    if (bDump) {
        std::fputs(DumpOptions(options).c_str(), stdout);
        return kExitOk;
    }
    const int rc = SetOptions(options, std::vector<std::string>(args.words.begin() + 1, args.words.end()));
    if (rc != kExitOk) return rc;
    const bool bSaved = file.present ? options.SaveOptions(path) : options.SaveOptions();
    return bSaved ? kExitOk : kExitFailed;
}

}  // namespace cli
