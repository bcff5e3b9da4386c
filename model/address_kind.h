// What kind of address a numeric address is, from one table of ranges, and the one
// parser of dotted IPv4 text that every layer uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

enum class EAddressKind {
    kInvalid,        // not a numeric address
    kUnspecified,    // 0.0.0.0/8, ::
    kLoopback,       // 127/8, ::1
    kPrivate,        // 10/8, 172.16/12, 192.168/16
    kLinkLocal,      // 169.254/16, fe80::/10
    kShared,         // 100.64/10 (carrier-grade NAT)
    kBenchmark,      // 198.18/15 (also proxy software's fake-ip range)
    kDocumentation,  // 192.0.2/24, 198.51.100/24, 203.0.113/24, 2001:db8::/32
    kMulticast,      // 224/4, ff00::/8
    kReserved,       // 240/4, 192.0.0/24, broadcast, ...
    kUniqueLocal,    // fc00::/7
    kPublic,
};

// Strict dotted-quad IPv4 ("192.0.2.1": four decimal parts of 0 to 255, no leading
// zeros beyond "0"), host order; nullopt otherwise.
std::optional<uint32_t> ParseIpv4(std::string_view text);
// The kind of a numeric IPv4 or IPv6 address (IPv4-mapped IPv6 read as its IPv4).
EAddressKind ClassifyAddress(std::string_view text);
// The same for an address as network-order bytes: 4 for IPv4, 16 for IPv6; an IPv6
// address that carries an IPv4 one (mapped, NAT64 64:ff9b::/96, 6to4 2002::/16) has the
// kind of the IPv4 address it carries.
EAddressKind ClassifyAddressBytes(const uint8_t* bytes, size_t size);
// Stable English name: "loopback", "private", ... "public".
const char* AddressKindName(EAddressKind kind);
// Loopback, private, link-local, shared or unique-local: the user's own network side.
bool IsLocalNetworkKind(EAddressKind kind);
