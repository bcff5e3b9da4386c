// The list under the output area: the findings of the report shown, most severe first.
#pragma once

#include <windows.h>

#include <string>

#include "diagnosis/findings.h"

// Fills the list with "[严重] ..." lines, one a finding, then the notes about the report itself.
void ShowFindings(HWND list, const CAnalysis& analysis);
void ClearFindings(HWND list);
