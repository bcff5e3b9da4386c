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

// For a line of the address page that holds a bracketed address: true, and *text is
// what the report shows of it, the text between its "<center>" markers with nothing that
// ends a line (PeerLineText). False for any other line.
bool PublicIpLineText(const CString& line, CString* text);
