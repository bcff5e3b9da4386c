// The optional checks a run may add after its ninth step: what the system's DNS servers
// answer for the domain, the site over HTTPS with its certificate, and whether its IPv6
// addresses take TCP connections. Each gives the step's text and whether it passed.
#pragma once

#include <vector>

#include "platform/dns_records.h"
#include "net/http_client.h"
#include "platform/mb_string.h"
#include "probes/endpoints.h"
#include "probes/probe_context.h"
#include "probes/step_outcome.h"

class CStopSignal;

// Steps 10 to 12, as the check sequence calls them.
CStepOutcome LookupDnsRecords(const CProbeContext& context, const CString& domain);
CStepOutcome CheckHttps(const CProbeContext& context, const CString& domain);
CStepOutcome ProbeIpv6(const CProbeContext& context, const CString& domain);

// The last optional step: the site's root over http and https, three requests over each
// address family the name has, each request's phases timed, and the CDN and cache
// headers of the answers; the table site_timing_text.h writes.
CStepOutcome TimeSite(const CProbeContext& context, const CString& domain);
CStepOutcome CheckSiteTiming(const CString& domain, const CProbeEndpoints& endpoints,
                             CStopSignal* stop);

// The CNAME chain, A and AAAA records with TTLs of the domain and of "www." + domain
// (unless the domain begins with it), then the DNS servers the system uses.
CStepOutcome CheckDnsAnswers(const CString& domain, CStopSignal* stop);

// GET of the root over HTTPS: the status line and header block as the web site step
// shows them, then the certificate's details and verdict. nowUnix is the time the
// validity period is measured against (seconds since 1970 UTC).
CStepOutcome CheckHttpsCertificate(const CString& domain, const CProbeEndpoints& endpoints,
                                   CStopSignal* stop, long long nowUnix);

// A TCP connect to each of the endpoints' IPv6 ports on every AAAA address of the domain.
CStepOutcome CheckIpv6Reachability(const CString& domain, const CProbeEndpoints& endpoints,
                                   CStopSignal* stop);

// The pieces of the texts above, for the tests.
struct CDnsNameReport {
    CString name;
    CDnsAnswer a;
    CDnsAnswer aaaa;
};
CString FormatDnsReport(const std::vector<CDnsNameReport>& names,
                        const std::vector<CString>& servers);
CString FormatCertificate(const CServerCertificate& certificate, long long nowUnix);
