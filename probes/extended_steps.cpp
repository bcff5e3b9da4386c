#include <ctime>

#include "probes/probe_session.h"
#include "probes/extended_checks.h"
#include "probes/ip_labels.h"
#include "probes/path_stats.h"

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

int CProbeSession::TracePathStats(CString domain) {
    CPathProbing probing;
    probing.open = &CIcmpEcho::Open;
    probing.label = &IpLabelFor;
    probing.rounds = m_pathRounds;
    return Deliver(CheckPathStatistics(domain, m_publicAddress, probing, m_stop), *this);
}
