#include "probes/local_environment.h"

#include <ctime>
#include <string>
#include <vector>

#include "platform/bounded_call.h"
#include "platform/local_settings.h"
#include "platform/net_adapters.h"
#include "platform/resolver.h"
#include "probes/local_text.h"

namespace {

// A hosts file larger than this is read only this far.
const size_t kHostsReadBytes = 1 << 20;

CString ProxyBlock(CStopSignal* stop) {
    std::vector<CProxySetting> settings;
    const EBoundedCall read = RunBounded<std::vector<CProxySetting>>(
        [] { return ReadProxySettings(); }, kLocalReadLimitMs, stop, &settings);
    CString text = "代理设置：\r\n";
    if (read != EBoundedCall::kDone) return text + "  无法读取代理设置\r\n";
    if (settings.empty()) return text + "  未设置代理\r\n";
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
    if (!file.first) return text + "  无法读取hosts文件\r\n";
    std::vector<CString> names = {domain};
    if (domain.Left(4) != CString("www.")) names.push_back("www." + domain);
    const std::vector<CString> lines = HostsLinesNaming(file.second, names);
    if (lines.empty()) return text + "  hosts文件中没有该域名\r\n";
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
    if (!any) text += "  没有已启用的虚拟网卡\r\n";
    const CResolution site = ResolveFirstIPv4(domain, kLocalReadLimitMs, stop);
    if (site.address.IsEmpty()) return text + "无法确定访问该网站的路由：域名无法解析\r\n";
    CString route;
    RunBounded<CString>([address = site.address] { return RouteAdapterFor(address); },
                        kLocalReadLimitMs, stop, &route);
    if (route.IsEmpty()) return text + "无法确定访问该网站（" + site.address + "）的路由\r\n";
    for (const CNetAdapter& adapter : adapters) {
        if (adapter.name == route && IsVirtualAdapter(adapter.kind))
            return text + "访问该网站的流量经过虚拟网卡" + route + "\r\n";
    }
    return text + "访问该网站的流量经过网卡" + route + "\r\n";
}

}  // namespace

CString ClockLine(const CString& siteHeaders, long long nowUnix) {
    std::string date;
    long long serverUnix = 0;
    if (!DateHeaderOf(siteHeaders.Bytes(), &date) || !ParseHttpDate(date, &serverUnix))
        return "网站的回答中没有可用的Date头，无法核对本机时间\r\n";
    const long long skew = nowUnix > serverUnix ? nowUnix - serverUnix : serverUnix - nowUnix;
    CString line;
    if (skew > 60) {
        line.Format("本机时间与服务器相差%lld秒\r\n", skew);
    } else {
        line = "本机时间与服务器相差不超过60秒\r\n";
    }
    return line;
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
