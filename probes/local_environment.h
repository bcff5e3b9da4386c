// What on the machine itself bends the path to a site: the proxy its HTTP layers would
// use, hosts file lines naming the site, virtual adapters (VPN, TUN/TAP, PPP) and
// whether the site's route goes through one, and the clock against the site's.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/local_settings.h"
#include "platform/net_adapters.h"
#include "platform/time_limits.h"
#include "probes/extended_checks.h"
#include "probes/probe_context.h"

class CStopSignal;

// The reads the step makes of the machine, one after another, and the limits they share:
// the system's own unless a test stalls one.
struct CLocalReads {
    std::function<std::vector<CProxySetting>()> proxySettings;
    // Whether the hosts file could be read, and its first bytes.
    std::function<std::pair<bool, std::string>()> hostsFile;
    std::function<std::vector<CNetAdapter>()> adapters;
    // The site's first IPv4 address, empty when it has none.
    std::function<CString(const CString& domain)> siteAddress;
    std::function<CString(const CString& address)> routeAdapter;
    int readLimitMs = kLocalReadLimitMs;
    int stepLimitMs = kLocalEnvironmentStepLimitMs;
};
const CLocalReads& SystemLocalReads();

// siteHeaders: the header block of the web site step's answer (empty when it had none);
// nowUnix: the local clock, seconds since 1970 UTC.
CStepOutcome CheckLocalEnvironment(const CString& domain, const CString& siteHeaders,
                                   long long nowUnix, CStopSignal* stop,
                                   const CLocalReads& reads = SystemLocalReads());

// The clock line for a header block and the local time.
CString ClockLine(const CString& siteHeaders, long long nowUnix);

// The step: as above, against the header block the run's web site step kept and the
// clock now.
CStepOutcome CheckLocalSetup(const CProbeContext& context, const CString& domain);
