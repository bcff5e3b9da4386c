// The egress step's pieces: the verdicts on what several DNS servers answered, a DNS
// server asked directly over UDP (a loopback peer playing it), and the adapter kinds
// read from descriptions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "platform/dns_records.h"
#include "platform/net_adapters.h"
#include "probes/dns_verdicts.h"
#include "tests/test_support.h"

namespace {

CDnsAnswer Addresses(const std::vector<const char*>& addresses) {
    CDnsAnswer answer;
    for (const char* address : addresses) {
        CDnsRecord record;
        record.value = address;
        answer.records.push_back(record);
    }
    return answer;
}

CDnsAnswer Failure(EPlatformError why) {
    CDnsAnswer answer;
    answer.failure = why;
    return answer;
}

CResolverAnswers Server(const char* name, bool system, const std::vector<CDnsAnswer>& answers) {
    CResolverAnswers server;
    server.server = name;
    server.system = system;
    server.answers = answers;
    return server;
}

const char kFakeIp[] = "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征\r\n";
const char kHijack[] = "本机DNS说域名不存在，而公共DNS有结果，疑似DNS劫持或污染\r\n";
const char kPrivate[] = "本机DNS返回了内网或保留地址\r\n";
const char kDiffer[] = "解析结果因DNS服务器而异（使用CDN按地区调度时属正常）\r\n";
const char kSame[] = "各DNS服务器的解析结果一致\r\n";

TEST(DnsVerdicts, MostSevereFirstAndAgreementOnlyWhenNothingElseApplies) {
    const CDnsAnswer site = Addresses({"93.184.216.34"});
    const CDnsAnswer other = Addresses({"93.184.216.99"});
    const CDnsAnswer nx = Failure(EPlatformError::kNotFound);
    const CDnsAnswer silent = Failure(EPlatformError::kTimedOut);
    const struct {
        const char* why;
        std::vector<CResolverAnswers> servers;
        std::string verdicts;
    } cases[] = {
        {"all alike", {Server("s", true, {site, site}), Server("a", false, {site, site})}, kSame},
        {"a public server differs",
         {Server("s", true, {site, site}), Server("a", false, {site, other})},
         kDiffer},
        {"fake-ip, which also differs",
         {Server("s", true, {Addresses({"198.18.0.5"}), site}), Server("a", false, {site, site})},
         std::string(kFakeIp) + kDiffer},
        {"198.19.255.255 is still fake-ip, 198.20.0.1 is not",
         {Server("s", true, {Addresses({"198.19.255.255"})}),
          Server("a", false, {Addresses({"198.20.0.1"})})},
         std::string(kFakeIp) + kDiffer},
        {"NXDOMAIN from the system only",
         {Server("s", true, {nx, nx}), Server("a", false, {site, site}),
          Server("b", false, {site, silent})},
         kHijack},
        {"NXDOMAIN everywhere is no hijack, and no agreement either",
         {Server("s", true, {nx}), Server("a", false, {nx})},
         ""},
        {"a private answer",
         {Server("s", true, {Addresses({"10.1.2.3"})}), Server("a", false, {site})},
         std::string(kPrivate) + kDiffer},
        {"loopback, link-local, shared and reserved count as private",
         {Server("s", true, {Addresses({"127.0.0.1", "169.254.1.1", "100.64.0.1", "240.0.0.1"})})},
         kPrivate},
        {"one answering server agrees with nobody",
         {Server("s", true, {site}), Server("a", false, {silent})},
         ""},
        {"order of addresses does not matter",
         {Server("s", true, {Addresses({"1.1.1.1", "2.2.2.2"})}),
          Server("a", false, {Addresses({"2.2.2.2", "1.1.1.1"})})},
         kSame},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CString(c.verdicts.c_str()), DnsVerdicts(c.servers)) << c.why;
}

TEST(DnsVerdicts, AddressRanges) {
    const struct {
        const char* address;
        bool fake;
        bool reserved;
    } cases[] = {
        {"198.18.0.0", true, false},      {"198.19.3.4", true, false},
        {"198.17.255.255", false, false}, {"192.168.1.1", false, true},
        {"172.16.0.1", false, true},      {"172.32.0.1", false, false},
        {"100.127.0.1", false, true},     {"100.128.0.1", false, false},
        {"8.8.8.8", false, false},        {"0.1.2.3", false, true},
        {"224.0.0.1", false, true},       {"not.an.ip.x", false, false},
        {"2001:db8::1", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.fake, IsFakeIpAddress(c.address)) << c.address;
        EXPECT_EQ(c.reserved, IsPrivateOrReservedAddress(c.address)) << c.address;
    }
}

TEST(AdapterKind, DescriptionsOfCommonVirtualAdapters) {
    const struct {
        const char* description;
        EAdapterKind kind;
    } cases[] = {
        {"TAP-Windows Adapter V9", EAdapterKind::kTunTap},
        {"Wintun Userspace Tunnel", EAdapterKind::kTunTap},
        {"WireGuard Tunnel", EAdapterKind::kWireGuard},
        {"WAN Miniport (PPPOE)", EAdapterKind::kPpp},
        {"Microsoft Teredo Tunneling Adapter", EAdapterKind::kTunnel},
        {"Hyper-V Virtual Ethernet Adapter", EAdapterKind::kVirtual},
        {"Clash VPN Adapter", EAdapterKind::kVirtual},
        {"Intel(R) Ethernet Connection I219-V", EAdapterKind::kPhysical},
        {"Adaptec Startap Controller", EAdapterKind::kPhysical},
        {"", EAdapterKind::kPhysical},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.kind, KindFromDescription(c.description)) << c.description;
}

// The system's DNS layer on Windows asks port 53 only, which a test cannot take; the
// Windows backend meets its peers in tests/e2e/egress_check.sh.
#ifndef _WIN32
// A DNS server on 127.0.0.1 that answers each query by a rule: an A record, NXDOMAIN,
// a reply with a wrong id first, or silence.
enum class EPeerRule { kAddress, kNxDomain, kWrongIdFirst, kSilent };

class CDnsPeer {
public:
    explicit CDnsPeer(EPeerRule rule) : m_rule(rule) {
        EnsureNetworking();
        m_socket = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CDnsPeer() {
        m_stopping = true;
        m_thread.join();
        close(m_socket);
    }
    int Port() const { return m_port; }

private:
    void Serve() {
        while (!m_stopping) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_socket, &readable);
            timeval slice = {0, 100 * 1000};
            if (select(static_cast<int>(m_socket) + 1, &readable, nullptr, nullptr, &slice) != 1)
                continue;
            char query[512];
            sockaddr_in from = {};
            socklen_t fromLength = sizeof from;
            const int got = static_cast<int>(recvfrom(
                m_socket, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromLength));
            if (got < 12 || m_rule == EPeerRule::kSilent) continue;
            for (const std::string& reply : Replies(std::string(query, static_cast<size_t>(got))))
                sendto(m_socket, reply.data(), static_cast<int>(reply.size()), 0,
                       reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
    std::vector<std::string> Replies(std::string message) const {
        message[2] = static_cast<char>(0x81);
        message[3] = static_cast<char>(m_rule == EPeerRule::kNxDomain ? 0x83 : 0x80);
        message[6] = 0;
        message[7] = m_rule == EPeerRule::kNxDomain ? 0 : 1;
        std::vector<std::string> replies;
        if (m_rule == EPeerRule::kWrongIdFirst) {
            std::string stray = message;
            stray[0] = static_cast<char>(stray[0] ^ 0x55);
            replies.push_back(stray + Record("\x0A\x00\x00\x09"));
        }
        if (m_rule == EPeerRule::kNxDomain) return {message};
        replies.push_back(message + Record("\xC6\x33\x64\x07"));
        return replies;
    }
    static std::string Record(const char* address) {
        return std::string("\xC0\x0C\x00\x01\x00\x01\x00\x00\x01\x2C\x00\x04", 12) +
               std::string(address, 4);
    }

    EPeerRule m_rule;
    int m_socket;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

TEST(DnsServerQuery, AsksTheServerDirectlyAndReadsItsAnswer) {
    const struct {
        EPeerRule rule;
        EPlatformError failure;
        const char* address;
    } cases[] = {
        {EPeerRule::kAddress, EPlatformError::kNone, "198.51.100.7"},
        {EPeerRule::kWrongIdFirst, EPlatformError::kNone, "198.51.100.7"},
        {EPeerRule::kNxDomain, EPlatformError::kNotFound, ""},
        {EPeerRule::kSilent, EPlatformError::kTimedOut, ""},
    };
    for (const auto& c : cases) {
        CDnsPeer peer(c.rule);
        const auto start = std::chrono::steady_clock::now();
        const CDnsAnswer answer =
            QueryDnsServer("127.0.0.1", peer.Port(), "site.test", EDnsType::kA, 1500, nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
        EXPECT_EQ(c.failure, answer.failure) << static_cast<int>(c.rule);
        const CString first = answer.records.empty() ? CString() : answer.records.front().value;
        EXPECT_EQ(CString(c.address), first) << static_cast<int>(c.rule);
    }
}

#endif

}  // namespace
