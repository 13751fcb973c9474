// clipvault-cli fetch: one page fetch as a capture worker makes it, for
// trying out servers and proxies without a notebook.
#include <cstdio>
#include <cstdlib>

#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "capture/CaptureContext.h"
#include "platform/FileUtil.h"

namespace cli {

namespace {

bool ParseCount(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

int CmdFetch(CliArgs& args) {
    CliOption retries("--retries", true), unlimited("--unlimited", false), proxyUser("--proxy-user", true),
        proxyPassword("--proxy-password", true), follow("--follow", false), noFollow("--no-follow", false),
        out("--out", true);
    if (!TakeOptions(args, {&retries, &unlimited, &proxyUser, &proxyPassword, &follow, &noFollow, &out}))
        return kExitUsage;
    if (args.words.size() != 1) return UsageError("fetch takes one URL");
    if (follow.present && noFollow.present) return UsageError("--follow and --no-follow exclude each other");

    // The defaults a new user has, not whatever the window last saved.
    CFetchOptions options;
    if (retries.present && !ParseCount(retries.value, options.m_nRetries))
        return UsageError("--retries needs a whole number, not '" + retries.value + "'");
    options.m_bRetryNoLimit = unlimited.present;
    if (proxyUser.present && !ArgToAnsi(proxyUser.value, options.m_strProxyUser)) return kExitUsage;
    if (proxyPassword.present && !ArgToAnsi(proxyPassword.value, options.m_strProxyPassword)) return kExitUsage;
    std::string url;
    if (!ArgToAnsi(args.words[0], url)) return kExitUsage;

    CCaptureContext context;
    if (context.OpenSession(options) != 0) return Failure("cannot start an HTTP session");
    const uint8_t* pData = nullptr;
    size_t nLength = 0;
    const int code = context.FetchPageWithRetry(url, pData, nLength, !noFollow.present, nullptr);

    std::printf("{\"code\": %d, \"url\": %s, \"length\": %zu}\n", code, JsonWriter::Quote(AnsiToJsonText(url)).c_str(),
                nLength);
    std::fflush(stdout);
    if (code != kFetchOk) return Failure("fetch ended with code " + std::to_string(code));
    if (out.present && !fileutil::WriteWholeFile(out.value, pData, nLength))
        return Failure("cannot write " + out.value);
    return kExitOk;
}

}  // namespace cli
