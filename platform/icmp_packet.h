// The bytes of ICMP echo probes and of the answers to them, free of sockets so the
// reading of answers can be tested on packets a test network never produces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/icmp_echo.h"

// Which probe an answer belongs to and what it says.
struct CIcmpAnswerFacts {
    EIcmpAnswer answer = EIcmpAnswer::kNoAnswer;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// An ICMP or ICMPv6 message as a socket hands it over: an echo reply carries the
// probe's identifier and sequence itself, a time-exceeded or unreachable message in
// the probe it quotes. withIpv4Header: raw IPv4 sockets deliver the IP header too.
// Nothing for anything else (other types, quotes of what is not an echo request,
// truncated packets).
std::optional<CIcmpAnswerFacts> ReadIcmpAnswer(const unsigned char* data, std::size_t size,
                                               bool ipv6, bool withIpv4Header);

// The echo request a probe sends and an error queue gives back: its identifier and
// sequence. Nothing when the bytes are no echo request.
std::optional<CIcmpAnswerFacts> ReadEchoRequest(const unsigned char* data, std::size_t size,
                                                bool ipv6);

// What an ICMP error of this type means for a probe (kNoAnswer for types that do
// not end a probe, such as source quench or redirects).
EIcmpAnswer AnswerForErrorType(bool ipv6, int type);

// An echo request with payloadBytes of filler. The IPv4 checksum is filled in (the
// kernel fills it on datagram sockets anyway, and computes ICMPv6's itself).
std::vector<unsigned char> MakeEchoRequest(bool ipv6, std::uint16_t identifier,
                                           std::uint16_t sequence, std::size_t payloadBytes);

// The probes of one round, in the order they went out. An answer is claimed by the
// probe whose identifier and sequence it carries, once; answers to earlier rounds,
// to other programs' probes and repeats find none.
class CIcmpRound {
public:
    void Add(std::uint16_t identifier, std::uint16_t sequence);
    // The probe's position, or nothing.
    std::optional<std::size_t> Claim(const CIcmpAnswerFacts& facts);
    // A probe that could not be sent waits for nothing.
    void Abandon(std::size_t index) { m_probes[index].open = false; }
    bool Settled() const;

private:
    struct CProbe {
        std::uint16_t identifier;
        std::uint16_t sequence;
        bool open;
    };
    std::vector<CProbe> m_probes;
};
