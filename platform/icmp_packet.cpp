#include "platform/icmp_packet.h"

namespace {

constexpr int kIcmpEchoReply = 0;
constexpr int kIcmpUnreachable = 3;
constexpr int kIcmpEchoRequest = 8;
constexpr int kIcmpTimeExceeded = 11;
constexpr int kIcmp6Unreachable = 1;
constexpr int kIcmp6TimeExceeded = 3;
constexpr int kIcmp6EchoRequest = 128;
constexpr int kIcmp6EchoReply = 129;
constexpr int kProtocolIcmp = 1;
constexpr int kProtocolIcmp6 = 58;
constexpr std::size_t kEchoHeaderBytes = 8;
constexpr std::size_t kIpv6HeaderBytes = 40;

std::uint16_t ReadBigEndian16(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Length of the IPv4 header at data, if it is one carrying protocol; 0 otherwise.
std::size_t Ipv4HeaderBytes(const unsigned char* data, std::size_t size, int protocol) {
    if (size < 20 || (data[0] >> 4) != 4) return 0;
    const std::size_t length = static_cast<std::size_t>(data[0] & 0x0f) * 4;
    if (length < 20 || length > size || data[9] != protocol) return 0;
    return length;
}

// The echo request quoted after the 8-byte header of an ICMP error message.
std::optional<CIcmpAnswerFacts> ReadQuotedProbe(const unsigned char* data, std::size_t size,
                                                bool ipv6) {
    if (size < kEchoHeaderBytes) return std::nullopt;
    const unsigned char* quote = data + kEchoHeaderBytes;
    const std::size_t quoteSize = size - kEchoHeaderBytes;
    std::size_t header = 0;
    if (ipv6) {
        // Probes carry no extension headers, so the echo follows the fixed header.
        if (quoteSize < kIpv6HeaderBytes || (quote[0] >> 4) != 6 || quote[6] != kProtocolIcmp6)
            return std::nullopt;
        header = kIpv6HeaderBytes;
    } else {
        header = Ipv4HeaderBytes(quote, quoteSize, kProtocolIcmp);
        if (header == 0) return std::nullopt;
    }
    auto facts = ReadEchoRequest(quote + header, quoteSize - header, ipv6);
    if (facts) facts->answer = AnswerForErrorType(ipv6, data[0]);
    if (facts && facts->answer == EIcmpAnswer::kNoAnswer) return std::nullopt;
    return facts;
}

std::uint16_t InternetChecksum(const std::vector<unsigned char>& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) sum += ReadBigEndian16(&bytes[i]);
    if (bytes.size() % 2 != 0) sum += static_cast<std::uint32_t>(bytes.back()) << 8;
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

}  // namespace

EIcmpAnswer AnswerForErrorType(bool ipv6, int type) {
    if (type == (ipv6 ? kIcmp6TimeExceeded : kIcmpTimeExceeded)) return EIcmpAnswer::kTimeExceeded;
    if (type == (ipv6 ? kIcmp6Unreachable : kIcmpUnreachable)) return EIcmpAnswer::kUnreachable;
    return EIcmpAnswer::kNoAnswer;
}

std::optional<CIcmpAnswerFacts> ReadEchoRequest(const unsigned char* data, std::size_t size,
                                                bool ipv6) {
    if (size < kEchoHeaderBytes || data[0] != (ipv6 ? kIcmp6EchoRequest : kIcmpEchoRequest))
        return std::nullopt;
    CIcmpAnswerFacts facts;
    facts.identifier = ReadBigEndian16(data + 4);
    facts.sequence = ReadBigEndian16(data + 6);
    return facts;
}

std::optional<CIcmpAnswerFacts> ReadIcmpAnswer(const unsigned char* data, std::size_t size,
                                               bool ipv6, bool withIpv4Header) {
    if (withIpv4Header && !ipv6) {
        const std::size_t header = Ipv4HeaderBytes(data, size, kProtocolIcmp);
        if (header == 0) return std::nullopt;
        data += header;
        size -= header;
    }
    if (size < kEchoHeaderBytes) return std::nullopt;
    if (data[0] == (ipv6 ? kIcmp6EchoReply : kIcmpEchoReply) && data[1] == 0) {
        CIcmpAnswerFacts facts;
        facts.answer = EIcmpAnswer::kEchoReply;
        facts.identifier = ReadBigEndian16(data + 4);
        facts.sequence = ReadBigEndian16(data + 6);
        return facts;
    }
    return ReadQuotedProbe(data, size, ipv6);
}

std::vector<unsigned char> MakeEchoRequest(bool ipv6, std::uint16_t identifier,
                                           std::uint16_t sequence, std::size_t payloadBytes) {
    std::vector<unsigned char> packet(kEchoHeaderBytes + payloadBytes);
    packet[0] = static_cast<unsigned char>(ipv6 ? kIcmp6EchoRequest : kIcmpEchoRequest);
    packet[4] = static_cast<unsigned char>(identifier >> 8);
    packet[5] = static_cast<unsigned char>(identifier & 0xff);
    packet[6] = static_cast<unsigned char>(sequence >> 8);
    packet[7] = static_cast<unsigned char>(sequence & 0xff);
    for (std::size_t i = 0; i < payloadBytes; ++i)
        packet[kEchoHeaderBytes + i] = static_cast<unsigned char>('a' + i % 23);
    if (!ipv6) {
        const std::uint16_t sum = InternetChecksum(packet);
        packet[2] = static_cast<unsigned char>(sum >> 8);
        packet[3] = static_cast<unsigned char>(sum & 0xff);
    }
    return packet;
}

void CIcmpRound::Add(std::uint16_t identifier, std::uint16_t sequence) {
    m_probes.push_back(CProbe{identifier, sequence, true});
}

std::optional<std::size_t> CIcmpRound::Claim(const CIcmpAnswerFacts& facts) {
    for (std::size_t i = 0; i < m_probes.size(); ++i) {
        CProbe& probe = m_probes[i];
        if (probe.open && probe.identifier == facts.identifier &&
            probe.sequence == facts.sequence) {
            probe.open = false;
            return i;
        }
    }
    return std::nullopt;
}

bool CIcmpRound::Settled() const {
    for (const CProbe& probe : m_probes)
        if (probe.open) return false;
    return true;
}
