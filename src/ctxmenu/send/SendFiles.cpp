// clipvault-send-files PATH...: what the Dolphin and Thunar entries run. It
// gives the paths to the program as the Nautilus entry does, and says in one
// line why when that fails, since the file manager shows nothing itself.
#include "ExtMenu.h"

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] = "usage: clipvault-send-files [--] PATH...\n"
                      "Adds the files to Clipvault, starting it when it is not running.\n";

// The program is started elsewhere and needs paths that do not depend on
// this process's folder.
std::string AbsolutePath(const char* pszArg) {
    gchar* pszAbs = g_canonicalize_filename(pszArg, nullptr);
    std::string strAbs = pszAbs;
    g_free(pszAbs);
    return strAbs;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    bool bOptions = true;
    for (int i = 1; i < argc; ++i) {
        const char* pszArg = argv[i];
        if (bOptions && std::strcmp(pszArg, "--") == 0) {
            bOptions = false;
        } else if (bOptions && (std::strcmp(pszArg, "-h") == 0 || std::strcmp(pszArg, "--help") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (bOptions && pszArg[0] == '-' && pszArg[1] != '\0') {
            std::fprintf(stderr, "clipvault-send-files: unknown option '%s'\n%s", pszArg, kUsage);
            return 2;
        } else if (pszArg[0] == '\0') {
            std::fprintf(stderr, "clipvault-send-files: an empty path\n%s", kUsage);
            return 2;
        } else {
            paths.push_back(AbsolutePath(pszArg));
        }
    }
    if (paths.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    extmenu::ExtMenu menu;
    const extmenu::HResult hrInit = menu.Initialize(extmenu::PathSelection(paths));
    const std::size_t nSkipped = paths.size() - menu.Files().size();
    if (menu.Files().empty()) {
        std::fprintf(stderr, "clipvault-send-files: none of the paths can be handed over (not UTF-8)\n");
        return 1;
    }
    extmenu::InvokeInfo info;
    info.nOffset = 0;
    if (menu.InvokeCommand(info) != extmenu::S_OK) {
        std::fprintf(stderr, "clipvault-send-files: could not hand the files to Clipvault: %s\n",
                     menu.LastError().empty() ? "unexpected failure" : menu.LastError().c_str());
        return 1;
    }
    if (hrInit != extmenu::S_OK) {
        std::fprintf(stderr, "clipvault-send-files: %zu of the paths could not be handed over (not UTF-8)\n", nSkipped);
        return 1;
    }
    return 0;
}
