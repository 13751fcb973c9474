#include "platform/UiQueue.h"

#include <atomic>

namespace host {
namespace {
std::atomic<IUiQueue*> g_pQueue{nullptr};
}

void CSimpleUiQueue::Post(unsigned, std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(fn));
    }
    m_cv.notify_all();
}

size_t CSimpleUiQueue::RunPending() {
    std::deque<std::function<void()>> items;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        items.swap(m_items);
    }
    for (auto& fn : items) fn();
    return items.size();
}

size_t CSimpleUiQueue::WaitAndRun(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, timeout, [&] { return !m_items.empty(); });
    }
    return RunPending();
}

CSimpleUiQueue& DefaultUiQueue() {
    static CSimpleUiQueue* p = new CSimpleUiQueue;  // workers may post during exit
    return *p;
}

IUiQueue* SetUiQueue(IUiQueue* pQueue) { return g_pQueue.exchange(pQueue); }

void PostToUi(unsigned nMessage, std::function<void()> fn) {
    IUiQueue* p = g_pQueue.load();
    if (p) p->Post(nMessage, std::move(fn));
    else DefaultUiQueue().Post(nMessage, std::move(fn));
}

}  // namespace host
