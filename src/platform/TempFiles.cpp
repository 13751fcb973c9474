#include "platform/TempFiles.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tempfiles {
namespace {
std::string WithSlash(std::string s) {
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}
std::string& Root() {
    static std::string root;
    return root;
}
}  // namespace

const std::string& TempRoot() { return Root(); }
void SetTempRoot(const std::string& strFolder) { Root() = WithSlash(strFolder); }

std::string SystemTempFolder() {
    const char* t = std::getenv("TMPDIR");
    return WithSlash(t && *t ? t : "/tmp");
}

std::string MakePrivateFolder(const std::string& strBase, int* pnErrno) {
    const std::string pattern = (strBase.empty() ? SystemTempFolder() : WithSlash(strBase)) + "clipvault-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const bool ok = ::mkdtemp(buf.data()) != nullptr;
    if (pnErrno) *pnErrno = ok ? 0 : errno;
    return ok ? std::string(buf.data()) + "/" : std::string();
}

}  // namespace tempfiles
