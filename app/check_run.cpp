#include "app/check_run.h"

#include <commctrl.h>
#include <process.h>

#include "app/app_messages.h"
#include "engine/check_sequence.h"
#include "platform/deadline.h"

namespace {

struct CWorkerStart {
    std::shared_ptr<CDialogFrontEnd> frontEnd;
    CheckWorker worker;
};

unsigned __stdcall WorkerThread(void* argument) {
    // The start record keeps the front end alive for as long as the thread uses it,
    // even when the dialog has long gone.
    std::unique_ptr<CWorkerStart> start(static_cast<CWorkerStart*>(argument));
    start->worker(start->frontEnd.get(), start->frontEnd->Stop());
    return 0;
}

}  // namespace

void CDialogFrontEnd::AppendOutput(const CString& text) {
    if (IsDetached()) return;
    SendMessageW(m_dialog, WM_APP_APPEND, 0, reinterpret_cast<LPARAM>(&text));
}

void CDialogFrontEnd::StepProgress(int, const CString&) {
    if (IsDetached()) return;
    SendMessageW(m_progress, PBM_STEPIT, 0, 0);
}

void CDialogFrontEnd::NotifyCheckDone() {
    if (IsDetached()) return;
    PostMessageW(m_dialog, WM_CHECK_DONE, 0, 0);
}

void CDialogFrontEnd::Detach() {
    m_detached.store(true, std::memory_order_release);
    m_stop.Raise();
}

void RunCheckSequence(ICheckFrontEnd* frontEnd, CStopSignal* stop) {
    CCheckOptions options;
    options.stop = stop;
    CheckThreadProc(frontEnd, options);
}

void RunExtendedCheckSequence(ICheckFrontEnd* frontEnd, CStopSignal* stop) {
    CCheckOptions options;
    options.stop = stop;
    options.extended = true;
    CheckThreadProc(frontEnd, options);
}

std::unique_ptr<CCheckRun> CCheckRun::Start(HWND dialog, HWND progress, const CString& domain,
                                            CheckWorker worker) {
    auto frontEnd = std::make_shared<CDialogFrontEnd>(dialog, progress, domain);
    auto* start = new CWorkerStart{frontEnd, worker};
    // _beginthreadex rather than CreateThread: the worker uses the C runtime.
    const uintptr_t thread = _beginthreadex(nullptr, 0, &WorkerThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return std::unique_ptr<CCheckRun>(
        new CCheckRun(reinterpret_cast<HANDLE>(thread), std::move(frontEnd)));
}

CCheckRun::~CCheckRun() { CloseHandle(m_thread); }

bool CCheckRun::WaitForEnd(DWORD timeoutMs) {
    const CDeadline deadline(static_cast<int>(timeoutMs));
    for (;;) {
        const DWORD slice = static_cast<DWORD>(deadline.Remaining() < kWaitSliceMs
                                                   ? deadline.Remaining() : kWaitSliceMs);
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &m_thread, slice, QS_SENDMESSAGE,
                                                       MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) return true;
        // Handles only what other threads sent; posted messages and input wait their turn.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (deadline.Passed()) return WaitForSingleObject(m_thread, 0) == WAIT_OBJECT_0;
    }
}
