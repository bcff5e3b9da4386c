// The optional steps: DNS answers, egress and resolvers, certificate, IPv6.
#include "diagnosis/finding_rules.h"
#include "diagnosis/thresholds.h"
#include "model/step_formats.h"

namespace {

bool Has(const std::vector<std::string>& verdicts, std::string_view id) {
    for (const std::string& verdict : verdicts)
        if (verdict == id) return true;
    return false;
}

void AddDnsAnswerFindings(CFindingList* list, const CStepRecord& block) {
    for (const CDnsRecordFacts& record : block.dns.records) {
        if (record.type == "CNAME") continue;
        if (IsFakeIpAddress(record.value)) {
            list->Add(
                "dns-fake-ip", ESeverity::kWarning, block,
                "DNS返回的地址%s属于198.18.0.0/15，这是代理软件fake-ip模式的特征：访问会经过代理。",
                {record.value});
        } else if (IsPrivateAddress(record.value)) {
            list->Add("dns-private-answer", ESeverity::kWarning, block,
                      "DNS把网站解析成了内网或保留地址%s，外部用户无法通过它访问网站。", {record.value});
        }
    }
    if (!block.dns.timedOutLine.empty()) {
        list->Add("dns-timeout", ESeverity::kWarning, block,
                  "DNS服务器在限定时间内没有答复（“%s”）：域名解析慢或DNS服务器不通。",
                  {Clip(block.dns.timedOutLine)});
    }
    if (Has(block.dns.verdicts, "dns-name-missing")) {
        list->Add("name-not-resolving", ESeverity::kCritical, block, "DNS服务器答复该域名不存在。");
    }
}

void AddResolverVerdicts(CFindingList* list, const CStepRecord& block) {
    const std::vector<std::string>& verdicts = block.egress.verdicts;
    if (Has(verdicts, "dns-system-fake-ip")) {
        list->Add("dns-fake-ip", ESeverity::kWarning, block,
                  "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征。");
    }
    if (Has(verdicts, "dns-system-denies")) {
        list->Add(
            "dns-hijack-suspected", ESeverity::kCritical, block,
            "本机使用的DNS说域名不存在，而公共DNS能解析出地址：疑似DNS劫持或污染，可换用公共DNS。");
    }
    if (Has(verdicts, "dns-system-private")) {
        list->Add("dns-private-answer", ESeverity::kWarning, block,
                  "本机DNS把网站解析成了内网或保留地址。");
    }
    if (Has(verdicts, "dns-answers-differ")) {
        list->Add("dns-answers-differ", ESeverity::kInfo, block,
                  "不同DNS服务器给出的地址不同（网站使用CDN按地区调度时属正常）。");
    }
}

void AddCertificateFindings(CFindingList* list, const CStepRecord& block) {
    const CHttpsFacts& https = block.https;
    const std::string until = Clip(https.notAfter);
    if (Has(https.verdicts, "cert-expired")) {
        list->Add("cert-expired", ESeverity::kCritical, block,
                  "网站的HTTPS证书已过期（有效期至%s），浏览器会报不安全。", {until});
    }
    if (https.daysLeft >= 0 && https.daysLeft <= diagnosis_limits::kCertExpiringDays) {
        list->Add("cert-expiring", ESeverity::kWarning, block,
                  "网站的HTTPS证书%s天后过期（有效期至%s），请及时更新。",
                  {std::to_string(https.daysLeft), until});
    }
    if (Has(https.verdicts, "cert-untrusted")) {
        list->Add("cert-untrusted", ESeverity::kCritical, block,
                  "网站的HTTPS证书不受信任（颁发者：%s），浏览器会报不安全。", {Clip(https.issuer)});
    }
    if (Has(https.verdicts, "cert-name-mismatch")) {
        list->Add("cert-name-mismatch", ESeverity::kCritical, block,
                  "网站的HTTPS证书与域名不匹配（证书主题：%s）。", {Clip(https.subject)});
    }
}

void AddIpv6Findings(CFindingList* list, const CStepRecord& block) {
    const std::vector<CIpv6ConnectFacts>& connects = block.ipv6.connects;
    if (connects.empty()) return;
    for (const CIpv6ConnectFacts& connect : connects)
        if (connect.connected) return;
    list->Add("ipv6-broken", ESeverity::kWarning, block,
              "域名有IPv6地址（%s），但所有IPv6连接都失败：支持IPv6的用户可能打不开或打开很慢。",
              {Clip(connects.front().address, 46)});
}

}  // namespace

void AddDnsFindings(CFindingList* list) {
    const CReport& report = list->Report();
    if (const CStepRecord* egress = report.Find(EReportStep::kEgress)) AddResolverVerdicts(list, *egress);
    if (const CStepRecord* dns = report.Find(EReportStep::kDnsAnswers)) AddDnsAnswerFindings(list, *dns);
    if (const CStepRecord* https = report.Find(EReportStep::kHttps)) AddCertificateFindings(list, *https);
    if (const CStepRecord* ipv6 = report.Find(EReportStep::kIpv6)) AddIpv6Findings(list, *ipv6);
}
