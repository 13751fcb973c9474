#include "platform/TempFiles.h"

#include <cstdlib>

namespace tempfiles {
namespace {
std::string WithSlash(std::string s) {
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}
std::string& Root() {
    static std::string root = [] {
        const char* t = std::getenv("TMPDIR");
        return WithSlash(t && *t ? t : "/tmp");
    }();
    return root;
}
}  // namespace

const std::string& TempRoot() { return Root(); }
void SetTempRoot(const std::string& strFolder) { Root() = WithSlash(strFolder); }

}  // namespace tempfiles
