// Whether the site answers: ports 21 and 80, ping, and the website step.
#include "diagnosis/finding_rules.h"

namespace {

const CPortFacts kNoPorts;

void AddNameFindings(CFindingList* list, const CStepRecord* website) {
    const CReport& report = list->Report();
    const CWebFacts* web = website ? &website->web : nullptr;
    if (web && web->failureId == "web-name-not-found") {
        std::string_view named = web->failure;
        if (named.compare(0, 7, "http://") == 0) named.remove_prefix(7);
        const std::string name = Clip(named);
        if (web->lookupTimedOut) {
            list->Add("dns-timeout", ESeverity::kWarning, *website,
                      "查询域名%s的地址超时：DNS服务器没有及时应答。", {name});
        }
        list->Add("name-not-resolving", ESeverity::kCritical, *website,
                  "域名%s解析不到地址，网站因此无法访问（请检查域名的DNS解析记录）。", {name});
        return;
    }
    if (web && web->failureKind == EWebFailure::kNameUnresolved) {
        list->Add("name-not-resolving", ESeverity::kCritical, *website, "域名解析不到地址：%s。",
                  {Clip(website->text)});
        return;
    }
    const CStepRecord* ping = report.Find(EReportStep::kPing);
    if (!website && ping && ping->ping.nameUnresolved) {
        list->Add("name-not-resolving", ESeverity::kCritical, *ping, "Ping找不到该域名的地址：%s",
                  {Clip(ping->text)});
    }
}

void AddWebsiteFindings(CFindingList* list, const CStepRecord& website, const CPortFacts& http) {
    const CWebFacts& web = website.web;
    if (web.status != 0 && web.status != 200) {
        list->Add("site-error-status", web.status >= 500 ? ESeverity::kCritical : ESeverity::kWarning,
                  website, "网站有应答，但返回的状态是%s，不是正常的200。", {Clip(web.statusLine)});
        return;
    }
    if (web.failureId != "web-unreachable" || list->Has("name-not-resolving")) return;
    const std::string reason = Clip(web.failure);
    if (http.sent > 0 && http.connected > 0 && web.failureKind == EWebFailure::kSilent) {
        list->Add("site-stalled", ESeverity::kCritical, website,
                  "80端口能连通（%s次中成功%s次），但网站没有给出应答（%"
                  "s）：服务器上的网站程序可能卡住了。",
                  {std::to_string(http.sent), std::to_string(http.connected), reason});
    } else if (http.sent > 0 && http.connected == 0) {
        list->Add("site-unreachable", ESeverity::kCritical, website,
                  "网站无法访问：80端口%s次连接全部失败，访问网站也失败（%s）。",
                  {std::to_string(http.sent), reason});
    } else {
        list->Add("site-unreachable", ESeverity::kCritical, website, "网站无法访问：%s。", {reason});
    }
}

}  // namespace

void AddSiteFindings(CFindingList* list) {
    const CReport& report = list->Report();
    const CStepRecord* website = report.Find(EReportStep::kWebsite);
    const CStepRecord* httpPort = report.Find(EReportStep::kHttpPort);
    const CPortFacts& http = httpPort ? httpPort->port : kNoPorts;
    AddNameFindings(list, website);
    if (website) AddWebsiteFindings(list, *website, http);
    const CStepRecord* ping = report.Find(EReportStep::kPing);
    if (ping && ping->ping.sent > 0 && ping->ping.received == 0 && http.sent > 0 && http.connected > 0) {
        list->Add("ping-blocked-only", ESeverity::kInfo, *ping,
                  "Ping的%s个请求都没有回应，但80端口能连通：对方只是不回应Ping，并非故障。",
                  {std::to_string(ping->ping.sent)});
    }
    const CStepRecord* ftp = report.Find(EReportStep::kFtpPort);
    if (ftp && ftp->port.sent > 0 && ftp->port.connected == 0) {
        list->Add(
            "ftp-closed", ESeverity::kInfo, *ftp,
            "21端口（FTP）%s次连接全部失败：只提供网站的主机通常不开FTP，一般不影响访问网站。",
            {std::to_string(ftp->port.sent)});
    }
}
