// Who the machine is on the network: its public addresses as several services see them,
// the address its DNS resolver asks from, and the domain as the system's resolver and
// the public DNS servers resolve it, with the verdicts on the difference.
#pragma once

#include "probes/endpoints.h"
#include "probes/extended_checks.h"

class CStopSignal;

// machineHasIpv6: whether the IPv6 address service is worth asking.
CStepOutcome CheckEgressAndDns(const CString& domain, const CProbeEndpoints& endpoints,
                               bool machineHasIpv6, CStopSignal* stop);
