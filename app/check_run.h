// One check run of the main dialog: the worker thread and the front end through which
// it reaches the dialog.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "engine/check_frontend.h"
#include "platform/stop_signal.h"

// Hands the report to the dialog through window messages. Once detached it drops
// everything, so a closing dialog is never touched again.
class CDialogFrontEnd : public ICheckFrontEnd {
public:
    CDialogFrontEnd(HWND dialog, HWND progress, const CString& domain)
        : m_dialog(dialog), m_progress(progress), m_domain(domain) {}

    CString GetDomain() override { return m_domain; }
    // Sends WM_APP_APPEND and waits until the dialog has appended the text.
    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override;
    void NotifyCheckDone() override;

    // Stops the run and cuts it off from the dialog.
    void Detach();
    bool IsDetached() const { return m_detached.load(std::memory_order_acquire); }
    CStopSignal* Stop() { return &m_stop; }

private:
    const HWND m_dialog;
    const HWND m_progress;
    const CString m_domain;
    std::atomic<bool> m_detached{false};
    CStopSignal m_stop;
};

// What the worker thread runs; the real one is the check sequence.
using CheckWorker = void (*)(ICheckFrontEnd* frontEnd, CStopSignal* stop);
void RunCheckSequence(ICheckFrontEnd* frontEnd, CStopSignal* stop);
// The same, with the optional steps 10 to 12.
void RunExtendedCheckSequence(ICheckFrontEnd* frontEnd, CStopSignal* stop);

class CCheckRun {
public:
    // Starts the worker at once; null when no thread can be started.
    static std::unique_ptr<CCheckRun> Start(HWND dialog, HWND progress, const CString& domain,
                                            CheckWorker worker = &RunCheckSequence);
    ~CCheckRun();
    CCheckRun(const CCheckRun&) = delete;
    CCheckRun& operator=(const CCheckRun&) = delete;

    // Waits for the worker to return, meanwhile handling the messages it sends to this
    // thread's windows (it waits for them). False when the time ran out first.
    bool WaitForEnd(DWORD timeoutMs);
    // Raises the stop signal and detaches the front end; the worker ends on its own.
    void Abandon() { m_frontEnd->Detach(); }
    bool IsAbandoned() const { return m_frontEnd->IsDetached(); }

private:
    CCheckRun(HANDLE thread, std::shared_ptr<CDialogFrontEnd> frontEnd)
        : m_thread(thread), m_frontEnd(std::move(frontEnd)) {}

    HANDLE m_thread;
    std::shared_ptr<CDialogFrontEnd> m_frontEnd;
};
