#include "platform/StopSignal.h"

namespace host {
namespace {
thread_local std::shared_ptr<CStopSignal> t_pSignal;
}

void CStopSignal::Abandon() {
    m_bAbandoned = true;
    Request();
}

std::shared_ptr<CStopSignal> ThisThreadStopSignal() { return t_pSignal; }

bool ThisThreadStopRequested() { return t_pSignal && t_pSignal->IsRequested(); }

bool ThisThreadAbandoned() { return t_pSignal && t_pSignal->IsAbandoned(); }

CStopSignalScope::CStopSignalScope(std::shared_ptr<CStopSignal> signal) : m_pPrevious(std::move(t_pSignal)) {
    t_pSignal = std::move(signal);
}

CStopSignalScope::~CStopSignalScope() { t_pSignal = std::move(m_pPrevious); }

}  // namespace host
