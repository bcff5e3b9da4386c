// Runs blocking calls that cannot be cut short (a name lookup, a synchronous HTTP
// layer's request) on a helper thread, and waits for each no longer than a deadline,
// nor past a raised stop signal. A call that is no longer waited for is abandoned, not
// interrupted: it finishes on its own thread, which owns everything the call touches,
// and the helper thread then ends by itself.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/deadline.h"

class CStopSignal;

enum class EBoundedCall { kDone, kTimedOut, kStopped, kGivenUp, kNoThread };

class CBoundedRunner {
public:
    CBoundedRunner();
    // Waits for the helper thread when it is idle; leaves it behind when a call was
    // abandoned. Either way the final job (SetFinalJob) runs on it last.
    ~CBoundedRunner();
    CBoundedRunner(const CBoundedRunner&) = delete;
    CBoundedRunner& operator=(const CBoundedRunner&) = delete;

    // Runs job on the helper thread, one job at a time, in order. Waits in slices until
    // it is done, the stop signal is raised, the deadline passes, or giveUp (polled with
    // the stop signal, from this thread, with no lock of the runner held) says so. After
    // an abandoned job no other runs: Run returns how that one ended.
    EBoundedCall Run(std::function<void()> job, const CDeadline& deadline, const CStopSignal* stop,
                     std::function<bool()> giveUp = nullptr);

    // A call that makes a waiting Run look at its conditions again at once; it stays
    // safe to call after the runner is gone (a stop handler, a layer's callback).
    std::function<void()> Waker() const;

    // Runs on the helper thread once it has no more work, abandoned or not: the place
    // to release what the jobs opened.
    void SetFinalJob(std::function<void()> job);

private:
    struct CCore;
    EBoundedCall Abandon(EBoundedCall why);

    std::shared_ptr<CCore> m_core;
    std::thread m_thread;
    bool m_started = false;
    EBoundedCall m_abandoned = EBoundedCall::kDone;
};

// One call on a helper thread of its own; on kDone *result holds what it returned.
template <class T>
EBoundedCall RunBounded(std::function<T()> call, int timeoutMs, const CStopSignal* stop,
                        T* result) {
    auto value = std::make_shared<T>();
    CBoundedRunner runner;
    const EBoundedCall outcome =
        runner.Run([value, call] { *value = call(); }, CDeadline(timeoutMs), stop);
    if (outcome == EBoundedCall::kDone) *result = std::move(*value);
    return outcome;
}
