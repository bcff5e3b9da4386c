// Host name resolution, IPv4 only.
#pragma once

#include "platform/mb_string.h"

// Dotted-decimal text of the first IPv4 address the resolver lists for the host, or
// the empty text when the name does not resolve. An empty name never resolves.
CString ResolveFirstIPv4(const CString& host);
