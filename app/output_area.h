// The read-only edit control that shows the check report, and the report's bytes kept
// beside it for saving.
#pragma once

#include <windows.h>

#include <string>

#include "app/gbk_text.h"
#include "engine/report_buffer.h"
#include "platform/mb_string.h"

// Lifts the control's default capacity so that a long report is never cut short.
void PrepareOutputArea(HWND edit);
void ClearOutputArea(HWND edit, CReportBuffer* report);
// Puts the text at the very end of the area, wherever the user's selection was, shows
// the last line, and appends the same bytes to the report, so that what is saved is what
// is shown. When memory runs out on the way, a short note stands in both in its place
// and the result is false; the dialog goes on either way. The conversion is a parameter
// so that its failure can be produced on purpose.
bool AppendToOutputArea(HWND edit, CReportBuffer* report, const CString& gbk,
                        std::wstring (*convert)(const CString&) = &GbkToWide);
