// What on the machine itself bends the path to a site: the proxy its HTTP layers would
// use, hosts file lines naming the site, virtual adapters (VPN, TUN/TAP, PPP) and
// whether the site's route goes through one, and the clock against the site's.
#pragma once

#include "probes/extended_checks.h"
#include "probes/probe_context.h"

class CStopSignal;

// siteHeaders: the header block of the web site step's answer (empty when it had none);
// nowUnix: the local clock, seconds since 1970 UTC.
CStepOutcome CheckLocalEnvironment(const CString& domain, const CString& siteHeaders,
                                   long long nowUnix, CStopSignal* stop);

// The clock line for a header block and the local time.
CString ClockLine(const CString& siteHeaders, long long nowUnix);

// The step: as above, against the header block the run's web site step kept and the
// clock now.
CStepOutcome CheckLocalSetup(const CProbeContext& context, const CString& domain);
