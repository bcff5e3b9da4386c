// The ICMP echo engine against this machine's loopback, with whichever socket the
// process may open: the target answers at once whatever the TTL.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "platform/icmp_echo.h"

TEST(IcmpEchoLoopback, EveryProbeOfARoundGetsItsOwnReply) {
    struct CCase {
        const char* target;
        std::vector<int> ttls;
    };
    const CCase cases[] = {
        {"127.0.0.1", {1, 1, 1}}, {"127.0.0.1", {1, 2, 3, 4, 5, 6, 7, 8}}, {"::1", {1, 64}}};
    int opened = 0;
    for (const CCase& c : cases) {
        CPlatformError error;
        const auto echo = CIcmpEcho::Open(c.target, &error);
        // Wine has no Icmp6CreateFile, and a system may deny both kinds of socket.
        if (!echo) {
            std::cout << "no ICMP echo towards " << c.target << " here: error " << error.code << "\n";
            continue;
        }
        ++opened;
        for (int round = 0; round < 2; ++round) {
            const auto results = echo->SendRound(c.ttls, 2000);
            ASSERT_EQ(c.ttls.size(), results.size());
            for (const CIcmpResult& result : results) {
                EXPECT_EQ(EIcmpAnswer::kEchoReply, result.answer)
                    << c.target << " via " << echo->Means();
                EXPECT_EQ(c.target, result.from);
                EXPECT_LT(result.rttMs, 2000);
            }
        }
    }
    if (opened == 0) GTEST_SKIP() << "no ICMP echo here at all";
}

TEST(IcmpEchoLoopback, WhatIsNoNumericAddressIsRefusedWithItsReason) {
    for (const char* target : {"", "localhost", "127.0.0.1 ", "1.2.3.4.5", "::1%", "[::1]"}) {
        CPlatformError error;
        EXPECT_EQ(nullptr, CIcmpEcho::Open(target, &error)) << target;
        EXPECT_EQ(EPlatformError::kBadName, error.kind) << target;
    }
}
