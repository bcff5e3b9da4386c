// Which addresses an exchange whose target a peer chose may reach: only those on the
// public internet, never this machine or the networks around it.
#pragma once

#include <cstdint>
#include <string>

// Network-order bytes of an IPv4 address. False for this host, loopback, private,
// shared, link-local, multicast and reserved addresses (model/address_kind.h); public,
// documentation and benchmark (fake-ip) addresses pass.
bool IsPublicIpv4(const uint8_t bytes[4]);

// Network-order bytes of an IPv6 address, judged the same way; one that carries an IPv4
// address (mapped, NAT64, 6to4) as that address.
bool IsPublicIpv6(const uint8_t bytes[16]);

// A numeric address as text ("192.0.2.1", "2001:db8::1"; an IPv6 one may be in
// brackets). False for anything else, names included.
bool IsPublicAddressText(const std::string& text);

// The host of an address ("https://host:port/path"): an IPv6 one without its brackets;
// empty when there is none.
std::string HostOfUrl(const std::string& url);
