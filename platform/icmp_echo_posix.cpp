// ICMP echo with a TTL on Linux. An ICMP datagram socket needs no privilege where
// net.ipv4.ping_group_range admits the user; the kernel then owns the identifier (the
// socket's port) and hands time-exceeded and unreachable messages back through the
// error queue (IP_RECVERR). A raw socket sees every ICMP message of the host and
// picks ours out by identifier and sequence.
#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <random>

#include "platform/icmp_echo.h"
#include "platform/icmp_packet.h"
#include "platform/unique_fd_posix.h"

namespace {

using CClock = std::chrono::steady_clock;

constexpr std::size_t kPayloadBytes = 32;
// Enough for an IP header, an ICMP error and the probe it quotes; longer messages are
// cut, which leaves what we read intact.
constexpr std::size_t kReceiveBytes = 576;
// Messages read per wake-up and kind, so a flood of foreign ICMP cannot hold a round.
constexpr int kReadsPerWake = 64;
constexpr int kSendAttempts = 3;

struct CTarget {
    sockaddr_storage address{};
    socklen_t length = 0;
    bool ipv6 = false;
};

bool ParseTarget(const std::string& text, CTarget* target) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target->address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target->address);
    if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        target->length = sizeof(sockaddr_in);
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        target->length = sizeof(sockaddr_in6);
        target->ipv6 = true;
        return true;
    }
    return false;
}

std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

// One message read from the socket: what it says, and who sent it.
struct CMessage {
    CIcmpAnswerFacts facts;
    std::string from;
};

class CIcmpEchoPosix : public CIcmpEcho {
public:
    // kernelIdentifier: the identifier a datagram socket's probes carry; a raw
    // socket's probes get one of our own, unlikely to be another program's.
    CIcmpEchoPosix(int fd, const CTarget& target, std::optional<std::uint16_t> kernelIdentifier)
        : m_fd(fd), m_target(target), m_datagram(kernelIdentifier.has_value()) {
        std::random_device seed;
        m_identifier = kernelIdentifier ? *kernelIdentifier : static_cast<std::uint16_t>(seed());
        m_nextSequence = static_cast<std::uint16_t>(seed());
    }

    std::vector<CIcmpResult> SendRound(const std::vector<int>& ttls, int timeoutMs) override;
    const char* Means() const override {
        return m_datagram ? "ICMP datagram socket" : "raw ICMP socket";
    }

private:
    bool SendProbe(int ttl, std::uint16_t sequence);
    void ReadAnswers(CIcmpRound& round, std::vector<CIcmpResult>& results,
                     const std::vector<CClock::time_point>& sentAt);
    bool ReadError(CMessage* message);
    bool ReadPacket(CMessage* message, bool* more);

    CUniqueFd m_fd;
    CTarget m_target;
    bool m_datagram;
    std::uint16_t m_identifier = 0;
    std::uint16_t m_nextSequence = 0;
};

bool CIcmpEchoPosix::SendProbe(int ttl, std::uint16_t sequence) {
    const int level = m_target.ipv6 ? int{IPPROTO_IPV6} : int{IPPROTO_IP};
    const int option = m_target.ipv6 ? IPV6_UNICAST_HOPS : IP_TTL;
    if (setsockopt(m_fd.Get(), level, option, &ttl, sizeof ttl) != 0) return false;
    const auto packet = MakeEchoRequest(m_target.ipv6, m_identifier, sequence, kPayloadBytes);
    // The answer to the probe before (a time-exceeded within the same millisecond) leaves
    // an error pending on a datagram socket, and the next send would return that error
    // instead of sending; the error queue still holds the answer itself.
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        int pending = 0;
        socklen_t length = sizeof pending;
        getsockopt(m_fd.Get(), SOL_SOCKET, SO_ERROR, &pending, &length);
        if (sendto(m_fd.Get(), packet.data(), packet.size(), 0,
                   reinterpret_cast<const sockaddr*>(&m_target.address),
                   m_target.length) == static_cast<ssize_t>(packet.size()))
            return true;
    }
    return false;
}

std::vector<CIcmpResult> CIcmpEchoPosix::SendRound(const std::vector<int>& ttls, int timeoutMs) {
    std::vector<CIcmpResult> results(ttls.size());
    std::vector<CClock::time_point> sentAt(ttls.size());
    CIcmpRound round;
    for (std::size_t i = 0; i < ttls.size(); ++i) {
        const std::uint16_t sequence = m_nextSequence++;
        sentAt[i] = CClock::now();
        const bool sent = ttls[i] >= 1 && ttls[i] <= 255 && SendProbe(ttls[i], sequence);
        round.Add(m_identifier, sequence);
        if (!sent) round.Abandon(i);
    }
    const auto deadline = CClock::now() + std::chrono::milliseconds(timeoutMs);
    while (!round.Settled()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CClock::now());
        if (left.count() <= 0) break;
        pollfd ready{m_fd.Get(), POLLIN, 0};
        const int count = poll(&ready, 1, static_cast<int>(left.count()));
        if (count < 0 && errno != EINTR) break;
        if (count > 0) ReadAnswers(round, results, sentAt);
    }
    return results;
}

void CIcmpEchoPosix::ReadAnswers(CIcmpRound& round, std::vector<CIcmpResult>& results,
                                 const std::vector<CClock::time_point>& sentAt) {
    auto take = [&](const CMessage& message) {
        const auto index = round.Claim(message.facts);
        if (!index) return;
        CIcmpResult& result = results[*index];
        result.answer = message.facts.answer;
        result.from = message.from;
        result.rttMs =
            std::chrono::duration<double, std::milli>(CClock::now() - sentAt[*index]).count();
    };
    CMessage message;
    for (int i = 0; m_datagram && i < kReadsPerWake && ReadError(&message); ++i)
        if (message.facts.answer != EIcmpAnswer::kNoAnswer) take(message);
    bool more = true;
    for (int i = 0; more && i < kReadsPerWake; ++i)
        if (ReadPacket(&message, &more)) take(message);
}

// One message of the error queue: the probe it returns and the ICMP error that came
// back for it. False when the queue is empty.
bool CIcmpEchoPosix::ReadError(CMessage* message) {
    unsigned char data[kReceiveBytes];
    alignas(cmsghdr) unsigned char control[512];
    iovec part{data, sizeof data};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t size = recvmsg(m_fd.Get(), &header, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (size < 0) return false;
    *message = CMessage{};
    const auto probe = ReadEchoRequest(data, static_cast<std::size_t>(size), m_target.ipv6);
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
        const bool isError = (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) ||
                             (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR);
        if (!isError || !probe) continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP && error.ee_origin != SO_EE_ORIGIN_ICMP6) continue;
        message->facts = *probe;
        message->facts.answer = AnswerForErrorType(m_target.ipv6, error.ee_type);
        message->from =
            AddressText(SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(c))));
    }
    return true;
}

// One ordinary message: an echo reply, or on a raw socket any ICMP message of the
// host. *more turns false once nothing is left to read.
bool CIcmpEchoPosix::ReadPacket(CMessage* message, bool* more) {
    unsigned char data[kReceiveBytes];
    sockaddr_storage sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t size = recvfrom(m_fd.Get(), data, sizeof data, MSG_DONTWAIT,
                                  reinterpret_cast<sockaddr*>(&sender), &senderLength);
    // An error the kernel noted for the socket comes out here once; the queue has it.
    *more = size >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    if (size < 0) return false;
    const bool withIpv4Header = !m_datagram && !m_target.ipv6;
    const auto facts =
        ReadIcmpAnswer(data, static_cast<std::size_t>(size), m_target.ipv6, withIpv4Header);
    if (!facts) return false;
    message->facts = *facts;
    message->from = AddressText(reinterpret_cast<const sockaddr*>(&sender));
    return true;
}

// A socket for probes towards target, or -1 with errno set. A datagram socket is bound
// at once, so the identifier the kernel gives its probes is known before they go out.
int OpenSocket(const CTarget& target, int type, std::uint16_t* identifier) {
    const int family = target.ipv6 ? AF_INET6 : AF_INET;
    CUniqueFd fd(
        socket(family, type | SOCK_CLOEXEC, target.ipv6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP}));
    if (!fd.IsOpen() || type != SOCK_DGRAM) return fd.Release();
    const int on = 1;
    const int level = target.ipv6 ? int{IPPROTO_IPV6} : int{IPPROTO_IP};
    if (setsockopt(fd.Get(), level, target.ipv6 ? IPV6_RECVERR : IP_RECVERR, &on, sizeof on) != 0)
        return -1;
    sockaddr_storage local{};
    local.ss_family = static_cast<sa_family_t>(family);
    socklen_t length = target.ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), length) != 0 ||
        getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return -1;
    *identifier = ntohs(target.ipv6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                    : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    return fd.Release();
}

}  // namespace

std::unique_ptr<CIcmpEcho> CIcmpEcho::Open(const std::string& target, CPlatformError* error) {
    CTarget parsed;
    if (!ParseTarget(target, &parsed)) {
        if (error) *error = PlatformError(EPlatformError::kBadName);
        return nullptr;
    }
    std::uint16_t identifier = 0;
    const int datagram = OpenSocket(parsed, SOCK_DGRAM, &identifier);
    if (datagram >= 0) return std::make_unique<CIcmpEchoPosix>(datagram, parsed, identifier);
    const int datagramError = errno;
    const int raw = OpenSocket(parsed, SOCK_RAW, &identifier);
    if (raw >= 0) return std::make_unique<CIcmpEchoPosix>(raw, parsed, std::nullopt);
    // The datagram socket is the means an ordinary user has; why it was refused is the
    // reason worth telling (the raw socket needs privileges the user seldom has).
    if (error) *error = TranslateSystemError(datagramError);
    return nullptr;
}
