#include <algorithm>
#include <chrono>

#include "platform/deadline.h"
#include "platform/tcp_socket.h"
#include "probes/extended_checks.h"
#include "probes/platform_error_text.h"
#include "probes/verdict_line.h"

namespace {

CString ConnectLine(const CString& address, int port, int limitMs, const CStopSignal* stop) {
    CTcpSocket socket(stop);
    const auto start = std::chrono::steady_clock::now();
    const bool connected = socket.Connect(address, port, limitMs);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    CString line;
    if (connected) {
        line.Format("  %d端口：连接成功，用时%.2fms\r\n", port, took.count());
    } else {
        line.Format("  %d端口：%s\r\n", port, DescribePlatformError(socket.LastError()).GetString());
    }
    return line;
}

}  // namespace

CStepOutcome CheckIpv6Reachability(const CString& domain, const CProbeEndpoints& endpoints,
                                   CStopSignal* stop) {
    const CDeadline step(kIpv6StepLimitMs);
    const CDnsAnswer answer = QueryDnsRecords(
        domain, EDnsType::kAaaa, std::min(kNameLookupLimitMs, step.Remaining()), stop);
    CStepOutcome outcome;
    if (answer.failure != EPlatformError::kNone && answer.failure != EPlatformError::kNotFound) {
        outcome.text = VerdictLine(answer.failure == EPlatformError::kTimedOut ? "ipv6-lookup-timeout"
                                                                               : "ipv6-lookup-failed");
        return outcome;
    }
    for (const CDnsRecord& record : answer.records) {
        if (record.type != EDnsType::kAaaa) continue;
        outcome.text += record.value + "：\r\n";
        for (const int port : endpoints.ipv6Ports) {
            const int limit = std::max(1, std::min(kIpv6ConnectLimitMs, step.Remaining()));
            const CString line = ConnectLine(record.value, port, limit, stop);
            if (line.Find("连接成功") >= 0) outcome.ok = true;
            outcome.text += line;
        }
    }
    if (outcome.text.IsEmpty()) outcome.text = VerdictLine("ipv6-none");
    return outcome;
}

CStepOutcome ProbeIpv6(const CProbeContext& context, const CString& domain) {
    return CheckIpv6Reachability(domain, context.endpoints, context.stop);
}
