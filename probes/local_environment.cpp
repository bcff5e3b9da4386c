#include "probes/local_environment.h"

#include <ctime>
#include <string>
#include <vector>

#include "platform/bounded_call.h"
#include "platform/deadline.h"
#include "platform/local_settings.h"
#include "platform/net_adapters.h"
#include "platform/resolver.h"
#include "probes/local_text.h"
#include "probes/verdict_line.h"

namespace {

// A hosts file larger than this is read only this far.
const size_t kHostsReadBytes = 1 << 20;

// The reads in the order the step makes them: each takes its share of the step's limit.
const int kLocalReads = 5;

// One read on a helper thread, waited for no longer than its share; false when it did
// not come back in time. The read is copied: a read given up on still runs on.
template <class T>
bool ReadWithin(const std::function<T()>& read, CStepBudget* budget, const CLocalReads& reads,
                CStopSignal* stop, T* result) {
    return RunBounded<T>(read, budget->NextReadMs(reads.readLimitMs), stop, result) ==
           EBoundedCall::kDone;
}

CString ProxyBlock(const CLocalReads& reads, CStepBudget* budget, CStopSignal* stop) {
    std::vector<CProxySetting> settings;
    const bool read = ReadWithin(reads.proxySettings, budget, reads, stop, &settings);
    CString text = "代理设置：\r\n";
    if (!read) return text + "  " + VerdictLine("proxy-unreadable");
    if (settings.empty()) return text + "  " + VerdictLine("proxy-none");
    for (const CProxySetting& setting : settings)
        text += "  " + setting.label + "：" + setting.value + "\r\n";
    return text;
}

CString HostsBlock(const CString& domain, const CLocalReads& reads, CStepBudget* budget,
                   CStopSignal* stop) {
    CString text = "hosts文件（" + HostsFilePathText() + "）：\r\n";
    std::pair<bool, std::string> file;
    if (!ReadWithin(reads.hostsFile, budget, reads, stop, &file)) file.first = false;
    if (!file.first) return text + "  " + VerdictLine("hosts-unreadable");
    std::vector<CString> names = {domain};
    if (domain.Left(4) != CString("www.")) names.push_back("www." + domain);
    const std::vector<CString> lines = HostsLinesNaming(file.second, names);
    if (lines.empty()) return text + "  " + VerdictLine("hosts-none");
    for (const CString& line : lines) text += "  " + line + "\r\n";
    return text;
}

const char* KindName(EAdapterKind kind) {
    switch (kind) {
        case EAdapterKind::kTunnel:
            return "隧道";
        case EAdapterKind::kTunTap:
            return "TUN/TAP";
        case EAdapterKind::kWireGuard:
            return "WireGuard";
        case EAdapterKind::kPpp:
            return "PPP";
        default:
            return "虚拟网卡";
    }
}

// The adapters, then the line on the route to the site.
CString AdapterBlock(const CString& domain, const CLocalReads& reads, CStepBudget* budget,
                     CStopSignal* stop) {
    std::vector<CNetAdapter> adapters;
    ReadWithin(reads.adapters, budget, reads, stop, &adapters);
    CString text = "已启用的虚拟网卡：\r\n";
    bool any = false;
    for (const CNetAdapter& adapter : adapters) {
        if (!adapter.up || !IsVirtualAdapter(adapter.kind)) continue;
        text += "  " + adapter.name + "（" + KindName(adapter.kind) +
                (adapter.description.IsEmpty() ? CString() : "，" + adapter.description) + "）\r\n";
        any = true;
    }
    if (!any) text += "  " + VerdictLine("vpn-none");
    CString site;
    const std::function<CString()> resolve = [read = reads.siteAddress, domain] { return read(domain); };
    ReadWithin(resolve, budget, reads, stop, &site);
    if (site.IsEmpty()) return text + VerdictLine("route-unresolved");
    CString route;
    const std::function<CString()> lookup = [read = reads.routeAdapter, site] { return read(site); };
    ReadWithin(lookup, budget, reads, stop, &route);
    if (route.IsEmpty()) return text + VerdictLine("route-unknown", site.Bytes());
    for (const CNetAdapter& adapter : adapters) {
        if (adapter.name == route && IsVirtualAdapter(adapter.kind))
            return text + VerdictLine("route-vpn", route.Bytes());
    }
    return text + VerdictLine("route-adapter", route.Bytes());
}

}  // namespace

CString ClockLine(const CString& siteHeaders, long long nowUnix) {
    std::string date;
    long long serverUnix = 0;
    if (!DateHeaderOf(siteHeaders.Bytes(), &date) || !ParseHttpDate(date, &serverUnix))
        return VerdictLine("clock-no-date");
    const long long skew = nowUnix > serverUnix ? nowUnix - serverUnix : serverUnix - nowUnix;
    return skew > 60 ? VerdictLine("clock-skew", std::to_string(skew)) : VerdictLine("clock-in-step");
}

const CLocalReads& SystemLocalReads() {
    static const CLocalReads reads = [] {
        CLocalReads made;
        made.proxySettings = &ReadProxySettings;
        made.hostsFile = [] {
            std::pair<bool, std::string> file;
            file.first = ReadHostsFile(&file.second, kHostsReadBytes);
            return file;
        };
        made.adapters = &ListNetAdapters;
        // No stop signal: a lookup given up on runs on past the run, to its own limit.
        made.siteAddress = [](const CString& domain) {
            return ResolveFirstIPv4(domain, kLocalReadLimitMs, nullptr).address;
        };
        made.routeAdapter = &RouteAdapterFor;
        return made;
    }();
    return reads;
}

CStepOutcome CheckLocalEnvironment(const CString& domain, const CString& siteHeaders,
                                   long long nowUnix, CStopSignal* stop, const CLocalReads& reads) {
    CStepBudget budget(reads.stepLimitMs, kLocalReads);
    CStepOutcome outcome;
    outcome.ok = 1;
    // One after another, in this order: the blocks share the step's budget.
    outcome.text = ProxyBlock(reads, &budget, stop);
    outcome.text += HostsBlock(domain, reads, &budget, stop);
    outcome.text += AdapterBlock(domain, reads, &budget, stop);
    outcome.text += ClockLine(siteHeaders, nowUnix);
    return outcome;
}

CStepOutcome CheckLocalSetup(const CProbeContext& context, const CString& domain) {
    const auto now = static_cast<long long>(std::time(nullptr));
    const CStepRecord* website = context.Earlier(EReportStep::kWebsite);
    const CString headers(website ? website->web.headers : std::string());
    return CheckLocalEnvironment(domain, headers, now, context.stop);
}
