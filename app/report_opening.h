// Opening a saved report in the window: a support engineer reads a customer's report
// with the same findings a run shows. The report is read, never written.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>

#include "platform/mb_string.h"

// The open dialog owned by owner; false when cancelled or the dialog failed.
bool ChooseReportToOpen(HWND owner, std::wstring* path);
// The first file of a drop onto the window; the drop is released either way.
std::wstring TakeDroppedFile(HDROP drop);
// The file's bytes, unchanged; false with the reason (GBK words) in *error.
bool ReadReportFile(const std::wstring& path, std::string* bytes, CString* error);
