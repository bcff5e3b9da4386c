// Helpers of the command probes.
#pragma once

#include "platform/mb_string.h"

// Folder of the running executable, ending in the path separator.
CString GetProgramDirectory();

// Time limits of the commands, in seconds. Together with the network steps' own
// bounds they keep a run whose peers are all silent under six minutes.
constexpr int kIpconfigLimitSeconds = 20;
constexpr int kPspingLimitSeconds = 40;
constexpr int kPingLimitSeconds = 30;
constexpr int kTracertLimitSeconds = 100;
