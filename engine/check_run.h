// One check run on a worker thread of its own, as both front ends drive it: started with
// the cleaned domain, stopped on request, waited for within a bound, and left behind
// when it outlives the wait.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "engine/check_frontend.h"
#include "platform/mb_string.h"

class CStopSignal;

// How long a front end waits for a worker that has finished or was told to stop.
// Children and connections end at once on a stop; a name lookup stuck in the system may
// not, and a worker still in one after this long is left behind.
constexpr int kWorkerEndWaitMs = 5000;

// What the worker thread runs; the real one is the check sequence.
using CheckWorker = std::function<void(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop)>;
void RunCheckSequence(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop);
// The same, with the optional steps 10 to 13.
void RunExtendedCheckSequence(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal* stop);
// The optional steps with this many rounds of path statistics (time_limits.h).
CheckWorker ExtendedCheckWorker(int pathRounds);

class CCheckRun {
public:
    // What the front end does between two looks at the worker: wait at most sliceMs on
    // its own business (the messages the worker sends it, a signal). False ends the
    // wait at once.
    using IdleWait = std::function<bool(int sliceMs)>;

    // Starts the worker at once; null when no thread can be started. The worker shares
    // the front end, so a worker left behind never calls into a destroyed one.
    static std::unique_ptr<CCheckRun> Start(std::shared_ptr<ICheckFrontEnd> frontEnd,
                                            const CString& domain,
                                            CheckWorker worker = &RunCheckSequence);
    // Joins a worker that has ended; one still running is stopped and left behind.
    ~CCheckRun();
    CCheckRun(const CCheckRun&) = delete;
    CCheckRun& operator=(const CCheckRun&) = delete;

    // Raises the stop signal and cuts the worker off: nothing it does afterwards reaches
    // the front end, beyond a call it had already begun.
    void Stop();
    bool IsStopped() const;
    bool HasEnded() const;

    // Waits for the worker to return, at most timeoutMs (without limit when negative),
    // calling idle between looks or simply sleeping without one. True once it has ended.
    bool WaitForEnd(int timeoutMs, const IdleWait& idle = IdleWait());

private:
    struct CShared;
    CCheckRun(std::shared_ptr<CShared> shared, std::thread thread);

    std::shared_ptr<CShared> m_shared;
    std::thread m_thread;
};
