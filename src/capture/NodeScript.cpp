#include "capture/NodeScript.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

#include "capture/LinkHelpers.h"
#include "platform/ChildProcess.h"

namespace nodescript {
namespace {

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Parent(const std::string& folder) {
    const size_t slash = folder.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
}

// Where the scripts may stand, in the order they are tried.
std::vector<std::string> Candidates() {
    std::vector<std::string> out;
    if (const char* env = std::getenv("CLIPVAULT_JS_DIR"); env && *env) {
        out.emplace_back(env);
        return out;
    }
    const std::string program = GetProgramFolder();
    if (program.empty()) return out;
    out.push_back(program + "/js");
    const std::string up = Parent(program);
    out.push_back(up + "/bin/js");
    out.push_back(up + "/lib/clipvault/js");
    // A multiarch library folder: lib/x86_64-linux-gnu/clipvault.
    if (DIR* d = ::opendir((up + "/lib").c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != "clipvault" && IsFolder(up + "/lib/" + name + "/clipvault/js"))
                out.push_back(up + "/lib/" + name + "/clipvault/js");
        }
        ::closedir(d);
    }
    return out;
}

std::string FindNode() {
    for (const char* name : {"node", "nodejs"}) {
        const std::string path = proc::FindOnPath(name);
        if (!path.empty()) return path;
    }
    return std::string();
}

}  // namespace

std::string ScriptFolder(std::string* pTried) {
    std::string tried;
    for (const std::string& c : Candidates()) {
        if (IsFolder(c + "/src")) return c;
        tried += (tried.empty() ? "" : ", ") + c;
    }
    if (pTried) *pTried = tried.empty() ? std::string("(no program folder)") : tried;
    return std::string();
}

CScriptResult RunScript(const std::string& strScript, const std::vector<std::string>& args, const std::string& input,
                        int nTimeoutMs, const std::function<bool()>& fnStop) {
    CScriptResult r;
    std::string tried;
    const std::string folder = ScriptFolder(&tried);
    if (folder.empty()) {
        r.m_strError = "the program's scripts are missing: no js/src in " + tried;
        return r;
    }
    const std::string script = folder + "/src/" + strScript;
    struct stat st;
    if (::stat(script.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        r.m_strError = "the program's script " + script + " is missing";
        return r;
    }
    const std::string node = FindNode();
    if (node.empty()) {
        r.m_strError = "node is not installed (the Debian package nodejs): no node or nodejs on PATH";
        return r;
    }
    std::vector<std::string> argv{node, script};
    argv.insert(argv.end(), args.begin(), args.end());
    proc::CRunResult run = proc::Run(argv, input, nTimeoutMs, static_cast<size_t>(1) << 30, fnStop);
    r.m_nExit = run.m_nExit;
    r.m_strOut = std::move(run.m_strOut);
    if (!run.m_bStarted) {
        r.m_strError = run.m_strError;
    } else if (run.m_bTimedOut) {
        r.m_strError = strScript + " did not finish within " + std::to_string(nTimeoutMs / 1000) + " s";
    } else if (run.m_bStopped) {
        r.m_strError = "stopped";
    } else if (run.m_bTooMuch) {
        r.m_strError = strScript + " wrote more than it may";
    } else if (run.m_nExit != 0) {
        std::string said = run.m_strErr;
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) said.pop_back();
        if (said.size() > 2000) said = "..." + said.substr(said.size() - 2000);
        if (said.empty())
            said = strScript + " failed (" +
                   (run.m_nSignal ? "signal " + std::to_string(run.m_nSignal) : "exit status " + std::to_string(run.m_nExit)) +
                   ")";
        r.m_strError = said;
    } else {
        r.m_bOk = true;
    }
    return r;
}

}  // namespace nodescript
