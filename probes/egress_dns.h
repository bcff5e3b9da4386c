// Who the machine is on the network: its public addresses as several services see them,
// the address its DNS resolver asks from, and the domain as the system's resolver and
// the public DNS servers resolve it, with the verdicts on the difference.
#pragma once

#include "probes/endpoints.h"
#include "probes/extended_checks.h"
#include "probes/probe_context.h"

class CStopSignal;

// machineHasIpv6: whether the IPv6 address service is worth asking.
CStepOutcome CheckEgressAndDns(const CString& domain, const CProbeEndpoints& endpoints,
                               bool machineHasIpv6, CStopSignal* stop);

// The step: as above, with the IPv6 service asked only when an adapter that is up has a
// global IPv6 address.
CStepOutcome CheckEgress(const CProbeContext& context, const CString& domain);
