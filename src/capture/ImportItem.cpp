#include "capture/ImportItem.h"

#include <cstdint>
#include <vector>

#include "capture/PageScanner.h"
#include "platform/FileUtil.h"

namespace {

bool IsHtmlExtension(const std::string& strFile) {
    const size_t dot = strFile.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string ext = LowerAscii(strFile.substr(dot));
    return ext == ".htm" || ext == ".html" || ext == ".shtml" || ext == ".shtm";
}

// A title sits in a page's head; reading further than this only costs time
// and memory for a huge file.
constexpr uint64_t kTitleScanBytes = 16u << 20;

}  // namespace

std::string TitleForSource(const std::string& strSource) {
    const std::string file = fileutil::FileNameOf(strSource);
    if (IsHtmlExtension(file)) {
        std::vector<uint8_t> bytes;
        if (fileutil::ReadWholeFile(strSource, bytes, kTitleScanBytes)) {
            std::string title = GetPageTitle(PageBytesToText(bytes));
            if (!title.empty()) return title;
        }
    }
    return file.empty() ? strSource : file;
}
