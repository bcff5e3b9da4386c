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

// A step's limit shared out among the bounded reads it makes one after another: each
// read gets its own limit at most, and no more than an even part of what is left for the
// reads still to come, so however many of them stall the step ends within its limit.
class CStepBudget {
public:
    CStepBudget(int stepMs, int reads, const IClock& clock = SteadyClock())
        : m_step(stepMs, clock), m_readsLeft(reads) {}

    // The limit of the next read (at least 1 ms, so a read late in the step still gets
    // one look at its answer).
    int NextReadMs(int readLimitMs) {
        const int left = m_step.Remaining() / (m_readsLeft > 1 ? m_readsLeft : 1);
        if (m_readsLeft > 0) --m_readsLeft;
        const int share = left < readLimitMs ? left : readLimitMs;
        return share > 0 ? share : 1;
    }

private:
    CDeadline m_step;
    int m_readsLeft;
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
