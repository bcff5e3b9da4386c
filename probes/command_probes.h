// Helpers of the command probes.
#pragma once

#include <string>

#include "platform/child_process.h"
#include "platform/mb_string.h"
#include "platform/time_limits.h"

// Folder of the running executable, ending in the path separator.
CString GetProgramDirectory();

// The commands of steps 5 to 8, as the probes start them for the cleaned domain.
CArgumentList PspingCommand(const CString& domain, int port);
CArgumentList PingCommand(const CString& domain);
CArgumentList TracertCommand(const CString& domain);

// Longest text kept of one command's output; a report is read by people, and what a
// misbehaving command prints past this is left out.
constexpr int kCommandOutputCapBytes = 1024 * 1024;

// The last line of what a command printed so far, for a progress display: fed the
// output as it arrives, it keeps the text after the last line end, or the last line
// that had any when none follows. Bounded however long a line is.
class CLastLineTracker {
public:
    // True when the line to show has changed.
    bool Feed(const char* bytes, int count);
    const CString& Line() const { return m_shown; }

private:
    std::string m_current;
    CString m_shown;
};
