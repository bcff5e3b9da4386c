// Who the machine is on the network: its public addresses as several services see them,
// the address its DNS resolver asks from, and the domain as the system's resolver and
// the public DNS servers resolve it, with the verdicts on the difference.
#pragma once

#include <functional>
#include <vector>

#include "platform/net_adapters.h"
#include "probes/endpoints.h"
#include "probes/extended_checks.h"
#include "probes/probe_context.h"

class CStopSignal;

// machineHasIpv6: whether the IPv6 address service is worth asking.
CStepOutcome CheckEgressAndDns(const CString& domain, const CProbeEndpoints& endpoints,
                               bool machineHasIpv6, CStopSignal* stop);

// Whether an adapter that is up has a global IPv6 address, by the adapter list read
// within limitMs; false when the list does not come in time.
bool MachineHasIpv6(const std::function<std::vector<CNetAdapter>()>& listAdapters, int limitMs,
                    CStopSignal* stop);

// The step: as above, with the IPv6 service asked only when an adapter that is up has a
// global IPv6 address.
CStepOutcome CheckEgress(const CProbeContext& context, const CString& domain);
