#include "probes/probe_context.h"

CProbeContext::CProbeContext(const CProbeEndpoints& runEndpoints, CStopSignal* runStop,
                             const IClock& clock)
    : endpoints(runEndpoints), stop(runStop), runBudget(kRunBudgetMs, clock) {}

CHostLookup ResolveHostIPv4(const CProbeContext& context, CString host, int limitMs) {
    host.Trim();
    CHostLookup lookup;
    lookup.resolution = ResolveFirstIPv4(host, limitMs, context.stop);
    if (lookup.resolution.failure == EResolveFailure::kTimedOut) {
        lookup.failureLine.Format("解析%s的主机IP超时：DNS服务器%d秒内没有应答\r\n",
                                  host.GetString(), (limitMs + 999) / 1000);
    } else if (lookup.resolution.failure != EResolveFailure::kNone) {
        lookup.failureLine.Format("无法解析%s的主机IP\r\n", host.GetString());
    }
    return lookup;
}
