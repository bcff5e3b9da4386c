#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/bounded_call.h"
#include "platform/host_name.h"
#include "platform/resolver.h"
#include "platform/stop_signal.h"
#include "tests/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A call that takes the given time, then answers 42.
std::function<int()> SlowAnswer(int milliseconds) {
    return [milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return 42;
    };
}

}  // namespace

TEST(BoundedCall, AQuickCallHandsBackItsResult) {
    int result = 0;
    EXPECT_EQ(EBoundedCall::kDone, RunBounded<int>(SlowAnswer(10), 5000, nullptr, &result));
    EXPECT_EQ(42, result);
}

TEST(BoundedCall, ACallPastTheLimitIsLeftBehindAtTheLimit) {
    int result = 0;
    const auto start = Clock::now();
    EXPECT_EQ(EBoundedCall::kTimedOut, RunBounded<int>(SlowAnswer(3000), 300, nullptr, &result));
    EXPECT_LT(SecondsSince(start), 1.5);
    EXPECT_EQ(0, result);
}

TEST(BoundedCall, ARaisedStopEndsTheWaitPromptly) {
    CStopSignal stop;
    std::thread raiser([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.Raise();
    });
    int result = 0;
    const auto start = Clock::now();
    EXPECT_EQ(EBoundedCall::kStopped, RunBounded<int>(SlowAnswer(3000), 10000, &stop, &result));
    raiser.join();
    EXPECT_LT(SecondsSince(start), 1.5);
}

TEST(Resolver, NamesThatCannotResolveFailAsNotFound) {
    EnsureNetworking();
    for (const char* host : {"", "no..such.invalid", "\xB2\xBB\xBA\xCF\xB7\xA8..\xD6\xD0\xB9\xFA"}) {
        const CResolution resolution = ResolveFirstIPv4(host, 5000);
        EXPECT_EQ(EResolveFailure::kNotFound, resolution.failure) << host;
        EXPECT_TRUE(resolution.address.IsEmpty()) << host;
    }
    const CResolution loopback = ResolveFirstIPv4("127.0.0.1", 5000);
    EXPECT_EQ(EResolveFailure::kNone, loopback.failure);
    EXPECT_EQ(CString("127.0.0.1"), loopback.address);
}

TEST(HostName, ChineseLabelsTakeTheirAsciiFormAndAsciiNamesStayAsTyped) {
    struct CCase {
        const char* typed;
        const char* ascii;
    };
    const CCase cases[] = {
        {"例子.中国", "xn--fsqu00a.xn--fiqs8s"},
        {"www.例子.公司", "www.xn--fsqu00a.xn--55qx5d"},
        {"Example.COM", "Example.COM"},
        {"under_score.example", "under_score.example"},
        {"", ""},
    };
    for (const CCase& entry : cases) {
        EXPECT_EQ(CString(entry.ascii), HostNameToAscii(entry.typed)) << entry.ascii;
    }
    // A byte that starts no GBK character is no name at all.
    EXPECT_TRUE(HostNameToAscii("bad\xFF.example").IsEmpty());
}
