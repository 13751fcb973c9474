// clipvault-cli: the notebook core without a window, for scripts and tests.
//
// Each command is one small handler in the table below; options that every
// command takes (--codepage) are taken out before the handler runs.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/Version.h"
#include "app/cli/CliCommon.h"
#include "app/cli/CliMessages.h"
#include "platform/Charset.h"

namespace cli {

int UsageError(const std::string& text) {
    std::fprintf(stderr, "clipvault-cli: %s (try 'clipvault-cli --help')\n", text.c_str());
    return kExitUsage;
}

int Failure(const std::string& text) {
    std::fprintf(stderr, "clipvault-cli: %s\n", text.c_str());
    return kExitFailed;
}

bool TakeOptions(CliArgs& args, std::vector<CliOption*> options) {
    std::vector<std::string> positional;
    bool bOptionsEnded = false;
    for (size_t i = 0; i < args.words.size(); ++i) {
        const std::string& w = args.words[i];
        if (bOptionsEnded || w.size() < 2 || w.compare(0, 2, "--") != 0) {
            positional.push_back(w);
            continue;
        }
        if (w == "--") {
            bOptionsEnded = true;
            continue;
        }
        CliOption* pFound = nullptr;
        for (CliOption* o : options)
            if (w == o->name) pFound = o;
        if (!pFound) {
            UsageError("unknown option '" + w + "'");
            return false;
        }
        pFound->present = true;
        if (pFound->takesValue) {
            if (i + 1 >= args.words.size()) {
                UsageError(w + " needs a value");
                return false;
            }
            pFound->value = args.words[++i];
        }
    }
    args.words = std::move(positional);
    return true;
}

bool ArgToAnsi(const std::string& arg, std::string& out) {
    out = charset::Utf8ToAnsi(arg);
    if (charset::AnsiToUtf8(out) == arg) return true;
    UsageError("'" + charset::AnsiToUtf8(arg) + "' cannot be written in code page " + charset::ProcessCodePage());
    return false;
}

}  // namespace cli

namespace {

using cli::CliArgs;

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(CliArgs& args);
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> kCommands = {
        {"new", "new FILE.vlt [--force]",
         "write a new, empty notebook (encrypted when a passphrase is given); an existing file is replaced "
         "only with --force",
         cli::CmdNew},
        {"dump", "dump FILE.vlt",
         "print the notebook as JSON (exit 3: damaged, what could be read is printed)", cli::CmdDump},
        {"add-category", "add-category FILE.vlt PATH",
         "add the category PATH; its parent categories must exist already", cli::CmdAddCategory},
        {"add-note", "add-note FILE.vlt CATEGORY-PATH NAME [--ext EXT] [--content FILE] [--source TEXT]",
         "add a written note (EXT without the dot, content from FILE); prints its id", cli::CmdAddNote},
        {"rename", "rename FILE.vlt ID|PATH NEWNAME", "rename a note or a category", cli::CmdRename},
        {"delete", "delete FILE.vlt ID|PATH", "delete a note, or a category with everything in it",
         cli::CmdDelete},
        {"move", "move FILE.vlt ID|PATH TARGET-CATEGORY-PATH",
         "move a note or category; a taken name gets a \"-N\" suffix", cli::CmdMove},
        {"password", "password FILE.vlt --set TEXT | --check TEXT | --remove",
         "lock under a password, test one (exit 0 \"match\", 1 \"no match\") or remove it; setting or "
         "removing one on a locked notebook needs the current one (--password-file)",
         cli::CmdPassword},
        {"encrypt", "encrypt FILE.vlt (--passphrase-file FILE | --passphrase-stdin) [--new-passphrase-file FILE] "
         "[--options PATH]",
         "encrypt the notebook under the passphrase given; on an encrypted one, change its passphrase to the "
         "one in --new-passphrase-file. The notebook's search index is deleted",
         cli::CmdEncrypt},
        {"decrypt", "decrypt FILE.vlt (--passphrase-file FILE | --passphrase-stdin)",
         "make an encrypted notebook plain again", cli::CmdDecrypt},
        {"options", "options [--file PATH] dump | set NAME=VALUE...",
         "print the settings as JSON, or change some (names as dump prints them, nested ones dotted: "
         "hot_key.ctrl=0; booleans 0/1/true/false)",
         cli::CmdOptions},
        {"search", "search FILE.vlt TEXT [--text] [--ignore-case] [--no-index] [--options PATH]",
         "print the notes whose name holds TEXT (with --text: or whose page or text does), one line each: "
         "id, a tab, the category path and name; in the search form's order; nothing found is no line and "
         "exit 0, a damaged notebook is searched as far as it was read (exit 3). Texts come from the "
         "notebook's search index in SearchIndex beside the options file (built when the notebook changed); "
         "--no-index reads every page instead",
         cli::CmdSearch},
        {"highlights", "highlights FILE.vlt [ID]",
         "print the highlights of every page of the notebook (with ID: of that note), one JSON object a line: "
         "id, color, date, note (its id), path (its category path and name), text (the highlighted words), "
         "comment; pages in the search's order, highlights in page order; none is no line and exit 0, a "
         "damaged notebook is listed as far as it was read (exit 3)",
         cli::CmdHighlights},
        {"scan", "scan PAGE-FILE --base URL | --local [--no-resources]",
         "list the references the capture would see, one JSON object a line (kind, raw, value, url, "
         "offset, length), then the title",
         cli::CmdScan},
        {"fetch", "fetch URL [--retries N] [--unlimited] [--proxy-user U --proxy-password P] "
         "[--follow|--no-follow] [--out FILE]",
         "fetch one page as a capture does (redirects followed unless --no-follow) and print "
         "{code, url, length}; the body goes to FILE with --out; exit 1 unless the code is 0",
         cli::CmdFetch},
        {"capture", "capture URL... --into FILE.vlt [--category PATH] [--title TEXT] [--file] [--no-resources] "
         "[--workers N] [--retries N] [--options FILE] [--classic]",
         "capture web pages (or single files with --file) into notes, print a line per note (id, status, "
         "name, error); exit 1 when any failed, 130 on Ctrl-C; --classic keeps to the first capture rules "
         "(twenty file types by text search, one resource at a time)",
         cli::CmdCapture},
        {"import", "import PATH... --into FILE.vlt [--category PATH] [--options FILE] [--classic]",
         "take local files in as notes, pages with their images and stylesheets", cli::CmdImport},
        {"open", "open FILE.vlt ID",
         "write the note's working copy with its files into a new private folder below the temporary folder "
         "($TMPDIR or /tmp) and print its path",
         cli::CmdOpen},
        {"export", "export FILE.vlt ID TARGET",
         "write the note to TARGET, a page's files in TARGET-NAME.files beside it", cli::CmdExport},
        {"cat", "cat FILE.vlt ID", "write the note's content bytes to standard output", cli::CmdCat},
        {"export-md", "export-md FILE.vlt ID|PATH OUT-DIR",
         "write a note, a category with everything in it, or the notebook (PATH \"/\") as Markdown\n"
         "      into OUT-DIR, made when missing and otherwise empty: a .md per note with a YAML front\n"
         "      matter, a folder per category, pictures in OUT-DIR/assets (needs node, the package nodejs)",
         cli::CmdExportMd},
        {"text", "text FILE.vlt ID [--reader]",
         "print the note's plain text; --reader: the page's article (title, byline, text), exit 1\n"
         "      when the page has none (needs node, the package nodejs)",
         cli::CmdText},
        {"add-url", "add-url URL [--title TEXT]",
         "hand a web page to the running program to import (the session bus starts it when needed)",
         cli::CmdAddUrl},
        {"add-page", "add-page URL --html FILE [--title TEXT]",
         "hand the running program a web page as a browser showed it (FILE, UTF-8); its files come from "
         "their addresses",
         cli::CmdAddPage},
        {"add-files", "add-files PATH...", "hand local files to the running program to import", cli::CmdAddFiles},
        {"start-import", "start-import", "start the import of the pages handed to the program so far",
         cli::CmdStartImport},
    };
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
    std::printf("\nCommands:\n");
    for (const Command& c : Commands()) std::printf("  %s\n      %s\n", c.usage, c.summary);
    std::printf(
        "\n"
        "Paths and ids:\n"
        "  A category PATH is category names joined by '/' from the top category;\n"
        "  \"\" and \"/\" are the top category itself. ID|PATH is a note id when it is\n"
        "  all digits (write \"/123\" for a category or note named 123); otherwise a\n"
        "  path naming a category, or else a note whose name is the last element.\n"
        "  Names, texts and passwords on the command line are UTF-8 and are stored in\n"
        "  the --codepage code page.\n"
        "\n"
        "Output:\n"
        "  JSON strings are UTF-8 converted from the code page. A byte that is not\n"
        "  part of a character of the code page shows as the four characters \\xNN\n"
        "  (in the JSON text: \"\\\\xNN\"), NN being its value in upper-case hex.\n"
        "\n"
        "Locked notebooks:\n"
        "  A command that changes a notebook locked with a password (add-category,\n"
        "  add-note, rename, delete, move, password --set/--remove, capture and import\n"
        "  into it, new --force over it, encrypt, decrypt) needs that password:\n"
        "    --password-file FILE    the first line of FILE, without its line end\n"
        "    --password-stdin        the first line of standard input\n"
        "  Reading commands need none: the lock guards against changes, it hides\n"
        "  nothing (the notes stay readable in the file).\n"
        "\n"
        "Encrypted notebooks:\n"
        "  Every notebook command reads and writes an encrypted notebook with its\n"
        "  passphrase, and a change keeps it encrypted:\n"
        "    --passphrase-file FILE  the first line of FILE, without its line end\n"
        "    --passphrase-stdin      the first line of standard input\n"
        "  Only one of the password and the passphrase can come from standard input.\n"
        "  Neither is ever taken on the command line itself, where the process list\n"
        "  shows it. search reads an encrypted notebook page by page and keeps no\n"
        "  index of it; open warns that the working copy it writes is plain. New\n"
        "  notebooks (new, capture or import into a new file) are made encrypted\n"
        "  when a passphrase is given.\n"
        "\n"
        "Exit status:\n"
        "  0    done\n"
        "  1    failed or refused (a locked notebook changed without its password, an\n"
        "       encrypted one read without its passphrase)\n"
        "  2    wrong command line\n"
        "  3    damaged notebook (dump, search and highlights: after printing what\n"
        "       could be read; an encrypted notebook that is damaged, cut short or\n"
        "       not its own is not read at all)\n"
        "  4    the password given for a locked notebook does not match\n"
        "  5    the passphrase given for an encrypted notebook does not fit\n"
        "  130  capture or import stopped by Ctrl-C\n"
        "Every error is one line on stderr.\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> rest;
    bool bOptionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        // Words after "--" belong to the command, whatever they look like.
        if (bOptionsEnded) {
            rest.emplace_back(a);
            continue;
        }
        if (!std::strcmp(a, "--")) bOptionsEnded = true;
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            PrintHelp();
            return cli::kExitOk;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("clipvault-cli %s\n", CLIPVAULT_VERSION);
            return cli::kExitOk;
        }
        if (!std::strcmp(a, "--codepage")) {
            if (i + 1 >= argc) return cli::UsageError(std::string(a) + " needs a code page name");
            if (!charset::SetProcessCodePage(argv[++i]))
                return cli::UsageError(std::string("unknown code page '") + argv[i] + "'");
            continue;
        }
        rest.emplace_back(a);
    }
    if (rest.empty()) return cli::UsageError("no command given");
    host::SetMessageHost(&cli::Messages());
    for (const Command& c : Commands()) {
        if (rest.front() == c.name) {
            CliArgs args;
            args.words.assign(rest.begin() + 1, rest.end());
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                return cli::Failure(std::string("unexpected failure: ") + e.what());
            }
        }
    }
    return cli::UsageError("unknown command '" + rest.front() + "'");
}
