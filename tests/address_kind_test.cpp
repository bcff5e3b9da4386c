#include <gtest/gtest.h>

#include "model/address_kind.h"

// Each range once, by an address inside it, plus the neighbours just outside where a
// wrong prefix length would show.
TEST(AddressKind, EveryRangeOnce) {
    const struct {
        const char* address;
        EAddressKind kind;
    } cases[] = {
        {"0.1.2.3", EAddressKind::kUnspecified},
        {"10.255.255.255", EAddressKind::kPrivate},
        {"100.64.0.0", EAddressKind::kShared},
        {"127.0.0.1", EAddressKind::kLoopback},
        {"169.254.1.1", EAddressKind::kLinkLocal},
        {"172.31.255.255", EAddressKind::kPrivate},
        {"192.0.0.8", EAddressKind::kReserved},
        {"192.0.2.1", EAddressKind::kDocumentation},
        {"192.168.1.1", EAddressKind::kPrivate},
        {"198.19.255.255", EAddressKind::kBenchmark},
        {"198.51.100.7", EAddressKind::kDocumentation},
        {"203.0.113.9", EAddressKind::kDocumentation},
        {"239.255.255.250", EAddressKind::kMulticast},
        {"255.255.255.255", EAddressKind::kReserved},
        {"::", EAddressKind::kUnspecified},
        {"::1", EAddressKind::kLoopback},
        {"100::5", EAddressKind::kReserved},
        {"2001:2:0:ffff::1", EAddressKind::kBenchmark},
        {"2001:DB8::1", EAddressKind::kDocumentation},
        {"fdff::1", EAddressKind::kUniqueLocal},
        {"febf::1%eth0", EAddressKind::kLinkLocal},
        {"fec0::1", EAddressKind::kReserved},
        {"ff02::1", EAddressKind::kMulticast},
        // Just outside, and what is left over.
        {"100.63.255.255", EAddressKind::kPublic},
        {"100.128.0.0", EAddressKind::kPublic},
        {"172.32.0.1", EAddressKind::kPublic},
        {"198.17.255.255", EAddressKind::kPublic},
        {"198.20.0.0", EAddressKind::kPublic},
        {"223.255.255.255", EAddressKind::kPublic},
        {"2001:3::1", EAddressKind::kPublic},
        {"2400:cb00::1", EAddressKind::kPublic},
        {"4000::1", EAddressKind::kReserved},
        {"::ffff:10.0.0.1", EAddressKind::kPrivate},
        {"::ffff:198.18.0.1", EAddressKind::kBenchmark},
        {"0:0:0:0:0:ffff:808:808", EAddressKind::kPublic},
        // No numeric address.
        {"", EAddressKind::kInvalid},
        {"example.com", EAddressKind::kInvalid},
        {"1:2:3:4:5:6:7:8:9", EAddressKind::kInvalid},
        {"1::2::3", EAddressKind::kInvalid},
        {"12345::1", EAddressKind::kInvalid},
        {"fe80::1%", EAddressKind::kInvalid},
        {"::1.2.3.4:5", EAddressKind::kInvalid},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(AddressKindName(c.kind), AddressKindName(ClassifyAddress(c.address))) << c.address;
}

TEST(AddressKind, StrictDottedQuad) {
    const struct {
        const char* text;
        std::optional<uint32_t> value;
    } cases[] = {
        {"192.0.2.1", 0xC0000201u}, {"0.0.0.0", 0u},         {"255.255.255.255", 0xFFFFFFFFu},
        {"127.1", std::nullopt},    {"010.0.0.1", std::nullopt}, {"256.0.0.1", std::nullopt},
        {"1.2.3.4.", std::nullopt}, {"1.2.3.4 ", std::nullopt},  {"1..2.3", std::nullopt},
        {"0x7f.0.0.1", std::nullopt}, {"+1.2.3.4", std::nullopt}, {"1.2.3.0004", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, ParseIpv4(c.text)) << c.text;
}
