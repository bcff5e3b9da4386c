// The path statistics step: echo probes with every TTL up to the site, round after
// round, and the table of what each hop answered.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/icmp_echo.h"
#include "platform/mb_string.h"
#include "platform/time_limits.h"
#include "probes/extended_checks.h"
#include "probes/path_table.h"
#include "probes/probe_context.h"

class CStopSignal;

// Opens an echo sender towards a numeric address (CIcmpEcho::Open, or a fake in tests).
using CIcmpOpener =
    std::function<std::unique_ptr<CIcmpEcho>(const std::string& target, CPlatformError* error)>;
// The label of an address (IpLabelFor, or a fixed one in tests).
using CIpLabeler = std::function<CString(const CString& address)>;

struct CPathProbing {
    CIcmpOpener open;
    CIpLabeler label;
    int rounds = kPathRoundsDefault;
    int intervalMs = kPathIntervalMs;
    // Routes longer than this are cut here, as tracert cuts them.
    int maxHops = 30;
};

// Sends probing.rounds rounds through echo towards trace.target and fills trace.hops:
// every hop up to the first that is the destination, or, when the destination never
// answers, up to the last hop that did. Ends early when the stop signal is raised.
CPathTrace ProbeRounds(CIcmpEcho& echo, CPathTrace trace, const CPathProbing& probing,
                       const CStopSignal* stop);

// The whole step: the domain's IPv4 address and, when it has one and it answers, its
// IPv6 address probed at the same time; the tables, and the line for the other
// direction from publicAddress (the address the public address step found, or "").
CStepOutcome CheckPathStatistics(const CString& domain, const CString& publicAddress,
                                 const CPathProbing& probing, CStopSignal* stop);

// The step, with the run's rounds, the address its public address step noted, the
// system's ICMP echo and the shipped place labels.
CStepOutcome TracePathStats(const CProbeContext& context, const CString& domain);

// The address inside the brackets of the public address step's text ("" without one).
CString PublicAddressOfStep(const CString& stepText);
