// Which addresses an exchange whose target a peer chose may reach: only those on the
// public internet, never this machine or the networks around it.
#pragma once

#include <cstdint>
#include <string>

// Network-order bytes of an IPv4 address. False for this host (0/8), loopback (127/8),
// private (10/8, 172.16/12, 192.168/16), shared (100.64/10), link-local (169.254/16),
// multicast (224/4) and the reserved and broadcast block (240/4).
bool IsPublicIpv4(const uint8_t bytes[4]);

// Network-order bytes of an IPv6 address. False for unspecified and loopback, unique
// local (fc00::/7), link-local (fe80::/10), site-local (fec0::/10) and multicast (ff00::/8),
// and for an IPv4 address carried inside (mapped, compatible, NAT64, 6to4) that is itself
// not public.
bool IsPublicIpv6(const uint8_t bytes[16]);

// A numeric address as text ("192.0.2.1", "2001:db8::1"; an IPv6 one may be in
// brackets). False for anything else, names included.
bool IsPublicAddressText(const std::string& text);

// The host of an address ("https://host:port/path"): an IPv6 one without its brackets;
// empty when there is none.
std::string HostOfUrl(const std::string& url);
