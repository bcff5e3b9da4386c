// ICMP echo with a TTL on Windows, through the ICMP helper of iphlpapi, which needs no
// privilege. Each probe of a round is a request of its own with its own event, so the
// round goes out together; the system pairs each answer with its request, by the
// identifier and sequence it gave the probe.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/icmp_echo.h"
#include "platform/unique_handle_win.h"

// MinGW's icmpapi.h lacks these two, which iphlpapi has had since Windows Vista; the
// layout is the SDK's, whose address is packed.
extern "C" DWORD WINAPI IcmpSendEcho2Ex(HANDLE icmp, HANDLE event, FARPROC apcRoutine,
                                        PVOID apcContext, IPAddr source, IPAddr destination,
                                        LPVOID requestData, WORD requestSize,
                                        PIP_OPTION_INFORMATION options, LPVOID replyBuffer,
                                        DWORD replySize, DWORD timeoutMs);

namespace {

#pragma pack(push, 1)
struct CIpv6AddressEx {
    USHORT port;
    ULONG flowInfo;
    USHORT address[8];
    ULONG scopeId;
};
#pragma pack(pop)
struct CIcmpv6EchoReply {
    CIpv6AddressEx address;
    ULONG status;
    unsigned int roundTripTime;
};

constexpr WORD kPayloadBytes = 32;
// An echo reply structure, the echoed data, room for an ICMP error and the status block
// the asynchronous call appends.
constexpr DWORD kReplyBytes = 1024;
// What the wait allows past the requests' own timeout before it stops waiting.
constexpr DWORD kWaitGraceMs = 1000;

EIcmpAnswer AnswerForStatus(ULONG status) {
    switch (status) {
        case IP_SUCCESS:
            return EIcmpAnswer::kEchoReply;
        case IP_TTL_EXPIRED_TRANSIT:
        case IP_TTL_EXPIRED_REASSEM:
            return EIcmpAnswer::kTimeExceeded;
        case IP_DEST_NET_UNREACHABLE:
        case IP_DEST_HOST_UNREACHABLE:
        case IP_DEST_PROT_UNREACHABLE:
        case IP_DEST_PORT_UNREACHABLE:
        case IP_DEST_UNREACHABLE:
            return EIcmpAnswer::kUnreachable;
        default:
            return EIcmpAnswer::kNoAnswer;
    }
}

// One probe in flight: its event and the buffer the system fills. Requests the wait
// gave up on are kept until the sender is closed, as the system may still write.
struct CRequest {
    CUniqueHandle event;
    std::vector<unsigned char> reply = std::vector<unsigned char>(kReplyBytes);
    bool pending = false;
};

class CIcmpEchoWin : public CIcmpEcho {
public:
    CIcmpEchoWin(HANDLE handle, bool ipv6, const in_addr& target4, const sockaddr_in6& target6)
        : m_handle(handle), m_ipv6(ipv6), m_target4(target4), m_target6(target6) {}
    ~CIcmpEchoWin() override { IcmpCloseHandle(m_handle); }

    std::vector<CIcmpResult> SendRound(const std::vector<int>& ttls, int timeoutMs) override;
    const char* Means() const override { return m_ipv6 ? "Icmp6SendEcho2" : "IcmpSendEcho2Ex"; }

private:
    bool Send(CRequest& request, int ttl, DWORD timeoutMs);
    CIcmpResult Read(CRequest& request) const;

    HANDLE m_handle;
    bool m_ipv6;
    in_addr m_target4;
    sockaddr_in6 m_target6;
    std::vector<std::unique_ptr<CRequest>> m_abandoned;
};

bool CIcmpEchoWin::Send(CRequest& request, int ttl, DWORD timeoutMs) {
    request.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!request.event.IsOpen() || ttl < 1 || ttl > 255) return false;
    unsigned char data[kPayloadBytes];
    for (WORD i = 0; i < kPayloadBytes; ++i) data[i] = static_cast<unsigned char>('a' + i % 23);
    IP_OPTION_INFORMATION options{};
    options.Ttl = static_cast<UCHAR>(ttl);
    DWORD done = 0;
    if (m_ipv6) {
        sockaddr_in6 source{};
        source.sin6_family = AF_INET6;
        done = Icmp6SendEcho2(m_handle, request.event.Get(), nullptr, nullptr, &source, &m_target6,
                              data, kPayloadBytes, &options, request.reply.data(), kReplyBytes,
                              timeoutMs);
    } else {
        done = IcmpSendEcho2Ex(m_handle, request.event.Get(), nullptr, nullptr, INADDR_ANY,
                               m_target4.s_addr, data, kPayloadBytes, &options,
                               request.reply.data(), kReplyBytes, timeoutMs);
    }
    // With an event the call returns at once, the request pending; a request that
    // finished already has set its event too.
    request.pending = done != 0 || GetLastError() == ERROR_IO_PENDING;
    return request.pending;
}

CIcmpResult CIcmpEchoWin::Read(CRequest& request) const {
    CIcmpResult result;
    request.pending = false;
    char text[INET6_ADDRSTRLEN] = {};
    if (m_ipv6) {
        if (Icmp6ParseReplies(request.reply.data(), kReplyBytes) == 0) return result;
        CIcmpv6EchoReply reply;
        std::memcpy(&reply, request.reply.data(), sizeof reply);
        result.answer = AnswerForStatus(reply.status);
        in6_addr address{};
        std::memcpy(&address, reply.address.address, sizeof address);
        inet_ntop(AF_INET6, &address, text, sizeof text);
        result.rttMs = reply.roundTripTime;
    } else {
        if (IcmpParseReplies(request.reply.data(), kReplyBytes) == 0) return result;
        ICMP_ECHO_REPLY reply;
        std::memcpy(&reply, request.reply.data(), sizeof reply);
        result.answer = AnswerForStatus(reply.Status);
        in_addr address{};
        address.s_addr = reply.Address;
        inet_ntop(AF_INET, &address, text, sizeof text);
        result.rttMs = reply.RoundTripTime;
    }
    if (result.answer == EIcmpAnswer::kNoAnswer)
        result.rttMs = 0;
    else
        result.from = text;
    return result;
}

std::vector<CIcmpResult> CIcmpEchoWin::SendRound(const std::vector<int>& ttls, int timeoutMs) {
    const DWORD timeout = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1;
    std::vector<std::unique_ptr<CRequest>> requests;
    for (int ttl : ttls) {
        requests.push_back(std::make_unique<CRequest>());
        Send(*requests.back(), ttl, timeout);
    }
    const ULONGLONG deadline = GetTickCount64() + timeout + kWaitGraceMs;
    std::vector<CIcmpResult> results(ttls.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        CRequest& request = *requests[i];
        if (!request.pending) continue;
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(request.event.Get(), left) == WAIT_OBJECT_0)
            results[i] = Read(request);
        else
            m_abandoned.push_back(std::move(requests[i]));
    }
    return results;
}

}  // namespace

std::unique_ptr<CIcmpEcho> CIcmpEcho::Open(const std::string& target, CPlatformError* error) {
    in_addr target4{};
    sockaddr_in6 target6{};
    target6.sin6_family = AF_INET6;
    const bool ipv4 = inet_pton(AF_INET, target.c_str(), &target4) == 1;
    const bool ipv6 = !ipv4 && inet_pton(AF_INET6, target.c_str(), &target6.sin6_addr) == 1;
    if (!ipv4 && !ipv6) {
        if (error) *error = PlatformError(EPlatformError::kBadName);
        return nullptr;
    }
    const HANDLE handle = ipv6 ? Icmp6CreateFile() : IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = LastSystemError();
        return nullptr;
    }
    return std::make_unique<CIcmpEchoWin>(handle, ipv6, target4, target6);
}
