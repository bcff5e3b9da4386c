#include "probes/local_environment.h"

#include <ctime>
#include <string>
#include <vector>

#include "platform/bounded_call.h"
#include "platform/local_settings.h"
#include "platform/net_adapters.h"
#include "platform/resolver.h"
#include "probes/local_text.h"
#include "probes/verdict_line.h"

namespace {

// A hosts file larger than this is read only this far.
const size_t kHostsReadBytes = 1 << 20;

CString ProxyBlock(CStopSignal* stop) {
    std::vector<CProxySetting> settings;
    const EBoundedCall read = RunBounded<std::vector<CProxySetting>>(
        [] { return ReadProxySettings(); }, kLocalReadLimitMs, stop, &settings);
    CString text = "代理设置：\r\n";
    if (read != EBoundedCall::kDone) return text + "  " + VerdictLine("proxy-unreadable");
    if (settings.empty()) return text + "  " + VerdictLine("proxy-none");
    for (const CProxySetting& setting : settings)
        text += "  " + setting.label + "：" + setting.value + "\r\n";
    return text;
}

// Whether the hosts file could be read, and its first bytes.
std::pair<bool, std::string> ReadHostsBounded(CStopSignal* stop) {
    std::pair<bool, std::string> file;
    const auto read = [] {
        std::pair<bool, std::string> result;
        result.first = ReadHostsFile(&result.second, kHostsReadBytes);
        return result;
    };
    if (RunBounded<std::pair<bool, std::string>>(read, kLocalReadLimitMs, stop, &file) !=
        EBoundedCall::kDone)
        file.first = false;
    return file;
}

CString HostsBlock(const CString& domain, CStopSignal* stop) {
    CString text = "hosts文件（" + HostsFilePathText() + "）：\r\n";
    const std::pair<bool, std::string> file = ReadHostsBounded(stop);
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
CString AdapterBlock(const CString& domain, CStopSignal* stop) {
    std::vector<CNetAdapter> adapters;
    RunBounded<std::vector<CNetAdapter>>([] { return ListNetAdapters(); }, kLocalReadLimitMs, stop,
                                         &adapters);
    CString text = "已启用的虚拟网卡：\r\n";
    bool any = false;
    for (const CNetAdapter& adapter : adapters) {
        if (!adapter.up || !IsVirtualAdapter(adapter.kind)) continue;
        text += "  " + adapter.name + "（" + KindName(adapter.kind) +
                (adapter.description.IsEmpty() ? CString() : "，" + adapter.description) + "）\r\n";
        any = true;
    }
    if (!any) text += "  " + VerdictLine("vpn-none");
    const CResolution site = ResolveFirstIPv4(domain, kLocalReadLimitMs, stop);
    if (site.address.IsEmpty()) return text + VerdictLine("route-unresolved");
    CString route;
    RunBounded<CString>([address = site.address] { return RouteAdapterFor(address); },
                        kLocalReadLimitMs, stop, &route);
    if (route.IsEmpty()) return text + VerdictLine("route-unknown", site.address.Bytes());
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

CStepOutcome CheckLocalEnvironment(const CString& domain, const CString& siteHeaders,
                                   long long nowUnix, CStopSignal* stop) {
    CStepOutcome outcome;
    outcome.ok = 1;
    outcome.text = ProxyBlock(stop) + HostsBlock(domain, stop) + AdapterBlock(domain, stop) +
                   ClockLine(siteHeaders, nowUnix);
    return outcome;
}

CStepOutcome CheckLocalSetup(const CProbeContext& context, const CString& domain) {
    const auto now = static_cast<long long>(std::time(nullptr));
    const CStepRecord* website = context.Earlier(EReportStep::kWebsite);
    const CString headers(website ? website->web.headers : std::string());
    return CheckLocalEnvironment(domain, headers, now, context.stop);
}
