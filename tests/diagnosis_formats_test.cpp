// The step readers of the findings engine, one table per format, with the wording of
// English and Chinese Windows and of the Linux stand-ins.
#include <gtest/gtest.h>

#include "diagnosis/path_loss.h"
#include "model/step_formats.h"

namespace {

struct CEchoCase {
    const char* what;
    const char* body;
    bool found;
    int sent, received;
    double averageMs;
};

const CEchoCase kEchoCases[] = {
    {"English ping, all lost",
     "Pinging a.com [1.2.3.4] with 32 bytes of data:\r\nRequest timed out.\r\n\r\nPing statistics "
     "for 1.2.3.4:\r\n"
     "    Packets: Sent = 4, Received = 0, Lost = 4 (100% loss),\r\n",
     true, 4, 0, -1},
    {"Chinese ping, all answered",
     "正在 Ping a.com [1.2.3.4] 具有 32 字节的数据:\r\n来自 1.2.3.4 的回复: 字节=32 时间=2ms "
     "TTL=52\r\n\r\n"
     "1.2.3.4 的 Ping 统计信息:\r\n    数据包: 已发送 = 4，已接收 = 4，丢失 = 0 (0% 丢失)，\r\n"
     "往返行程的估计时间(以毫秒为单位):\r\n    最短 = 1ms，最长 = 3ms，平均 = 212ms\r\n",
     true, 4, 4, 212},
    {"Chinese ping, all lost",
     "请求超时。\r\n    数据包: 已发送 = 4，已接收 = 0，丢失 = 4 (100% 丢失)，\r\n", true, 4, 0,
     -1},
    {"stand-in psping",
     "TCP connect statistics for 127.0.0.1:80:\n  Sent = 10, Received = 9, Lost = 1 (10% loss),\n"
     "  Minimum = 0.09ms, Maximum = 0.15ms, Average = 0.25ms\n",
     true, 10, 9, 0.25},
    {"English ping, name not found",
     "Ping request could not find host a.b. Please check the name and try again.\r\n", false, 0, 0,
     -1},
    {"psping missing", "找不到psping程序\r\n", false, 0, 0, -1},
    {"statistics cut off", "    Packets: Sent = 4, Rec", false, 0, 0, -1},
};

TEST(EchoStats, ReadsEveryWording) {
    for (const CEchoCase& c : kEchoCases) {
        const CEchoStats stats = ReadEchoStats(c.body);
        EXPECT_EQ(stats.found, c.found) << c.what;
        if (!c.found) continue;
        EXPECT_EQ(stats.sent, c.sent) << c.what;
        EXPECT_EQ(stats.received, c.received) << c.what;
        EXPECT_DOUBLE_EQ(stats.averageMs, c.averageMs) << c.what;
    }
}

TEST(EchoStats, NamesNotFoundInEveryWording) {
    for (const char* body :
         {"Ping request could not find host a.b. Please check the name and try again.",
          "Ping 请求找不到主机 a.b。请检查该名称，然后重试。",
          "Unable to resolve target system name a.b.", "无法解析目标系统名称 a.b。",
          "Cannot resolve a.b: Name or service not known."}) {
        EXPECT_TRUE(SaysHostNotFound(body)) << body;
    }
    EXPECT_FALSE(SaysHostNotFound("Reply from 1.2.3.4: bytes=32 time=1ms TTL=64"));
}

struct CTraceCase {
    const char* what;
    const char* body;
    const char* target;
    std::vector<std::pair<int, std::string>> hops;  // number, address
};

const CTraceCase kTraceCases[] = {
    {"English Windows",
     "\r\nTracing route to a.com [93.184.216.34]\r\nover a maximum of 30 hops:\r\n\r\n"
     "  1    <1 ms    <1 ms    <1 ms  192.168.1.1 \r\n  2     *        *        *     Request "
     "timed out.\r\n"
     "  3    12 ms    11 ms    13 ms  93.184.216.34 \r\n\r\nTrace complete.\r\n",
     "93.184.216.34",
     {{1, "192.168.1.1"}, {2, ""}, {3, "93.184.216.34"}}},
    {"Chinese Windows",
     "\r\n通过最多 30 个跃点跟踪\r\n到 a.com [93.184.216.34] 的路由:\r\n\r\n"
     "  1    <1 毫秒   <1 毫秒   <1 毫秒 192.168.1.1\r\n  2     *        *        *     "
     "请求超时。\r\n"
     "  3     *       21 毫秒     *     10.0.0.9\r\n\r\n跟踪完成。\r\n",
     "93.184.216.34",
     {{1, "192.168.1.1"}, {2, ""}, {3, "10.0.0.9"}}},
    {"stand-in, numeric target",
     "Tracing route to 10.0.0.5 over a maximum of 30 hops\n\n  1     1 ms     2 ms     1 ms  "
     "10.0.0.1\n"
     " 12     *        *        *     Request timed out.\n\nTrace complete.\n",
     "10.0.0.5",
     {{1, "10.0.0.1"}, {12, ""}}},
    {"IPv6 target",
     "Tracing route to a.com [2001:db8::5]\nover a maximum of 30 hops:\n\n  1    <1 ms  *  2 ms  "
     "2001:db8::1\n",
     "2001:db8::5",
     {{1, "2001:db8::1"}}},
    {"unresolvable", "Unable to resolve target system name a.b.\r\n", "", {}},
};

TEST(Trace, ReadsHopsAndTarget) {
    for (const CTraceCase& c : kTraceCases) {
        const CTrace trace = ReadTrace(c.body);
        EXPECT_EQ(trace.target, c.target) << c.what;
        ASSERT_EQ(trace.hops.size(), c.hops.size()) << c.what;
        for (size_t i = 0; i < c.hops.size(); ++i) {
            EXPECT_EQ(trace.hops[i].number, c.hops[i].first) << c.what;
            EXPECT_EQ(trace.hops[i].address, c.hops[i].second) << c.what;
        }
    }
}

TEST(PathTable, ReadsEveryColumnAndSilentHops) {
    const char* body =
        "路由逐跳统计：www.example.com [203.0.113.5]，30轮，每轮间隔1秒\r\n"
        "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n"
        "  1.  192.168.1.1         0.0%      30    0.8     1.1     0.6     3.2     0.5  局域网\r\n"
        "  2.  ???               100.0%      30\r\n"
        "      10.9.9.9\r\n"
        "  3.  61.140.0.1         10.0%      30   12.3    13.0    11.8    25.4     2.9  中国 "
        "广东省 广州市 电信\r\n"
        "请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 198.51.100.7\r\n";
    const std::vector<CPathHop> hops = ReadPathTable(body);
    ASSERT_EQ(hops.size(), 3u);
    EXPECT_EQ(hops[0].address, "192.168.1.1");
    EXPECT_DOUBLE_EQ(hops[0].averageMs, 1.1);
    EXPECT_EQ(hops[0].label, "局域网");
    EXPECT_EQ(hops[1].address, "???");
    EXPECT_DOUBLE_EQ(hops[1].lossPercent, 100.0);
    EXPECT_DOUBLE_EQ(hops[1].averageMs, -1);
    EXPECT_EQ(hops[2].number, 3);
    EXPECT_DOUBLE_EQ(hops[2].lossPercent, 10.0);
    EXPECT_EQ(hops[2].label, "中国 广东省 广州市 电信");
}

struct CDateCase {
    const char* body;
    int year, month, day;  // 0: none
};

const CDateCase kExpiryCases[] = {
    {"   Registry Expiry Date: 2027-08-13T04:00:00Z\r\n", 2027, 8, 13},
    {"Registrar Registration Expiration Date: 2026-01-02T00:00:00.0Z\n", 2026, 1, 2},
    {"Expiration Time: 2027-03-01 12:00:00\r\n", 2027, 3, 1},
    {"    Expiry date:  12-Mar-2027\r\n", 2027, 3, 12},
    {"paid-till:     2027-05-01T21:00:00Z\n", 2027, 5, 1},
    {"到期日期：2027-01-02T00:00:00Z\r\n", 2027, 1, 2},
    {"expire: 2028.02.29\n", 2028, 2, 29},
    {"Registrar: Expiry Date Holdings\r\nCreation Date: 2020-01-01\r\n", 0, 0, 0},
    {"Registry Expiry Date: 9999999999-01-01\r\n", 0, 0, 0},
};

TEST(WhoisRecord, ReadsTheExpiryOfEveryRegistryWording) {
    for (const CDateCase& c : kExpiryCases) {
        const CDate date = ReadExpiryDate(c.body);
        EXPECT_EQ(date.year, c.year) << c.body;
        EXPECT_EQ(date.month, c.month) << c.body;
        EXPECT_EQ(date.day, c.day) << c.body;
    }
}

TEST(WhoisRecord, HeaderDatesAndDayCounts) {
    const CDate header = ReadHeaderDate("2026- 3- 7 20: 5: 3");
    EXPECT_EQ(header.year, 2026);
    EXPECT_EQ(header.month, 3);
    EXPECT_EQ(header.day, 7);
    EXPECT_EQ(DaysBetween(header, {2026, 4, 6}), 30);
    EXPECT_EQ(DaysBetween(header, {2025, 3, 7}), -365);
    EXPECT_EQ(DaysBetween({2024, 2, 28}, {2024, 3, 1}), 2);
}

TEST(WhoisRecord, ReadsHoldStatusInWhoisAndRdap) {
    const std::pair<const char*, const char*> cases[] = {
        {"Domain Status: clientHold https://icann.org/epp#clientHold\r\n", "clientHold"},
        {"Domain Status: serverHold https://icann.org/epp#serverHold\r\n", "serverHold"},
        {"状态：client hold, server transfer prohibited\r\n", "clientHold"},
        {"Domain Status: clientTransferProhibited\r\nRegistrar: Hold Co\r\n", ""},
        {"Remarks: this registrar never puts names on clientHold\r\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadHoldStatus(c.first), c.second) << c.first;
}

TEST(StepTexts, SiteStatusCertificateClockAndAddresses) {
    const CSiteStatus status = ReadSiteStatus(
        "网站返回的状态不是200：\r\nHTTP/1.1 503 Service Unavailable\r\nServer: x\r\n");
    EXPECT_EQ(status.code, 503);
    EXPECT_EQ(status.statusLine, "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(ReadSiteStatus("HTTP/1.1 200 OK\r\n").code, 0);
    EXPECT_EQ(ReadCertDaysLeft("证书将于9天后过期\r\n"), 9);
    EXPECT_EQ(ReadCertDaysLeft("证书已过期\r\n"), -1);
    EXPECT_EQ(ReadClockSkewSeconds("本机时间与服务器相差-3600秒\r\n"), 3600);
    EXPECT_EQ(ReadDnsAddresses("a.com：\r\n  A 198.18.0.5（TTL 60）\r\n  AAAA ::1（TTL 60）\r\n  "
                               "CNAME a -> b（TTL 1）\r\n"),
              (std::vector<std::string>{"198.18.0.5", "::1"}));
    EXPECT_TRUE(IsFakeIpAddress("198.19.255.1"));
    EXPECT_FALSE(IsFakeIpAddress("198.20.0.1"));
    for (const char* address :
         {"10.1.2.3", "172.31.0.1", "192.168.0.1", "100.64.0.1", "127.0.0.1", "fd00::1", "fe80::1"})
        EXPECT_TRUE(IsPrivateAddress(address)) << address;
    for (const char* address : {"172.32.0.1", "8.8.8.8", "2001:db8::1", "1.2.3", "1.2.3.256"})
        EXPECT_FALSE(IsPrivateAddress(address)) << address;
}

// The reading rule for per-hop loss, on its own: only loss that persists to the
// destination is a fault, and it starts at the first hop of that run.
struct CLossCase {
    const char* what;
    std::vector<double> loss;  // per hop, destination last; 100 = silent hop
    EPathLoss kind;
    int hop;
};

const CLossCase kLossCases[] = {
    {"clean path", {0, 0, 0, 0}, EPathLoss::kNone, -1},
    {"rate limiting at hop 2", {0, 40, 0, 0}, EPathLoss::kIntermediateOnly, 1},
    {"the worst intermediate hop is named", {0, 20, 60, 0, 0}, EPathLoss::kIntermediateOnly, 2},
    {"loss from hop 3 to the end", {0, 0, 10, 12, 11}, EPathLoss::kPersistent, 2},
    {"intermediate dip does not start it", {0, 30, 0, 10, 10}, EPathLoss::kPersistent, 3},
    {"silent hop inside the lossy run is stepped over",
     {0, 10, 100, 10},
     EPathLoss::kPersistent,
     1},
    {"loss at the destination alone", {0, 0, 0, 25}, EPathLoss::kPersistent, 3},
    {"silent destination: nothing to judge", {0, 50, 100}, EPathLoss::kNone, -1},
    {"noise under the limit", {0, 3.3, 3.3}, EPathLoss::kNone, -1},
    {"empty table", {}, EPathLoss::kNone, -1},
};

TEST(PathLoss, ReadingRule) {
    for (const CLossCase& c : kLossCases) {
        std::vector<CPathHop> hops;
        for (double loss : c.loss) {
            CPathHop hop;
            hop.number = static_cast<int>(hops.size()) + 1;
            hop.address = loss >= 100 ? "???" : "10.0.0." + std::to_string(hop.number);
            hop.lossPercent = loss;
            hops.push_back(hop);
        }
        const CPathLossReading reading = ReadPathLoss(hops);
        EXPECT_EQ(reading.kind, c.kind) << c.what;
        EXPECT_EQ(reading.hop, c.hop) << c.what;
    }
}

}  // namespace
