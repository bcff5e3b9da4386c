// The save-as button's work: the report, byte for byte, into a file the user picks.
#pragma once

#include <windows.h>

#include "engine/report_buffer.h"

// Asks for a path with the save dialog owned by owner, then writes the report's bytes as
// they are at that moment. Failures are told in a message box; a cancelled dialog
// does nothing. With redact, the report is redacted and previewed first, and what the
// preview showed is what is written; a report that cannot be redacted is not saved.
void SaveReportAs(HWND owner, const CReportBuffer& report, bool redact = false);
