// What every probe of one check run shares, handed to each step as
//
//     CStepOutcome Step(const CProbeContext& context, const CString& domain);
//
// - endpoints: the outside servers and the limits of each exchange (tests point them at
//   loopback peers and shorten the limits);
// - stop: raised when the front end goes away; a probe that sees it gives up at once
//   (may be null: nothing stops the run);
// - runBudget: the whole run's time, started when the context is made, on the clock it
//   is given (tests pass a fake one);
// - reservedAfterWebsiteMs: time of the run's budget set aside for the optional steps
//   that follow the web site step, so tracert leaves room for them;
// - onCommandLine: told the last line a running command printed, each time it changes
//   (GBK), for a front end's progress display (may be empty).
// - earlier: the records of the earlier steps this step reads, as the step table says
//   (model/report_vocabulary.cpp): step 13 reads step 2's public address, step 15 step
//   9's header block. Only those are there; null when the step reads none.
// A probe returns its result and leaves nothing behind in the context, which is why
// every probe takes it const.
#pragma once

#include <functional>

#include "platform/deadline.h"
#include "platform/mb_string.h"
#include "platform/resolver.h"
#include "probes/endpoints.h"
#include "probes/step_outcome.h"

class CStopSignal;

struct CProbeContext {
    // The run's time budget starts now, on the given clock.
    explicit CProbeContext(const CProbeEndpoints& endpoints = DefaultEndpoints(),
                           CStopSignal* stop = nullptr, const IClock& clock = SteadyClock());

    CProbeEndpoints endpoints;
    CStopSignal* stop;
    CDeadline runBudget;
    int reservedAfterWebsiteMs = 0;
    std::function<void(const CString&)> onCommandLine;
    int pathRounds = kPathRoundsDefault;  // rounds of the path statistics step
    const CReport* earlier = nullptr;

    // The record of an earlier step the step reads, or null.
    const CStepRecord* Earlier(EReportStep step) const { return earlier ? earlier->Find(step) : nullptr; }
};

// A host's first IPv4 address and, when there is none, the line the report gives why.
struct CHostLookup {
    CResolution resolution;
    CString failureLine;
};

// Looks the host up with surrounding blanks trimmed, waiting at most limitMs.
CHostLookup ResolveHostIPv4(const CProbeContext& context, CString host,
                            int limitMs = kNameLookupLimitMs);
