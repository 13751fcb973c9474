// How worker threads reach the user-interface thread: they post, and the
// host (the window's event loop, the command-line tool's loop, a test) runs
// what was posted on its own thread, in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace host {

// Message numbers, kept for whoever logs or filters them.
enum : unsigned {
    WM_USER_BASE = 0x400,
    WM_IMPORT_ITEMS = 0x465,
    WM_CAPTURE_DONE = 0x466,
    WM_BROWSER_COMMAND = 0x468,
};

class IUiQueue {
public:
    virtual ~IUiQueue() = default;
    // Called from any thread; `fn` runs later on the user-interface thread.
    virtual void Post(unsigned nMessage, std::function<void()> fn) = 0;
};

// A plain queue, pumped by whoever owns the user-interface thread.
class CSimpleUiQueue : public IUiQueue {
public:
    void Post(unsigned nMessage, std::function<void()> fn) override;
    // Runs everything posted so far; returns how many ran.
    size_t RunPending();
    // Waits up to `timeout` for something to be posted, then runs what is
    // there; returns how many ran.
    size_t WaitAndRun(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_items;
};

// Installs the queue; returns the previous one. Without one, posts go to a
// process-wide CSimpleUiQueue that DefaultUiQueue() gives.
IUiQueue* SetUiQueue(IUiQueue* pQueue);
void PostToUi(unsigned nMessage, std::function<void()> fn);
CSimpleUiQueue& DefaultUiQueue();

}  // namespace host
