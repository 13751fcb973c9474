// clipvault-native-host: the browsers start it when the extension's menu
// entries hand something to Clipvault. It reads the extension's messages on
// standard input, checks them, calls the program over the session bus and
// answers on standard output. Run with --manifest BROWSER it prints the
// manifest that tells that browser where the host is.
#include "HostBus.h"
#include "HostMessages.h"

#include <unistd.h>

#include <csignal>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

using namespace nativehost;

namespace {

std::string OwnPath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

int PrintManifest(const char* browser) {
    const std::string path = OwnPath();
    if (path.empty()) {
        std::fprintf(stderr, "clipvault-native-host: cannot find its own path\n");
        return 1;
    }
    const std::string manifest = HostManifest(browser ? browser : "", path);
    if (manifest.empty()) {
        std::fprintf(stderr, "clipvault-native-host: --manifest takes chromium, chrome or firefox\n");
        return 2;
    }
    std::fputs(manifest.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Carries out one checked request; the answer to send back.
std::string Carry(const CRequest& req, CShownAssembly& assembly, CAutomationBus& bus) {
    std::string err;
    switch (req.kind) {
    case CRequest::Kind::Page:
        if (!bus.AddNoteFromIE(req.strUrl, req.strTitle, err) || !bus.StartImport(err)) return ErrorAnswer(err);
        return OkAnswer(1);
    case CRequest::Kind::Links: {
        size_t added = 0;
        for (const std::string& url : req.urls) {
            if (!bus.AddNoteFromIE(url, std::string(), err)) break;
            ++added;
        }
        if (added < req.urls.size()) {
            // Hand over what did arrive rather than leave it pending in the
            // program, to be swept into some later, unrelated batch.
            std::string ignored;
            if (added > 0) bus.StartImport(ignored);
            return ErrorAnswer(err + " (after " + std::to_string(added) + " of " + std::to_string(req.urls.size()) +
                               " addresses)");
        }
        if (!bus.StartImport(err)) return ErrorAnswer(err);
        return OkAnswer(added, req.nRefused, req.strRefusedWhy);
    }
    case CRequest::Kind::Shown:
        if (!bus.AddNoteFromPage(req.strUrl, req.strTitle, req.strHtml, err) || !bus.StartImport(err))
            return ErrorAnswer(err);
        return OkAnswer(1);
    case CRequest::Kind::ShownPart:
        switch (assembly.Add(req, err)) {
        case CShownAssembly::Step::Refused: return ErrorAnswer(err);
        case CShownAssembly::Step::Incomplete: return PartAnswer(assembly.Received(), assembly.Count());
        case CShownAssembly::Step::Complete: {
            const bool ok = bus.AddNoteFromPage(assembly.Url(), assembly.Title(), assembly.Html(), err) &&
                            bus.StartImport(err);
            assembly.Reset();
            return ok ? OkAnswer(1) : ErrorAnswer(err);
        }
        }
    }
    return ErrorAnswer("internal error");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--manifest") == 0) return PrintManifest(argc >= 3 ? argv[2] : nullptr);
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: clipvault-native-host --manifest chromium|chrome|firefox\n"
                    "Otherwise started by the browser for the Clipvault extension.\n");
        return 0;
    }
    // Only our own extension may hand things to the program; the browser
    // names the caller on the command line.
    if (!IsOurCaller(argc, argv)) {
        WriteMessage(stdout, ErrorAnswer("this host serves only the Clipvault extension"));
        std::fprintf(stderr, "clipvault-native-host: refused a caller that is not the Clipvault extension\n");
        return 1;
    }

    // A browser that went away closes our pipe: a failed write ends the
    // loop below, rather than the signal ending the process mid-call.
    std::signal(SIGPIPE, SIG_IGN);
    CAutomationBus bus;
    CShownAssembly assembly;
    std::string body;
    for (;;) {
        uint32_t length = 0;
        switch (ReadMessage(stdin, body, length)) {
        case ReadResult::End:
            return 0;
        case ReadResult::TooLong:
            // The rest of the stream cannot be trusted to be framed: answer and end.
            WriteMessage(stdout, ErrorAnswer("a message of " + std::to_string(length) + " bytes is over the limit of " +
                                             std::to_string(kMaxMessageBytes)));
            return 1;
        case ReadResult::Short:
            WriteMessage(stdout, ErrorAnswer("the message ended early"));
            return 1;
        case ReadResult::Message:
            break;
        }
        CRequest req;
        std::string err;
        std::string answer;
        if (!ParseRequest(body, req, err)) {
            // A page in parts does not go on past a refused message.
            assembly.Reset();
            answer = ErrorAnswer(err);
        } else {
            if (req.kind != CRequest::Kind::ShownPart && assembly.Active()) assembly.Reset();
            answer = Carry(req, assembly, bus);
        }
        if (!WriteMessage(stdout, answer)) return 1;
    }
}
