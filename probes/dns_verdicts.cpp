#include "probes/dns_verdicts.h"

#include <set>

#include "model/address_kind.h"
#include "probes/verdict_line.h"

namespace {

std::set<CString> AddressesOf(const CDnsAnswer& answer) {
    std::set<CString> addresses;
    for (const CDnsRecord& record : answer.records)
        if (record.type != EDnsType::kCname) addresses.insert(record.value);
    return addresses;
}

bool AnyAddress(const CResolverAnswers& server, bool (*test)(const CString&)) {
    for (const CDnsAnswer& answer : server.answers)
        for (const CString& address : AddressesOf(answer))
            if (test(address)) return true;
    return false;
}

// A name the system says does not exist while a public server gives it addresses.
bool SystemDeniesWhatOthersFind(const CResolverAnswers& system,
                                const std::vector<CResolverAnswers>& servers) {
    for (size_t name = 0; name < system.answers.size(); ++name) {
        if (system.answers[name].failure != EPlatformError::kNotFound) continue;
        for (const CResolverAnswers& other : servers) {
            if (!other.system && name < other.answers.size() &&
                !AddressesOf(other.answers[name]).empty())
                return true;
        }
    }
    return false;
}

// Whether servers that gave a name addresses gave it different sets; how many servers
// gave addresses at all goes to *answering.
bool AnswersDiffer(const std::vector<CResolverAnswers>& servers, int* answering) {
    bool differ = false;
    *answering = 0;
    for (const CResolverAnswers& server : servers) {
        bool gave = false;
        for (size_t name = 0; name < server.answers.size(); ++name) {
            const std::set<CString> mine = AddressesOf(server.answers[name]);
            if (mine.empty()) continue;
            gave = true;
            for (const CResolverAnswers& other : servers) {
                if (name >= other.answers.size()) continue;
                const std::set<CString> theirs = AddressesOf(other.answers[name]);
                if (!theirs.empty() && theirs != mine) differ = true;
            }
        }
        if (gave) ++*answering;
    }
    return differ;
}

}  // namespace

bool IsFakeIpAddress(const CString& address) {
    return ParseIpv4(address.Bytes()) && ClassifyAddress(address.Bytes()) == EAddressKind::kBenchmark;
}

bool IsPrivateOrReservedAddress(const CString& address) {
    if (!ParseIpv4(address.Bytes())) return false;
    const EAddressKind kind = ClassifyAddress(address.Bytes());
    return kind != EAddressKind::kPublic && kind != EAddressKind::kBenchmark;
}

CString DnsVerdicts(const std::vector<CResolverAnswers>& servers) {
    CString text;
    for (const CResolverAnswers& server : servers) {
        if (!server.system) continue;
        if (AnyAddress(server, IsFakeIpAddress)) text += VerdictLine("dns-system-fake-ip");
        if (SystemDeniesWhatOthersFind(server, servers)) text += VerdictLine("dns-system-denies");
        if (AnyAddress(server, IsPrivateOrReservedAddress)) text += VerdictLine("dns-system-private");
    }
    int answering = 0;
    if (AnswersDiffer(servers, &answering)) text += VerdictLine("dns-answers-differ");
    if (text.IsEmpty() && answering >= 2) text += VerdictLine("dns-answers-agree");
    return text;
}
