// The read-only edit control that holds the check report.
#pragma once

#include <windows.h>

#include <string>

#include "app/gbk_text.h"
#include "platform/mb_string.h"

// Lifts the control's default capacity so that a long report is never cut short.
void PrepareOutputArea(HWND edit);
void ClearOutputArea(HWND edit);
// Puts the text at the very end, wherever the user's selection was, and shows the last
// line. When memory runs out on the way, a short note stands in the report in its place
// and the result is false; the dialog goes on either way. The conversion is a parameter
// so that its failure can be produced on purpose.
bool AppendToOutputArea(HWND edit, const CString& gbk,
                        std::wstring (*convert)(const CString&) = &GbkToWide);
// The report's bytes exactly as they were appended.
CString ReadOutputArea(HWND edit);
