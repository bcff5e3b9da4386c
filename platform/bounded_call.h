// Runs a blocking call that cannot be cut short (a name lookup) on a helper thread, and
// waits for it no longer than a time limit, nor past a raised stop signal.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/deadline.h"
#include "platform/stop_signal.h"

enum class EBoundedCall { kDone, kTimedOut, kStopped, kNoThread };

// On kDone *result holds what the call returned. Otherwise the call is abandoned: it
// finishes on its own thread, which owns everything the call touches, and its result
// is dropped.
template <class T>
EBoundedCall RunBounded(std::function<T()> call, int timeoutMs, const CStopSignal* stop,
                        T* result) {
    struct CState {
        std::mutex lock;
        std::condition_variable finished;
        bool done = false;
        T value{};
    };
    auto state = std::make_shared<CState>();
    try {
        std::thread([state, call] {
            T value = call();
            std::lock_guard<std::mutex> guard(state->lock);
            state->value = std::move(value);
            state->done = true;
            state->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return EBoundedCall::kNoThread;
    }
    const CDeadline deadline(timeoutMs);
    std::unique_lock<std::mutex> guard(state->lock);
    for (;;) {
        if (state->done) {
            *result = std::move(state->value);
            return EBoundedCall::kDone;
        }
        if (IsStopRaised(stop)) return EBoundedCall::kStopped;
        if (deadline.Passed()) return EBoundedCall::kTimedOut;
        const int wait = std::max(1, std::min(kWaitSliceMs, deadline.Remaining()));
        state->finished.wait_for(guard, std::chrono::milliseconds(wait));
    }
}
