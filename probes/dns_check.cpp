#include <algorithm>

#include "platform/deadline.h"
#include "probes/extended_checks.h"
#include "probes/platform_error_text.h"
#include "probes/verdict_line.h"

namespace {

CString RecordLine(const CDnsRecord& record) {
    CString line;
    if (record.type == EDnsType::kCname) {
        line.Format("  CNAME %s -> %s（TTL %lu）\r\n", record.owner.GetString(),
                    record.value.GetString(), record.ttl);
    } else {
        line.Format("  %s %s（TTL %lu）\r\n", record.type == EDnsType::kA ? "A" : "AAAA",
                    record.value.GetString(), record.ttl);
    }
    return line;
}

// Both answers carry the chain of aliases; it is shown once.
std::vector<CDnsRecord> ChainOf(const CDnsNameReport& report) {
    std::vector<CDnsRecord> chain;
    for (const CDnsAnswer* answer : {&report.a, &report.aaaa}) {
        for (const CDnsRecord& record : answer->records) {
            if (record.type != EDnsType::kCname) continue;
            const bool known = std::any_of(chain.begin(), chain.end(), [&](const CDnsRecord& seen) {
                return seen.owner == record.owner && seen.value == record.value;
            });
            if (!known) chain.push_back(record);
        }
    }
    return chain;
}

CString NameBlock(const CDnsNameReport& report) {
    CString text = report.name + "：\r\n";
    if (report.a.failure == EPlatformError::kNotFound &&
        report.aaaa.failure == EPlatformError::kNotFound) {
        return text + "  " + VerdictLine("dns-name-missing");
    }
    for (const CDnsRecord& record : ChainOf(report)) text += RecordLine(record);
    bool anyAddress = false;
    const std::pair<const CDnsAnswer*, const char*> answers[] = {{&report.a, "A"},
                                                                  {&report.aaaa, "AAAA"}};
    for (const auto& entry : answers) {
        for (const CDnsRecord& record : entry.first->records) {
            if (record.type == EDnsType::kCname) continue;
            text += RecordLine(record);
            anyAddress = true;
        }
        if (entry.first->failure == EPlatformError::kTimedOut) {
            text += "  " + VerdictLine("dns-lookup-timeout", entry.second);
        } else if (entry.first->failure != EPlatformError::kNone) {
            text += CString("  ") + entry.second + "记录查询失败：" +
                    DescribeDnsFailure(entry.first->failure) + "\r\n";
        }
    }
    const bool bothAnswered = report.a.failure == EPlatformError::kNone &&
                              report.aaaa.failure == EPlatformError::kNone;
    if (!anyAddress && bothAnswered) text += "  " + VerdictLine("dns-no-address");
    return text;
}

bool HasAddress(const CDnsNameReport& report) {
    for (const CDnsAnswer* answer : {&report.a, &report.aaaa})
        for (const CDnsRecord& record : answer->records)
            if (record.type != EDnsType::kCname) return true;
    return false;
}

int QueryLimit(const CDeadline& step) {
    return std::max(1, std::min(kNameLookupLimitMs, step.Remaining()));
}

}  // namespace

CString FormatDnsReport(const std::vector<CDnsNameReport>& names,
                        const std::vector<CString>& servers) {
    CString text;
    for (const CDnsNameReport& report : names) text += NameBlock(report);
    text += "系统使用的DNS服务器：";
    if (servers.empty()) text += "未知";
    for (size_t i = 0; i < servers.size(); ++i) text += (i ? "、" : "") + servers[i];
    return text + "\r\n";
}

CStepOutcome CheckDnsAnswers(const CString& domain, CStopSignal* stop) {
    const CDeadline step(kDnsStepLimitMs);
    std::vector<CString> hosts = {domain};
    if (domain.Left(4) != CString("www.")) hosts.push_back("www." + domain);
    std::vector<CDnsNameReport> reports;
    for (const CString& host : hosts) {
        CDnsNameReport report;
        report.name = host;
        report.a = QueryDnsRecords(host, EDnsType::kA, QueryLimit(step), stop);
        report.aaaa = QueryDnsRecords(host, EDnsType::kAaaa, QueryLimit(step), stop);
        reports.push_back(report);
    }
    const std::vector<CString> servers = SystemDnsServers(QueryLimit(step), stop);
    CStepOutcome outcome;
    outcome.ok = HasAddress(reports.front());
    outcome.text = FormatDnsReport(reports, servers);
    return outcome;
}

CStepOutcome LookupDnsRecords(const CProbeContext& context, const CString& domain) {
    return CheckDnsAnswers(domain, context.stop);
}
