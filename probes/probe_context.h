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
// - notes: what a later step reads of an earlier one's answers (the only thing a probe
//   leaves behind in the context).
// A probe returns its result and leaves nothing else behind in the context, which is
// why every probe takes it const.
#pragma once

#include <functional>

#include "platform/deadline.h"
#include "platform/mb_string.h"
#include "platform/resolver.h"
#include "probes/endpoints.h"
#include "probes/step_outcome.h"

class CStopSignal;

// Written by one step, read by a later one of the same run.
struct CRunNotes {
    CString publicAddress;  // the address the public address step found ("" when none)
    CString siteHeaders;    // the web site step's header block, for the clock check
};

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
    mutable CRunNotes notes;
};

// A host's first IPv4 address and, when there is none, the line the report gives why.
struct CHostLookup {
    CResolution resolution;
    CString failureLine;
};

// Looks the host up with surrounding blanks trimmed, waiting at most limitMs.
CHostLookup ResolveHostIPv4(const CProbeContext& context, CString host,
                            int limitMs = kNameLookupLimitMs);
