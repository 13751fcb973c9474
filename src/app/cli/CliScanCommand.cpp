// clipvault-cli scan: what the capture would see in a page.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/cli/CliCommon.h"
#include "app/cli/CliJson.h"
#include "capture/PageScanner.h"
#include "platform/FileUtil.h"

namespace cli {

int CmdScan(CliArgs& args) {
    CliOption base("--base", true), local("--local", false), noResources("--no-resources", false);
    if (!TakeOptions(args, {&base, &local, &noResources})) return kExitUsage;
    if (args.words.size() != 1) return UsageError("scan takes one page file");
    const std::string& file = args.words[0];
    std::string strBase;
    if (base.present) {
        if (!ArgToAnsi(base.value, strBase)) return kExitUsage;
    } else if (local.present) {
        // A local page is its own base.
        char resolved[PATH_MAX];
        if (!realpath(file.c_str(), resolved)) return Failure("cannot read " + file);
        strBase = resolved;
    } else {
        return UsageError("scan needs --base URL (or --local for a page on disk)");
    }
    std::vector<uint8_t> bytes;
    if (!fileutil::ReadWholeFile(file, bytes)) return Failure("cannot read " + file);

    const std::string text = PageBytesToText(bytes);
    CPageScanner scanner;
    scanner.m_bBackgroundPass = !noResources.present;
    scanner.ScanPage(text, text.size(), strBase, local.present);
    std::string out;
    for (const auto& item : scanner.m_items) {
        out += "{\"kind\": " + std::to_string(item->m_nRefKind) +
               ", \"raw\": " + JsonWriter::Quote(AnsiToJsonText(item->m_strRaw)) +
               ", \"value\": " + JsonWriter::Quote(AnsiToJsonText(item->m_strValue)) +
               ", \"url\": " + JsonWriter::Quote(AnsiToJsonText(item->m_strURL)) +
               ", \"offset\": " + std::to_string(item->m_nOffset) +
               ", \"length\": " + std::to_string(item->m_nLength) + "}\n";
    }
    out += "{\"title\": " + JsonWriter::Quote(AnsiToJsonText(GetPageTitle(text))) + "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitOk;
}

}  // namespace cli
