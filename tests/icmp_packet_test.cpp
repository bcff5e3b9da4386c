// Reading the answers to ICMP echo probes, on packets built byte by byte: the kinds
// a path produces, and the look-alikes a raw socket also sees.
#include "platform/icmp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using CBytes = std::vector<unsigned char>;

CBytes Join(std::initializer_list<CBytes> parts) {
    CBytes all;
    for (const CBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// An ICMP header: type, code, a checksum nobody reads here, then identifier and sequence
// (or the unused word of an error message).
CBytes Icmp(int type, int code, std::uint16_t identifier, std::uint16_t sequence) {
    return {static_cast<unsigned char>(type),
            static_cast<unsigned char>(code),
            0,
            0,
            static_cast<unsigned char>(identifier >> 8),
            static_cast<unsigned char>(identifier),
            static_cast<unsigned char>(sequence >> 8),
            static_cast<unsigned char>(sequence)};
}

CBytes Ipv4Header(int protocol, int words = 5) {
    CBytes header(static_cast<std::size_t>(words) * 4, 0);
    header[0] = static_cast<unsigned char>(0x40 | words);
    header[8] = 1;
    header[9] = static_cast<unsigned char>(protocol);
    return header;
}

CBytes Ipv6Header(int nextHeader) {
    CBytes header(40, 0);
    header[0] = 0x60;
    header[6] = static_cast<unsigned char>(nextHeader);
    return header;
}

const CBytes kPayload(32, 'a');

struct CAnswerCase {
    const char* what;
    bool ipv6;
    bool withIpv4Header;
    CBytes packet;
    std::optional<EIcmpAnswer> answer;  // nothing: not an answer to a probe
    std::uint16_t identifier;
    std::uint16_t sequence;
};

std::vector<CAnswerCase> Ipv4AnswerCases() {
    const CBytes echo4 = Icmp(8, 0, 0x1234, 7);
    return {
        {"echo reply, datagram socket", false, false, Join({Icmp(0, 0, 0x1234, 7), kPayload}),
         EIcmpAnswer::kEchoReply, 0x1234, 7},
        {"echo reply, raw socket", false, true,
         Join({Ipv4Header(1), Icmp(0, 0, 0xbeef, 65535), kPayload}), EIcmpAnswer::kEchoReply,
         0xbeef, 65535},
        {"echo reply behind IP options", false, true, Join({Ipv4Header(1, 7), Icmp(0, 0, 1, 2)}),
         EIcmpAnswer::kEchoReply, 1, 2},
        {"time exceeded", false, true,
         Join({Ipv4Header(1), Icmp(11, 0, 0, 0), Ipv4Header(1), echo4}), EIcmpAnswer::kTimeExceeded,
         0x1234, 7},
        {"time exceeded, quote with options", false, false,
         Join({Icmp(11, 0, 0, 0), Ipv4Header(1, 6), echo4}), EIcmpAnswer::kTimeExceeded, 0x1234, 7},
        {"host unreachable", false, true,
         Join({Ipv4Header(1), Icmp(3, 1, 0, 0), Ipv4Header(1), echo4}), EIcmpAnswer::kUnreachable,
         0x1234, 7},
        {"admin prohibited", false, false, Join({Icmp(3, 13, 0, 0), Ipv4Header(1), echo4}),
         EIcmpAnswer::kUnreachable, 0x1234, 7},
        {"time exceeded for a UDP probe", false, false,
         Join({Icmp(11, 0, 0, 0), Ipv4Header(17), echo4}), std::nullopt, 0, 0},
        {"time exceeded quoting a reply", false, false,
         Join({Icmp(11, 0, 0, 0), Ipv4Header(1), Icmp(0, 0, 0x1234, 7)}), std::nullopt, 0, 0},
        {"quote cut before the sequence", false, false,
         Join({Icmp(11, 0, 0, 0), Ipv4Header(1), CBytes(echo4.begin(), echo4.begin() + 6)}),
         std::nullopt, 0, 0},
        {"redirect", false, false, Join({Icmp(5, 1, 0, 0), Ipv4Header(1), echo4}), std::nullopt, 0,
         0},
        {"our own request on loopback", false, true, Join({Ipv4Header(1), echo4, kPayload}),
         std::nullopt, 0, 0},
        {"echo reply with a code", false, false, Icmp(0, 3, 1, 2), std::nullopt, 0, 0},
        {"IP header length below five words", false, true,
         Join({CBytes{0x44, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}, Icmp(0, 0, 1, 2)}),
         std::nullopt, 0, 0},
        {"IP header longer than the packet", false, true,
         Join({CBytes{0x4f, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
               Icmp(0, 0, 1, 2)}),
         std::nullopt, 0, 0},
        {"not ICMP", false, true, Join({Ipv4Header(6), Icmp(0, 0, 1, 2)}), std::nullopt, 0, 0},
        {"empty", false, false, CBytes{}, std::nullopt, 0, 0},
    };
}

std::vector<CAnswerCase> Ipv6AnswerCases() {
    const CBytes echo4 = Icmp(8, 0, 0x1234, 7);
    const CBytes echo6 = Icmp(128, 0, 0x1234, 7);
    return {
        {"echo reply, IPv6", true, false, Join({Icmp(129, 0, 0x0102, 300), kPayload}),
         EIcmpAnswer::kEchoReply, 0x0102, 300},
        {"time exceeded, IPv6", true, false, Join({Icmp(3, 0, 0, 0), Ipv6Header(58), echo6}),
         EIcmpAnswer::kTimeExceeded, 0x1234, 7},
        {"unreachable, IPv6", true, false, Join({Icmp(1, 4, 0, 0), Ipv6Header(58), echo6}),
         EIcmpAnswer::kUnreachable, 0x1234, 7},
        {"packet too big, IPv6", true, false, Join({Icmp(2, 0, 0, 0), Ipv6Header(58), echo6}),
         std::nullopt, 0, 0},
        {"time exceeded for UDP, IPv6", true, false,
         Join({Icmp(3, 0, 0, 0), Ipv6Header(17), echo6}), std::nullopt, 0, 0},
        {"IPv4 numbers read as IPv6", true, false, Join({Icmp(11, 0, 0, 0), Ipv4Header(1), echo4}),
         std::nullopt, 0, 0},
    };
}

TEST(IcmpPacket, AnswersAreReadAndMatchedToTheProbeTheyQuote) {
    std::vector<CAnswerCase> cases = Ipv4AnswerCases();
    for (CAnswerCase& c : Ipv6AnswerCases()) cases.push_back(std::move(c));
    for (const CAnswerCase& c : cases) {
        const auto facts =
            ReadIcmpAnswer(c.packet.data(), c.packet.size(), c.ipv6, c.withIpv4Header);
        ASSERT_EQ(c.answer.has_value(), facts.has_value()) << c.what;
        if (!facts) continue;
        EXPECT_EQ(*c.answer, facts->answer) << c.what;
        EXPECT_EQ(c.identifier, facts->identifier) << c.what;
        EXPECT_EQ(c.sequence, facts->sequence) << c.what;
    }
}

std::uint32_t OnesComplementSum(const CBytes& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (bytes.size() % 2 != 0) sum += static_cast<std::uint32_t>(bytes.back() << 8);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return sum;
}

TEST(IcmpPacket, RequestsCarryTheirNumbersAndAValidChecksum) {
    struct CCase {
        bool ipv6;
        std::uint16_t identifier;
        std::uint16_t sequence;
        std::size_t payload;
    };
    const CCase cases[] = {{false, 0x1234, 1, 32},
                           {false, 0xffff, 0xffff, 33},
                           {false, 0, 0, 0},
                           {true, 0xabcd, 512, 32}};
    for (const CCase& c : cases) {
        const CBytes packet = MakeEchoRequest(c.ipv6, c.identifier, c.sequence, c.payload);
        ASSERT_EQ(8 + c.payload, packet.size());
        const auto facts = ReadEchoRequest(packet.data(), packet.size(), c.ipv6);
        ASSERT_TRUE(facts.has_value());
        EXPECT_EQ(c.identifier, facts->identifier);
        EXPECT_EQ(c.sequence, facts->sequence);
        // The kernel computes ICMPv6 checksums; an IPv4 packet's words must sum to all ones.
        if (!c.ipv6) {
            EXPECT_EQ(0xffffu, OnesComplementSum(packet)) << c.identifier;
        }
        EXPECT_FALSE(ReadEchoRequest(packet.data(), packet.size(), !c.ipv6).has_value());
    }
}

TEST(IcmpPacket, ARoundClaimsEachProbeOnceByIdentifierAndSequence) {
    struct CArrival {
        std::uint16_t identifier;
        std::uint16_t sequence;
        std::optional<std::size_t> probe;
        bool settledAfter;
    };
    // Three probes of identifier 10 with sequences 65535, 0, 1 (the counter wraps).
    const CArrival arrivals[] = {
        {10, 0, 1, false},                 // out of order: the second probe first
        {10, 0, std::nullopt, false},      // a duplicate of it
        {11, 65535, std::nullopt, false},  // another program's probe with the same sequence
        {10, 65534, std::nullopt, false},  // a late answer from the round before
        {10, 1, 2, false},
        {10, 65535, 0, true},
        {10, 1, std::nullopt, true},
    };
    CIcmpRound round;
    round.Add(10, 65535);
    round.Add(10, 0);
    round.Add(10, 1);
    for (const CArrival& a : arrivals) {
        CIcmpAnswerFacts facts;
        facts.answer = EIcmpAnswer::kTimeExceeded;
        facts.identifier = a.identifier;
        facts.sequence = a.sequence;
        EXPECT_EQ(a.probe, round.Claim(facts)) << a.identifier << "/" << a.sequence;
        EXPECT_EQ(a.settledAfter, round.Settled()) << a.identifier << "/" << a.sequence;
    }

    CIcmpRound unsent;
    unsent.Add(3, 1);
    unsent.Add(3, 2);
    unsent.Abandon(0);
    EXPECT_FALSE(unsent.Settled());
    EXPECT_EQ(std::nullopt, unsent.Claim(CIcmpAnswerFacts{EIcmpAnswer::kEchoReply, 3, 1}));
    EXPECT_EQ(std::optional<std::size_t>(1),
              unsent.Claim(CIcmpAnswerFacts{EIcmpAnswer::kEchoReply, 3, 2}));
    EXPECT_TRUE(unsent.Settled());
}

}  // namespace
