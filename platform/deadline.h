// Monotonic deadlines for bounded waits.
#pragma once

#include <chrono>

class CDeadline {
public:
    explicit CDeadline(int milliseconds)
        : m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}

    bool Passed() const { return std::chrono::steady_clock::now() >= m_end; }
    // Milliseconds left, never negative.
    int Remaining() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_end - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    std::chrono::steady_clock::time_point m_end;
};

// Waits are cut into slices this long so a raised stop signal is noticed promptly.
constexpr int kWaitSliceMs = 100;

#include "platform/stop_signal.h"

// Calls waitOnce(sliceMs) until it reports readiness (> 0) or failure (< 0), the time is
// up, or the stop signal is raised. Returns the last report; 0 means time-out or stop.
template <class WaitOnce>
int WaitInSlices(const CStopSignal* stop, int timeoutMs, WaitOnce waitOnce) {
    const CDeadline deadline(timeoutMs);
    for (;;) {
        if (IsStopRaised(stop)) return 0;
        const int left = deadline.Remaining();
        const int result = waitOnce(left < kWaitSliceMs ? left : kWaitSliceMs);
        if (result != 0) return result;
        if (deadline.Passed()) return 0;
    }
}
