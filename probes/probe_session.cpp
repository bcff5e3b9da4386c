#include "probes/probe_session.h"

CProbeSession::CProbeSession(const CProbeEndpoints& endpoints, CStopSignal* stop, const IClock& clock)
    : m_endpoints(endpoints), m_stop(stop), m_runBudget(kRunBudgetMs, clock) {
    for (const auto& row : m_endpoints.whoisRows) m_whoisServers[row.first] = row.second;
}

CString CProbeSession::TakeResult() {
    CString taken = m_strResult;
    m_strResult.Empty();
    return taken;
}

CString CProbeSession::TakeError() {
    CString taken = m_strError;
    m_strError.Empty();
    return taken;
}

CString CProbeSession::ResolveHostIPv4(CString host, int limitMs) {
    return ResolveHost(host, limitMs).address;
}

CResolution CProbeSession::ResolveHost(CString host, int limitMs) {
    host.Trim();
    const CResolution resolution = ResolveFirstIPv4(host, limitMs, m_stop);
    if (resolution.failure == EResolveFailure::kTimedOut) {
        m_strError.Format("解析%s的主机IP超时：DNS服务器%d秒内没有应答\r\n", host.GetString(),
                          (limitMs + 999) / 1000);
    } else if (resolution.failure != EResolveFailure::kNone) {
        m_strError.Format("无法解析%s的主机IP\r\n", host.GetString());
    }
    return resolution;
}

CString CProbeSession::LookupWhoisServer(const CString& key) { return m_whoisServers[key]; }
