// Step 2: the address the outside world sees, as a public page reports it.
#pragma once

#include "platform/mb_string.h"
#include "probes/probe_context.h"

// Always passes: a page that cannot be fetched, or holds no address line, is reported
// as one line that says why.
CStepOutcome FetchPublicIP(const CProbeContext& context, const CString& domain);

// Whether the classic address parser takes the text for an IPv4 address (so a plain
// number counts, and 255.255.255.255, which parses like a failure, does not).
bool IsIPv4Literal(const CString& text);
