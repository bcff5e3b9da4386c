// Addresses of the outside servers the probes talk to. The values compiled into the
// program live in endpoints.cpp; tests build their own to reach loopback servers.
#pragma once

#include <utility>
#include <vector>

#include "net/http_client.h"
#include "platform/mb_string.h"
#include "probes/whois_limits.h"

// A plain-text service that tells a caller its public address, in one of the forms the
// services answer in.
enum class EAddressFormat {
    kBare,      // the address alone ("203.0.113.9")
    kIpipLine,  // "当前 IP：203.0.113.9  来自于：..."
    kOrayLine,  // "Current IP Address: 203.0.113.9"
};

struct CAddressSource {
    CString name;  // how the report names it
    CString url;
    EAddressFormat format = EAddressFormat::kBare;
};

struct CProbeEndpoints {
    // Whois server table rows, inserted in this order: top-level label, server host.
    std::vector<std::pair<CString, CString>> whoisRows;
    // The registry server whose queries carry a leading "=".
    CString whoisEqualsPrefixHost;
    // A referral to the first host is queried at the second one instead.
    CString referralFrom;
    CString referralTo;
    int whoisPort = 43;
    // RDAP service rows (ASCII top-level label, base address ending in "/"), asked when
    // the whois servers give no answer.
    std::vector<std::pair<CString, CString>> rdapRows;
    // Tests only, never the shipped program: a registry's related link may be plain http
    // and lead to a loopback or private address, where the tests' peers are.
    bool rdapLocalLinksAllowed = false;
    // The shipped program keeps the defaults; tests shorten them to stay fast.
    CWhoisLimits whoisLimits;

    // The page that reports the caller's public address.
    CString publicIpHost;
    int publicIpPort = 80;

    // Independent services asked to confirm the page's address (none unless set), and
    // the bounds of each of their exchanges, which run side by side.
    std::vector<CAddressSource> addressSources;
    CHttpLimits addressSourceLimits = AddressSourceLimits();

    // The egress step: the IPv6 address service; the DNS server asked directly for the
    // name that it answers with the asker's address; the name whose A record the system's
    // resolver answers with the address its query came from; the public DNS servers whose
    // answers are set beside the system's, and the port all of these are asked on.
    CAddressSource ipv6Source;
    CString addressDnsServer;
    CString addressDnsName;
    CString resolverEchoName;
    std::vector<CString> publicDnsServers;
    int dnsPort = 53;

    // Port of the web site check.
    int websitePort = 80;

    // Port of the HTTPS and certificate check, and the ports tried on every IPv6 address.
    int httpsPort = 443;
    std::vector<int> ipv6Ports = {80, 443};

    // Bounds of every HTTP exchange (the public address page, the web site check).
    CHttpLimits httpLimits;
};

// The endpoints of the shipped program.
const CProbeEndpoints& DefaultEndpoints();
