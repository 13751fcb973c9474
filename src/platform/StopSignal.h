// A stop request for work that runs on a thread of its own.
//
// Whoever waits for the work asks it to stop, and the request stays for good:
// nothing the work looks at later can take it back. When the waiter gives up
// waiting, it abandons the work as well: nobody takes its result any more,
// so it must leave alone everything it would have delivered the result to.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace host {

class CStopSignal {
public:
    // Wakes every WaitUntil.
    void Request();
    bool IsRequested() const { return m_bRequested.load(); }
    // Requests the stop too.
    void Abandon();
    bool IsAbandoned() const { return m_bAbandoned.load(); }

    // Blocks until `ready()` holds or a stop is requested; returns `ready()`.
    // It is tested under the signal's lock, so whoever makes it true does so
    // inside Notify, which wakes the waiter afterwards.
    bool WaitUntil(const std::function<bool()>& ready);
    void Notify(const std::function<void()>& change);

private:
    std::atomic<bool> m_bRequested{false};
    std::atomic<bool> m_bAbandoned{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// The signal of the work the calling thread runs; null on threads that run
// none, such as the user-interface thread.
std::shared_ptr<CStopSignal> ThisThreadStopSignal();
bool ThisThreadStopRequested();
bool ThisThreadAbandoned();

// Gives the calling thread `signal` while it lives.
class CStopSignalScope {
public:
    explicit CStopSignalScope(std::shared_ptr<CStopSignal> signal);
    ~CStopSignalScope();
    CStopSignalScope(const CStopSignalScope&) = delete;
    CStopSignalScope& operator=(const CStopSignalScope&) = delete;

private:
    std::shared_ptr<CStopSignal> m_pPrevious;
};

}  // namespace host
