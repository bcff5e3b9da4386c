// Monotonic deadlines for bounded waits, on a clock that tests can replace.
#pragma once

#include <chrono>

#include "platform/stop_signal.h"
#include "platform/time_limits.h"

class IClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~IClock() = default;
    virtual TimePoint Now() const = 0;
};

// The system's monotonic clock.
const IClock& SteadyClock();

class CDeadline {
public:
    explicit CDeadline(int milliseconds, const IClock& clock = SteadyClock())
        : m_clock(&clock), m_end(clock.Now() + std::chrono::milliseconds(milliseconds)) {}

    bool Passed() const { return m_clock->Now() >= m_end; }
    // Milliseconds left, never negative.
    int Remaining() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_end - m_clock->Now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    const IClock* m_clock;
    IClock::TimePoint m_end;
};

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
