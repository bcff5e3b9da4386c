#include "platform/stop_signal.h"

void CStopSignal::Raise() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_raised.store(true, std::memory_order_release);
    if (m_abort) m_abort();
}

void CStopSignal::SetAbortHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_abort = std::move(handler);
    if (m_raised.load(std::memory_order_acquire) && m_abort) m_abort();
}

void CStopSignal::ClearAbortHandler() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_abort = nullptr;
}
