#include "engine/check_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "engine/check_sequence.h"
#include "platform/deadline.h"
#include "platform/stop_signal.h"

namespace {

// Short, so that a front end waiting with an idle function of its own (which cannot
// be woken by the worker's end) notices the end at once.
const int kIdleSliceMs = 10;

// Stands between the worker and the front end, so that a stopped run can be cut off
// without the worker's cooperation.
class CFrontEndGate : public ICheckFrontEnd {
public:
    explicit CFrontEndGate(std::shared_ptr<ICheckFrontEnd> target) : m_target(std::move(target)) {}

    void AppendOutput(const CString& text) override {
        if (IsOpen()) m_target->AppendOutput(text);
    }
    void StepProgress(int step, const CString& name) override {
        if (IsOpen()) m_target->StepProgress(step, name);
    }
    void RunRecorded(const CReport& report) override {
        if (IsOpen()) m_target->RunRecorded(report);
    }
    void NotifyCheckDone() override {
        if (IsOpen()) m_target->NotifyCheckDone();
    }
    void StepStarted(int step, int stepCount) override {
        if (IsOpen()) m_target->StepStarted(step, stepCount);
    }
    void CommandPrinted(const CString& lastLine) override {
        if (IsOpen()) m_target->CommandPrinted(lastLine);
    }
    void Close() { m_closed.store(true, std::memory_order_release); }

private:
    bool IsOpen() const { return !m_closed.load(std::memory_order_acquire); }

    const std::shared_ptr<ICheckFrontEnd> m_target;
    std::atomic<bool> m_closed{false};
};

}  // namespace

// Everything the worker touches; it keeps its share for as long as it runs.
struct CCheckRun::CShared {
    explicit CShared(std::shared_ptr<ICheckFrontEnd> frontEnd) : gate(std::move(frontEnd)) {}

    CFrontEndGate gate;
    CStopSignal stop;
    std::mutex lock;
    std::condition_variable ended;
    bool hasEnded = false;
};

void RunCheckSequence(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop) {
    CCheckOptions options;
    options.stop = stop;
    CheckThreadProc(frontEnd, domain, options);
}

void RunExtendedCheckSequence(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop) {
    CCheckOptions options;
    options.stop = stop;
    options.extended = true;
    CheckThreadProc(frontEnd, domain, options);
}

CheckWorker ExtendedCheckWorker(int pathRounds) {
    return [pathRounds](ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop) {
        CCheckOptions options;
        options.stop = stop;
        options.extended = true;
        options.pathRounds = pathRounds;
        CheckThreadProc(frontEnd, domain, options);
    };
}

std::unique_ptr<CCheckRun> CCheckRun::Start(std::shared_ptr<ICheckFrontEnd> frontEnd,
                                            const CString& domain, CheckWorker worker) {
    auto shared = std::make_shared<CShared>(std::move(frontEnd));
    try {
        std::thread thread([shared, domain, worker] {
            worker(&shared->gate, domain, &shared->stop);
            std::lock_guard<std::mutex> guard(shared->lock);
            shared->hasEnded = true;
            shared->ended.notify_all();
        });
        return std::unique_ptr<CCheckRun>(new CCheckRun(std::move(shared), std::move(thread)));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

CCheckRun::CCheckRun(std::shared_ptr<CShared> shared, std::thread thread)
    : m_shared(std::move(shared)), m_thread(std::move(thread)) {}

CCheckRun::~CCheckRun() {
    if (HasEnded()) {
        m_thread.join();
        return;
    }
    Stop();
    m_thread.detach();
}

void CCheckRun::Stop() {
    m_shared->gate.Close();
    m_shared->stop.Raise();
}

bool CCheckRun::IsStopped() const { return m_shared->stop.IsRaised(); }

bool CCheckRun::HasEnded() const {
    std::lock_guard<std::mutex> guard(m_shared->lock);
    return m_shared->hasEnded;
}

bool CCheckRun::WaitForEnd(int timeoutMs, const IdleWait& idle) {
    const CDeadline deadline(timeoutMs < 0 ? INT_MAX : timeoutMs);
    for (;;) {
        if (HasEnded()) return true;
        const int left = deadline.Remaining();
        if (left == 0) return false;
        if (idle) {
            if (!idle(std::min(left, kIdleSliceMs))) return HasEnded();
            continue;
        }
        std::unique_lock<std::mutex> guard(m_shared->lock);
        m_shared->ended.wait_for(guard, std::chrono::milliseconds(left),
                                 [this] { return m_shared->hasEnded; });
    }
}
