// The program's own scripts (js/src beside the program) run in node, with the
// script libraries shipped beside them (js/node_modules). The window and the
// command-line tool run the same scripts, so both give the same bytes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nodescript {

// The folder holding src/ and node_modules/: $CLIPVAULT_JS_DIR when set
// (tests), else js/ beside the program (the window: build/bin, installed
// lib/clipvault), else the window's folder seen from the command-line tool
// (build/src -> build/bin; installed bin -> lib/clipvault or
// lib/<triplet>/clipvault). Empty when none holds src/; `pTried` then lists
// where it looked.
std::string ScriptFolder(std::string* pTried = nullptr);

struct CScriptResult {
    bool m_bOk = false;      // ran and exited 0
    int m_nExit = -1;        // the script's exit status when it ran to its end
    std::string m_strOut;    // its standard output
    std::string m_strError;  // why it failed, for a message: a missing node or script, a time-out, what it said
};

// Runs js/src/`strScript` with `args`, `input` on its standard input;
// `fnStop` true ends it early.
CScriptResult RunScript(const std::string& strScript, const std::vector<std::string>& args, const std::string& input,
                        int nTimeoutMs, const std::function<bool()>& fnStop = {});

}  // namespace nodescript
