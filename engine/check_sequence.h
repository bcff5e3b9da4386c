// The nine-step check run and the report text it produces.
#pragma once

#include "engine/check_frontend.h"
#include "model/report_vocabulary.h"
#include "platform/local_time.h"
#include "platform/time_limits.h"
#include "probes/endpoints.h"

class CStopSignal;

struct CCheckOptions {
    CProbeEndpoints endpoints = DefaultEndpoints();
    // Raised when the front end goes away; the run then ends at once, without notice.
    CStopSignal* stop = nullptr;
    CLocalTime (*clock)() = &GetLocalTimeNow;
    // Adds the optional steps after the ninth (DNS answers, HTTPS certificate, IPv6, path
    // statistics, the egress addresses and DNS, the local network environment). Off, the
    // report is exactly the nine-step one.
    bool extended = false;
    // Rounds of the path statistics step, kPathRoundsLeast to kPathRoundsMost.
    int pathRounds = kPathRoundsDefault;
};

constexpr int kCheckStepCount = 9;
constexpr int kExtendedStepCount = 6;
// Header text of a step, 1 to kCheckStepCount + kExtendedStepCount.
const char* GetCheckStepName(int step);
// How many steps a run with these options has.
int CheckStepCount(const CCheckOptions& options);

// Runs the whole check of the cleaned domain, reporting to the front end. Returns 0.
int CheckThreadProc(ICheckFrontEnd* frontEnd, const CString& domain,
                    const CCheckOptions& options = CCheckOptions());

// The step's header, stamped with the clock's time.
void AppendStepHeader(ICheckFrontEnd* frontEnd, int step, const CString& name,
                      CLocalTime (*clock)() = &GetLocalTimeNow);
// The line of stars that closes a step's block, without a line end of its own.
void AppendStepSeparator(ICheckFrontEnd* frontEnd);

