// The findings the engine names for reports built from a healthy one with one block
// changed, and what it says of reports that are cut short, bent or no report at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "diagnosis/findings.h"

namespace {

const char* const kNames[] = {"",
                              "获取域名信息",
                              "获取公网IP",
                              "获取本地网络信息",
                              "刷新DNS缓存",
                              "检测FTP（21）端口",
                              "检测HTTP（80）端口",
                              "Ping命令",
                              "Tracert命令",
                              "检测网站访问状态",
                              "DNS解析",
                              "HTTPS访问及证书",
                              "IPv6连通性",
                              "路由逐跳统计",
                              "出口IP与DNS",
                              "代理与本机网络环境"};

std::string Psping(int port, int received) {
    return "TCP connect statistics for 93.184.216.34:" + std::to_string(port) +
           ":\r\n  Sent = 10, Received = " + std::to_string(received) +
           ", Lost = " + std::to_string(10 - received) + " (0% loss),\r\n";
}

std::map<int, std::string> HealthyBodies() {
    return {
        {1,
         "Domain Name: A.COM\r\n   Registry Expiry Date: 2028-01-01T00:00:00Z\r\n   Domain Status: "
         "ok\r\n"},
        {2, "您的IP是：[198.51.100.7] 来自：本机"},
        {3, "\r\nWindows IP Configuration\r\n"},
        {4, "\r\nWindows IP Configuration\r\n\r\nSuccessfully flushed the DNS Resolver Cache.\r\n"},
        {5, Psping(21, 10)},
        {6, Psping(80, 10)},
        {7,
         "\r\nPinging a.com [93.184.216.34] with 32 bytes of data:\r\nReply from 93.184.216.34: "
         "bytes=32 time=20ms "
         "TTL=52\r\n\r\nPing statistics for 93.184.216.34:\r\n    Packets: Sent = 4, Received = 4, "
         "Lost = 0 (0% loss),"
         "\r\nApproximate round trip times in milli-seconds:\r\n    Minimum = 19ms, Maximum = "
         "21ms, Average = 20ms\r\n"},
        {8,
         "\r\nTracing route to a.com [93.184.216.34]\r\nover a maximum of 30 hops:\r\n\r\n"
         "  1    <1 ms    <1 ms    <1 ms  192.168.1.1 \r\n  2    20 ms    20 ms    21 ms  "
         "93.184.216.34 \r\n\r\n"
         "Trace complete.\r\n"},
        {9, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"},
    };
}

std::string Report(const std::map<int, std::string>& bodies) {
    std::string report = "======================= 开始检测 =======================\r\n";
    for (const auto& block : bodies) {
        report += "\r\n第" + std::to_string(block.first) + "步---" + kNames[block.first] +
                  "：2026-12- 7 10: 0: 0\r\n";
        report += block.second + "\r\n \r\n" + std::string(69, '*');
    }
    return report;
}

std::set<std::string> Ids(const CAnalysis& analysis) {
    std::set<std::string> ids;
    for (const CFinding& finding : analysis.findings) ids.insert(finding.id);
    return ids;
}

struct CRuleCase {
    const char* what;
    std::map<int, std::string> changed;
    std::set<std::string> ids;
};

const std::string kPathTitle = "路由逐跳统计：a.com [93.184.216.34]，30轮，每轮间隔1秒\r\n";

const CRuleCase kRuleCases[] = {
    {"healthy", {}, {"all-clear"}},
    {"server error",
     {{9, "网站返回的状态不是200：\r\nHTTP/1.1 503 Service Unavailable\r\n\r\n"}},
     {"site-error-status"}},
    {"not found",
     {{9, "网站返回的状态不是200：\r\nHTTP/1.1 404 Not Found\r\n\r\n"}},
     {"site-error-status"}},
    {"port 80 closed, site fails",
     {{6, Psping(80, 0)}, {9, "无法访问网站http://a.com：连接被拒绝\r\n"}},
     {"site-unreachable"}},
    {"connects, never answers", {{9, "无法访问网站http://a.com：连接超时\r\n"}}, {"site-stalled"}},
    {"name not found",
     {{5, "Cannot resolve a.com: Name or service not known.\r\n"},
      {6, "Cannot resolve a.com.\r\n"},
      {7, "Ping request could not find host a.com. Please check the name and try again.\r\n"},
      {8, "Unable to resolve target system name a.com.\r\n"},
      {9, "Visit WebSite Address:http://a.com"}},
     {"name-not-resolving"}},
    {"name lookup timed out",
     {{9, "Visit WebSite Address:http://a.com\r\n查询域名超时\r\n"}},
     {"name-not-resolving", "dns-timeout"}},
    {"expired", {{1, "Registry Expiry Date: 2026-11-30T00:00:00Z\r\n"}}, {"domain-expired"}},
    {"expiring in 30 days",
     {{1, "Registry Expiry Date: 2027-01-06T00:00:00Z\r\n"}},
     {"domain-expiring"}},
    {"31 days left is fine",
     {{1, "Registry Expiry Date: 2027-01-07T00:00:00Z\r\n"}},
     {"all-clear"}},
    {"on hold",
     {{1, "Domain Status: serverHold https://icann.org/epp#serverHold\r\n"}},
     {"domain-on-hold"}},
    {"Chinese ping blocked",
     {{7,
       "\r\n正在 Ping a.com [93.184.216.34] 具有 32 字节的数据:\r\n请求超时。\r\n\r\n"
       "93.184.216.34 的 Ping 统计信息:\r\n    数据包: 已发送 = 4，已接收 = 0，丢失 = 4 (100% "
       "丢失)，\r\n"}},
     {"ping-blocked-only", "all-clear"}},
    {"Chinese route stops, site fine",
     {{8,
       "\r\n通过最多 30 个跃点跟踪\r\n到 a.com [93.184.216.34] 的路由:\r\n\r\n  1    <1 毫秒   <1 "
       "毫秒   <1 毫秒 192.168.1.1\r\n"
       "  2     *        *        *     请求超时。\r\n  3     *        *        *     "
       "请求超时。\r\n\r\n跟踪完成。\r\n"}},
     {"route-stops", "all-clear"}},
    {"route stops, site down",
     {{6, Psping(80, 0)},
      {8,
       "Tracing route to 93.184.216.34 over a maximum of 30 hops\n\n  1  1 ms  1 ms  1 ms  "
       "10.0.0.1\n"
       "  2     *        *        *     Request timed out.\n"},
      {9, "无法访问网站http://a.com：连接超时\r\n"}},
     {"route-stops", "site-unreachable"}},
    {"slow ping",
     {{7,
       "    Packets: Sent = 4, Received = 4, Lost = 0 (0% loss),\r\n    Minimum = 300ms, Maximum = "
       "400ms, Average = 350ms\r\n"}},
     {"high-latency"}},
    {"ftp closed", {{5, Psping(21, 0)}}, {"ftp-closed", "all-clear"}},
    {"address sources disagree",
     {{2,
       "您的IP是：[1.1.1.1] "
       "来自：本机\r\n（其他来源核对：本机公网IP为198.51.100.7（来源：myip.ipip.net、4.ipw."
       "cn），与上面的结果不一致）\r\n"}},
     {"public-ip-mismatch"}},
    {"fake IP",
     {{10, "a.com：\r\n  A 198.18.0.5（TTL 1）\r\n系统使用的DNS服务器：127.0.0.1\r\n"}},
     {"dns-fake-ip"}},
    {"private answer", {{10, "a.com：\r\n  A 10.0.0.5（TTL 60）\r\n"}}, {"dns-private-answer"}},
    {"DNS says no such name", {{10, "a.com：\r\n  域名不存在\r\n"}}, {"name-not-resolving"}},
    {"DNS times out",
     {{10, "a.com：\r\n  A记录查询失败：查询超时\r\n  AAAA记录查询失败：查询超时\r\n"}},
     {"dns-timeout"}},
    {"bad certificate",
     {{11,
       "HTTP/1.1 200 "
       "OK\r\n\r\n证书主题：CN=other.com\r\n证书颁发者：CN=Self\r\n有效期自：2020-01-01 00:00:00 "
       "UTC\r\n"
       "有效期至：2021-01-01 00:00:00 UTC\r\n证书已过期\r\n证书不受信任\r\n证书与域名不匹配\r\n"}},
     {"cert-expired", "cert-untrusted", "cert-name-mismatch"}},
    {"certificate expiring",
     {{11, "证书将于9天后过期\r\n证书受系统信任\r\n证书与域名匹配\r\n"}},
     {"cert-expiring"}},
    {"certificate fine",
     {{11, "证书将于90天后过期\r\n证书受系统信任\r\n证书与域名匹配\r\n"}},
     {"all-clear"}},
    {"IPv6 broken",
     {{12, "2001:db8::5：\r\n  80端口：连接超时\r\n  443端口：连接超时\r\n"}},
     {"ipv6-broken"}},
    {"IPv6 fine",
     {{12, "2001:db8::5：\r\n  80端口：连接成功，用时1.00ms\r\n  443端口：连接超时\r\n"}},
     {"all-clear"}},
    {"no IPv6", {{12, "该域名没有IPv6地址\r\n"}}, {"all-clear"}},
    {"loss persists from hop 2",
     {{13, kPathTitle +
               "  1.  192.168.1.1    0.0%  30  1.0  1.0  1.0  1.0  0.0  局域网\r\n"
               "  2.  61.140.0.1    40.0%  30  9.0  9.0  9.0  9.0  0.0  中国 广东省 电信\r\n"
               "  3.  93.184.216.34 40.0%  30  20.0  20.0  20.0  20.0  0.0  美国\r\n"}},
     {"path-loss"}},
    {"loss at one router only",
     {{13, kPathTitle +
               "  1.  192.168.1.1    0.0%  30  1.0  1.0  1.0  1.0  0.0  局域网\r\n"
               "  2.  61.140.0.1    60.0%  30  9.0  9.0  9.0  9.0  0.0  中国 广东省 电信\r\n"
               "  3.  93.184.216.34  0.0%  30  20.0  20.0  20.0  20.0  0.0  美国\r\n"}},
     {"path-loss-intermediate-only", "all-clear"}},
    {"latency jump at hop 3",
     {{13, kPathTitle +
               "  1.  192.168.1.1    0.0%  30  1.0  1.0  1.0  1.0  0.0  局域网\r\n"
               "  2.  61.140.0.1     0.0%  30  9.0  9.0  9.0  9.0  0.0  中国 广东省 电信\r\n"
               "  3.  202.97.0.1     0.0%  30  190.0  190.0  190.0  190.0  0.0  中国 电信\r\n"
               "  4.  93.184.216.34  0.0%  30  195.0  195.0  195.0  195.0  0.0  美国\r\n"}},
     {"high-latency"}},
    {"resolver hijack",
     {{14, "本机DNS说域名不存在，而公共DNS有结果，疑似DNS劫持或污染\r\n"}},
     {"dns-hijack-suspected"}},
    {"resolvers differ",
     {{14, "解析结果因DNS服务器而异（使用CDN按地区调度时属正常）\r\n"}},
     {"dns-answers-differ", "all-clear"}},
    {"resolvers agree", {{14, "各DNS服务器的解析结果一致\r\n"}}, {"all-clear"}},
    {"proxy, VPN, hosts and clock",
     {{15,
       "HTTP代理：http://127.0.0.1:7890\r\n203.0.113.9 "
       "www.a.com\r\n访问该网站的流量经过虚拟网卡wg0\r\n"
       "本机时间与服务器相差3600秒\r\n"}},
     {"proxy-active", "vpn-route", "hosts-override", "clock-skew"}},
    {"clean machine", {{15, "未设置代理\r\nhosts文件中没有该域名\r\n"}}, {"all-clear"}},
    {"no proxy in use, adapters listed with their addresses",
     {{15,
       "WinINet代理：无\r\n自动检测代理：开启\r\nWinHTTP代理：直接连接\r\n"
       "10.8.0.2 wg0\r\n10.8.0.2 10.8.0.1\r\n"}},
     {"all-clear"}},
    {"a PAC file and an environment proxy",
     {{15, "自动配置脚本（PAC）：http://wpad.corp/proxy.pac\r\nhttps_proxy=10.0.0.1:3128\r\n"}},
     {"proxy-active"}},
};

TEST(Findings, NamesEachFaultAndNothingElse) {
    for (const CRuleCase& c : kRuleCases) {
        std::map<int, std::string> bodies = HealthyBodies();
        for (const auto& change : c.changed) bodies[change.first] = change.second;
        const CAnalysis analysis = AnalyzeReport(Report(bodies));
        EXPECT_TRUE(analysis.isReport) << c.what;
        EXPECT_EQ(Ids(analysis), c.ids) << c.what;
        for (const CFinding& finding : analysis.findings) {
            EXPECT_FALSE(finding.text.empty()) << c.what;
            if (finding.id == "all-clear") continue;
            EXPECT_TRUE(c.changed.count(finding.step)) << c.what << ": " << finding.id;
        }
        EXPECT_TRUE(std::is_sorted(
            analysis.findings.begin(), analysis.findings.end(),
            [](const CFinding& a, const CFinding& b) { return a.severity < b.severity; }))
            << c.what;
    }
}

TEST(Findings, EvidenceNamesTheNumbers) {
    std::map<int, std::string> bodies = HealthyBodies();
    bodies[9] = "网站返回的状态不是200：\r\nHTTP/1.1 503 Service Unavailable\r\n";
    bodies[1] = "Registry Expiry Date: 2026-12-20T00:00:00Z\r\n";
    const CAnalysis analysis = AnalyzeReport(Report(bodies));
    ASSERT_EQ(analysis.findings.size(), 2u);
    EXPECT_EQ(analysis.findings[0].id, "site-error-status");
    EXPECT_EQ(analysis.findings[0].severity, ESeverity::kCritical);
    EXPECT_EQ(analysis.findings[0].step, 9);
    EXPECT_NE(analysis.findings[0].text.find("HTTP/1.1 503 Service Unavailable"),
              std::string::npos);
    EXPECT_EQ(analysis.findings[1].id, "domain-expiring");
    EXPECT_NE(analysis.findings[1].text.find("2026-12-20"), std::string::npos);
    EXPECT_NE(analysis.findings[1].text.find("13天"), std::string::npos);
}

struct CShapeCase {
    const char* what;
    std::string bytes;
    bool isReport;
    std::set<std::string> ids;
    const char* note;  // part of a note that must be there; "" for none at all
};

std::string Healthy() { return Report(HealthyBodies()); }

std::string WithLfOnly(std::string text) {
    std::string out;
    for (char ch : text)
        if (ch != '\r') out += ch;
    return out;
}

const CShapeCase kShapeCases[] = {
    {"empty file", "", false, {}, "不是检测报告"},
    {"some other text", "GET / HTTP/1.1\r\nHost: a\r\n\r\n", false, {}, "不是检测报告"},
    {"banner only",
     "======================= 开始检测 =======================\r\n",
     true,
     {},
     "没有第1步"},
    {"cut inside step 9", Healthy().substr(0, Healthy().size() - 80), true, {}, "在第9步中途结束"},
    {"cut inside the ping statistics",
     Healthy().substr(0, Healthy().find("Received = 4")),
     true,
     {},
     "在第7步中途结束"},
    {"passed through a mail program (LF only)", WithLfOnly(Healthy()), true, {"all-clear"}, ""},
    {"an unknown step",
     Healthy() + "\r\n第10步---将来的步骤：2026-12- 7 10: 0: 0\r\nx\r\n \r\n" +
         std::string(69, '*'),
     true,
     {"all-clear"},
     "第10步不是本程序已知的步骤"},
    {"a second run appended", Healthy() + "\r\n" + Healthy(), true, {"all-clear"}, ""},
    {"garbage after the blocks",
     Healthy() + "\r\n第x步",
     true,
     {"all-clear"},
     "第9步之后的内容不是报告的格式"},
    {"a broken header",
     Healthy().substr(0, Healthy().find("第7步")) + "第7步---Ping命令",
     true,
     {},
     "不是报告的格式"},
};

TEST(Findings, ReportsOfEveryShapeAreJudgedSafely) {
    for (const CShapeCase& c : kShapeCases) {
        const CAnalysis analysis = AnalyzeReport(c.bytes);
        EXPECT_EQ(analysis.isReport, c.isReport) << c.what;
        EXPECT_EQ(Ids(analysis), c.ids) << c.what;
        std::string notes;
        for (const std::string& note : analysis.notes) notes += note + "|";
        if (*c.note) {
            EXPECT_NE(notes.find(c.note), std::string::npos) << c.what << ": " << notes;
        } else {
            EXPECT_TRUE(notes.empty()) << c.what << ": " << notes;
        }
    }
}

TEST(Findings, DiagnosisBlockFollowsTheReportGrammar) {
    std::map<int, std::string> bodies = HealthyBodies();
    bodies[5] = Psping(21, 0);
    const std::string block =
        DiagnosisBlock(AnalyzeReport(Report(bodies)), 13, "2026-12- 7 10: 1: 2");
    EXPECT_EQ(block.substr(0, block.find("[")), "\r\n第13步---诊断结论：2026-12- 7 10: 1: 2\r\n");
    EXPECT_NE(block.find("[提示] 检测没有发现问题"), std::string::npos);
    EXPECT_NE(block.find("\r\n[提示] 21端口"), std::string::npos);
    EXPECT_EQ(block.substr(block.size() - 74), "\r\n \r\n" + std::string(69, '*'));
    // A report carrying the block reads as before: the block is not judged again.
    EXPECT_EQ(Ids(AnalyzeReport(Report(bodies) + block)),
              (std::set<std::string>{"all-clear", "ftp-closed"}));
}

}  // namespace
