#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/stop_signal.h"
#include "probes/path_stats.h"
#include "tests/test_support.h"

namespace {

// A route the fake sender answers for: the routers at TTL 1, 2, ..., then the target.
// silent(round, ttl) drops a probe; routers(round, ttl) may name a balanced hop's router.
struct CRoute {
    std::vector<std::string> routers;
    std::string target;
    bool targetAnswers = true;
    std::function<bool(int round, int ttl)> silent = [](int, int) { return false; };
    std::function<std::string(int round, int ttl)> router;
};

class CFakeEcho : public CIcmpEcho {
public:
    explicit CFakeEcho(CRoute route) : m_route(std::move(route)) {}

    std::vector<CIcmpResult> SendRound(const std::vector<int>& ttls, int) override {
        m_sentTtls.push_back(ttls);
        std::vector<CIcmpResult> results;
        for (int ttl : ttls) results.push_back(Answer(ttl));
        ++m_round;
        return results;
    }
    const char* Means() const override { return "fake"; }

    std::vector<std::vector<int>> m_sentTtls;

private:
    CIcmpResult Answer(int ttl) const {
        CIcmpResult r;
        if (m_route.silent(m_round, ttl)) return r;
        const size_t routers = m_route.routers.size();
        if (static_cast<size_t>(ttl) <= routers) {
            r.from = m_route.router ? m_route.router(m_round, ttl) : m_route.routers[ttl - 1];
            if (r.from.empty()) return r;
            r.answer = EIcmpAnswer::kTimeExceeded;
        } else if (m_route.targetAnswers) {
            r.from = m_route.target;
            r.answer = EIcmpAnswer::kEchoReply;
        } else {
            return r;
        }
        r.rttMs = ttl * 10.0 + m_round;
        return r;
    }

    CRoute m_route;
    int m_round = 0;
};

CRoute Route(std::vector<std::string> routers, std::string target, bool targetAnswers = true,
             std::function<bool(int, int)> silent = nullptr,
             std::function<std::string(int, int)> router = nullptr) {
    CRoute route;
    route.routers = std::move(routers);
    route.target = std::move(target);
    route.targetAnswers = targetAnswers;
    if (silent) route.silent = std::move(silent);
    route.router = std::move(router);
    return route;
}

CPathProbing Probing(int rounds) {
    CPathProbing probing;
    probing.label = [](const CString& a) { return "L" + a; };
    probing.rounds = rounds;
    probing.intervalMs = 0;
    return probing;
}

struct CHopView {
    std::vector<std::string> addresses;
    int sent;
    int received;
};

std::vector<CHopView> RunRoute(const CRoute& route, int rounds,
                               std::vector<std::vector<int>>* sent = nullptr) {
    CFakeEcho echo(route);
    CPathTrace trace;
    trace.target = route.target;
    trace = ProbeRounds(echo, trace, Probing(rounds), nullptr);
    if (sent) *sent = echo.m_sentTtls;
    std::vector<CHopView> view;
    for (const CPathProbeHop& hop : trace.hops) {
        CHopView v{{}, hop.sent, hop.Received()};
        for (const CPathAddress& a : hop.addresses) v.addresses.push_back(a.address);
        view.push_back(v);
    }
    return view;
}

struct CRoundsCase {
    const char* what;
    CRoute route;
    std::vector<std::vector<std::string>> addresses;  // per hop
    std::vector<int> received;                        // per hop, of 10 rounds
};

TEST(PathRoundsTest, KeepsEveryHopUpToTheDestination) {
    const CRoundsCase cases[] = {
        {"a clean route ends at the target, not at the hop limit",
         Route({"10.0.1.1", "10.0.2.1"}, "10.0.3.2"),
         {{"10.0.1.1"}, {"10.0.2.1"}, {"10.0.3.2"}},
         {10, 10, 10}},
        {"a router that never answers stays as an empty hop",
         Route({"10.0.1.1", "", "10.0.3.1"}, "10.0.4.2"),
         {{"10.0.1.1"}, {}, {"10.0.3.1"}, {"10.0.4.2"}},
         {10, 0, 10, 10}},
        {"loss on the second router shows there and not before it",
         Route({"10.0.1.1", "10.0.2.1"}, "10.0.3.2", true,
               [](int round, int ttl) { return ttl >= 2 && round % 5 == 0; }),
         {{"10.0.1.1"}, {"10.0.2.1"}, {"10.0.3.2"}},
         {10, 8, 8}},
        {"a balanced hop lists each router that answered, in first-answer order",
         Route({"10.0.1.1", "x"}, "10.0.3.2", true, nullptr,
               [](int round, int ttl) {
                   if (ttl == 1) return std::string("10.0.1.1");
                   return std::string(round % 2 ? "10.0.2.2" : "10.0.2.1");
               }),
         {{"10.0.1.1"}, {"10.0.2.1", "10.0.2.2"}, {"10.0.3.2"}},
         {10, 10, 10}},
        {"a silent target: the trace ends at the last hop that answered",
         Route({"10.0.1.1", "10.0.2.1"}, "10.0.3.2", false),
         {{"10.0.1.1"}, {"10.0.2.1"}},
         {10, 10}},
        {"the target answering in the first hop already",
         Route({}, "10.0.1.2"),
         {{"10.0.1.2"}},
         {10}},
    };
    for (const CRoundsCase& c : cases) {
        const std::vector<CHopView> hops = RunRoute(c.route, 10);
        ASSERT_EQ(hops.size(), c.addresses.size()) << c.what;
        for (size_t i = 0; i < hops.size(); ++i) {
            EXPECT_EQ(hops[i].addresses, c.addresses[i]) << c.what << ", hop " << i + 1;
            EXPECT_EQ(hops[i].sent, 10) << c.what << ", hop " << i + 1;
            EXPECT_EQ(hops[i].received, c.received[i]) << c.what << ", hop " << i + 1;
        }
    }
}

TEST(PathRoundsTest, ProbesPastTheTargetOnlyUntilItIsFound) {
    std::vector<std::vector<int>> sent;
    RunRoute(Route({"10.0.1.1", "10.0.2.1"}, "10.0.3.2"), 3, &sent);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].size(), 30u);  // the first round has to look at every TTL
    EXPECT_EQ(sent[1], (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(sent[2], (std::vector<int>{1, 2, 3}));
}

TEST(PathRoundsTest, TakesTimesAndLabelsOfTheAnswers) {
    CFakeEcho echo(Route({"10.0.1.1"}, "10.0.2.2"));
    CPathTrace trace;
    trace.target = "10.0.2.2";
    trace = ProbeRounds(echo, trace, Probing(3), nullptr);
    ASSERT_EQ(trace.hops.size(), 2u);
    const CPathAddress& first = trace.hops[0].addresses.at(0);
    EXPECT_EQ(first.label, CString("L10.0.1.1"));
    EXPECT_DOUBLE_EQ(first.bestMs, 10);
    EXPECT_DOUBLE_EQ(first.worstMs, 12);
    EXPECT_DOUBLE_EQ(first.lastMs, 12);
    EXPECT_DOUBLE_EQ(first.sumMs, 33);
    EXPECT_EQ(trace.rounds, 3);
}

// An engine that hands back fewer results than probes: the missing ones were lost.
class CShortEcho : public CIcmpEcho {
public:
    std::vector<CIcmpResult> SendRound(const std::vector<int>&, int) override {
        CIcmpResult r;
        r.answer = EIcmpAnswer::kTimeExceeded;
        r.from = "10.0.1.1";
        return {r};
    }
    const char* Means() const override { return "short"; }
};

TEST(PathRoundsTest, CountsResultsMissingFromARoundAsLost) {
    CShortEcho echo;
    CPathTrace trace;
    trace.target = "10.0.9.9";
    trace = ProbeRounds(echo, trace, Probing(2), nullptr);
    ASSERT_EQ(trace.hops.size(), 1u);
    EXPECT_EQ(trace.hops[0].sent, 2);
    EXPECT_EQ(trace.hops[0].Received(), 2);
}

TEST(PathRoundsTest, StopsWhenTheRunIsStopped) {
    CStopSignal stop;
    stop.Raise();
    CFakeEcho echo(Route({"10.0.1.1"}, "10.0.2.2"));
    CPathTrace trace;
    trace.target = "10.0.2.2";
    trace = ProbeRounds(echo, trace, Probing(5), &stop);
    EXPECT_TRUE(echo.m_sentTtls.empty());
    EXPECT_TRUE(trace.hops.empty());
}

TEST(PathRoundsTest, FindsThePublicAddressInThePublicAddressStep) {
    const std::pair<const char*, const char*> cases[] = {
        {"您的IP是：[198.51.100.7] 来自：广东省广州市 电信", "198.51.100.7"},
        {"没有地址", ""},
        {"[1] 只是一个数", ""},
        {"[2001:db8::1]", ""},
        {"[198.51.100.7; rm -rf /]", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PublicAddressOfStep(c.first), CString(c.second)) << c.first;
}

}  // namespace
