#include "app/dialog_frontend.h"

#include <commctrl.h>

#include "app/app_messages.h"

void CDialogFrontEnd::AppendOutput(const CString& text) {
    SendMessageW(m_dialog, WM_APP_APPEND, 0, reinterpret_cast<LPARAM>(&text));
}

void CDialogFrontEnd::StepProgress(int, const CString&) {
    SendMessageW(m_progress, PBM_STEPIT, 0, 0);
}

void CDialogFrontEnd::NotifyCheckDone() { PostMessageW(m_dialog, WM_CHECK_DONE, 0, 0); }

bool HandleSentMessages(int sliceMs) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(sliceMs), QS_SENDMESSAGE,
                                MWMO_INPUTAVAILABLE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    return true;
}
