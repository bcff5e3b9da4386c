#include <algorithm>
#include <exception>
#include <thread>

#include "platform/deadline.h"
#include "platform/dns_records.h"
#include "platform/resolver.h"
#include "probes/ip_label_rules.h"
#include "probes/ip_labels.h"
#include "probes/path_stats.h"

namespace {

// One address family's part of the step: its table, or the line saying why there is none.
struct CFamilyRun {
    std::string target;
    std::unique_ptr<CIcmpEcho> echo;
    std::string openError;
    CPathTrace trace;
};

CFamilyRun OpenFamily(const CString& domain, const std::string& target,
                      const CPathProbing& probing) {
    CFamilyRun run;
    run.target = target;
    run.trace.domain = domain;
    run.trace.target = target;
    run.trace.intervalSeconds = std::max(1, probing.intervalMs / 1000);
    if (!target.empty()) run.echo = probing.open(target, &run.openError);
    return run;
}

CString FirstAaaa(const CString& domain, int limitMs, const CStopSignal* stop) {
    const CDnsAnswer answer = QueryDnsRecords(domain, EDnsType::kAaaa, limitMs, stop);
    for (const CDnsRecord& record : answer.records) {
        if (record.type == EDnsType::kAaaa) return record.value;
    }
    return CString();
}

CString FamilyText(const CFamilyRun& run, const char* family) {
    CString text;
    if (!run.echo) {
        text.Format("%s：本机无法发送ICMP探测（%s），未做逐跳统计。\r\n", family,
                    run.openError.c_str());
    } else if (run.trace.hops.empty()) {
        text.Format("%s：%s 的各跳在%d轮中均无应答。\r\n", family, run.target.c_str(),
                    run.trace.rounds);
    } else {
        text = FormatPathTable(run.trace);
    }
    return text;
}

}  // namespace

CStepOutcome CheckPathStatistics(const CString& domain, const CString& publicAddress,
                                 const CPathProbing& probing, CStopSignal* stop) {
    const CDeadline lookups(kPathLookupLimitMs);
    const CResolution v4 = ResolveFirstIPv4(domain, lookups.Remaining(), stop);
    const CString v6 = FirstAaaa(domain, std::max(1, lookups.Remaining()), stop);
    CFamilyRun four = OpenFamily(domain, v4.address.Bytes(), probing);
    CFamilyRun six = OpenFamily(domain, v6.Bytes(), probing);
    // Both families go round by round at the same time, so IPv6 adds no time.
    std::thread sixRounds;
    if (six.echo) {
        try {
            sixRounds =
                std::thread([&] { six.trace = ProbeRounds(*six.echo, six.trace, probing, stop); });
        } catch (const std::exception&) {
            six.echo.reset();
            six.openError = "no thread";
        }
    }
    if (four.echo) four.trace = ProbeRounds(*four.echo, four.trace, probing, stop);
    if (sixRounds.joinable()) sixRounds.join();

    CStepOutcome outcome;
    outcome.text = v4.address.IsEmpty() ? CString("无法解析域名的IPv4地址，未做逐跳统计。\r\n")
                                        : FamilyText(four, "IPv4");
    if (!v6.IsEmpty()) outcome.text += "\r\n" + FamilyText(six, "IPv6");
    outcome.text += ReverseTraceLine(publicAddress);
    outcome.ok = !four.trace.hops.empty() || !six.trace.hops.empty();
    return outcome;
}

CString PublicAddressOfStep(const CString& stepText) {
    const int open = stepText.Find('[');
    const int close = open < 0 ? -1 : stepText.Find(']', open);
    if (close < 0) return CString();
    const CString inside = stepText.Mid(open + 1, close - open - 1);
    uint32_t value = 0;
    const EAddressScope scope = ScopeOfAddress(inside, &value);
    return scope != EAddressScope::kOther && inside.Find(':') < 0 ? inside : CString();
}

CStepOutcome TracePathStats(const CProbeContext& context, const CString& domain) {
    CPathProbing probing;
    probing.open = &CIcmpEcho::Open;
    probing.label = &IpLabelFor;
    probing.rounds = context.pathRounds;
    const CStepRecord* address = context.Earlier(EReportStep::kPublicIp);
    const CString publicAddress(address ? address->publicIp.address : std::string());
    return CheckPathStatistics(domain, publicAddress, probing, context.stop);
}
