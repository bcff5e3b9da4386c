// The writer -> reader round trip over every step kind: a step's text, as the program or
// the command writes it (Windows English and Chinese wording, the Linux stand-ins), is
// put in a record, rendered into a report and read back; the facts read back must be the
// ones the text was written from.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/report_json.h"
#include "model/report_text.h"
#include "platform/http_transport.h"
#include "platform/utf8_gbk.h"
#include "probes/extended_checks.h"
#include "probes/local_environment.h"
#include "probes/path_table.h"

namespace {

using nlohmann::json;

const CTextCodec kCodec = {
    [](std::string_view gbk, std::string* utf8) { return ReportGbkToUtf8(std::string(gbk), utf8); },
    [](std::string_view utf8, std::string* gbk) { return ReportUtf8ToGbk(std::string(utf8), gbk); },
};

std::string CertificateText() {
    CServerCertificate certificate;
    certificate.present = true;
    certificate.subject = "CN=www.example.com";
    certificate.issuer = "CN=Example CA";
    certificate.dnsNames = {"www.example.com", "example.com"};
    certificate.notBefore = 1780272000;  // 2026-06-01
    certificate.notAfter = 1811894399;   // 2027-06-01 23:59:59
    certificate.trusted = true;
    return ("HTTP/1.1 200 OK\r\nServer: t\r\n\r\n" + FormatCertificate(certificate, 1796601600)).Bytes();
}

std::string PathText() {
    CPathTrace trace;
    trace.domain = "www.example.com";
    trace.target = "203.0.113.80";
    trace.rounds = 10;
    trace.hops.resize(3);
    for (int round = 0; round < 10; ++round) {
        for (CPathProbeHop& hop : trace.hops) ++hop.sent;
        trace.hops[0].Answer("192.168.1.1", 1.0, "局域网");
        if (round % 2) trace.hops[2].Answer("203.0.113.80", 30.0, "美国");
        if (round < 3) trace.hops[2].Answer("203.0.113.81", 32.0, "美国");
    }
    return (FormatPathTable(trace) + ReverseTraceLine("198.51.100.7")).Bytes();
}

struct CKindCase {
    const char* what;
    const char* name;  // the step's header name
    std::string text;
    const char* facts;  // UTF-8 JSON: every member given must be read back as it is
};

const CKindCase kCases[] = {
    {"whois", "获取域名信息",
     "Domain Name: EXAMPLE.COM\r\nRegistrar: Example Registrar\r\nRegistry Expiry Date: "
     "2027-06-01T00:00:00Z\r\nDomain Status: clientHold https://icann.org/epp#clientHold\r\n",
     u8R"({"source":"whois","expiry":"2027-06-01","statuses":["clientHold"],"registrar":"Example Registrar"})"},
    {"RDAP", "获取域名信息",
     "（whois服务器无应答，以下信息来自RDAP：https://rdap.example/）\r\n注册商：R\r\n到期日期：2027-06-01\r\n"
     "状态：client hold, server transfer prohibited\r\n",
     u8R"({"source":"rdap","server":"https://rdap.example/","expiry":"2027-06-01",
          "statuses":["client hold","server transfer prohibited"],"registrar":"R"})"},
    {"public address", "获取公网IP",
     "您的IP是：[203.0.113.7] 来自：美国\r\n（其他来源核对：本机公网IP为198.51.100.2（来源：a、b），与上面的结果不一致）\r\n",
     u8R"({"address":"203.0.113.7","label":"美国","checkedAddress":"198.51.100.2","mismatch":true})"},
    {"Chinese ipconfig", "获取本地网络信息",
     "\r\nWindows IP 配置\r\n\r\n   主机名  . . . . . . . . . . . . . : PC\r\n\r\n以太网适配器 以太网:\r\n\r\n"
     "   物理地址. . . . . . . . . . . . . : AA-BB-CC-DD-EE-FF\r\n"
     "   本地链接 IPv6 地址. . . . . . . . : fe80::1%12(首选) \r\n"
     "   IPv4 地址 . . . . . . . . . . . . : 192.168.1.5(首选) \r\n"
     "   默认网关. . . . . . . . . . . . . : 192.168.1.1\r\n"
     "   DHCP 服务器 . . . . . . . . . . . : 192.168.1.1\r\n"
     "   DNS 服务器  . . . . . . . . . . . : 192.168.1.1\r\n                                       8.8.8.8\r\n",
     u8R"({"hostName":"PC","adapters":[{"name":"以太网适配器 以太网","mac":"AA-BB-CC-DD-EE-FF",
          "ipv4":["192.168.1.5"],"ipv6":["fe80::1%12"],"gateways":["192.168.1.1"],
          "dhcpServers":["192.168.1.1"],"dnsServers":["192.168.1.1","8.8.8.8"]}]})"},
    {"stand-in ipconfig", "获取本地网络信息",
     "\nLinux IP Configuration\n\n   Host Name . . . . . . . . . . . . : vm\n   DNS Servers . . . . . . . "
     ". . . . : 127.0.0.1\n\nEthernet adapter eth0:\n\n   IPv4 Address. . . . . . . . . . . : "
     "10.0.0.2(Preferred)\n   Default Gateway . . . . . . . . . : 10.0.0.1\n",
     u8R"({"hostName":"vm","dnsServers":["127.0.0.1"],"adapters":[{"name":"Ethernet adapter eth0",
          "ipv4":["10.0.0.2"],"gateways":["10.0.0.1"]}]})"},
    {"psping", "检测HTTP（80）端口",
     "TCP connect to 93.184.216.34:80:\r\n3 iterations (warmup 1) connecting test:\r\n"
     "Connecting to 93.184.216.34:80 (warmup): from 10.0.0.5:50000: 12.34ms\r\n"
     "Connecting to 93.184.216.34:80: from 10.0.0.5:50001: 11.5ms\r\n"
     "Connecting to 93.184.216.34:80: The remote computer refused the network connection.\r\n\r\n"
     "TCP connect statistics for 93.184.216.34:80:\r\n  Sent = 2, Received = 1, Lost = 1 (50% loss),\r\n",
     u8R"({"port":80,"target":"93.184.216.34","sent":2,"connected":1,"timesMs":[11.5,-1]})"},
    {"Chinese ping", "Ping命令",
     "\r\n正在 Ping a.com [1.2.3.4] 具有 32 字节的数据:\r\n来自 1.2.3.4 的回复: 字节=32 时间=2ms TTL=52\r\n"
     "请求超时。\r\n\r\n1.2.3.4 的 Ping 统计信息:\r\n    数据包: 已发送 = 2，已接收 = 1，丢失 = 1 (50% 丢失)，\r\n"
     "往返行程的估计时间(以毫秒为单位):\r\n    最短 = 2ms，最长 = 2ms，平均 = 2ms\r\n",
     u8R"({"target":"1.2.3.4","sent":2,"received":1,"timesMs":[2,-1],"averageMs":2,"nameUnresolved":false})"},
    {"English ping, no name", "Ping命令",
     "Ping request could not find host a.b. Please check the name and try again.\r\n",
     u8R"({"nameUnresolved":true,"sent":0,"timesMs":[]})"},
    {"Chinese tracert", "Tracert命令",
     "\r\n通过最多 30 个跃点跟踪\r\n到 www.example.com [127.0.0.1] 的路由:\r\n\r\n"
     "  1    <1 毫秒   <1 毫秒   <1 毫秒 192.168.1.1\r\n  2     *        *        *     请求超时。\r\n",
     u8R"({"target":"127.0.0.1","hops":[{"ttl":1,"address":"192.168.1.1","timesMs":[1,1,1]},
          {"ttl":2,"address":"","timesMs":[-1,-1,-1]}]})"},
    {"web answer", "检测网站访问状态", "HTTP/1.1 200 OK\r\nDate: x\r\n\r\n",
     u8R"({"status":200,"statusLine":"HTTP/1.1 200 OK","headers":"HTTP/1.1 200 OK\r\nDate: x\r\n\r\n","failureId":""})"},
    {"web error status", "检测网站访问状态", "网站返回的状态不是200：\r\nHTTP/1.1 503 Busy\r\n\r\n",
     u8R"({"status":503,"statusLine":"HTTP/1.1 503 Busy"})"},
    {"web stalled", "检测网站访问状态", "无法访问网站http://a.com：连接超时\r\n",
     u8R"({"status":0,"failureId":"web-unreachable","failure":"连接超时","failureKind":"silent"})"},
    {"web name not found", "检测网站访问状态",
     "Visit WebSite Address:http://a.com\r\n解析a.com的主机IP超时：DNS服务器5秒内没有应答\r\n",
     u8R"({"failureId":"web-name-not-found","failure":"http://a.com","lookupTimedOut":true})"},
    {"DNS", "DNS解析",
     "www.example.com：\r\n  CNAME www.example.com -> e.cdn.net（TTL 60）\r\n  A 203.0.113.80（TTL 300）\r\n"
     "  AAAA记录查询失败：查询超时\r\n系统使用的DNS服务器：192.168.1.1、8.8.8.8\r\n",
     u8R"({"records":[{"name":"www.example.com","type":"CNAME","value":"e.cdn.net","ttl":60},
          {"name":"www.example.com","type":"A","value":"203.0.113.80","ttl":300}],
          "failures":["AAAA记录查询失败：查询超时"],"timedOutLine":"AAAA记录查询失败：查询超时",
          "servers":["192.168.1.1","8.8.8.8"],"verdicts":["dns-lookup-timeout"]})"},
    {"HTTPS", "HTTPS访问及证书", CertificateText(),
     u8R"({"answer":{"status":200},"subject":"CN=www.example.com","issuer":"CN=Example CA",
          "notBefore":"2026-06-01 00:00:00 UTC","notAfter":"2027-06-01 23:59:59 UTC",
          "altNames":["www.example.com","example.com"],"daysLeft":176,
          "verdicts":["cert-days-left","cert-trusted","cert-name-mismatch"]})"},
    {"IPv6", "IPv6连通性", "2001:db8::1：\r\n  80端口：连接成功，用时1.25ms\r\n  443端口：连接超时\r\n",
     u8R"({"connects":[{"address":"2001:db8::1","port":80,"connected":true,"timeMs":1.25},
          {"address":"2001:db8::1","port":443,"connected":false,"timeMs":-1}]})"},
    {"path statistics", "路由逐跳统计", PathText(),
     u8R"({"ipv4":{"target":"203.0.113.80","rounds":10,"intervalSeconds":1,"rows":[
          {"ttl":1,"address":"192.168.1.1","lossPercent":0,"sent":10,"averageMs":1,"label":"局域网"},
          {"ttl":2,"address":"???","lossPercent":100,"sent":10,"averageMs":-1,"label":""},
          {"ttl":3,"address":"203.0.113.81","lossPercent":20,"sent":10,"averageMs":32,"label":"美国"},
          {"ttl":3,"address":"203.0.113.80","lossPercent":20,"averageMs":30,"label":"美国"}]},
          "ipv6":null,"reverseTraceAddress":"198.51.100.7"})"},
    {"egress", "出口IP与DNS",
     "公网IPv4地址：\r\n  ip.sb：203.0.113.9\r\n公网IPv6地址：\r\n  本机没有IPv6公网地址，未查询\r\n"
     "本机DNS的出口地址（whoami.example）：198.51.100.53（美国）\r\nwww.example.com的A记录：\r\n"
     "  本机DNS：198.18.0.5\r\n  223.5.5.5：203.0.113.80、203.0.113.81\r\n"
     "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征\r\n",
     u8R"({"publicAddresses":[{"source":"ip.sb","addresses":["203.0.113.9"],"failure":""}],
          "resolverEgress":"198.51.100.53","dnsAnswers":[{"source":"本机DNS","addresses":["198.18.0.5"]},
          {"source":"223.5.5.5","addresses":["203.0.113.80","203.0.113.81"]}],
          "verdicts":["egress-no-ipv6","dns-system-fake-ip"]})"},
    {"environment", "代理与本机网络环境",
     ("代理设置：\r\n  HTTP代理：http://127.0.0.1:7890\r\nhosts文件（/etc/hosts）：\r\n  203.0.113.9 www.example.com\r\n"
      "已启用的虚拟网卡：\r\n  wg0（WireGuard）\r\n访问该网站的流量经过虚拟网卡wg0\r\n" +
      ClockLine("HTTP/1.1 200 OK\r\nDate: Tue, 08 Dec 2026 10:00:00 GMT\r\n\r\n", 1796727725).Bytes()),
     u8R"({"proxy":"HTTP代理：http://127.0.0.1:7890","hostsLines":["203.0.113.9 www.example.com"],
          "vpnAdapter":"wg0","clockOffsetSeconds":3725,"verdicts":["route-vpn","clock-skew"]})"},
};

json FactsOf(const CReport& report) {
    return json::parse(WriteReportJson(report, kCodec))["steps"][0]["facts"];
}

// Every member the expectation names, in objects and lists of objects, as it is there.
void ExpectFacts(const json& actual, const json& expected, const std::string& where) {
    if (expected.is_object()) {
        for (const auto& [key, value] : expected.items()) ExpectFacts(actual[key], value, where + "." + key);
    } else if (expected.is_array() && !expected.empty() && expected[0].is_object()) {
        ASSERT_EQ(actual.size(), expected.size()) << where;
        for (size_t i = 0; i < expected.size(); ++i) ExpectFacts(actual[i], expected[i], where);
    } else {
        EXPECT_EQ(actual, expected) << where;
    }
}

TEST(ReportModel, EveryStepKindReadsBackTheFactsItWasWrittenFrom) {
    for (const CKindCase& c : kCases) {
        CReport written;
        written.isReport = true;
        written.steps.push_back({});
        written.steps[0].number = StepEntry(StepOfName(c.name))->number;
        written.steps[0].name = c.name;
        written.steps[0].ended = "2026-12- 8 10: 0: 0";
        written.steps[0].text = c.text;
        const CReport read = ReadReportText(RenderReportText(written));
        ASSERT_EQ(read.steps.size(), 1u) << c.what;
        EXPECT_EQ(read.steps[0].text, c.text) << c.what;
        const json facts = FactsOf(read);
        ExpectFacts(facts, json::parse(c.facts), c.what);
        // The facts survive the JSON form too.
        CReport fromJson;
        std::string error;
        ASSERT_TRUE(ReadReportJson(WriteReportJson(read, kCodec), kCodec, &fromJson, &error)) << c.what;
        EXPECT_EQ(FactsOf(fromJson), facts) << c.what;
    }
}

// Bytes UTF-8 cannot carry back, and bytes outside the blocks, still come back from the
// JSON form byte for byte.
TEST(ReportModel, JsonGivesBackBytesUtf8CannotCarry) {
    const std::string header = "\r\n第1步---获取域名信息：2026-12- 8 10: 0: 0\r\n";
    const std::string separator = "\r\n \r\n" + std::string(69, '*');
    const struct {
        const char* what;
        std::string bytes;
        const char* rawField;  // the field that must carry the exact bytes, or ""
    } kRawCases[] = {
        {"bytes that are no GBK", kReportBanner + header + "peer \xff\xfe\x81 end\r\n" + separator, "textGbk"},
        {"a four-byte GB18030 character", kReportBanner + header + "\x81\x30\x81\x30\r\n" + separator, "textGbk"},
        {"bytes before the banner and a tail", std::string("saved by mail\r\n") + kReportBanner + header +
             "x\r\n" + separator + "\r\n内存不足，检测已中止。\r\n", ""},
        {"a report cut inside a block", kReportBanner + header + "half a li", ""},
        {"lines ending in LF alone", "======================= 开始检测 =======================\n\n第1步---获取域名信息："
             "2026-12- 8 10: 0: 0\nx\n\n \n" + std::string(69, '*'), ""},
        {"no report at all", "\xff just bytes", "leadingGbk"},
    };
    for (const auto& c : kRawCases) {
        const std::string written = WriteReportJson(ReadReportText(c.bytes), kCodec);
        CReport back;
        std::string error;
        ASSERT_TRUE(ReadReportJson(written, kCodec, &back, &error)) << c.what << error;
        EXPECT_EQ(RenderReportText(back), c.bytes) << c.what;
        if (*c.rawField) {
            EXPECT_NE(written.find(c.rawField), std::string::npos) << c.what;
        }
    }
}

}  // namespace
