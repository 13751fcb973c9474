#include "capture/PageScanner.h"

#include "platform/Charset.h"

std::string LowerAscii(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string GetPageTitle(const std::string& strText) {
    const std::string lower = LowerAscii(strText);
    const size_t tag = lower.find("<title");
    if (tag == std::string::npos) return std::string();
    const size_t gt = lower.find('>', tag);
    if (gt == std::string::npos) return std::string();
    const size_t end = lower.find("</title", gt + 1);
    if (end == std::string::npos) return std::string();
    return lower.substr(gt + 1, end - gt - 1);
}

std::string PageBytesToText(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return charset::Utf16LeToAnsi(bytes.data() + 2, bytes.size() - 2);
    return std::string(bytes.begin(), bytes.end());
}
