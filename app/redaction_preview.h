// The preview of a redacted report: what will leave the machine, and what was hidden,
// shown before anything is written or sent. Saving with the privacy box ticked uses it;
// so may anything else that hands a report on.
#pragma once

#include <windows.h>

#include <string>

// Shows the redacted report (GBK) read-only with the counts line (GBK, see
// RedactionCountsLine); true when the user confirms with OK.
bool ShowRedactionPreview(HWND owner, const std::string& redactedGbk,
                          const std::string& countsLine);
