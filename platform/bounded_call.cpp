#include "platform/bounded_call.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/stop_signal.h"

// Shared by the runner and its helper thread, so a thread left behind still owns all
// it touches.
struct CBoundedRunner::CCore {
    std::mutex lock;
    std::condition_variable wake;
    std::function<void()> job;  // queued for the helper thread
    std::function<void()> finalJob;
    bool busy = false;  // a job is queued or running
    bool woken = false;
    bool quit = false;

    static void Work(std::shared_ptr<CCore> core) {
        std::unique_lock<std::mutex> guard(core->lock);
        for (;;) {
            core->wake.wait(guard, [&core] { return core->quit || core->job; });
            if (!core->job) break;
            std::function<void()> job = std::move(core->job);
            core->job = nullptr;
            guard.unlock();
            job();
            guard.lock();
            core->busy = false;
            core->wake.notify_all();
        }
        std::function<void()> finalJob = std::move(core->finalJob);
        guard.unlock();
        if (finalJob) finalJob();
    }
};

CBoundedRunner::CBoundedRunner() : m_core(std::make_shared<CCore>()) {
    // Without a thread there is no call: the caller fails instead of the program.
    try {
        m_thread = std::thread(&CCore::Work, m_core);
        m_started = true;
    } catch (const std::system_error&) {
    }
}

CBoundedRunner::~CBoundedRunner() {
    if (!m_started) return;
    {
        std::lock_guard<std::mutex> guard(m_core->lock);
        m_core->quit = true;
        m_core->wake.notify_all();
    }
    if (m_abandoned != EBoundedCall::kDone) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
}

EBoundedCall CBoundedRunner::Abandon(EBoundedCall why) {
    m_abandoned = why;
    return why;
}

EBoundedCall CBoundedRunner::Run(std::function<void()> job, const CDeadline& deadline,
                                 const CStopSignal* stop, std::function<bool()> giveUp) {
    if (!m_started) return EBoundedCall::kNoThread;
    if (m_abandoned != EBoundedCall::kDone) return m_abandoned;
    if (IsStopRaised(stop)) return EBoundedCall::kStopped;
    {
        std::lock_guard<std::mutex> guard(m_core->lock);
        m_core->job = std::move(job);
        m_core->busy = true;
        m_core->wake.notify_all();
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(m_core->lock);
            const int slice = std::max(1, std::min(kWaitSliceMs, deadline.Remaining()));
            m_core->wake.wait_for(guard, std::chrono::milliseconds(slice),
                                  [this] { return !m_core->busy || m_core->woken; });
            m_core->woken = false;
            if (!m_core->busy) return EBoundedCall::kDone;
        }
        if (IsStopRaised(stop)) return Abandon(EBoundedCall::kStopped);
        if (deadline.Passed()) return Abandon(EBoundedCall::kTimedOut);
        if (giveUp && giveUp()) return Abandon(EBoundedCall::kGivenUp);
    }
}

std::function<void()> CBoundedRunner::Waker() const {
    std::weak_ptr<CCore> weak = m_core;
    return [weak] {
        if (const std::shared_ptr<CCore> core = weak.lock()) {
            std::lock_guard<std::mutex> guard(core->lock);
            core->woken = true;
            core->wake.notify_all();
        }
    };
}

void CBoundedRunner::SetFinalJob(std::function<void()> job) {
    std::lock_guard<std::mutex> guard(m_core->lock);
    m_core->finalJob = std::move(job);
}
