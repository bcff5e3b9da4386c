// Steps 3 to 8: what the system's commands (and our psping) print, captured whole.
#pragma once

#include <string>

#include "platform/child_process.h"
#include "platform/mb_string.h"
#include "platform/path_text.h"
#include "platform/time_limits.h"
#include "probes/probe_context.h"

// Folder of the running executable, ending in the path separator.
CFilePath GetProgramDirectory();

// The commands of steps 5 to 8, as the probes start them for the cleaned domain.
CArgumentList PspingCommand(const CString& domain, int port);
CArgumentList PingCommand(const CString& domain);
CArgumentList TracertCommand(const CString& domain);

// Longest text kept of one command's output; a report is read by people, and what a
// misbehaving command prints past this is left out.
constexpr int kCommandOutputCapBytes = 1024 * 1024;

// Runs the program with its arguments as a hidden child and gives back all it prints. A
// child still running after limitSeconds is ended with everything it started. Fails
// only when the pipe or the process cannot be created, saying why ("找不到psping程序").
CStepOutcome RunCommandCapture(const CProbeContext& context, const CArgumentList& command,
                               int limitSeconds);

CStepOutcome GetLocalNetworkInfo(const CProbeContext& context, const CString& domain);
CStepOutcome FlushDnsCache(const CProbeContext& context, const CString& domain);
CStepOutcome ProbeFtpPort(const CProbeContext& context, const CString& domain);
CStepOutcome ProbeHttpPort(const CProbeContext& context, const CString& domain);
CStepOutcome RunPing(const CProbeContext& context, const CString& domain);
CStepOutcome RunTracert(const CProbeContext& context, const CString& domain);

// Tracert's limit at this moment: its own, or less when the run's budget is running
// out (time_limits.h).
int TracertLimitSeconds(const CProbeContext& context);

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
