#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/dns_answer_posix.h"
#include "platform/dns_records.h"

namespace {

// A resolver state of the calling thread's own: res_query's shared one is not safe
// off the main thread. Short retries keep a silent server from holding the helper
// thread much past the caller's limit.
struct CResolverState {
    CResolverState() {
        std::memset(&state, 0, sizeof state);
        ready = res_ninit(&state) == 0;
        state.retrans = 2;
        state.retry = 2;
    }
    ~CResolverState() {
        if (ready) res_nclose(&state);
    }
    struct __res_state state;
    bool ready = false;
};

EPlatformError FailureOf(int herror) {
    switch (herror) {
        case HOST_NOT_FOUND:
            return EPlatformError::kNotFound;
        case NO_DATA:
            return EPlatformError::kNone;
        case TRY_AGAIN:
            return EPlatformError::kTimedOut;
        default:
            return EPlatformError::kOther;
    }
}

}  // namespace

CDnsAnswer QueryDnsBlocking(const CString& asciiHost, EDnsType type) {
    CDnsAnswer answer;
    auto resolver = std::make_unique<CResolverState>();
    if (!resolver->ready) {
        answer.failure = EPlatformError::kOther;
        return answer;
    }
    std::vector<unsigned char> buffer(65536);
    const int rrType = type == EDnsType::kAaaa ? ns_t_aaaa : ns_t_a;
    const int length = res_nquery(&resolver->state, asciiHost.GetString(), ns_c_in, rrType,
                                  buffer.data(), static_cast<int>(buffer.size()));
    if (length < 0) {
        answer.failure = FailureOf(resolver->state.res_h_errno);
        return answer;
    }
    return ReadAnswerMessage(buffer.data(), length);
}

std::vector<CString> ReadDnsServersBlocking() {
    std::vector<CString> servers;
    auto resolver = std::make_unique<CResolverState>();
    if (!resolver->ready) return servers;
    const struct __res_state& state = resolver->state;
    // glibc keeps an IPv6 server in the extension list, leaving its slot in the IPv4
    // list without a family.
    for (int i = 0; i < state.nscount && i < MAXNS; ++i) {
        const sockaddr_in& v4 = state.nsaddr_list[i];
        const sockaddr_in6* v6 = state._u._ext.nsaddrs[i];
        if (v4.sin_family == AF_INET) {
            servers.push_back(
                DnsAddressText(AF_INET, reinterpret_cast<const unsigned char*>(&v4.sin_addr)));
        } else if (v6 && v6->sin6_family == AF_INET6) {
            servers.push_back(DnsAddressText(AF_INET6, v6->sin6_addr.s6_addr));
        }
    }
    return servers;
}
