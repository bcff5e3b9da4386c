// Helpers of the command probes.
#pragma once

#include "platform/mb_string.h"
#include "platform/time_limits.h"

// Folder of the running executable, ending in the path separator.
CString GetProgramDirectory();

// Longest text kept of one command's output; a report is read by people, and what a
// misbehaving command prints past this is left out.
constexpr int kCommandOutputCapBytes = 1024 * 1024;
