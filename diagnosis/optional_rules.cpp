// The optional steps: DNS answers, egress and resolvers, certificate, IPv6, the public
// address's cross-check, and what bends the path on this machine.
#include "diagnosis/finding_rules.h"
#include "model/step_formats.h"
#include "model/text_scan.h"
#include "diagnosis/thresholds.h"

namespace {

bool Says(const CReportBlock* block, std::string_view words) {
    return block && block->body.find(words) != std::string_view::npos;
}

// The first line of the text that holds the words, without its surrounding blanks.
std::string_view LineSaying(std::string_view text, std::string_view words) {
    for (std::string_view line : SplitLines(text))
        if (line.find(words) != std::string_view::npos) return TrimBlanks(line);
    return {};
}

void AddDnsAnswerFindings(CFindingList* list, const CReportBlock& block) {
    for (const std::string& address : ReadDnsAddresses(block.body)) {
        if (IsFakeIpAddress(address)) {
            list->Add(
                "dns-fake-ip", ESeverity::kWarning, block,
                "DNS返回的地址%s属于198.18.0.0/15，这是代理软件fake-ip模式的特征：访问会经过代理。",
                {address});
        } else if (IsPrivateAddress(address)) {
            list->Add("dns-private-answer", ESeverity::kWarning, block,
                      "DNS把网站解析成了内网或保留地址%s，外部用户无法通过它访问网站。", {address});
        }
    }
    if (Says(&block, "查询超时")) {
        list->Add("dns-timeout", ESeverity::kWarning, block,
                  "DNS服务器在限定时间内没有答复（“%s”）：域名解析慢或DNS服务器不通。",
                  {Clip(std::string(LineSaying(block.body, "查询超时")))});
    }
    if (Says(&block, "域名不存在")) {
        list->Add("name-not-resolving", ESeverity::kCritical, block, "DNS服务器答复该域名不存在。");
    }
}

void AddResolverVerdicts(CFindingList* list, const CReportBlock& block) {
    if (Says(&block, "本机DNS返回了198.18.0.0/15中的地址")) {
        list->Add("dns-fake-ip", ESeverity::kWarning, block,
                  "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征。");
    }
    if (Says(&block, "本机DNS说域名不存在，而公共DNS有结果")) {
        list->Add(
            "dns-hijack-suspected", ESeverity::kCritical, block,
            "本机使用的DNS说域名不存在，而公共DNS能解析出地址：疑似DNS劫持或污染，可换用公共DNS。");
    }
    if (Says(&block, "本机DNS返回了内网或保留地址")) {
        list->Add("dns-private-answer", ESeverity::kWarning, block,
                  "本机DNS把网站解析成了内网或保留地址。");
    }
    if (Says(&block, "解析结果因DNS服务器而异")) {
        list->Add("dns-answers-differ", ESeverity::kInfo, block,
                  "不同DNS服务器给出的地址不同（网站使用CDN按地区调度时属正常）。");
    }
}

void AddCertificateFindings(CFindingList* list, const CReportBlock& block) {
    const std::string until = Clip(ValueAfter(block.body, "有效期至："));
    if (Says(&block, "证书已过期")) {
        list->Add("cert-expired", ESeverity::kCritical, block,
                  "网站的HTTPS证书已过期（有效期至%s），浏览器会报不安全。", {until});
    }
    const int days = ReadCertDaysLeft(block.body);
    if (days >= 0 && days <= diagnosis_limits::kCertExpiringDays) {
        list->Add("cert-expiring", ESeverity::kWarning, block,
                  "网站的HTTPS证书%s天后过期（有效期至%s），请及时更新。",
                  {std::to_string(days), until});
    }
    if (Says(&block, "证书不受信任")) {
        list->Add("cert-untrusted", ESeverity::kCritical, block,
                  "网站的HTTPS证书不受信任（颁发者：%s），浏览器会报不安全。",
                  {Clip(ValueAfter(block.body, "证书颁发者："))});
    }
    if (Says(&block, "证书与域名不匹配")) {
        list->Add("cert-name-mismatch", ESeverity::kCritical, block,
                  "网站的HTTPS证书与域名不匹配（证书主题：%s）。",
                  {Clip(ValueAfter(block.body, "证书主题："))});
    }
}

void AddIpv6Findings(CFindingList* list, const CReportBlock& block) {
    if (!Says(&block, "端口：") || Says(&block, "连接成功")) return;
    std::string address;
    for (std::string_view line : SplitLines(block.body)) {
        if (line.size() > 2 && line.substr(line.size() - 2) == "：" &&
            LooksLikeAddress(line.substr(0, line.size() - 2))) {
            address = std::string(line.substr(0, line.size() - 2));
            break;
        }
    }
    if (address.empty()) return;
    list->Add("ipv6-broken", ESeverity::kWarning, block,
              "域名有IPv6地址（%s），但所有IPv6连接都失败：支持IPv6的用户可能打不开或打开很慢。",
              {Clip(address, 46)});
}

}  // namespace

void AddDnsFindings(CFindingList* list) {
    const CParsedReport& report = list->Report();
    if (const CReportBlock* egress = report.Find(EReportStep::kEgress))
        AddResolverVerdicts(list, *egress);
    if (const CReportBlock* dns = report.Find(EReportStep::kDnsAnswers))
        AddDnsAnswerFindings(list, *dns);
    if (const CReportBlock* https = report.Find(EReportStep::kHttps))
        AddCertificateFindings(list, *https);
    if (const CReportBlock* ipv6 = report.Find(EReportStep::kIpv6)) AddIpv6Findings(list, *ipv6);
}
