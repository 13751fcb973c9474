#include "platform/MessageHost.h"

#include <atomic>
#include <cstdio>

#include "platform/StopSignal.h"

namespace host {
namespace {
std::atomic<IMessageHost*> g_pHost{nullptr};
}

IMessageHost* SetMessageHost(IMessageHost* pHost) { return g_pHost.exchange(pHost); }

int CautiousAnswer(unsigned nType) {
    switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNO: return IDNO;
    default: return IDOK;
    }
}

std::string LoadString(unsigned nStringID) {
    std::string text;
    if (IMessageHost* p = g_pHost.load()) text = p->LoadString(nStringID);
    return text.empty() ? "#" + std::to_string(nStringID) : text;
}

int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) {
    if ((nType & MB_TYPEMASK) != MB_OK && ThisThreadStopRequested()) return CautiousAnswer(nType);
    if (IMessageHost* p = g_pHost.load()) return p->ShowMessage(nStringID, nType, args);
    std::fprintf(stderr, "clipvault: message %u", nStringID);
    for (const auto& a : args) std::fprintf(stderr, " [%s]", a.c_str());
    std::fputc('\n', stderr);
    return CautiousAnswer(nType);
}

}  // namespace host
