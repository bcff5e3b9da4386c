// Stand-in until the offline database lands: local ranges only.
#include "probes/ip_labels.h"
#include <cstdio>

#include "probes/address_text.h"

namespace {

bool IsLocalIpv4(const CString& address) {
    unsigned a = 0, b = 0;
    if (std::sscanf(address.GetString(), "%u.%u", &a, &b) != 2) return false;
    return a == 10 || a == 127 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168) ||
           (a == 169 && b == 254) || (a == 100 && b >= 64 && b <= 127);
}

bool IsLocalIpv6(const CString& address) {
    const CString lower = address.Left(4);
    return address == CString("::1") || lower.Left(2) == CString("fc") ||
           lower.Left(2) == CString("fd") || lower.Left(4) == CString("fe80");
}

}  // namespace

CString IpLabelFor(const CString& address) {
    if (IsDottedQuad(address) && IsLocalIpv4(address)) return "局域网";
    if (IsIpv6Text(address) && IsLocalIpv6(address)) return "局域网";
    return "未知";
}

CString IpDatabaseDate() { return CString(); }
