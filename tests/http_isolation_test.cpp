// The Windows HTTP layer runs each exchange in a process of its own: a server that sends
// header lines without end costs this program no memory and no wait past the limits, a
// raised stop signal ends the exchange at once, and no process is left behind either
// way. What the page reads, and the address it names, come across unchanged.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "net/http_client.h"
#include "platform/stop_signal.h"
#include "tests/test_support.h"

namespace {

using CClock = std::chrono::steady_clock;

long long Milliseconds(CClock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

struct CMemory {
    long long resident;
    long long peak;
};

CMemory MemoryNow() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return {static_cast<long long>(counters.WorkingSetSize), static_cast<long long>(counters.PeakWorkingSetSize)};
}

// Processes this test program started that still run.
int ChildProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    const auto end = CClock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (CClock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

CHttpLimits ShortLimits() {
    CHttpLimits limits;
    limits.connectMs = 2000;
    limits.silenceMs = 1500;
    limits.totalMs = 6000;
    return limits;
}

std::string Address(int port, const std::string& path = "/") {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

// A peer that answers a request with a status line and then header lines without end,
// for up to 40 s, and notes when the other end has gone.
class CHeaderFlood {
public:
    CHeaderFlood()
        : m_server([this](CServerConnection& connection) {
              connection.ReadUntil("\r\n\r\n");
              std::string batch;
              for (int i = 0; batch.size() < (64 << 10); ++i)
                  batch += "X-Flood-" + std::to_string(i) + ": " + std::string(100, 'f') + "\r\n";
              const auto end = CClock::now() + std::chrono::seconds(40);
              bool open = connection.TrySend("HTTP/1.1 200 OK\r\n");
              while (open && !connection.Stopping() && CClock::now() < end) {
                  open = connection.TrySend(batch);
                  if (open) m_sent += static_cast<long long>(batch.size());
              }
              if (!open) m_closed = true;
          }) {}

    int Port() const { return m_server.Port(); }
    bool Closed() const { return m_closed; }
    long long Sent() const { return m_sent; }

private:
    std::atomic<bool> m_closed{false};
    std::atomic<long long> m_sent{0};
    CLoopbackServer m_server;  // last: its thread uses the members above
};

CLoopbackServer::Script Answer(const std::string& response) {
    return [response](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        connection.Send(response);
    };
}

}  // namespace

// Before this layer ran exchanges in a process of their own, WinINet kept every line:
// hundreds of MiB, still growing after the call had given up.
TEST(HttpIsolation, AnEndlessHeaderBlockCostsTheCallerNoMemoryAndLeavesNoProcess) {
    EnsureNetworking();
    CHttpLimits limits = ShortLimits();
    limits.silenceMs = 5000;
    limits.totalMs = 15000;
    {
        // Whatever a first exchange loads for good is loaded before the measure.
        CLoopbackServer plain(Answer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
        ASSERT_EQ(200, FetchRootHeaders("127.0.0.1", plain.Port(), nullptr, limits).status);
    }
    ASSERT_TRUE(WaitFor([] { return ChildProcesses() == 0; }, 5000));

    CHeaderFlood flood;
    const CMemory before = MemoryNow();
    const auto start = CClock::now();
    const CHttpHeaderAnswer answer = FetchRootHeaders("127.0.0.1", flood.Port(), nullptr, limits);
    const long long took = Milliseconds(CClock::now() - start);
    const CMemory after = MemoryNow();
    std::cout << "endless header block: returned after " << took << " ms, failure "
              << static_cast<int>(answer.outcome.failure) << ", " << flood.Sent() / 1024
              << " KiB sent; resident " << before.resident / 1024 << " -> " << after.resident / 1024
              << " KiB, peak " << before.peak / 1024 << " -> " << after.peak / 1024 << " KiB\n";

    EXPECT_TRUE(answer.outcome.failure == EHttpFailure::kHeadersTooLong ||
                answer.outcome.failure == EHttpFailure::kTimedOut)
        << static_cast<int>(answer.outcome.failure);
    EXPECT_EQ(Address(flood.Port()), answer.outcome.url.Bytes());
    EXPECT_TRUE(answer.rawHeaders.IsEmpty());
    EXPECT_LT(took, limits.totalMs + 4000);
    EXPECT_LT(after.resident - before.resident, 8LL << 20);
    EXPECT_LT(after.peak - before.peak, 8LL << 20);
    // The exchange is over for the peer too, not only for the caller.
    EXPECT_TRUE(WaitFor([] { return ChildProcesses() == 0; }, 5000)) << ChildProcesses() << " left";
    EXPECT_TRUE(WaitFor([&flood] { return flood.Closed(); }, 5000)) << "the peer is still sending";
    const CMemory later = MemoryNow();
    EXPECT_LT(later.resident - before.resident, 8LL << 20);
}

// A stop raised while the exchange waits (for the response, or for more of the body) ends
// it within a wait slice or two, and its process with it.
struct CStopCase {
    const char* name;
    CLoopbackServer::Script script;
    std::function<CHttpOutcome(int port, CStopSignal* stop)> call;
};

// Raises the stop 1.5 s into the exchange: the call must return within a second of it,
// as stopped, with no process of its own left.
void ExpectStoppedAtOnce(const CStopCase& row) {
    SCOPED_TRACE(row.name);
    CLoopbackServer server(row.script);
    CStopSignal stop;
    std::atomic<long long> raisedAt{0};
    const auto start = CClock::now();
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        raisedAt = Milliseconds(CClock::now() - start);
        stop.Raise();
    });
    const CHttpOutcome outcome = row.call(server.Port(), &stop);
    const long long returnedAt = Milliseconds(CClock::now() - start);
    raiser.join();
    EXPECT_EQ(EHttpFailure::kStopped, outcome.failure);
    EXPECT_EQ(Address(server.Port()), outcome.url.Bytes());
    EXPECT_GE(returnedAt, raisedAt.load());
    EXPECT_LT(returnedAt - raisedAt, 1000) << "returned " << returnedAt - raisedAt << " ms after the stop";
    EXPECT_TRUE(WaitFor([] { return ChildProcesses() == 0; }, 1000)) << ChildProcesses() << " left";
}

TEST(HttpIsolation, AStopSignalEndsTheExchangeAndItsProcessAtOnce) {
    EnsureNetworking();
    CHttpLimits limits = ShortLimits();
    limits.silenceMs = 20000;
    limits.totalMs = 30000;
    const auto silent = [](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        connection.HoldUntilStopped();
    };
    const auto partBody = [](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        // More than one read's worth: the layer hands over a read only once it is full.
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst\n" + std::string(5000, 'x'));
        connection.HoldUntilStopped();
    };
    const CStopCase cases[] = {
        {"root headers", silent,
         [&limits](int port, CStopSignal* stop) {
             return FetchRootHeaders("127.0.0.1", port, stop, limits).outcome;
         }},
        {"page open", silent,
         [&limits](int port, CStopSignal* stop) {
             CHttpPage page(stop, limits);
             EXPECT_FALSE(page.Open(CString(Address(port))));
             return page.Outcome();
         }},
        {"page body", partBody,
         [&limits](int port, CStopSignal* stop) {
             CHttpPage page(stop, limits);
             EXPECT_TRUE(page.Open(CString(Address(port))));
             CString line;
             EXPECT_TRUE(page.ReadLine(&line));
             EXPECT_EQ(CString("first"), line);
             // The rest of the first read, cut short by the stop.
             EXPECT_TRUE(page.ReadLine(&line));
             EXPECT_EQ(std::string(4096 - 6, 'x'), line.Bytes());
             EXPECT_FALSE(page.ReadLine(&line));
             return page.Outcome();
         }},
    };
    for (const CStopCase& row : cases) ExpectStoppedAtOnce(row);
}

// A body that breaks off gives the lines that came, the last one unfinished, and then
// the layer's reason; a whole body ends cleanly at its end or at the byte limit.
TEST(HttpIsolation, APageGivesItsLinesThenHowTheBodyEnded) {
    EnsureNetworking();
    std::string part;
    for (int i = 0; part.size() < 5000; ++i) part += "line " + std::to_string(i) + "\n";
    CLoopbackServer broken([&part](CServerConnection& connection) {
        connection.ReadUntil("\r\n\r\n");
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + part);
        connection.HoldUntilStopped();
    });
    // The layer hands over a read (of 4096 bytes, as ReadLine asks) only once it is full,
    // so what came is the first read, its last line cut where the read ended.
    std::vector<std::string> expected;
    const std::string firstRead = part.substr(0, 4096);
    for (size_t at = 0; at < firstRead.size();) {
        const size_t end = std::min(firstRead.find('\n', at), firstRead.size());
        expected.push_back(firstRead.substr(at, end - at));
        at = end + 1;
    }
    {
        CHttpPage page(nullptr, ShortLimits());
        ASSERT_TRUE(page.Open(CString(Address(broken.Port(), "/ip"))));
        EXPECT_EQ(200, page.Status());
        EXPECT_EQ(CString("HTTP/1.1 200 OK"), page.StatusLine());
        std::vector<std::string> lines;
        CString line;
        while (page.ReadLine(&line)) lines.push_back(line.Bytes());
        EXPECT_EQ(expected, lines);
        // Whatever the layer calls a silent peer (Wine: a socket error), it is its own
        // report, with its error number, not a lost exchange process.
        EXPECT_NE(EHttpFailure::kNone, page.Outcome().failure);
        EXPECT_NE(0, page.Outcome().code);
        EXPECT_EQ(Address(broken.Port(), "/ip"), page.Outcome().url.Bytes());
    }

    std::string body;
    for (int i = 0; body.size() < 20000; ++i) body += "line " + std::to_string(i) + "\n";
    CLoopbackServer whole(Answer("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + body));
    for (const int limit : {1 << 20, 10000}) {
        SCOPED_TRACE(limit);
        CHttpLimits limits = ShortLimits();
        limits.maxBodyBytes = limit;
        CHttpPage page(nullptr, limits);
        ASSERT_TRUE(page.Open(CString(Address(whole.Port()))));
        EXPECT_EQ(404, page.Status());
        std::string read;
        CString line;
        while (page.ReadLine(&line)) read += line.Bytes() + "\n";
        EXPECT_EQ(EHttpFailure::kNone, page.Outcome().failure);
        // Up to the limit, and the last line cut there ends the page without its "\n".
        const size_t kept = std::min(body.size(), static_cast<size_t>(limit));
        EXPECT_EQ(body.substr(0, kept), read.substr(0, kept));
        EXPECT_LE(read.size(), kept + 1);
    }
}

// An address travels to the exchange as one whole argument, whatever it holds: blanks,
// quotes, backslashes, Chinese, or the words that start an exchange.
TEST(HttpIsolation, AnAddressReachesTheExchangeWhole) {
    EnsureNetworking();
    int closed = 0;
    {
        CLoopbackServer probe([](CServerConnection&) {});
        closed = probe.Port();
    }
    const std::string base = Address(closed, "");
    const std::string urls[] = {
        base + "/a b\"c\\\\\"d\\",
        base + "/路径?q=\"x y\"\\",
        "--tollvane-http-exchange root 127.0.0.1 80",
        "--tollvane-http-exchange",
        base + "/\" --tollvane-http-exchange \"",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        CHttpPage page(nullptr, ShortLimits());
        EXPECT_FALSE(page.Open(CString(url)));
        // A mangled request would not run at all, which reads as kOther.
        EXPECT_NE(EHttpFailure::kOther, page.Outcome().failure);
        EXPECT_NE(EHttpFailure::kNone, page.Outcome().failure);
        EXPECT_EQ(url, page.Outcome().url.Bytes());
    }
}
