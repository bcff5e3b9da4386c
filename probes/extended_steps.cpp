#include <ctime>

#include "probes/probe_session.h"
#include "probes/extended_checks.h"
#include "platform/net_adapters.h"
#include "probes/egress_dns.h"
#include "probes/local_environment.h"

namespace {

// A step's outcome goes to the slot the sequence takes it from.
int Deliver(const CStepOutcome& outcome, CProbeSession& session) {
    (outcome.ok ? session.m_strResult : session.m_strError) = outcome.text;
    return outcome.ok;
}

}  // namespace

int CProbeSession::LookupDnsRecords(CString domain) {
    return Deliver(CheckDnsAnswers(domain, m_stop), *this);
}

int CProbeSession::CheckHttps(CString domain) {
    const auto now = static_cast<long long>(std::time(nullptr));
    return Deliver(CheckHttpsCertificate(domain, m_endpoints, m_stop, now), *this);
}

int CProbeSession::ProbeIpv6(CString domain) {
    return Deliver(CheckIpv6Reachability(domain, m_endpoints, m_stop), *this);
}

int CProbeSession::CheckEgress(CString domain) {
    bool hasIpv6 = false;
    for (const CNetAdapter& adapter : ListNetAdapters())
        hasIpv6 = hasIpv6 || (adapter.up && adapter.globalIpv6);
    return Deliver(CheckEgressAndDns(domain, m_endpoints, hasIpv6, m_stop), *this);
}

int CProbeSession::CheckLocalEnvironment(CString domain) {
    const auto now = static_cast<long long>(std::time(nullptr));
    return Deliver(::CheckLocalEnvironment(domain, m_siteHeaders, now, m_stop), *this);
}
