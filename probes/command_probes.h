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
// A route that ends behind a firewall dropping probes costs about 12 s per silent hop.
constexpr int kTracertLimitSeconds = 180;
// Longest text kept of one command's output; a report is read by people, and what a
// misbehaving command prints past this is left out.
constexpr int kCommandOutputCapBytes = 1024 * 1024;
