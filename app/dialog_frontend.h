// How a check run reaches the main dialog: the worker's calls become window messages,
// and the dialog's waits for the worker handle the messages it sends meanwhile.
#pragma once

#include <windows.h>

#include "engine/run_progress.h"

// Holds only window handles, so a worker left behind after the dialog has gone sends
// to windows that no longer exist, which the system ignores. The run controller stops
// anything from getting this far once the dialog has let the run go.
class CDialogFrontEnd : public CProgressFrontEnd {
public:
    CDialogFrontEnd(HWND dialog, HWND progress) : m_dialog(dialog), m_progress(progress) {}

    // Sends WM_APP_APPEND and waits until the dialog has appended the text.
    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override;
    void NotifyCheckDone() override;

    // Read by the dialog's timer on the interface thread.
    const CRunProgress& Progress() const { return m_runProgress; }

private:
    const HWND m_dialog;
    const HWND m_progress;
};

// The dialog's idle function while it waits for the worker (see CCheckRun::WaitForEnd):
// handles what other threads send to this thread's windows, for at most sliceMs, so a
// worker waiting on the dialog can carry on and end. Posted messages and input wait
// their turn.
bool HandleSentMessages(int sliceMs);
