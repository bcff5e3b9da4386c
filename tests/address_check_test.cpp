// The public address services: how each answer is read, when step 2 adds its line, and
// the step against loopback services that agree, contradict, stay silent.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "probes/address_sources.h"
#include "probes/address_text.h"
#include "probes/probe_context.h"
#include "probes/public_ip.h"
#include "tests/test_support.h"

namespace {

TEST(AddressAnswer, EachServiceIsReadInItsOwnForm) {
    const struct {
        EAddressFormat format;
        std::string body;
        const char* address;
    } cases[] = {
        {EAddressFormat::kBare, "203.0.113.9", "203.0.113.9"},
        {EAddressFormat::kBare, "\r\n 203.0.113.9 \n", "203.0.113.9"},
        {EAddressFormat::kBare, "2001:db8::1\n", "2001:db8::1"},
        {EAddressFormat::kBare, "203.0.113.9 extra", ""},
        {EAddressFormat::kBare, "<html>203.0.113.9</html>", ""},
        {EAddressFormat::kBare, "203.0.113.009", ""},
        {EAddressFormat::kBare, "203.0.113", ""},
        {EAddressFormat::kBare, "203.0.113.256", ""},
        {EAddressFormat::kBare, "", ""},
        {EAddressFormat::kIpipLine, u8"当前 IP：198.51.100.7  来自于：中国 北京 北京  电信\n",
         "198.51.100.7"},
        {EAddressFormat::kIpipLine,
         "\xB5\xB1\xC7\xB0 IP\xA3\xBA"
         "198.51.100.7  x",
         "198.51.100.7"},
        {EAddressFormat::kIpipLine, "IP: 198.51.100.7", "198.51.100.7"},
        {EAddressFormat::kIpipLine, u8"当前 IP：198.51.100.7x", ""},
        {EAddressFormat::kIpipLine, u8"当前 IP：未知", ""},
        {EAddressFormat::kIpipLine, "198.51.100.7", ""},
        {EAddressFormat::kOrayLine, "Current IP Address: 192.0.2.44", "192.0.2.44"},
        {EAddressFormat::kOrayLine,
         "<html><head><title>Current IP Check</title></head><body>Current IP Address: "
         "192.0.2.44</body></html>\n",
         "192.0.2.44"},
        {EAddressFormat::kOrayLine, "Current IP Address: 1.2.3", ""},
        {EAddressFormat::kOrayLine, "IP Address: 192.0.2.44", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CString(c.address), AddressFromAnswer(c.format, CString(c.body))) << c.body;
    }
}

TEST(AddressAnswer, Ipv6TextIsTheUsualForm) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"::1", true},
        {"2001:db8::", true},
        {"1:2:3:4:5:6:7:8", true},
        {"::ffff:1.2.3.4", true},
        {"fe80::1:2:3:4:5:6", true},
        {"1:2:3:4:5:6:7:8:9", false},
        {"1:2:3:4:5:6:7", false},
        {"1::2::3", false},
        {"12345::", false},
        {"g::1", false},
        {":", false},
        {"1.2.3.4::", false},
        {"", false},
        {"::1%eth0", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.valid, IsIpv6Text(c.text)) << c.text;
}

CSourceAnswer Said(const char* name, const char* address) {
    CSourceAnswer answer;
    answer.name = name;
    answer.address = address;
    if (!*address) answer.failure = "连接超时";
    return answer;
}

TEST(AddressCrossCheck, ALineOnlyWhenTwoServicesAgreeAgainstOrWithoutThePage) {
    const struct {
        const char* why;
        const char* page;
        std::vector<CSourceAnswer> answers;
        const char* line;
    } cases[] = {
        {"all agree with the page",
         "1.1.1.1",
         {Said("a", "1.1.1.1"), Said("b", "1.1.1.1"), Said("c", "1.1.1.1")},
         ""},
        {"two agree on another address",
         "1.1.1.1",
         {Said("a", "2.2.2.2"), Said("b", ""), Said("c", "2.2.2.2")},
         "（其他来源核对：本机公网IP为2.2.2.2（来源：a、c），与上面的结果不一致）\r\n"},
        {"the page gave none",
         "",
         {Said("a", "2.2.2.2"), Said("b", "2.2.2.2"), Said("c", "2.2.2.2")},
         "（其他来源核对：本机公网IP为2.2.2.2（来源：a、b、c））\r\n"},
        {"only one answers", "", {Said("a", "2.2.2.2"), Said("b", ""), Said("c", "")}, ""},
        {"all differ", "1.1.1.1", {Said("a", "2.2.2.2"), Said("b", "3.3.3.3"), Said("c", "")}, ""},
        {"one with the page, two against it",
         "1.1.1.1",
         {Said("a", "1.1.1.1"), Said("b", "3.3.3.3"), Said("c", "3.3.3.3")},
         "（其他来源核对：本机公网IP为3.3.3.3（来源：b、c），与上面的结果不一致）\r\n"},
        {"none answers", "", {Said("a", ""), Said("b", ""), Said("c", "")}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CString(c.line), CrossCheckLine(c.page, c.answers)) << c.why;
    }
}

// Answers every request with one body, or holds every connection silent.
std::unique_ptr<CLoopbackServer> Service(const std::string& body, bool silent = false) {
    return std::make_unique<CLoopbackServer>([body, silent](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        if (silent) return connection.HoldUntilStopped();
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body);
    });
}

struct CStep2 {
    std::string result;
    std::chrono::milliseconds took;
};

// Step 2 with its page and three services on loopback.
CStep2 RunStep2(const std::string& pageBody, const std::vector<std::string>& answers,
                bool silentServices = false) {
    auto page = Service(pageBody);
    std::vector<std::unique_ptr<CLoopbackServer>> services;
    CProbeEndpoints endpoints;
    endpoints.publicIpHost = "127.0.0.1";
    endpoints.publicIpPort = page->Port();
    const char* names[] = {"myip.ipip.net", "4.ipw.cn", "ddns.oray.com"};
    const EAddressFormat formats[] = {EAddressFormat::kIpipLine, EAddressFormat::kBare,
                                      EAddressFormat::kOrayLine};
    for (size_t i = 0; i < answers.size(); ++i) {
        services.push_back(Service(answers[i], silentServices));
        endpoints.addressSources.push_back(
            {names[i],
             CString(("http://127.0.0.1:" + std::to_string(services.back()->Port()) + "/").c_str()),
             formats[i]});
    }
    const auto start = std::chrono::steady_clock::now();
    const CStepOutcome outcome = FetchPublicIP(CProbeContext(endpoints), CString());
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return {outcome.text.Bytes(), took};
}

const char kPage[] = "<center>您的IP是：[203.0.113.9] 来自：某地</center>\r\n";
const char kPageLine[] = "您的IP是：[203.0.113.9] 来自：某地";

TEST(PublicIpStep, ServicesThatAgreeWithThePageLeaveTheStepAsItWas) {
    const CStep2 step = RunStep2(kPage, {u8"当前 IP：203.0.113.9  来自于：某地\n", "203.0.113.9\n",
                                         "Current IP Address: 203.0.113.9\n"});
    EXPECT_EQ(kPageLine, step.result);
}

TEST(PublicIpStep, ServicesThatContradictThePageAddTheirAddress) {
    const CStep2 step = RunStep2(kPage, {u8"当前 IP：198.51.100.7  来自于：某地\n",
                                         "not an address", "Current IP Address: 198.51.100.7\n"});
    EXPECT_EQ(
        std::string(kPageLine) +
            "\r\n（其他来源核对：本机公网IP为198.51.100.7（来源：myip.ipip.net、ddns.oray.com），"
            "与上面的结果不一致）\r\n",
        step.result);
}

TEST(PublicIpStep, ServicesFillTheGapOfAPageWithoutAnAddress) {
    const CStep2 step = RunStep2("<center>[word]</center>\r\n",
                                 {"garbage", "198.51.100.7\n", "Current IP Address: 198.51.100.7"});
    EXPECT_EQ(
        "公网IP查询页面中没有找到IP地址行（HTTP/1.1 200 OK）\r\n"
        "（其他来源核对：本机公网IP为198.51.100.7（来源：4.ipw.cn、ddns.oray.com））\r\n",
        step.result);
}

TEST(PublicIpStep, SilentServicesAddNothingAndAtMostTheirBound) {
    const CStep2 step = RunStep2(kPage, {"", "", ""}, true);
    EXPECT_EQ(kPageLine, step.result);
    EXPECT_LT(step.took.count(), kAddressCheckLimitMs + 1500);
    EXPECT_GE(step.took.count(), kAddressSourceExchangeMs - 500);
}

}  // namespace
