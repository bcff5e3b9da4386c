// The public address lookup's test for a bracketed address.
#pragma once

#include "platform/mb_string.h"

// 1 when the classic address parser takes the text for an IPv4 address (so a plain
// number counts, and 255.255.255.255, which parses like a failure, does not), else 0.
int IsIPv4Literal(CString text);

// For a line of the address page that holds a bracketed address: true, and *text is
// what the report shows of it, the text between its "<center>" markers with nothing that
// ends a line (PeerLineText). False for any other line.
bool PublicIpLineText(const CString& line, CString* text);
