#include "probes/dns_verdicts.h"

#include <set>

#include "model/address_kind.h"

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
        if (AnyAddress(server, IsFakeIpAddress))
            text += "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征\r\n";
        if (SystemDeniesWhatOthersFind(server, servers))
            text += "本机DNS说域名不存在，而公共DNS有结果，疑似DNS劫持或污染\r\n";
        if (AnyAddress(server, IsPrivateOrReservedAddress))
            text += "本机DNS返回了内网或保留地址\r\n";
    }
    int answering = 0;
    if (AnswersDiffer(servers, &answering))
        text += "解析结果因DNS服务器而异（使用CDN按地区调度时属正常）\r\n";
    if (text.IsEmpty() && answering >= 2) text += "各DNS服务器的解析结果一致\r\n";
    return text;
}
