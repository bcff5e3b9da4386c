// The time limits of a run, added up on a clock the test moves by hand: a run in which
// nothing answers must end in under six minutes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "probes/command_probes.h"
#include "platform/deadline.h"
#include "platform/time_limits.h"

namespace {

class CFakeClock : public IClock {
public:
    TimePoint Now() const override { return m_now; }
    void Advance(int milliseconds) { m_now += std::chrono::milliseconds(milliseconds); }

private:
    TimePoint m_now{};
};

TEST(Deadline, CountsDownOnItsClockAndNeverBelowZero) {
    struct CCase {
        int limitMs;
        int elapsedMs;
        int remainingMs;
        bool passed;
    };
    const CCase cases[] = {
        {1000, 0, 1000, false}, {1000, 999, 1, false}, {1000, 1000, 0, true},
        {1000, 5000, 0, true},  {0, 0, 0, true},       {-50, 0, 0, true},
    };
    for (const CCase& c : cases) {
        CFakeClock clock;
        const CDeadline deadline(c.limitMs, clock);
        clock.Advance(c.elapsedMs);
        EXPECT_EQ(c.remainingMs, deadline.Remaining()) << c.limitMs << " after " << c.elapsedMs;
        EXPECT_EQ(c.passed, deadline.Passed()) << c.limitMs << " after " << c.elapsedMs;
    }
}

// What may still take time around a step once its limit has run out: ending and
// reaping its child, appending its block to the report.
const int kStepOverheadMs = 1000;

enum class ESilence { kPeers, kDns };

// One HTTP exchange at its limit, with the grace its own process may take on Windows.
int HttpExchangeMs(const CProbeEndpoints& endpoints) { return endpoints.httpLimits.totalMs + kHttpChildGraceMs; }

// The longest a step can take when nothing answers, given what the limits say, and
// which limit ends it.
int SilentStepMs(int step, ESilence silence, const CProbeContext& context,
                 const CProbeEndpoints& endpoints) {
    const CWhoisLimits& whois = endpoints.whoisLimits;
    switch (step) {
        case 1:
            // The first query fails and the step ends with it: its lookup runs out (DNS
            // silent), or the lookup may take its whole limit and the connect to a peer
            // that swallows packets runs out after it. The query's own limit caps both.
            // Then the registry's RDAP service is asked, and stays silent too.
            return (silence == ESilence::kDns
                        ? std::min(whois.queryMs, kNameLookupLimitMs)
                        : std::min(whois.queryMs, kNameLookupLimitMs + whois.connectMs)) +
                   HttpExchangeMs(endpoints);
        case 2:
            // The page's exchange, then the address services side by side.
            return HttpExchangeMs(endpoints) + kAddressCheckLimitMs;
        case 9:
            // The exchange's overall limit; its lookup counts against it.
            return HttpExchangeMs(endpoints);
        case 3:
        case 4:
            return kIpconfigLimitSeconds * 1000;
        case 5:
        case 6:
            return kPspingLimitSeconds * 1000;
        case 7:
            return kPingLimitSeconds * 1000;
        case 8:
            return TracertLimitSeconds(context) * 1000;
    }
    return 0;
}

// Walks a whole run on the fake clock, each step taking the longest its limits allow.
// With every peer silent: 246 s until tracert (the RDAP exchange of step 1 and the
// address services of step 2 included), which the budget leaves 62 s, then 33 s for the
// web site, 342 s in all; tracert's own 180 s would make it 460 s.
int SilentRunMs(ESilence silence, bool extended = false) {
    const CProbeEndpoints& endpoints = DefaultEndpoints();
    CFakeClock clock;
    CProbeContext context(endpoints, nullptr, clock);
    if (extended) context.reservedAfterWebsiteMs = kExtendedStepsLimitMs;
    int total = 0;
    for (int step = 1; step <= 9; ++step) {
        const int stepMs = SilentStepMs(step, silence, context, endpoints) + kStepOverheadMs;
        clock.Advance(stepMs);
        total += stepMs;
    }
    if (!extended) return total;
    // The optional steps, each at its own limit: DNS answers, HTTPS (an HTTP exchange),
    // IPv6 connects, the egress addresses and DNS, the local environment, the site timing.
    return total + kDnsStepLimitMs + HttpExchangeMs(endpoints) + kIpv6StepLimitMs +
           kEgressStepLimitMs + kLocalEnvironmentStepLimitMs + kSiteTimingStepLimitMs +
           6 * kStepOverheadMs;
}

TEST(RunLimits, ARunInWhichNothingAnswersEndsInUnderSixMinutes) {
    const int sixMinutesMs = 6 * 60 * 1000;
    for (const ESilence silence : {ESilence::kPeers, ESilence::kDns}) {
        EXPECT_LT(SilentRunMs(silence), sixMinutesMs) << (silence == ESilence::kPeers ? "peers" : "DNS");
    }
}

// With the optional steps the budget sets their 128 s aside, but the steps before tracert
// already take 246 s when nothing answers, so tracert gets its least and the optional
// steps come on top: 417 s in all. Not six minutes; this holds the line at seven.
TEST(RunLimits, ARunWithTheOptionalStepsInWhichNothingAnswersEndsInUnderSevenMinutes) {
    const int sevenMinutesMs = 7 * 60 * 1000;
    for (const ESilence silence : {ESilence::kPeers, ESilence::kDns}) {
        EXPECT_LT(SilentRunMs(silence, true), sevenMinutesMs)
            << (silence == ESilence::kPeers ? "peers" : "DNS");
    }
}

TEST(RunLimits, TracertKeepsItsOwnLimitUnlessTheBudgetRunsOut) {
    CFakeClock clock;
    const CProbeContext context(DefaultEndpoints(), nullptr, clock);
    struct CCase {
        int elapsedMs;
        int limitSeconds;
    };
    const int websiteMs = HttpExchangeMs(DefaultEndpoints());
    const int lastFullStartMs = kRunBudgetMs - websiteMs - kTracertLimitSeconds * 1000;
    const CCase cases[] = {
        {0, kTracertLimitSeconds},
        {lastFullStartMs, kTracertLimitSeconds},
        {lastFullStartMs + 10 * 1000, kTracertLimitSeconds - 10},
        {kRunBudgetMs - websiteMs - 5 * 1000, 5},
        {kRunBudgetMs, kTracertLeastSeconds},
    };
    int elapsed = 0;
    for (const CCase& c : cases) {
        clock.Advance(c.elapsedMs - elapsed);
        elapsed = c.elapsedMs;
        EXPECT_EQ(c.limitSeconds, TracertLimitSeconds(context)) << "after " << c.elapsedMs << " ms";
    }
}

// The optional steps, path statistics with its rounds included, come out of tracert's
// share of the budget, second for second.
TEST(RunLimits, OptionalStepsAreSetAsideFromTracertsShare) {
    const int websiteMs = HttpExchangeMs(DefaultEndpoints());
    const int late = kRunBudgetMs - websiteMs - 60 * 1000;  // 60 s left for tracert alone
    const std::pair<int, int> cases[] = {
        {0, 60},
        {kExtendedStepsLimitMs + PathStepLimitMs(kPathRoundsLeast), 60 - 125},
        {PathStepLimitMs(kPathRoundsLeast), 60 - 15},
        {PathStepLimitMs(kPathRoundsDefault), 60 - 35},
        {PathStepLimitMs(kPathRoundsMost), 60 - 305},
    };
    for (const auto& c : cases) {
        CFakeClock clock;
        CProbeContext context(DefaultEndpoints(), nullptr, clock);
        context.reservedAfterWebsiteMs = c.first;
        clock.Advance(late);
        EXPECT_EQ(std::max(kTracertLeastSeconds, c.second), TracertLimitSeconds(context)) << c.first;
    }
}

}  // namespace
