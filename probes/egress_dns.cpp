#include "probes/egress_dns.h"

#include <functional>

#include "platform/dns_records.h"
#include "platform/net_adapters.h"
#include "platform/side_by_side.h"
#include "probes/address_sources.h"
#include "probes/dns_verdicts.h"
#include "probes/ip_labels.h"
#include "probes/platform_error_text.h"

namespace {

// Everything the step asks, filled in side by side.
struct CEgressGathered {
    std::vector<CSourceAnswer> sources;  // the IPv4 services, then the DNS one
    CSourceAnswer ipv6;
    CDnsAnswer resolverEcho;
    std::vector<CString> systemServers;
    std::vector<CResolverAnswers> resolvers;  // the system's first
};

// The A records of an answer joined by "、", or why there are none.
CString AddressesText(const CDnsAnswer& answer, const char* noneText) {
    CString text;
    for (const CDnsRecord& record : answer.records)
        if (record.type == EDnsType::kA) text += (text.IsEmpty() ? "" : "、") + record.value;
    if (answer.failure != EPlatformError::kNone) return DescribeDnsFailure(answer.failure);
    return text.IsEmpty() ? CString(noneText) : text;
}

CSourceAnswer DnsSource(const CProbeEndpoints& endpoints, const CDnsAnswer& answer) {
    CSourceAnswer source;
    source.name = endpoints.addressDnsName + "（" + endpoints.addressDnsServer + "）";
    for (const CDnsRecord& record : answer.records)
        if (record.type == EDnsType::kA && source.address.IsEmpty()) source.address = record.value;
    if (source.address.IsEmpty()) source.failure = AddressesText(answer, "没有A记录");
    return source;
}

std::vector<CString> NamesOf(const CString& domain) {
    std::vector<CString> names = {domain};
    if (domain.Left(4) != CString("www.")) names.push_back("www." + domain);
    return names;
}

void AddResolverCalls(const CString& domain, const CProbeEndpoints& endpoints, CStopSignal* stop,
                      CEgressGathered* facts, std::vector<std::function<void()>>* calls) {
    const std::vector<CString> names = NamesOf(domain);
    facts->resolvers.resize(1 + endpoints.publicDnsServers.size());
    for (size_t r = 0; r < facts->resolvers.size(); ++r) {
        CResolverAnswers& resolver = facts->resolvers[r];
        resolver.system = r == 0;
        resolver.server = r == 0 ? CString("本机DNS") : endpoints.publicDnsServers[r - 1];
        resolver.answers.resize(names.size());
        for (size_t n = 0; n < names.size(); ++n) {
            const CString name = names[n];
            CDnsAnswer* slot = &resolver.answers[n];
            const CString server = resolver.server;
            const bool system = resolver.system;
            calls->push_back([=, &endpoints] {
                *slot = system ? QueryDnsRecords(name, EDnsType::kA, kEgressDnsQueryLimitMs, stop)
                               : QueryDnsServer(server, endpoints.dnsPort, name, EDnsType::kA,
                                                kEgressDnsQueryLimitMs, stop);
            });
        }
    }
}

CEgressGathered GatherFacts(const CString& domain, const CProbeEndpoints& endpoints,
                         bool machineHasIpv6, CStopSignal* stop) {
    CEgressGathered facts;
    CDnsAnswer addressByDns;
    std::vector<std::function<void()>> calls = {
        [&] {
            facts.sources =
                AskAddressSources(endpoints.addressSources, endpoints.addressSourceLimits, stop);
        },
        [&] {
            addressByDns = QueryDnsServer(endpoints.addressDnsServer, endpoints.dnsPort,
                                          endpoints.addressDnsName, EDnsType::kA,
                                          kEgressDnsQueryLimitMs, stop);
        },
        [&] {
            facts.resolverEcho = QueryDnsRecords(endpoints.resolverEchoName, EDnsType::kA,
                                                 kEgressDnsQueryLimitMs, stop);
        },
        [&] { facts.systemServers = SystemDnsServers(kEgressDnsQueryLimitMs, stop); },
    };
    if (machineHasIpv6) {
        calls.push_back([&] {
            const auto answers =
                AskAddressSources({endpoints.ipv6Source}, endpoints.addressSourceLimits, stop);
            facts.ipv6 = answers.front();
        });
    }
    AddResolverCalls(domain, endpoints, stop, &facts, &calls);
    RunSideBySide(calls);
    facts.sources.push_back(DnsSource(endpoints, addressByDns));
    return facts;
}

CString SourceLine(const CSourceAnswer& source) {
    return "  " + source.name + "：" +
           (source.address.IsEmpty() ? source.failure : source.address) + "\r\n";
}

CString AddressBlock(const CEgressGathered& facts, const CProbeEndpoints& endpoints,
                     bool machineHasIpv6) {
    CString text = "公网IPv4地址：\r\n";
    for (const CSourceAnswer& source : facts.sources) text += SourceLine(source);
    const CAgreedAddress agreed = AgreedAddress(facts.sources);
    text += agreed.address.IsEmpty() ? CString("  没有两个来源给出相同的地址\r\n")
                                     : "  核对后的地址：" + agreed.address + "（" +
                                           IpLabelFor(agreed.address) + "）\r\n";
    text += "公网IPv6地址：\r\n";
    if (!machineHasIpv6) return text + "  本机没有IPv6公网地址，未查询\r\n";
    CSourceAnswer ipv6 = facts.ipv6;
    ipv6.name = endpoints.ipv6Source.name;
    return text + SourceLine(ipv6);
}

CString ResolverBlock(const CEgressGathered& facts, const CProbeEndpoints& endpoints,
                      const CString& domain) {
    CString text = "本机DNS的出口地址（" + endpoints.resolverEchoName + "）：";
    const CString echo = AddressesText(facts.resolverEcho, "没有A记录");
    const bool plain = facts.resolverEcho.failure == EPlatformError::kNone && echo.Find("、") < 0 &&
                       !facts.resolverEcho.records.empty();
    text += plain ? echo + "（" + IpLabelFor(echo) + "）\r\n" : echo + "\r\n";
    text += "系统使用的DNS服务器：";
    if (facts.systemServers.empty()) text += "未知";
    for (size_t i = 0; i < facts.systemServers.size(); ++i)
        text += (i ? "、" : "") + facts.systemServers[i];
    text += "\r\n";
    const std::vector<CString> names = NamesOf(domain);
    for (size_t n = 0; n < names.size(); ++n) {
        text += names[n] + "的A记录：\r\n";
        for (const CResolverAnswers& resolver : facts.resolvers)
            text += "  " + resolver.server + "：" +
                    AddressesText(resolver.answers[n], "没有A记录") + "\r\n";
    }
    return text;
}

}  // namespace

CStepOutcome CheckEgressAndDns(const CString& domain, const CProbeEndpoints& endpoints,
                               bool machineHasIpv6, CStopSignal* stop) {
    const CEgressGathered facts = GatherFacts(domain, endpoints, machineHasIpv6, stop);
    CStepOutcome outcome;
    outcome.text = AddressBlock(facts, endpoints, machineHasIpv6) +
                   ResolverBlock(facts, endpoints, domain) + DnsVerdicts(facts.resolvers);
    outcome.ok = AgreedAddress(facts.sources).address.IsEmpty() ? 0 : 1;
    return outcome;
}

CStepOutcome CheckEgress(const CProbeContext& context, const CString& domain) {
    bool hasIpv6 = false;
    for (const CNetAdapter& adapter : ListNetAdapters())
        hasIpv6 = hasIpv6 || (adapter.up && adapter.globalIpv6);
    return CheckEgressAndDns(domain, context.endpoints, hasIpv6, context.stop);
}
