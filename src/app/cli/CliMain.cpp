// clipvault-cli: the notebook core without a window, for scripts and tests.
//
// Each command is one small handler in the table below; options that every
// command takes (--codepage) are taken out before the handler runs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Version.h"
#include "platform/Charset.h"

namespace {

struct CliArgs {
    std::vector<std::string> words;  // the command's own arguments
};

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(CliArgs& args);
};

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;

int Usage(const char* fmt, const char* arg) {
    std::fprintf(stderr, "clipvault-cli: ");
    std::fprintf(stderr, fmt, arg);
    std::fprintf(stderr, "\nTry 'clipvault-cli --help'.\n");
    return kExitUsage;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> kCommands = {};
    return kCommands;
}

void PrintHelp() {
    std::printf(
        "Usage: clipvault-cli [--codepage NAME] COMMAND [ARGS...]\n"
        "       clipvault-cli --help | --version\n"
        "\n"
        "Works on Clipvault notebooks (.vlt files) without the window.\n"
        "\n"
        "Options:\n"
        "  --codepage NAME  code page of names and texts in notebooks (default UTF-8;\n"
        "                   any iconv name, e.g. CP1252 or GBK)\n"
        "  --help           this text\n"
        "  --version        the program's version\n");
    if (!Commands().empty()) {
        std::printf("\nCommands:\n");
        for (const Command& c : Commands()) std::printf("  %-40s %s\n", c.usage, c.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            PrintHelp();
            return kExitOk;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("clipvault-cli %s\n", CLIPVAULT_VERSION);
            return kExitOk;
        }
        if (!std::strcmp(a, "--codepage")) {
            if (i + 1 >= argc) return Usage("%s needs a code page name", a);
            if (!charset::SetProcessCodePage(argv[++i])) return Usage("unknown code page '%s'", argv[i]);
            continue;
        }
        rest.emplace_back(a);
    }
    if (rest.empty()) return Usage("%s", "no command given");
    for (const Command& c : Commands()) {
        if (rest.front() == c.name) {
            CliArgs args;
            args.words.assign(rest.begin() + 1, rest.end());
            return c.run(args);
        }
    }
    return Usage("unknown command '%s'", rest.front().c_str());
}
