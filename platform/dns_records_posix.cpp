#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/dns_message_posix.h"
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

CString AddressText(int family, const unsigned char* data) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(family, data, text, sizeof text)) return CString();
    return CString(text);
}

// One record of the answer section, or false for a type that is not reported.
bool ReadRecord(const ns_msg& message, const ns_rr& rr, CDnsRecord* record) {
    record->owner = CString(ns_rr_name(rr));
    record->ttl = ns_rr_ttl(rr);
    const unsigned char* data = ns_rr_rdata(rr);
    if (ns_rr_type(rr) == ns_t_a && ns_rr_rdlen(rr) == 4) {
        record->type = EDnsType::kA;
        record->value = AddressText(AF_INET, data);
        return true;
    }
    if (ns_rr_type(rr) == ns_t_aaaa && ns_rr_rdlen(rr) == 16) {
        record->type = EDnsType::kAaaa;
        record->value = AddressText(AF_INET6, data);
        return true;
    }
    if (ns_rr_type(rr) == ns_t_cname) {
        char target[NS_MAXDNAME] = {};
        if (ns_name_uncompress(ns_msg_base(message), ns_msg_end(message), data, target,
                               sizeof target) < 0) {
            return false;
        }
        record->type = EDnsType::kCname;
        record->value = CString(target);
        return true;
    }
    return false;
}

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

CDnsAnswer ReadAnswerMessage(const unsigned char* data, int length) {
    CDnsAnswer answer;
    ns_msg message;
    if (ns_initparse(data, length, &message) < 0) {
        answer.failure = EPlatformError::kOther;
        return answer;
    }
    if (ns_msg_getflag(message, ns_f_rcode) == ns_r_nxdomain) {
        answer.failure = EPlatformError::kNotFound;
        return answer;
    }
    if (ns_msg_getflag(message, ns_f_rcode) != ns_r_noerror) {
        answer.failure = EPlatformError::kOther;
        return answer;
    }
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr rr;
        CDnsRecord record;
        if (ns_parserr(&message, ns_s_an, i, &rr) == 0 && ReadRecord(message, rr, &record))
            answer.records.push_back(record);
    }
    return answer;
}

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
                AddressText(AF_INET, reinterpret_cast<const unsigned char*>(&v4.sin_addr)));
        } else if (v6 && v6->sin6_family == AF_INET6) {
            servers.push_back(AddressText(AF_INET6, v6->sin6_addr.s6_addr));
        }
    }
    return servers;
}
