#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client.h"
#include "platform/stop_signal.h"
#include "probes/http_failure_text.h"
#include "probes/public_ip.h"
#include "probes/website_check.h"
#include "tests/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// A refused connection reads differently per HTTP layer: libcurl tells a refusal
// apart, WinINet only knows that it could not connect.
#ifdef _WIN32
const char kRefusedCause[] = "无法建立连接";
#else
const char kRefusedCause[] = "连接被拒绝";
#endif

// A server that takes the connection and then says nothing (within ShortLimits' 1.5 s of
// silence), or only its status line. libcurl's silence limit counts whole seconds and it
// counts every header byte; WinINet waits the whole limit and counts no byte before a
// whole header block has come.
#ifdef _WIN32
const char kSilentCause[] = "已连接到127.0.0.1，但2秒内没有应答";
const char kStalledCause[] = "已连接到127.0.0.1，但2秒内没有应答";
#else
const char kSilentCause[] = "已连接到127.0.0.1，但1秒内没有应答";
const char kStalledCause[] = "已连接到127.0.0.1，但1秒内应答只收到17字节";
#endif

// Short bounds, so a silent server costs the test seconds instead of half a minute.
CHttpLimits ShortLimits() {
    CHttpLimits limits;
    limits.connectMs = 2000;
    limits.silenceMs = 1500;
    limits.totalMs = 3000;
    return limits;
}

std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\n" + extraHeaders +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

// The request heads a server received, in order.
class CRequestLog {
public:
    void Add(const std::string& head) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_heads.push_back(head);
    }
    std::vector<std::string> Heads() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_heads;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_heads;
};

// Reads one request head and answers it with the given bytes.
CLoopbackServer::Script Answer(const std::string& response, CRequestLog* log = nullptr) {
    return [response, log](CServerConnection& connection) {
        const std::string head = connection.ReadUntil("\r\n\r\n");
        if (log) log->Add(head);
        connection.Send(response);
    };
}

// Reads the request, then says nothing until the test ends.
void StaySilent(CServerConnection& connection) {
    connection.ReadUntil("\r\n\r\n");
    connection.HoldUntilStopped();
}

// A loopback port on which nobody listens.
int ClosedPort() {
    CLoopbackServer probe([](CServerConnection&) {});
    return probe.Port();
}

CProbeEndpoints PageEndpoints(int port) {
    CProbeEndpoints endpoints;
    endpoints.publicIpHost = "127.0.0.1";
    endpoints.publicIpPort = port;
    endpoints.httpLimits = ShortLimits();
    return endpoints;
}

CProbeEndpoints SiteEndpoints(int port) {
    CProbeEndpoints endpoints;
    endpoints.websitePort = port;
    endpoints.httpLimits = ShortLimits();
    return endpoints;
}

// A step's outcome split the way the report's reader sees it: the text of a step that
// passed, or the reason of one that failed.
struct CStepTaken {
    int returned;
    std::string result;
    std::string error;
};

CStepTaken Taken(const CStepOutcome& outcome) {
    const std::string text = outcome.text.Bytes();
    return {outcome.ok ? 1 : 0, outcome.ok ? text : std::string(), outcome.ok ? std::string() : text};
}

CStepTaken FetchPublicIpWith(const CProbeEndpoints& endpoints) {
    return Taken(FetchPublicIP(CProbeContext(endpoints), CString()));
}

// Step 2 against a page served with the given status and body.
CStepTaken FetchPublicIpFromPage(const std::string& body, const std::string& status = "200 OK") {
    CLoopbackServer server(Answer(HttpResponse(status, body)));
    return FetchPublicIpWith(PageEndpoints(server.Port()));
}

CStepTaken CheckWebsiteWith(const CProbeEndpoints& endpoints, const CString& domain,
                              CStopSignal* stop = nullptr) {
    return Taken(CheckWebsite(CProbeContext(endpoints, stop), domain));
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(IsIPv4Literal, FollowsTheClassicParser) {
    const struct {
        const char* text;
        bool literal;
    } cases[] = {
        {"203.0.113.9", true},  {"5", true},          {"0x7f.1", true},
        {"0.0.0.0", true},      {"", false},          {"word", false},
        {"1.2.3.4.5", false},   {"256.0.0.1", false}, {" 1.2.3.4", false},
        {"255.255.255.255", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.literal, IsIPv4Literal(c.text)) << '"' << c.text << '"';
}

TEST(PublicIpPage, TakesTheCenterTextOfTheAddressLine) {
    CRequestLog log;
    CLoopbackServer server(
        Answer(HttpResponse("200 OK",
                            "<html><head><title>[标题]</title></head>\r\n"
                            "[菜单] [帮助]\r\n"
                            "<body><center>您的IP是：[203.0.113.9] 来自：某地</center>\r\n"
                            "</body></html>\r\n"),
               &log));
    const CStepTaken outcome = FetchPublicIpWith(PageEndpoints(server.Port()));
    EXPECT_EQ(1, outcome.returned);
    EXPECT_EQ("您的IP是：[203.0.113.9] 来自：某地", outcome.result);
    EXPECT_EQ("", outcome.error);
    const auto heads = log.Heads();
    ASSERT_EQ(1u, heads.size());
    EXPECT_EQ(0u, heads[0].find("GET /ic.asp HTTP/1.1\r\n")) << heads[0];
    EXPECT_TRUE(Contains(heads[0], "User-Agent: web_test\r\n")) << heads[0];
}

// How step 2 picks the address line out of a page: each page, the text it takes.
TEST(PublicIpPage, PicksTheAddressLineByTheClassicRules) {
    const struct {
        const char* why;
        std::string body;
        const char* status;
        const char* result;
    } cases[] = {
        {"a bracketed word ahead of the address hides the address on that line",
         "<center>[note] [198.51.100.7]</center>\r\n<center>second [10.0.0.1]</center>\r\n",
         "200 OK", "second [10.0.0.1]"},
        {"a ']' ahead of the '[' gives an empty candidate",
         "<center>] [198.51.100.1]</center>\r\n<center>next [10.0.0.2]</center>\r\n", "200 OK",
         "next [10.0.0.2]"},
        {"a bracketed one-digit number is an address to the classic parser",
         "<center>item [5] here</center>\r\n<center>ip [10.0.0.3]</center>\r\n", "200 OK",
         "item [5] here"},
        {"the all-ones address parses like a failure",
         "<center>[255.255.255.255]</center>\r\n<center>real [10.0.0.4]</center>\r\n", "200 OK",
         "real [10.0.0.4]"},
        // 81 5B is one GBK character: the first line holds no "[" at all, and on the
        // second the search for "[" steps over it to the real one.
        {"a bracket byte inside a double-byte character is no bracket",
         "<center>A\x81[1.2.3.4]</center>\r\n<center>B\x81[x [5.6.7.8]</center>\r\n", "200 OK",
         "B\x81[x [5.6.7.8]"},
        {"no '</center>': the line still ends the search, with an empty text",
         "<center>[1.2.3.4] no end\r\n<center>later [5.6.7.8]</center>\r\n", "200 OK", ""},
        {"no '<center>': the text runs from byte 7 up to the '</center>'",
         "0123456789 [1.2.3.4]</center>\r\n", "200 OK", "789 [1.2.3.4]"},
        {"'</center>' ahead of '<center>'", "</center>[1.2.3.4]<center>\r\n", "200 OK", ""},
        {"a last line without a line end is a line too", "x\r\n<center>tail [9.9.9.9]</center>",
         "200 OK", "tail [9.9.9.9]"},
        {"what would end or overwrite the report's line becomes a blank",
         "<center>ip [10.9.9.9]\x1b[2J\rForged:\vline\f</center>\r\n", "200 OK",
         "ip [10.9.9.9]\x1b[2J Forged: line "},
        {"the first matching line wins",
         "<center>one [10.1.1.1]</center>\r\n<center>two [10.2.2.2]</center>\r\n", "200 OK",
         "one [10.1.1.1]"},
        {"an error page is searched like any other", "<center>blocked [192.0.2.1]</center>\r\n",
         "404 Not Found", "blocked [192.0.2.1]"},
        {"no line matches", "<center>[word]</center>\r\nplain text\r\n", "200 OK",
         "公网IP查询页面中没有找到IP地址行（HTTP/1.1 200 OK）\r\n"},
        {"an empty page", "", "200 OK", "公网IP查询页面中没有找到IP地址行（HTTP/1.1 200 OK）\r\n"},
        {"an error page without the line", "<html>gone</html>\r\n", "404 Not Found",
         "公网IP查询页面返回的状态不是200：HTTP/1.1 404 Not Found\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const CStepTaken outcome = FetchPublicIpFromPage(c.body, c.status);
        EXPECT_EQ(1, outcome.returned);
        EXPECT_EQ(c.result, outcome.result);
        EXPECT_EQ("", outcome.error);
    }
}

TEST(PublicIpPage, AnUnreachablePageIsReportedInTheResultAsOneLine) {
    const CStepTaken refused = FetchPublicIpWith(PageEndpoints(ClosedPort()));
    EXPECT_EQ(1, refused.returned);
    EXPECT_EQ(std::string("无法访问公网IP查询页面：") + kRefusedCause + "\r\n", refused.result);
    EXPECT_EQ("", refused.error);

    CProbeEndpoints unresolved = PageEndpoints(80);
    unresolved.publicIpHost = "no..such.invalid";
    const CStepTaken nameless = FetchPublicIpWith(unresolved);
    EXPECT_EQ(1, nameless.returned);
    EXPECT_EQ("无法访问公网IP查询页面：域名无法解析\r\n", nameless.result);
    EXPECT_EQ("", nameless.error);
}

TEST(PublicIpPage, ASilentServerEndsTheStepWithinTheBound) {
    CLoopbackServer server(StaySilent);
    const auto start = Clock::now();
    const CStepTaken outcome = FetchPublicIpWith(PageEndpoints(server.Port()));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(1, outcome.returned);
    EXPECT_EQ(std::string("无法访问公网IP查询页面：") + kSilentCause + "\r\n", outcome.result);
    EXPECT_EQ("", outcome.error);
}

TEST(PublicIpPage, ReadsNoMoreThanTheBodyLimit) {
    CProbeEndpoints endpoints;
    std::string body(3000, 'x');
    body += "\r\n<center>late [10.9.9.9]</center>\r\n";
    CLoopbackServer server(Answer(HttpResponse("200 OK", body)));
    endpoints = PageEndpoints(server.Port());
    endpoints.httpLimits.maxBodyBytes = 2048;
    EXPECT_EQ("公网IP查询页面中没有找到IP地址行（HTTP/1.1 200 OK）\r\n",
              FetchPublicIpWith(endpoints).result);
    endpoints.httpLimits.maxBodyBytes = 1 << 20;
    EXPECT_EQ("late [10.9.9.9]", FetchPublicIpWith(endpoints).result);
}

TEST(WebsiteCheck, Status200GivesTheRawHeadersWithoutTheBody) {
    CRequestLog log;
    CLoopbackServer server(
        Answer(HttpResponse("200 OK", "BODY-MUST-NOT-APPEAR", "X-Probe: yes\r\n"), &log));
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
    EXPECT_EQ(1, outcome.returned);
    EXPECT_EQ(0u, outcome.result.find("HTTP/1.1 200 OK\r\n")) << outcome.result;
    EXPECT_TRUE(Contains(outcome.result, "\r\nX-Probe: yes\r\n")) << outcome.result;
    EXPECT_TRUE(Contains(outcome.result, "\r\nContent-Length: 20\r\n")) << outcome.result;
    EXPECT_FALSE(Contains(outcome.result, "BODY-MUST-NOT-APPEAR"));
    EXPECT_EQ("\r\n\r\n", outcome.result.substr(outcome.result.size() - 4));
    EXPECT_EQ("", outcome.error);

    const auto heads = log.Heads();
    ASSERT_EQ(1u, heads.size());
    EXPECT_EQ(0u, heads[0].find("GET / HTTP/1.1\r\n")) << heads[0];
    EXPECT_TRUE(Contains(heads[0], "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"))
        << heads[0];
}

TEST(WebsiteCheck, OtherStatusesFailShowingTheStatusAndHeaders) {
    for (const char* status : {"404 Not Found", "500 Internal Server Error", "204 No Content",
                               "403 Forbidden", "502 Bad Gateway"}) {
        const std::string answer = HttpResponse(status, "<html>error page</html>");
        CLoopbackServer server(Answer(answer));
        const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
        EXPECT_EQ(0, outcome.returned) << status;
        EXPECT_EQ("", outcome.result) << status;
        const std::string headers = answer.substr(0, answer.find("\r\n\r\n") + 4);
        EXPECT_EQ("网站返回的状态不是200：\r\n" + headers, outcome.error) << status;
    }
}

TEST(WebsiteCheck, ANameThatDoesNotResolveGivesTheVisitMessageOnly) {
    EnsureNetworking();
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(80), "no..such.invalid");
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ("", outcome.result);
    EXPECT_EQ("Visit WebSite Address:http://no..such.invalid", outcome.error);
}

TEST(WebsiteCheck, ARedirectReportsTheFinalResponse) {
    CRequestLog log;
    std::atomic<int> port{0};
    CLoopbackServer server([&log, &port](CServerConnection& connection) {
        const std::string head = connection.ReadUntil("\r\n\r\n");
        log.Add(head);
        if (head.compare(0, 6, "GET / ") == 0) {
            connection.Send(HttpResponse(
                "302 Found", "moved",
                "Location: http://127.0.0.1:" + std::to_string(port.load()) + "/final\r\n"));
        } else {
            connection.Send(HttpResponse("200 OK", "final body", "X-Final: yes\r\n"));
        }
    });
    port = server.Port();
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
    EXPECT_EQ(1, outcome.returned);
    EXPECT_EQ(0u, outcome.result.find("HTTP/1.1 200 OK\r\n")) << outcome.result;
    EXPECT_TRUE(Contains(outcome.result, "\r\nX-Final: yes\r\n")) << outcome.result;
    EXPECT_FALSE(Contains(outcome.result, "302")) << outcome.result;
    EXPECT_FALSE(Contains(outcome.result, "Location")) << outcome.result;
    const auto heads = log.Heads();
    ASSERT_EQ(2u, heads.size());
    EXPECT_EQ(0u, heads[1].find("GET /final HTTP/1.1\r\n")) << heads[1];
}

TEST(WebsiteCheck, AFailureAfterRedirectsNamesTheAddressThatFailed) {
    const std::string target = "https://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    CLoopbackServer server(
        Answer(HttpResponse("301 Moved Permanently", "", "Location: " + target + "\r\n")));
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ("无法访问网站http://127.0.0.1：重定向到" + target + "后" + kRefusedCause + "\r\n",
              outcome.error);
}

TEST(WebsiteCheck, EndlessRedirectsAndEndlessHeadersSayWhatWentWrong) {
    std::atomic<int> port{0};
    CLoopbackServer loop([&port](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        connection.Send(HttpResponse(
            "302 Found", "",
            "Location: http://127.0.0.1:" + std::to_string(port.load()) + "/again\r\n"));
    });
    port = loop.Port();
    EXPECT_EQ("无法访问网站http://127.0.0.1：重定向次数过多\r\n",
              CheckWebsiteWith(SiteEndpoints(loop.Port()), "127.0.0.1").error);

    std::string flood;
    while (flood.size() < 400 * 1024) flood += "X-Filler: " + std::string(100, 'f') + "\r\n";
    CLoopbackServer big(Answer(HttpResponse("200 OK", "", flood)));
    // Time enough to read the whole block even on a slow, busy machine.
    CProbeEndpoints endpoints = SiteEndpoints(big.Port());
    endpoints.httpLimits.totalMs = 20000;
    const CStepTaken outcome = CheckWebsiteWith(endpoints, "127.0.0.1");
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ("无法访问网站http://127.0.0.1：应答头过长\r\n", outcome.error);
}

TEST(WebsiteCheck, ARefusedConnectionFailsWithAShortMessage) {
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(ClosedPort()), "127.0.0.1");
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ("", outcome.result);
    EXPECT_EQ(std::string("无法访问网站http://127.0.0.1：") + kRefusedCause + "\r\n",
              outcome.error);
}

TEST(WebsiteCheck, ASilentServerEndsTheStepWithinTheBound) {
    CLoopbackServer server(StaySilent);
    const auto start = Clock::now();
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ(std::string("无法访问网站http://127.0.0.1：") + kSilentCause + "\r\n", outcome.error);
}

TEST(WebsiteCheck, TheOverallBoundHoldsWhenTheServerTricklesBytes) {
    // One header byte at a time keeps every single wait short; only the overall limit ends it.
    CLoopbackServer server([](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        const std::string head = "HTTP/1.1 200 OK\r\nX-Slow: ";
        for (char ch : head) connection.Send(std::string(1, ch));
        while (!connection.Stopping() && connection.TrySend("a")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    CProbeEndpoints endpoints = SiteEndpoints(server.Port());
    endpoints.httpLimits.silenceMs = 1000;
    endpoints.httpLimits.totalMs = 2500;
    const auto start = Clock::now();
    const CStepTaken outcome = CheckWebsiteWith(endpoints, "127.0.0.1");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(0, outcome.returned);
    // Only the status line's whole bytes count: the header line still open is not yet read.
    EXPECT_EQ(std::string("无法访问网站http://127.0.0.1：") + kStalledCause + "\r\n", outcome.error);
}

TEST(WebsiteCheck, ARaisedStopEndsTheExchangeAtOnce) {
    CLoopbackServer server(StaySilent);
    CProbeEndpoints endpoints = SiteEndpoints(server.Port());
    endpoints.httpLimits.silenceMs = 20000;
    endpoints.httpLimits.totalMs = 30000;
    CStopSignal stop;
    std::thread raiser([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        stop.Raise();
    });
    const auto start = Clock::now();
    const CStepTaken outcome = CheckWebsiteWith(endpoints, "127.0.0.1", &stop);
    const auto took = Clock::now() - start;
    raiser.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(0, outcome.returned);
    EXPECT_EQ("无法访问网站http://127.0.0.1：检测已停止\r\n", outcome.error);
}

TEST(WebsiteCheck, AnInterimContinueResponseIsNotTheAnswer) {
    CLoopbackServer server(Answer("HTTP/1.1 100 Continue\r\n\r\n" +
                                  HttpResponse("200 OK", "body", "X-After: 100\r\n")));
    const CStepTaken outcome = CheckWebsiteWith(SiteEndpoints(server.Port()), "127.0.0.1");
    EXPECT_EQ(1, outcome.returned);
    EXPECT_EQ(0u, outcome.result.find("HTTP/1.1 200 OK\r\n")) << outcome.result;
    EXPECT_TRUE(Contains(outcome.result, "\r\nX-After: 100\r\n")) << outcome.result;
}

TEST(PageRequest, AMediaTypeThatCouldEndItsHeaderLineIsNeverSent) {
    CLoopbackServer server(Answer(HttpResponse("200 OK", "body")));
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    for (const char* accept : {"text/plain\r\nX-Injected: 1", "a\nb", "text/\x7f", "\xb2\xe2"}) {
        CHttpPage page(nullptr, ShortLimits());
        EXPECT_FALSE(page.Open(CString(url), accept)) << accept;
        EXPECT_EQ(EHttpFailure::kInvalidAddress, page.Outcome().failure) << accept;
    }
    EXPECT_EQ(0, server.Connections());
    CHttpPage page(nullptr, ShortLimits());
    EXPECT_TRUE(page.Open(CString(url), "application/rdap+json"));
    EXPECT_EQ(200, page.Status());
}

#ifndef _WIN32
// libcurl takes the host inside an address; WinINet takes it as a name of its own.
TEST(RootHeaders, AHostNameCannotCarryAnAddressOfItsOwn) {
    CLoopbackServer server(Answer(HttpResponse("200 OK", "")));
    const std::string port = std::to_string(server.Port());
    for (const std::string& host : std::vector<std::string>{
             "evil@127.0.0.1", "127.0.0.1:" + port + "/x", "127.0.0.1/x", ""}) {
        const CHttpHeaderAnswer answer =
            FetchRootHeaders(CString(host), server.Port(), nullptr, ShortLimits());
        EXPECT_NE(EHttpFailure::kNone, answer.outcome.failure) << host;
        EXPECT_TRUE(answer.rawHeaders.IsEmpty()) << host;
    }
    EXPECT_EQ(0, server.Connections());
}
#endif

// Each phase of a slow failure in its own words, with the address and the seconds; a
// layer that could not tell how far it got keeps the plain words.
TEST(HttpFailureText, ATimeOutNamesItsPhase) {
    const struct {
        const char* peer;
        bool connected;
        long long bytes;
        const char* text;
    } cases[] = {
        {"", false, 0, "连接超时"},
        {"192.0.2.7", false, 0, "连接到192.0.2.7超时（15秒）"},
        {"2001:db8::7", true, 0, "已连接到2001:db8::7，但15秒内没有应答"},
        {"192.0.2.7", true, 19, "已连接到192.0.2.7，但15秒内应答只收到19字节"},
    };
    for (const auto& c : cases) {
        CHttpOutcome outcome;
        outcome.failure = EHttpFailure::kTimedOut;
        outcome.progress.peer = c.peer;
        outcome.progress.connected = c.connected;
        outcome.progress.answerBytes = c.bytes;
        outcome.progress.waitedSeconds = 15;
        EXPECT_EQ(CString(c.text), DescribeHttpFailure(outcome)) << c.text;
        // Where the exchange got to is told for a time-out only.
        outcome.failure = EHttpFailure::kConnectionLost;
        EXPECT_EQ(CString("连接被中断"), DescribeHttpFailure(outcome));
    }
}
