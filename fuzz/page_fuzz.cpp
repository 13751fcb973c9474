// Random pages through the scanner and the rewriter: no crash, no hang, and
// every item must point into the text it was found in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/PageScanner.h"
#include "platform/MessageHost.h"

namespace {
class SilentHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned, unsigned nType, const std::vector<std::string>&) override {
        return host::CautiousAnswer(nType);
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentHost silent;
    host::SetMessageHost(&silent);
    if (size < 2) return 0;
    // The first byte picks the base and the switches, the rest is the page.
    const uint8_t how = data[0];
    static const char* const kBases[] = {"http://host/dir/page.htm", "https://h:8443/a/b/", "/home/u/p.htm",
                                         "file:///C:/x/y.htm", "not a url", ""};
    const std::string base = kBases[how % 6];
    const std::string page(reinterpret_cast<const char*>(data + 1), size - 1);
    CPageScanner scanner;
    scanner.m_bBackgroundPass = (how & 0x10) != 0;
    const size_t length = (how & 0x20) ? page.size() / 2 : page.size();
    scanner.ScanPage(page, length, base, (how & 0x40) != 0);
    for (const auto& item : scanner.m_items) {
        const size_t off = static_cast<size_t>(item->m_nOffset);
        if (off + item->m_strRaw.size() > page.size() || page.compare(off, item->m_strRaw.size(), item->m_strRaw) != 0) {
            std::fprintf(stderr, "item does not match the page at its offset\n");
            std::abort();
        }
        item->m_bReplace = 1;
        item->m_strReplace = "vlt" + item->m_strValue + kLinkMarker;
    }
    std::vector<uint8_t> bytes(page.begin(), page.end());
    scanner.RewritePage(bytes);
    GetPageTitle(page);
    return 0;
}
