#include "engine/probe_session.h"

#include "platform/resolver.h"

CProbeSession::CProbeSession(const CProbeEndpoints& endpoints, CStopSignal* stop)
    : m_endpoints(endpoints), m_stop(stop) {
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

CString CProbeSession::ResolveHostIPv4(CString host) {
    host.Trim();
    CString address = ResolveFirstIPv4(host);
    if (address.IsEmpty()) m_strError.Format("无法解析%s的主机IP\r\n", host.GetString());
    return address;
}

CString CProbeSession::LookupWhoisServer(const CString& key) { return m_whoisServers[key]; }
