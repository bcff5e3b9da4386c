// What the answers of several DNS servers for the same names say about the system's own
// DNS: the verdict lines of the egress step, most severe first.
#pragma once

#include <vector>

#include "platform/dns_records.h"
#include "platform/mb_string.h"

// One server's answers, one per name, in the same order for every server.
struct CResolverAnswers {
    CString server;       // how the report names it
    bool system = false;  // the system's own resolver
    std::vector<CDnsAnswer> answers;
};

// True for an IPv4 address in 198.18.0.0/15, where proxy software's fake-ip mode hands
// out its stand-in addresses.
bool IsFakeIpAddress(const CString& address);
// True for an IPv4 address no public site has: private, loopback, link-local, shared,
// documentation, multicast or reserved ranges (198.18.0.0/15 aside, judged on its own).
// The verdict speaks of IPv4 answers only.
bool IsPrivateOrReservedAddress(const CString& address);

// The verdict lines (each ending in CR LF) that apply; "各DNS服务器的解析结果一致" only when
// none does and at least two servers gave addresses.
CString DnsVerdicts(const std::vector<CResolverAnswers>& servers);
