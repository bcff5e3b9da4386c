// Private window messages of the main dialog.
#pragma once

#include <windows.h>

// Posted by the check worker to the dialog once the ninth step is written; wParam and
// lParam are 0.
constexpr UINT WM_CHECK_DONE = WM_APP + 0x65;

// Sent by the check worker to the dialog to append report text at the end of the output
// area; lParam is a const CString* holding the GBK bytes, valid for the length of the call.
constexpr UINT WM_APP_APPEND = WM_APP + 0x66;

// Posted by the upload's worker once the collector has answered or the upload failed;
// lParam is a CReportUpload* the dialog takes over and deletes.
constexpr UINT WM_UPLOAD_DONE = WM_APP + 0x67;

// The timer that rewrites the status text with the step in progress while a run goes on.
constexpr UINT_PTR IDT_RUN_STATUS = 1;
constexpr UINT kRunStatusPeriodMs = 500;
