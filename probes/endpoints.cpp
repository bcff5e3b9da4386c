#include "probes/endpoints.h"

#include "probes/rdap_bootstrap.h"

namespace {

CProbeEndpoints MakeDefaultEndpoints() {
    CProbeEndpoints endpoints;
    endpoints.whoisRows = {
        {"cn", "whois.cnnic.cn"},
        {"中国", "cwhois.cnnic.cn"},
        {"公司", "whois.ngtld.cn"},
        {"网络", "whois.ngtld.cn"},
        {"广东", "whois.ngtld.cn"},
        {"佛山", "whois.ngtld.cn"},
        {"网店", "whois.gtld.knet.cn"},
        {"网址", "whois.nic.xn--ses554g"},
        {"com", "whois.internic.net"},
        {"net", "whois.internic.net"},
        {"edu", "whois.internic.net"},
        {"org", "whois.publicinterestregistry.org"},
        {"asia", "whois.nic.asia"},
        {"biz", "whois.nic.biz"},
        {"cc", "ccwhois.verisign-grs.com"},
        {"co", "whois.registry.co"},
        {"so", "whois.nic.so"},
        {"name", "whois.nic.name"},
        {"me", "whois.nic.me"},
        {"info", "whois.nic.info"},
        {"tv", "whois.nic.tv"},
        {"mobi", "whois.nic.mobi"},
        {"hk", "whois.hkirc.hk"},
        {"tw", "whois.twnic.net.tw"},
        {"tel", "whois.nic.tel"},
        {"us", "whois.nic.us"},
        // Never reached by a lookup, whose key is the text after the last ".".
        {"cn.com", "whois.centralnic.com"},
        {"coop", "whois.nic.coop"},
        {"top", "whois.nic.top"},
    };
    endpoints.rdapRows = RdapBootstrapRows();
    endpoints.whoisEqualsPrefixHost = "whois.internic.net";
    endpoints.referralFrom = "whois.hichina.com";
    endpoints.referralTo = "grs-whois.hichina.com";
    endpoints.publicIpHost = "2018.ip138.com";
    // Third-party services, free and unauthenticated; any of them may change or go away,
    // which costs only its confirmation.
    endpoints.addressSources = {
        {"myip.ipip.net", "http://myip.ipip.net/", EAddressFormat::kIpipLine},
        {"4.ipw.cn", "http://4.ipw.cn/", EAddressFormat::kBare},
        {"ddns.oray.com", "http://ddns.oray.com/checkip", EAddressFormat::kOrayLine},
    };
    endpoints.ipv6Source = {"6.ipw.cn", "http://6.ipw.cn/", EAddressFormat::kBare};
    endpoints.addressDnsServer = "208.67.222.222";  // resolver1.opendns.com
    endpoints.addressDnsName = "myip.opendns.com";
    endpoints.resolverEchoName = "whoami.akamai.net";
    endpoints.publicDnsServers = {"223.5.5.5", "119.29.29.29", "114.114.114.114", "8.8.8.8"};
    return endpoints;
}

}  // namespace

const CProbeEndpoints& DefaultEndpoints() {
    static const CProbeEndpoints endpoints = MakeDefaultEndpoints();
    return endpoints;
}
