#include "platform/dns_answer_posix.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>

CString DnsAddressText(int family, const unsigned char* data) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(family, data, text, sizeof text)) return CString();
    return CString(text);
}

namespace {

// One record of the answer section, or false for a type that is not reported.
bool ReadRecord(const ns_msg& message, const ns_rr& rr, CDnsRecord* record) {
    record->owner = CString(ns_rr_name(rr));
    record->ttl = ns_rr_ttl(rr);
    const unsigned char* data = ns_rr_rdata(rr);
    if (ns_rr_type(rr) == ns_t_a && ns_rr_rdlen(rr) == 4) {
        record->type = EDnsType::kA;
        record->value = DnsAddressText(AF_INET, data);
        return true;
    }
    if (ns_rr_type(rr) == ns_t_aaaa && ns_rr_rdlen(rr) == 16) {
        record->type = EDnsType::kAaaa;
        record->value = DnsAddressText(AF_INET6, data);
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

}  // namespace

bool ReadDnsAnswerSection(const unsigned char* bytes, int length,
                          std::vector<CDnsRecord>* records) {
    ns_msg message;
    if (ns_initparse(bytes, length, &message) < 0) return false;
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr rr;
        CDnsRecord record;
        if (ns_parserr(&message, ns_s_an, i, &rr) == 0 && ReadRecord(message, rr, &record))
            records->push_back(record);
    }
    return true;
}

CDnsAnswer ReadAnswerMessage(const unsigned char* data, int length) {
    CDnsAnswer answer;
    ns_msg message;
    if (ns_initparse(data, length, &message) < 0) {
        answer.failure = EPlatformError::kOther;
    } else if (ns_msg_getflag(message, ns_f_rcode) == ns_r_nxdomain) {
        answer.failure = EPlatformError::kNotFound;
    } else if (ns_msg_getflag(message, ns_f_rcode) != ns_r_noerror ||
               !ReadDnsAnswerSection(data, length, &answer.records)) {
        answer.failure = EPlatformError::kOther;
    }
    return answer;
}
