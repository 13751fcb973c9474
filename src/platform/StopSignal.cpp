#include "platform/StopSignal.h"

namespace host {
namespace {
thread_local std::shared_ptr<CStopSignal> t_pSignal;
}

void CStopSignal::Request() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bRequested = true;
    }
    m_cv.notify_all();
}

void CStopSignal::Abandon() {
    m_bAbandoned = true;
    Request();
}

bool CStopSignal::WaitUntil(const std::function<bool()>& ready) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return m_bRequested.load() || ready(); });
    return ready();
}

void CStopSignal::Notify(const std::function<void()>& change) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        change();
    }
    m_cv.notify_all();
}

std::shared_ptr<CStopSignal> ThisThreadStopSignal() { return t_pSignal; }

bool ThisThreadStopRequested() { return t_pSignal && t_pSignal->IsRequested(); }

bool ThisThreadAbandoned() { return t_pSignal && t_pSignal->IsAbandoned(); }

CStopSignalScope::CStopSignalScope(std::shared_ptr<CStopSignal> signal) : m_pPrevious(std::move(t_pSignal)) {
    t_pSignal = std::move(signal);
}

CStopSignalScope::~CStopSignalScope() { t_pSignal = std::move(m_pPrevious); }

}  // namespace host
