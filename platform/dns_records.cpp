#include "platform/dns_records.h"

#include "platform/bounded_call.h"
#include "platform/host_name.h"

namespace {

EPlatformError BoundedCallFailure(EBoundedCall outcome) {
    switch (outcome) {
        case EBoundedCall::kDone:
            return EPlatformError::kNone;
        case EBoundedCall::kTimedOut:
            return EPlatformError::kTimedOut;
        case EBoundedCall::kStopped:
            return EPlatformError::kStopped;
        case EBoundedCall::kGivenUp:
        case EBoundedCall::kNoThread:
            break;
    }
    return EPlatformError::kNoResources;
}

}  // namespace

CDnsAnswer QueryDnsRecords(const CString& host, EDnsType type, int timeoutMs,
                           const CStopSignal* stop) {
    CDnsAnswer answer;
    const CString ascii = HostNameToAscii(host);
    if (ascii.IsEmpty()) {
        answer.failure = EPlatformError::kNotFound;
        return answer;
    }
    const EBoundedCall outcome = RunBounded<CDnsAnswer>(
        [ascii, type] { return QueryDnsBlocking(ascii, type); }, timeoutMs, stop, &answer);
    if (outcome != EBoundedCall::kDone) answer.failure = BoundedCallFailure(outcome);
    return answer;
}

CDnsAnswer QueryDnsServer(const CString& server, int port, const CString& host, EDnsType type,
                          int timeoutMs, const CStopSignal* stop) {
    CDnsAnswer answer;
    const CString ascii = HostNameToAscii(host);
    if (ascii.IsEmpty()) {
        answer.failure = EPlatformError::kNotFound;
        return answer;
    }
    const EBoundedCall outcome = RunBounded<CDnsAnswer>(
        [server, port, ascii, type, timeoutMs] {
            return QueryDnsServerBlocking(server, port, ascii, type, timeoutMs);
        },
        timeoutMs, stop, &answer);
    if (outcome != EBoundedCall::kDone) answer.failure = BoundedCallFailure(outcome);
    return answer;
}

std::vector<CString> SystemDnsServers(int timeoutMs, const CStopSignal* stop) {
    std::vector<CString> servers;
    RunBounded<std::vector<CString>>([] { return ReadDnsServersBlocking(); }, timeoutMs, stop,
                                     &servers);
    return servers;
}
