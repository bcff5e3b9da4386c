// The parts of an address's label that need no database file, for ip_labels.cpp and
// its tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/mb_string.h"

class CIpRegionDb;

enum class EAddressScope {
    kLocal,       // private, loopback, link-local, shared (100.64/10), unique local
    kPublicIPv4,  // any other IPv4 address, including one mapped into IPv6
    kOther,       // a public IPv6 address, or text that is no numeric address
};

// Where the numeric address points; *ipv4 gets the host-order value of an IPv4 one.
EAddressScope ScopeOfAddress(const CString& address, uint32_t* ipv4);

// The label of a database record ("中国|0|广东省|广州市|电信", UTF-8), in GBK.
CString LabelOfRecord(const std::string& record);

// IpLabelFor with the database given rather than the shipped one.
CString IpLabelFrom(const CIpRegionDb& db, const CString& address);
