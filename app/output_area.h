// The read-only edit control that holds the check report.
#pragma once

#include <windows.h>

#include "platform/mb_string.h"

// Lifts the control's default capacity so that a long report is never cut short.
void PrepareOutputArea(HWND edit);
void ClearOutputArea(HWND edit);
// Puts the text at the very end, wherever the user's selection was, and shows the last line.
void AppendToOutputArea(HWND edit, const CString& gbk);
// The report's bytes exactly as they were appended.
CString ReadOutputArea(HWND edit);
