// What the public address services answer, read strictly: a text counts only when it
// has the service's form and the address in it is written the plain way.
#pragma once

#include "platform/mb_string.h"
#include "probes/endpoints.h"

// Four decimal numbers 0 to 255 joined by dots, no leading zeros, nothing else.
bool IsDottedQuad(const CString& text);
// An IPv6 address in the usual text form (hex groups, at most one "::", an IPv4 tail).
bool IsIpv6Text(const CString& text);

// The address in a service's answer body; empty when the body is not in the service's
// form. Blank space around the answer does not count; the oray line may sit inside a
// small HTML page.
CString AddressFromAnswer(EAddressFormat format, const CString& body);
