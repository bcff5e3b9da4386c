// What a front end shows while a run goes on: the step in progress, the seconds spent
// in it, and the last line its command printed. The worker's notices feed it and the
// front end's timer reads it, on two threads, so every call takes the lock.
#pragma once

#include <chrono>
#include <mutex>

#include "engine/check_frontend.h"
#include "platform/mb_string.h"

class CRunProgress {
public:
    void StepStarted(int step, int stepCount);
    void CommandPrinted(const CString& lastLine);
    // The run has ended: nothing is in progress any more.
    void Ended();

    // GBK texts for the moment now; empty when no step is in progress.
    // "[5/9] 检测FTP（21）端口 8秒"
    CString TerminalStatus(std::chrono::steady_clock::time_point now) const;
    // "正在检测...请勿关闭窗口！ 第5步 检测FTP（21）端口 8秒"
    CString WindowStatus(std::chrono::steady_clock::time_point now) const;
    // The running command's last line; empty before it printed one.
    CString CommandLine() const;

private:
    int SecondsAt(std::chrono::steady_clock::time_point now) const;

    mutable std::mutex m_lock;
    int m_step = 0;
    int m_stepCount = 0;
    std::chrono::steady_clock::time_point m_stepStart;
    CString m_commandLine;
};

// A front end that keeps a run's progress: both front ends show it, each in its own way.
class CProgressFrontEnd : public ICheckFrontEnd {
public:
    void StepStarted(int step, int stepCount) override {
        m_runProgress.StepStarted(step, stepCount);
    }
    void CommandPrinted(const CString& lastLine) override {
        m_runProgress.CommandPrinted(lastLine);
    }

protected:
    CRunProgress m_runProgress;
};
