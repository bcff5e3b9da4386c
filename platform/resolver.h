// Host name resolution, IPv4 only, bounded in time.
#pragma once

#include "platform/mb_string.h"
#include "platform/platform_error.h"
#include "platform/time_limits.h"

class CStopSignal;


// A lookup fails as kNotFound, kTimedOut, kStopped or kNoResources (no helper thread).
using EResolveFailure = EPlatformError;

struct CResolution {
    CString address;  // dotted-decimal text of the first IPv4 address listed
    EResolveFailure failure = EResolveFailure::kNone;
};

// Looks the host up, as typed (GBK): a name with Chinese labels is looked up in its
// ASCII ("xn--") form. An empty name, or one that is no valid international name,
// never resolves. A lookup still going after timeoutMs, or when the stop signal is
// raised, is left behind and counts as failed.
CResolution ResolveFirstIPv4(const CString& host, int timeoutMs = kNameLookupLimitMs,
                             const CStopSignal* stop = nullptr);

// The backend's blocking lookup of an ASCII name: the address text, or empty.
CString LookupFirstIPv4(const CString& asciiHost);
