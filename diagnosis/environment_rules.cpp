// The public address's cross-check and this machine's proxy, VPN, hosts file and clock.
#include "diagnosis/finding_rules.h"
#include "model/step_formats.h"
#include "model/text_scan.h"
#include "diagnosis/thresholds.h"

namespace {

// "（其他来源核对：本机公网IP为A.B.C.D（来源：...），与上面的结果不一致）": the address.
std::string_view CheckedAddress(std::string_view body) {
    const std::string_view value = ValueAfter(body, "本机公网IP为");
    return value.substr(0, value.find("（"));
}

// A hosts-file line quoted in the step: an address, then at least one name.
std::string HostsLine(std::string_view body) {
    for (std::string_view line : SplitLines(body)) {
        const std::vector<std::string_view> words = SplitWords(line);
        // The names of a hosts line for a web site have dots; an adapter's name has not.
        if (words.size() >= 2 && LooksLikeAddress(words[0]) &&
            words[1].find('.') != std::string_view::npos && !LooksLikeAddress(words[1]))
            return Clip(TrimBlanks(line));
    }
    return std::string();
}

// A port after an ASCII colon ("127.0.0.1:7890"); the full-width colon of a label is
// two bytes that are never ':'.
bool NamesAServer(std::string_view line) {
    if (line.find("://") != std::string_view::npos) return true;
    for (size_t at = line.find(':'); at != std::string_view::npos; at = line.find(':', at + 1))
        if (at + 1 < line.size() && line[at + 1] >= '0' && line[at + 1] <= '9') return true;
    return false;
}

// A line about a proxy that names where the traffic goes; "直接连接" and the like are not.
std::string ProxyLine(std::string_view body) {
    for (std::string_view line : SplitLines(body)) {
        const std::string lowered = LowerAscii(line);
        const bool aboutProxy = line.find("代理") != std::string_view::npos ||
                                lowered.find("proxy") != std::string::npos;
        if (aboutProxy && NamesAServer(line)) return Clip(TrimBlanks(line));
    }
    return std::string();
}

void AddMachineFindings(CFindingList* list, const CReportBlock& block) {
    const std::string_view body = block.body;
    const std::string proxy = ProxyLine(body);
    if (body.find("未设置代理") == std::string_view::npos && !proxy.empty()) {
        list->Add("proxy-active", ESeverity::kWarning, block,
                  "本机设置了代理（%s）：访问网站的流量经过代理，结果可能与直连不同。", {proxy});
    }
    const std::string_view vpn = ValueAfter(body, "访问该网站的流量经过虚拟网卡");
    if (body.find("访问该网站的流量经过虚拟网卡") != std::string_view::npos) {
        list->Add("vpn-route", ESeverity::kWarning, block,
                  "访问该网站的流量经过虚拟网卡%s（VPN或隧道），结果可能与直连不同。", {Clip(vpn)});
    }
    const std::string hosts = HostsLine(body);
    if (body.find("hosts文件中没有该域名") == std::string_view::npos && !hosts.empty()) {
        list->Add("hosts-override", ESeverity::kWarning, block,
                  "本机hosts文件为该域名指定了地址（%s），DNS的解析结果不起作用。", {hosts});
    }
    const long skew = ReadClockSkewSeconds(body);
    if (skew > diagnosis_limits::kClockSkewSeconds) {
        list->Add("clock-skew", ESeverity::kWarning, block,
                  "本机时间与服务器相差%s秒：时间不准会导致HTTPS证书报错。",
                  {std::to_string(skew)});
    }
}

}  // namespace

void AddEnvironmentFindings(CFindingList* list) {
    const CParsedReport& report = list->Report();
    if (const CReportBlock* address = report.Find(EReportStep::kPublicIp)) {
        if (address->body.find("与上面的结果不一致") != std::string_view::npos) {
            list->Add("public-ip-mismatch", ESeverity::kWarning, *address,
                      "地址查询页面给出的公网IP与其他来源核对的结果（%s）不一致，以核对结果为准。",
                      {Clip(CheckedAddress(address->body), 46)});
        }
    }
    if (const CReportBlock* machine = report.Find(EReportStep::kEnvironment))
        AddMachineFindings(list, *machine);
}
