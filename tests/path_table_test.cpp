#include "probes/path_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

// An address with its answers' times given outright, as many rounds give them.
CPathAddress Answered(const char* address, const char* label, int received, double last,
                      double average, double best, double worst, double deviation) {
    CPathAddress a;
    a.address = address;
    a.label = label;
    a.received = received;
    a.lastMs = last;
    a.sumMs = average * received;
    a.bestMs = best;
    a.worstMs = worst;
    a.sumSquaresMs = (deviation * deviation + average * average) * received;
    return a;
}

// An address with the times of each of its answers.
CPathAddress Timed(const char* address, const char* label, const std::vector<double>& times) {
    CPathAddress a;
    a.address = address;
    a.label = label;
    for (double t : times) a.Add(t);
    return a;
}

CPathProbeHop Hop(int sent, std::vector<CPathAddress> addresses) {
    CPathProbeHop hop;
    hop.sent = sent;
    hop.addresses = std::move(addresses);
    return hop;
}

CPathTrace Trace(const char* domain, const char* target, int rounds, std::vector<CPathProbeHop> hops) {
    CPathTrace trace;
    trace.domain = domain;
    trace.target = target;
    trace.rounds = rounds;
    trace.hops = std::move(hops);
    return trace;
}

struct CTableCase {
    const char* what;
    CPathTrace trace;
    const char* text;
};

TEST(PathTableTest, LinesUpEveryKindOfHop) {
    const CTableCase cases[] = {
        {"the documented sample: answered, silent and lossy hops",
         Trace("www.example.com", "203.0.113.5", 30,
               {Hop(30, {Answered("192.168.1.1", "局域网", 30, 0.8, 1.1, 0.6, 3.2, 0.5)}),
                Hop(30, {}),
                Hop(30, {Answered("61.140.0.1", "中国 广东省 广州市 电信", 27, 12.3, 13.0, 11.8,
                                  25.4, 2.9)})}),
         "路由逐跳统计：www.example.com [203.0.113.5]，30轮，每轮间隔1秒\r\n"
         "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n"
         "  1.  192.168.1.1         0.0%      30    0.8     1.1     0.6     3.2     0.5  局域网\r\n"
         "  2.  ???               100.0%      30\r\n"
         "  3.  61.140.0.1         10.0%      30   12.3    13.0    11.8    25.4     2.9  中国 "
         "广东省 广州市 电信\r\n"},
        {"times taken one answer at a time; deviation over all answers",
         Trace("a.cn", "10.9.0.2", 4, {Hop(4, {Timed("10.9.0.2", "局域网", {10, 20, 10, 20})})}),
         "路由逐跳统计：a.cn [10.9.0.2]，4轮，每轮间隔1秒\r\n"
         "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n"
         "  1.  10.9.0.2            0.0%       4   20.0    15.0    10.0    20.0     5.0  "
         "局域网\r\n"},
        {"a balanced hop: one loss figure, each router's own times on its own line",
         Trace("a.cn", "10.9.0.9", 4,
               {Hop(4, {Timed("10.1.0.1", "局域网", {5, 7}), Timed("10.2.0.1", "未知", {6})}),
                Hop(4, {Timed("10.9.0.9", "未知", {1, 1, 1, 1})})}),
         "路由逐跳统计：a.cn [10.9.0.9]，4轮，每轮间隔1秒\r\n"
         "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n"
         "  1.  10.1.0.1           25.0%       4    7.0     6.0     5.0     7.0     1.0  局域网\r\n"
         "      10.2.0.1                            6.0     6.0     6.0     6.0     0.0  未知\r\n"
         "  2.  10.9.0.9            0.0%       4    1.0     1.0     1.0     1.0     0.0  未知\r\n"},
        {"IPv6 addresses widen the address column and the header with it",
         Trace("a.cn", "2001:db8:aaaa:bbbb::9", 10,
               {Hop(10, {}), Hop(10, {Timed("2001:db8:aaaa:bbbb::9", "未知", {2, 4})})}),
         "路由逐跳统计：a.cn [2001:db8:aaaa:bbbb::9]，10轮，每轮间隔1秒\r\n"
         "跳数  地址                  丢包率  已发送   最近    平均    最好    最差  标准差  "
         "位置\r\n"
         "  1.  ???                   100.0%      10\r\n"
         "  2.  2001:db8:aaaa:bbbb::9  80.0%      10    4.0     3.0     2.0     4.0     1.0  "
         "未知\r\n"},
        {"no hop at all: the header alone", Trace("a.cn", "10.9.0.9", 10, {}),
         "路由逐跳统计：a.cn [10.9.0.9]，10轮，每轮间隔1秒\r\n"
         "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n"},
    };
    for (const CTableCase& c : cases) {
        EXPECT_EQ(FormatPathTable(c.trace), CString(c.text)) << c.what;
    }
}

TEST(PathTableTest, AsksForTheOtherDirectionOnlyWithAnAddress) {
    EXPECT_EQ(ReverseTraceLine("198.51.100.7"),
              CString("请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 198.51.100.7\r\n"));
    EXPECT_EQ(ReverseTraceLine(""), CString());
}

}  // namespace
