#include "capture/ImportItem.h"

#include <cstdint>
#include <vector>

#include "capture/PageScanner.h"
#include "platform/FileUtil.h"

namespace {

bool IsHtmlExtension(const std::string& strFile) {
    const size_t dot = strFile.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = strFile.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return ext == ".htm" || ext == ".html" || ext == ".shtml" || ext == ".shtm";
}

// A title sits in a page's head; reading further than this only costs time
// and memory for a huge file.
constexpr uint64_t kTitleScanBytes = 16u << 20;

}  // namespace

std::string TitleForSource(const std::string& strSource) {
    size_t cut = strSource.rfind('\\');
    if (cut == std::string::npos) cut = strSource.rfind('/');
    const std::string file = cut == std::string::npos ? strSource : strSource.substr(cut + 1);
    if (IsHtmlExtension(file)) {
        std::vector<uint8_t> bytes;
        if (fileutil::ReadWholeFile(strSource, bytes, kTitleScanBytes)) {
            std::string title = GetPageTitle(PageBytesToText(bytes));
            if (!title.empty()) return title;
        }
    }
    return file.empty() ? strSource : file;
}
