// The ICMP echo engine against this machine's loopback, with whichever socket the
// process may open: the target answers at once whatever the TTL.
#include <gtest/gtest.h>

#include <string>

#include "platform/icmp_echo.h"

TEST(IcmpEchoLoopback, EveryProbeOfARoundGetsItsOwnReply) {
    struct CCase {
        const char* target;
        std::vector<int> ttls;
    };
    const CCase cases[] = {{"127.0.0.1", {1, 1, 1}}, {"127.0.0.1", {1, 2, 3, 4, 5, 6, 7, 8}}, {"::1", {1, 64}}};
    for (const CCase& c : cases) {
        std::string error;
        const auto echo = CIcmpEcho::Open(c.target, &error);
        if (!echo) GTEST_SKIP() << "no ICMP socket here: " << error;
        for (int round = 0; round < 2; ++round) {
            const auto results = echo->SendRound(c.ttls, 2000);
            ASSERT_EQ(c.ttls.size(), results.size());
            for (const CIcmpResult& result : results) {
                EXPECT_EQ(EIcmpAnswer::kEchoReply, result.answer) << c.target << " via " << echo->Means();
                EXPECT_EQ(c.target, result.from);
                EXPECT_LT(result.rttMs, 2000);
            }
        }
    }
}

TEST(IcmpEchoLoopback, WhatIsNoNumericAddressIsRefusedWithItsReason) {
    for (const char* target : {"", "localhost", "127.0.0.1 ", "1.2.3.4.5", "::1%", "[::1]"}) {
        std::string error;
        EXPECT_EQ(nullptr, CIcmpEcho::Open(target, &error)) << target;
        EXPECT_NE(std::string::npos, error.find("numeric")) << target << ": " << error;
    }
}
