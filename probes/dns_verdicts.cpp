#include "probes/dns_verdicts.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "probes/address_text.h"
#include "probes/verdict_line.h"

namespace {

// The address as a 32-bit number; false for anything but a plain dotted quad.
bool ToNumber(const CString& address, unsigned long* value) {
    if (!IsDottedQuad(address)) return false;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(address.GetString(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
    *value = (static_cast<unsigned long>(a) << 24) | (b << 16) | (c << 8) | d;
    return true;
}

bool InRange(unsigned long value, unsigned long base, int prefix) {
    const unsigned long mask = prefix == 0 ? 0 : (0xFFFFFFFFUL << (32 - prefix)) & 0xFFFFFFFFUL;
    return (value & mask) == base;
}

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
    unsigned long value = 0;
    return ToNumber(address, &value) && InRange(value, 0xC6120000UL, 15);
}

bool IsPrivateOrReservedAddress(const CString& address) {
    unsigned long value = 0;
    if (!ToNumber(address, &value) || IsFakeIpAddress(address)) return false;
    const struct {
        unsigned long base;
        int prefix;
    } ranges[] = {
        {0x00000000UL, 8},  {0x0A000000UL, 8},  {0x64400000UL, 10}, {0x7F000000UL, 8},
        {0xA9FE0000UL, 16}, {0xAC100000UL, 12}, {0xC0000000UL, 24}, {0xC0000200UL, 24},
        {0xC0A80000UL, 16}, {0xC6336400UL, 24}, {0xCB007100UL, 24}, {0xE0000000UL, 3},
    };
    return std::any_of(std::begin(ranges), std::end(ranges), [value](const auto& range) {
        return InRange(value, range.base, range.prefix);
    });
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
