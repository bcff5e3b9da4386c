#include "collector/console_pages.h"

#include <cstdio>
#include <ctime>

#include "collector/report_intake.h"
#include "collector/text_forms.h"

namespace {

const char* SeverityText(int severity) {
    switch (severity) {
        case 0: return u8"严重";
        case 1: return u8"警告";
        default: return u8"提示";
    }
}

std::string Cell(const std::string& text) { return "<td>" + HtmlEscape(text) + "</td>"; }

std::string Number(double value) {
    if (value < 0) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string SummaryRow(const CReportSummary& r) {
    const std::string link = "/reports/" + UrlEncode(r.ticket);
    std::string row = "<tr>" + Cell(LocalTimeText(r.receivedAt));
    row += "<td><a href=\"" + HtmlEscape(link) + "\">" + HtmlEscape(r.ticket) + "</a></td>";
    row += Cell(r.domain) + Cell(r.publicAddress) + Cell(r.regionLabel);
    row += r.topFinding.empty() ? std::string("<td></td>")
                                : Cell(std::string(SeverityText(r.topSeverity)) + " " + r.topFinding);
    return row + "</tr>\n";
}

std::string FindingsTable(const std::vector<CIntakeFinding>& findings) {
    std::string html = u8"<h2>发现</h2><table><tr><th>级别</th><th>编号</th><th>步骤</th><th>说明</th></tr>\n";
    for (const CIntakeFinding& f : findings)
        html += "<tr>" + Cell(SeverityText(f.severity)) + Cell(f.id) + Cell(std::to_string(f.step)) +
                Cell(f.text) + "</tr>\n";
    return html + "</table>\n";
}

std::string PathTable(const CStoredReport& report) {
    std::string html = u8"<h2>路由逐跳统计</h2>";
    // The chart goes above the numbers, never instead of them; it is drawn with
    // presentation attributes only, so the page's policy needs nothing more for it.
    const std::string chart = ReportChartSvg(report.original, report.contentType == "application/json");
    if (!chart.empty()) html += "<figure id=\"path-chart\">" + chart + "</figure>\n";
    if (!report.lossHopAddress.empty())
        html += u8"<p>丢包起点：" + HtmlEscape(report.lossHopAddress) + " " +
                HtmlEscape(report.lossHopLabel) + "</p>";
    html += u8"<table><tr><th>跳数</th><th>地址</th><th>丢包率 %</th><th>平均 ms</th><th>位置</th></tr>\n";
    for (const CIntakePathRow& r : report.pathRows)
        html += "<tr>" + Cell(std::to_string(r.ttl)) + Cell(r.address) + Cell(Number(r.lossPercent)) +
                Cell(Number(r.averageMs)) + Cell(r.label) + "</tr>\n";
    return html + "</table>\n";
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:1em 2em}table{border-collapse:collapse}"
    "td,th{border:1px solid #ccc;padding:2px 6px;text-align:left;vertical-align:top}"
    "pre{background:#f6f6f6;padding:1em;white-space:pre-wrap}nav form{display:inline}"
    "figure{margin:1em 0;overflow-x:auto}";

}  // namespace

std::string LocalTimeText(long long unixSeconds) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string ConsolePage(const std::string& title, const std::string& user,
                        const std::string& csrf, const std::string& body) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
                       HtmlEscape(title) + "</title><style>" + kStyle + "</style></head><body>\n";
    if (!user.empty())
        html += u8"<nav><a href=\"/\">报告</a> | <a href=\"/fleet\">全网视图</a> | " + HtmlEscape(user) +
                u8" <form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" value=\"" +
                HtmlEscape(csrf) + u8"\"><button type=\"submit\">退出</button></form></nav>\n";
    return html + "<h1>" + HtmlEscape(title) + "</h1>\n" + body + "</body></html>\n";
}

std::string LoginBody(const std::string& csrf, const std::string& message) {
    std::string html;
    if (!message.empty()) html += "<p role=\"alert\">" + HtmlEscape(message) + "</p>";
    return html + u8"<form method=\"post\" action=\"/login\"><input type=\"hidden\" name=\"csrf\" value=\"" +
           HtmlEscape(csrf) +
           u8"\"><p><label>用户 <input name=\"user\" autocomplete=\"username\"></label></p>"
           u8"<p><label>密码 <input name=\"password\" type=\"password\" autocomplete=\"current-password\">"
           u8"</label></p><p><button type=\"submit\">登录</button></p></form>\n";
}

std::string ListBody(const std::string& query, const std::vector<CReportSummary>& reports) {
    std::string html = u8"<form method=\"get\" action=\"/\"><input name=\"q\" size=\"40\" value=\"" +
                       HtmlEscape(query) +
                       u8"\" placeholder=\"报告编号、域名、地址或发现编号\"> <button type=\"submit\">搜索</button></form>\n";
    html += u8"<table id=\"reports\"><tr><th>时间</th><th>报告编号</th><th>域名</th><th>公网地址</th>"
            u8"<th>位置</th><th>最严重的发现</th></tr>\n";
    for (const CReportSummary& r : reports) html += SummaryRow(r);
    html += "</table>\n";
    if (reports.empty()) html += u8"<p>没有报告。</p>\n";
    return html;
}

std::string ReportBody(const CStoredReport& report) {
    const CReportSummary& s = report.summary;
    std::string html = "<p>" + HtmlEscape(LocalTimeText(s.receivedAt)) + u8" · 域名 " +
                       HtmlEscape(s.domain) + u8" · 公网地址 " + HtmlEscape(s.publicAddress) + " " +
                       HtmlEscape(s.regionLabel) + "</p>\n";
    html += FindingsTable(report.findings) + PathTable(report);
    html += u8"<h2>报告原文</h2><pre id=\"report-text\">" + HtmlEscape(ReportTextUtf8(report.original, report.contentType == "application/json")) +
            "</pre>\n";
    return html;
}

std::string FleetBody(int hours, const std::vector<CFleetCell>& cells,
                      const std::vector<CFleetHop>& hops) {
    std::string html = u8"<form method=\"get\" action=\"/fleet\"><label>最近 <input name=\"hours\" size=\"4\" value=\"" +
                       std::to_string(hours) + u8"\"> 小时</label> <button type=\"submit\">查看</button></form>\n";
    html += u8"<h2>发现 × 省份/运营商</h2><table id=\"fleet-counts\"><tr><th>发现</th><th>省份</th>"
            u8"<th>运营商</th><th>报告数</th></tr>\n";
    for (const CFleetCell& c : cells)
        html += "<tr>" + Cell(c.findingId) + Cell(c.province) + Cell(c.carrier) +
                Cell(std::to_string(c.reports)) + "</tr>\n";
    html += u8"</table>\n<h2>path-loss：丢包起点</h2><table id=\"loss-hops\"><tr><th>地址</th><th>位置</th>"
            u8"<th>报告数</th></tr>\n";
    for (const CFleetHop& h : hops)
        html += "<tr>" + Cell(h.address) + Cell(h.label) + Cell(std::to_string(h.reports)) + "</tr>\n";
    return html + "</table>\n";
}
