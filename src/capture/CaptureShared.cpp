#include "capture/CaptureShared.h"

#include <stdlib.h>
#include <strings.h>

#include <memory>

#include "document/ClipVaultDoc.h"

std::string PathInsideFolder(const std::string& url, const std::string& folder) {
    if (folder.empty()) return std::string();
    std::string path = url;
    if (path.size() >= 7 && strncasecmp(path.c_str(), "file://", 7) == 0) path.erase(0, 7);
    if (path.empty() || path[0] != '/') return std::string();  // another host's, or relative to nothing
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    if (!real) return std::string();
    const std::string resolved = real.get();
    if (resolved.size() <= folder.size() || resolved.compare(0, folder.size(), folder) != 0 ||
        resolved[folder.size()] != '/')
        return std::string();
    return resolved;
}

std::string RealWorkFolder(CClipVaultDoc* pDoc) {
    const std::string folder = pDoc ? pDoc->GetWorkFolder(true) : std::string();
    std::unique_ptr<char, decltype(&free)> real(folder.empty() ? nullptr : realpath(folder.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : std::string();
}

CNameReservation::~CNameReservation() { Release(); }

void CNameReservation::Release() {
    if (pDoc && !name.empty()) pDoc->ReleaseAttachmentName(name);
    name.clear();
}

// The host's text with each "%s" in turn replaced by the next of `args`;
// what has no place in it (a host without the text) is added at the end.
std::string FormatText(std::string text, const std::vector<std::string>& args) {
    size_t from = 0;
    for (const std::string& arg : args) {
        const size_t at = text.find("%s", from);
        if (at == std::string::npos) {
            text += " " + arg;
            from = text.size();
            continue;
        }
        text.replace(at, 2, arg);
        from = at + arg.size();
    }
    return text;
}
