// The public address's cross-check and this machine's proxy, VPN, hosts file and clock.
#include "diagnosis/finding_rules.h"
#include "diagnosis/thresholds.h"

namespace {

void AddMachineFindings(CFindingList* list, const CStepRecord& block) {
    const CEnvironmentFacts& facts = block.environment;
    if (!facts.proxy.empty()) {
        list->Add("proxy-active", ESeverity::kWarning, block,
                  "本机设置了代理（%s）：访问网站的流量经过代理，结果可能与直连不同。",
                  {Clip(facts.proxy)});
    }
    if (!facts.vpnAdapter.empty()) {
        list->Add("vpn-route", ESeverity::kWarning, block,
                  "访问该网站的流量经过虚拟网卡%s（VPN或隧道），结果可能与直连不同。",
                  {Clip(facts.vpnAdapter)});
    }
    if (!facts.hostsLines.empty()) {
        list->Add("hosts-override", ESeverity::kWarning, block,
                  "本机hosts文件为该域名指定了地址（%s），DNS的解析结果不起作用。",
                  {Clip(facts.hostsLines.front())});
    }
    if (facts.clockOffsetSeconds && *facts.clockOffsetSeconds > diagnosis_limits::kClockSkewSeconds) {
        list->Add("clock-skew", ESeverity::kWarning, block,
                  "本机时间与服务器相差%s秒：时间不准会导致HTTPS证书报错。",
                  {std::to_string(*facts.clockOffsetSeconds)});
    }
}

}  // namespace

void AddEnvironmentFindings(CFindingList* list) {
    const CReport& report = list->Report();
    if (const CStepRecord* address = report.Find(EReportStep::kPublicIp)) {
        if (address->publicIp.mismatch) {
            list->Add("public-ip-mismatch", ESeverity::kWarning, *address,
                      "地址查询页面给出的公网IP与其他来源核对的结果（%s）不一致，以核对结果为准。",
                      {Clip(address->publicIp.checkedAddress, 46)});
        }
    }
    if (const CStepRecord* machine = report.Find(EReportStep::kEnvironment)) AddMachineFindings(list, *machine);
}
