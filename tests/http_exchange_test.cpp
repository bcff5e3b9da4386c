// What an HTTP exchange reports besides its body: the final status and status line,
// the address it ended at, redirects, over-long header blocks, and that no answer ever
// comes from, or goes into, a cache.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#endif

#include "net/http_client.h"
#include "tests/test_support.h"

namespace {

CHttpLimits ShortLimits() {
    CHttpLimits limits;
    limits.connectMs = 2000;
    limits.silenceMs = 1500;
    limits.totalMs = 4000;
    return limits;
}

std::string Response(const std::string& status, const std::string& extraHeaders = "",
                     const std::string& body = "body\n") {
    return "HTTP/1.1 " + status + "\r\n" + extraHeaders + "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

CLoopbackServer::Script Answer(const std::string& response) {
    return [response](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        connection.Send(response);
    };
}

std::string Address(int port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

struct CPageResult {
    bool opened;
    CHttpOutcome outcome;
    int status;
    std::string statusLine;
};

CPageResult OpenPage(const std::string& url, const CHttpLimits& limits = ShortLimits()) {
    CHttpPage page(nullptr, limits);
    const bool opened = page.Open(CString(url));
    return {opened, page.Outcome(), page.Status(), page.StatusLine().Bytes()};
}

int ClosedPort() {
    CLoopbackServer probe([](CServerConnection&) {});
    return probe.Port();
}

}  // namespace

// Both kinds of exchange hand back the final status whatever it is; the header probe
// decides what a status means, not the HTTP layer.
TEST(HttpExchange, ReportsTheFinalStatusAndStatusLineForAnyStatus) {
    EnsureNetworking();
    const struct {
        const char* status;
        int code;
    } cases[] = {{"200 OK", 200}, {"404 Not Found", 404}, {"500 Internal Server Error", 500},
                 {"204 No Content", 204}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.status);
        CLoopbackServer server(Answer(Response(row.status, "X-Case: yes\r\n")));
        const CPageResult page = OpenPage(Address(server.Port()));
        EXPECT_TRUE(page.opened);
        EXPECT_EQ(row.code, page.status);
        EXPECT_EQ(std::string("HTTP/1.1 ") + row.status, page.statusLine);

        const CHttpHeaderAnswer root = FetchRootHeaders("127.0.0.1", server.Port(), nullptr, ShortLimits());
        EXPECT_EQ(EHttpFailure::kNone, root.outcome.failure);
        EXPECT_EQ(row.code, root.status);
        EXPECT_EQ(0u, root.rawHeaders.Bytes().find(std::string("HTTP/1.1 ") + row.status + "\r\n"));
        EXPECT_NE(std::string::npos, root.rawHeaders.Bytes().find("\r\nX-Case: yes\r\n"));
    }
}

// After a redirect the outcome names the address that answered; a failure names the
// address that failed.
TEST(HttpExchange, NamesTheAddressItEndedAt) {
    EnsureNetworking();
    std::atomic<int> port{0};
    CLoopbackServer server([&port](CServerConnection& connection) {
        const std::string head = connection.ReadUntil("\r\n\r\n");
        if (head.compare(0, 10, "GET /final") == 0) {
            connection.Send(Response("200 OK"));
        } else {
            connection.Send(Response("301 Moved Permanently", "Location: " + Address(port, "/final") + "\r\n"));
        }
    });
    port = server.Port();
    const CPageResult page = OpenPage(Address(port, "/start"));
    EXPECT_TRUE(page.opened);
    EXPECT_EQ(Address(port, "/final"), page.outcome.url.Bytes());
    const CHttpHeaderAnswer root = FetchRootHeaders("127.0.0.1", port, nullptr, ShortLimits());
    EXPECT_EQ(200, root.status);
    EXPECT_EQ(Address(port, "/final"), root.outcome.url.Bytes());

    const int closed = ClosedPort();
    const CPageResult refused = OpenPage(Address(closed, "/ic.asp"));
    EXPECT_FALSE(refused.opened);
    EXPECT_EQ(Address(closed, "/ic.asp"), refused.outcome.url.Bytes());
    const CHttpHeaderAnswer rootRefused = FetchRootHeaders("127.0.0.1", closed, nullptr, ShortLimits());
    EXPECT_NE(EHttpFailure::kNone, rootRefused.outcome.failure);
    EXPECT_EQ(Address(closed), rootRefused.outcome.url.Bytes());
}

// A server that redirects to itself for ever ends in the redirect failure, not in a
// time-out or an endless exchange.
TEST(HttpExchange, AnEndlessRedirectFailsAsTooManyRedirects) {
    EnsureNetworking();
    std::atomic<int> port{0};
    std::atomic<int> hops{0};
    CLoopbackServer server([&port, &hops](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        const int hop = ++hops;
        connection.Send(Response("302 Found", "Location: " + Address(port, "/hop" + std::to_string(hop)) + "\r\n"));
    });
    port = server.Port();
    CHttpLimits limits = ShortLimits();
    limits.totalMs = 15000;
    const CPageResult page = OpenPage(Address(port), limits);
    EXPECT_FALSE(page.opened);
    EXPECT_EQ(EHttpFailure::kTooManyRedirects, page.outcome.failure) << page.outcome.code;
    const CHttpHeaderAnswer root = FetchRootHeaders("127.0.0.1", port, nullptr, limits);
    EXPECT_EQ(EHttpFailure::kTooManyRedirects, root.outcome.failure) << root.outcome.code;
    EXPECT_TRUE(root.rawHeaders.IsEmpty());
}

// A header block longer than the limit fails the exchange; one just inside it passes.
TEST(HttpExchange, AHeaderBlockPastTheLimitFailsTheExchange) {
    EnsureNetworking();
    CHttpLimits limits = ShortLimits();
    limits.maxHeaderBytes = 4096;
    for (const int padding : {1000, 6000}) {
        SCOPED_TRACE(padding);
        CLoopbackServer server(Answer(Response("200 OK", "X-Pad: " + std::string(padding, 'p') + "\r\n")));
        const bool tooLong = padding > limits.maxHeaderBytes;
        const CPageResult page = OpenPage(Address(server.Port()), limits);
        EXPECT_EQ(!tooLong, page.opened);
        EXPECT_EQ(tooLong ? EHttpFailure::kHeadersTooLong : EHttpFailure::kNone, page.outcome.failure);
        const CHttpHeaderAnswer root = FetchRootHeaders("127.0.0.1", server.Port(), nullptr, limits);
        EXPECT_EQ(tooLong ? EHttpFailure::kHeadersTooLong : EHttpFailure::kNone, root.outcome.failure);
        EXPECT_EQ(tooLong, root.rawHeaders.IsEmpty());
    }
}

// A site whose answer may be cached for an hour, and which then stops answering, is
// reported as failing the second time.
TEST(HttpExchange, AnAnswerIsNeverTakenFromACache) {
    EnsureNetworking();
    int port = 0;
    {
        CLoopbackServer server(Answer(Response("200 OK", "Cache-Control: max-age=3600\r\n")), "127.0.0.1");
        port = server.Port();
        EXPECT_TRUE(OpenPage(Address(port, "/ic.asp")).opened);
        EXPECT_EQ(200, FetchRootHeaders("127.0.0.1", port, nullptr, ShortLimits()).status);
    }
    const CPageResult again = OpenPage(Address(port, "/ic.asp"));
    EXPECT_FALSE(again.opened);
    const CHttpHeaderAnswer rootAgain = FetchRootHeaders("127.0.0.1", port, nullptr, ShortLimits());
    EXPECT_NE(EHttpFailure::kNone, rootAgain.outcome.failure);
    EXPECT_EQ(0, rootAgain.status);
#ifdef _WIN32
    // Nor is anything written into the user's cache for later.
    for (const std::string& url : {Address(port, "/ic.asp"), Address(port)}) {
        const std::wstring wide(url.begin(), url.end());
        DWORD size = 0;
        EXPECT_FALSE(GetUrlCacheEntryInfoW(wide.c_str(), nullptr, &size) ||
                     GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            << url << " is in the cache";
    }
#endif
}

// A redirect from http to https is followed: the https address is connected to (the
// loopback server there speaks no TLS, so the exchange then fails there).
TEST(HttpExchange, ARedirectToHttpsIsFollowed) {
    EnsureNetworking();
    CLoopbackServer secure([](CServerConnection&) {});
    const std::string target = "https://127.0.0.1:" + std::to_string(secure.Port()) + "/";
    CLoopbackServer plain(Answer(Response("302 Found", "Location: " + target + "\r\n")));

    const CPageResult page = OpenPage(Address(plain.Port(), "/ic.asp"));
    EXPECT_FALSE(page.opened);
    const int reached = secure.Connections();
    EXPECT_GE(reached, 1) << "the https address was not reached";
    EXPECT_EQ(target, page.outcome.url.Bytes());

    const CHttpHeaderAnswer root = FetchRootHeaders("127.0.0.1", plain.Port(), nullptr, ShortLimits());
    EXPECT_NE(EHttpFailure::kNone, root.outcome.failure);
    EXPECT_GT(secure.Connections(), reached) << "the https address was not reached";
    EXPECT_EQ(target, root.outcome.url.Bytes());
}

#ifdef _WIN32
#include "platform/child_process.h"
#include "platform/program_path.h"

namespace {

// This program started as an exchange's process, with the fields given; its exit code,
// or -2 when it did not end in time.
int RunExchangeProcess(const std::string& url, const std::string& accept) {
    const CArgumentList arguments = {CString(GetExecutablePath()), "--tollvane-http-exchange", "page", "", "0",
                                     CString(url), CString(accept), "2000", "1500", "4000",
                                     "1048576", "262144", "0", ""};
    CChildProcess child;
    if (!child.Start(arguments)) return -3;
    char buffer[4096];
    int code = -2;
    for (int waited = 0; waited < 20 && !child.WaitForExit(250, &code); ++waited)
        child.Read(buffer, sizeof buffer, 0);
    return code;
}

}  // namespace

// Anyone can start the program as an exchange's process: a value that would add request
// headers, or a scheme the program never uses, ends it before any connection.
TEST(HttpExchange, TheExchangeProcessRefusesArgumentsTheProgramWouldNotSend) {
    EnsureNetworking();
    const struct {
        const char* name;
        std::string url;
        std::string accept;
        int exitCode;
    } cases[] = {
        {"well-formed", "http://127.0.0.1:%PORT%/", "text/plain", 0},
        {"CR LF in Accept", "http://127.0.0.1:%PORT%/", "text/plain\r\nX-Injected: 1\r\nCookie: a=b", 2},
        {"LF in the address", "http://127.0.0.1:%PORT%/\nX-Injected: 1", "", 2},
        {"ftp", "ftp://127.0.0.1:%PORT%/", "", 2},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CLoopbackServer server(Answer(Response("200 OK")));
        std::string url = row.url;
        url.replace(url.find("%PORT%"), 6, std::to_string(server.Port()));
        EXPECT_EQ(row.exitCode, RunExchangeProcess(url, row.accept));
        EXPECT_EQ(row.exitCode == 0 ? 1 : 0, server.Connections());
    }
}
#endif
