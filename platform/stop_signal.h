// A run-wide request to stop, raised by the front end (closing the window) and
// polled by every bounded wait of the probes.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

class CStopSignal {
public:
    void Raise();
    bool IsRaised() const { return m_raised.load(std::memory_order_acquire); }

    // Blocking calls that cannot poll (an HTTP layer's synchronous request) register
    // how to abort themselves for as long as they run. Runs at once if already raised.
    void SetAbortHandler(std::function<void()> handler);
    void ClearAbortHandler();

private:
    std::atomic<bool> m_raised{false};
    std::mutex m_lock;
    std::function<void()> m_abort;
};

// Keeps an abort handler registered for the life of one blocking exchange.
class CAbortScope {
public:
    CAbortScope(CStopSignal* stop, std::function<void()> handler) : m_stop(stop) {
        if (m_stop) m_stop->SetAbortHandler(std::move(handler));
    }
    ~CAbortScope() {
        if (m_stop) m_stop->ClearAbortHandler();
    }
    CAbortScope(const CAbortScope&) = delete;
    CAbortScope& operator=(const CAbortScope&) = delete;

private:
    CStopSignal* m_stop;
};

inline bool IsStopRaised(const CStopSignal* stop) { return stop && stop->IsRaised(); }
