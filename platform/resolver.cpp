#include "platform/resolver.h"

#include "platform/bounded_call.h"
#include "platform/host_name.h"

CResolution ResolveFirstIPv4(const CString& host, int timeoutMs, const CStopSignal* stop) {
    CResolution resolution;
    const CString ascii = HostNameToAscii(host);
    if (ascii.IsEmpty()) {
        resolution.failure = EResolveFailure::kNotFound;
        return resolution;
    }
    CString address;
    switch (RunBounded<CString>([ascii] { return LookupFirstIPv4(ascii); }, timeoutMs, stop,
                                &address)) {
        case EBoundedCall::kDone:
            resolution.address = address;
            if (address.IsEmpty()) resolution.failure = EResolveFailure::kNotFound;
            break;
        case EBoundedCall::kTimedOut:
            resolution.failure = EResolveFailure::kTimedOut;
            break;
        case EBoundedCall::kStopped:
            resolution.failure = EResolveFailure::kStopped;
            break;
        case EBoundedCall::kGivenUp:
        case EBoundedCall::kNoThread:
            resolution.failure = EResolveFailure::kNoResources;
            break;
    }
    return resolution;
}
