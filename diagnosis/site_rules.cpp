// Whether the site answers: ports 21 and 80, ping, and the website step.
#include "diagnosis/finding_rules.h"
#include "model/step_formats.h"

namespace {

const char kNameNotFoundLead[] = "Visit WebSite Address:";
const char kSiteFailureLead[] = "无法访问网站";

bool StartsWith(std::string_view text, std::string_view lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

// The reason after "无法访问网站http://NAME：".
std::string FailureReason(std::string_view body) {
    const std::string_view line = body.substr(0, body.find_first_of("\r\n"));
    const size_t colon = line.find("：", std::string_view(kSiteFailureLead).size());
    return colon == std::string_view::npos ? Clip(line) : Clip(line.substr(colon + 2));
}

void AddNameFindings(CFindingList* list, const CReportBlock* website) {
    const CParsedReport& report = list->Report();
    const std::string_view body = website ? website->body : std::string_view();
    if (website && StartsWith(body, kNameNotFoundLead)) {
        std::string_view named = body.substr(std::string_view(kNameNotFoundLead).size());
        if (named.compare(0, 7, "http://") == 0) named.remove_prefix(7);
        const std::string name = Clip(named);
        if (body.find('\n') != std::string_view::npos && body.find('\n') + 1 < body.size()) {
            list->Add("dns-timeout", ESeverity::kWarning, *website,
                      "查询域名%s的地址超时：DNS服务器没有及时应答。", {name});
        }
        list->Add("name-not-resolving", ESeverity::kCritical, *website,
                  "域名%s解析不到地址，网站因此无法访问（请检查域名的DNS解析记录）。", {name});
        return;
    }
    if (website && FailureReason(body).find("域名无法解析") != std::string::npos) {
        list->Add("name-not-resolving", ESeverity::kCritical, *website, "域名解析不到地址：%s。",
                  {Clip(body)});
        return;
    }
    const CReportBlock* ping = report.Find(EReportStep::kPing);
    if (!website && ping && SaysHostNotFound(ping->body)) {
        list->Add("name-not-resolving", ESeverity::kCritical, *ping, "Ping找不到该域名的地址：%s",
                  {Clip(ping->body)});
    }
}

void AddWebsiteFindings(CFindingList* list, const CReportBlock& website, const CEchoStats& http) {
    const std::string_view body = website.body;
    const CSiteStatus status = ReadSiteStatus(body);
    if (status.code != 0) {
        list->Add("site-error-status",
                  status.code >= 500 ? ESeverity::kCritical : ESeverity::kWarning, website,
                  "网站有应答，但返回的状态是%s，不是正常的200。", {Clip(status.statusLine)});
        return;
    }
    if (!StartsWith(body, kSiteFailureLead) || list->Has("name-not-resolving")) return;
    const std::string reason = FailureReason(body);
    const bool silent = reason.find("连接超时") != std::string::npos ||
                        reason.find("连接被中断") != std::string::npos;
    if (http.found && http.received > 0 && silent) {
        list->Add("site-stalled", ESeverity::kCritical, website,
                  "80端口能连通（%s次中成功%s次），但网站没有给出应答（%"
                  "s）：服务器上的网站程序可能卡住了。",
                  {std::to_string(http.sent), std::to_string(http.received), reason});
    } else if (http.found && http.received == 0) {
        list->Add("site-unreachable", ESeverity::kCritical, website,
                  "网站无法访问：80端口%s次连接全部失败，访问网站也失败（%s）。",
                  {std::to_string(http.sent), reason});
    } else {
        list->Add("site-unreachable", ESeverity::kCritical, website, "网站无法访问：%s。",
                  {reason});
    }
}

}  // namespace

void AddSiteFindings(CFindingList* list) {
    const CParsedReport& report = list->Report();
    const CReportBlock* website = report.Find(EReportStep::kWebsite);
    const CReportBlock* httpPort = report.Find(EReportStep::kHttpPort);
    const CEchoStats http = httpPort ? ReadEchoStats(httpPort->body) : CEchoStats();
    AddNameFindings(list, website);
    if (website) AddWebsiteFindings(list, *website, http);
    const CReportBlock* ping = report.Find(EReportStep::kPing);
    const CEchoStats echo = ping ? ReadEchoStats(ping->body) : CEchoStats();
    if (echo.found && echo.sent > 0 && echo.received == 0 && http.found && http.received > 0) {
        list->Add("ping-blocked-only", ESeverity::kInfo, *ping,
                  "Ping的%s个请求都没有回应，但80端口能连通：对方只是不回应Ping，并非故障。",
                  {std::to_string(echo.sent)});
    }
    const CReportBlock* ftp = report.Find(EReportStep::kFtpPort);
    const CEchoStats ftpStats = ftp ? ReadEchoStats(ftp->body) : CEchoStats();
    if (ftpStats.found && ftpStats.sent > 0 && ftpStats.received == 0) {
        list->Add(
            "ftp-closed", ESeverity::kInfo, *ftp,
            "21端口（FTP）%s次连接全部失败：只提供网站的主机通常不开FTP，一般不影响访问网站。",
            {std::to_string(ftpStats.sent)});
    }
}
