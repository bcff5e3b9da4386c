#include "model/address_kind.h"

#include <array>
#include <vector>

namespace {

// An address as 16 bytes; an IPv4 address sits in the IPv4-mapped form (::ffff:a.b.c.d)
// so that one table and one comparison serve both families.
using CAddressBytes = std::array<uint8_t, 16>;

constexpr int kMappedPrefixBits = 96;

CAddressBytes MappedBytes(uint32_t ipv4) {
    CAddressBytes bytes{};
    bytes[10] = bytes[11] = 0xff;
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<uint8_t>(ipv4 >> (24 - 8 * i));
    return bytes;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One group of one to four hex digits.
bool ParseGroup(std::string_view text, uint16_t* value) {
    if (text.empty() || text.size() > 4) return false;
    unsigned result = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        result = result * 16 + static_cast<unsigned>(digit);
    }
    *value = static_cast<uint16_t>(result);
    return true;
}

// Groups separated by single colons (no "::" inside), the last of which may be a dotted
// IPv4 tail when mayEndInQuad; each lands in *out as two bytes.
bool ParseGroups(std::string_view text, bool mayEndInQuad, std::vector<uint8_t>* out) {
    if (text.empty()) return true;
    for (;;) {
        const size_t colon = text.find(':');
        const std::string_view group = text.substr(0, colon);
        uint16_t value = 0;
        if (colon == std::string_view::npos && mayEndInQuad && group.find('.') != group.npos) {
            const std::optional<uint32_t> quad = ParseIpv4(group);
            if (!quad) return false;
            for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(*quad >> (24 - 8 * i)));
            return true;
        }
        if (!ParseGroup(group, &value)) return false;
        out->push_back(static_cast<uint8_t>(value >> 8));
        out->push_back(static_cast<uint8_t>(value & 0xff));
        if (colon == std::string_view::npos) return true;
        text.remove_prefix(colon + 1);
    }
}

// The usual IPv6 text form: eight groups, or fewer with one "::" standing for the zero
// groups left out, an optional dotted IPv4 tail, and an optional zone ("%eth0").
std::optional<CAddressBytes> ParseIpv6(std::string_view text) {
    const size_t zone = text.find('%');
    if (zone != std::string_view::npos) {
        if (zone + 1 == text.size()) return std::nullopt;
        text = text.substr(0, zone);
    }
    const size_t gap = text.find("::");
    std::vector<uint8_t> head, tail;
    if (gap == std::string_view::npos) {
        if (!ParseGroups(text, true, &head) || head.size() != 16) return std::nullopt;
    } else {
        const std::string_view after = text.substr(gap + 2);
        if (after.find("::") != std::string_view::npos) return std::nullopt;
        if (!ParseGroups(text.substr(0, gap), false, &head) || !ParseGroups(after, true, &tail))
            return std::nullopt;
        if (head.size() + tail.size() > 14) return std::nullopt;
    }
    CAddressBytes bytes{};
    for (size_t i = 0; i < head.size(); ++i) bytes[i] = head[i];
    for (size_t i = 0; i < tail.size(); ++i) bytes[16 - tail.size() + i] = tail[i];
    return bytes;
}

std::optional<CAddressBytes> ParseAnyAddress(std::string_view text) {
    if (text.find(':') != std::string_view::npos) return ParseIpv6(text);
    const std::optional<uint32_t> ipv4 = ParseIpv4(text);
    if (!ipv4) return std::nullopt;
    return MappedBytes(*ipv4);
}

bool InPrefix(const CAddressBytes& address, const CAddressBytes& base, int bits) {
    for (int i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
        const uint8_t mask = bits >= 8 ? 0xff : static_cast<uint8_t>(0xff << (8 - bits));
        if ((address[i] & mask) != (base[i] & mask)) return false;
    }
    return true;
}

struct CRangeText {
    const char* base;  // an IPv4 or IPv6 address
    int bits;          // the prefix length in that address's own family
    EAddressKind kind;
};

// Every range that is not public, once. Where ranges nest, the longest prefix wins.
constexpr CRangeText kRanges[] = {
    {"0.0.0.0", 8, EAddressKind::kUnspecified},
    {"10.0.0.0", 8, EAddressKind::kPrivate},
    {"100.64.0.0", 10, EAddressKind::kShared},
    {"127.0.0.0", 8, EAddressKind::kLoopback},
    {"169.254.0.0", 16, EAddressKind::kLinkLocal},
    {"172.16.0.0", 12, EAddressKind::kPrivate},
    {"192.0.0.0", 24, EAddressKind::kReserved},
    {"192.0.2.0", 24, EAddressKind::kDocumentation},
    {"192.168.0.0", 16, EAddressKind::kPrivate},
    {"198.18.0.0", 15, EAddressKind::kBenchmark},
    {"198.51.100.0", 24, EAddressKind::kDocumentation},
    {"203.0.113.0", 24, EAddressKind::kDocumentation},
    {"224.0.0.0", 4, EAddressKind::kMulticast},
    {"240.0.0.0", 4, EAddressKind::kReserved},  // the broadcast address included
    {"::", 128, EAddressKind::kUnspecified},
    {"::1", 128, EAddressKind::kLoopback},
    {"100::", 64, EAddressKind::kReserved},  // discard only
    {"2001:2::", 48, EAddressKind::kBenchmark},
    {"2001:db8::", 32, EAddressKind::kDocumentation},
    {"fc00::", 7, EAddressKind::kUniqueLocal},
    {"fe80::", 10, EAddressKind::kLinkLocal},
    {"fec0::", 10, EAddressKind::kReserved},  // the withdrawn site-local range
    {"ff00::", 8, EAddressKind::kMulticast},
};

struct CRange {
    CAddressBytes base;
    int bits;
    EAddressKind kind;
};

const std::vector<CRange>& Ranges() {
    static const std::vector<CRange> ranges = [] {
        std::vector<CRange> built;
        for (const CRangeText& range : kRanges) {
            const std::string_view base = range.base;
            const bool ipv6 = base.find(':') != std::string_view::npos;
            built.push_back({*ParseAnyAddress(base), ipv6 ? range.bits : kMappedPrefixBits + range.bits,
                             range.kind});
        }
        return built;
    }();
    return ranges;
}

}  // namespace

std::optional<uint32_t> ParseIpv4(std::string_view text) {
    uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        size_t digits = 0;
        unsigned number = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            number = number * 10 + static_cast<unsigned>(text[digits++] - '0');
        if (digits == 0 || digits > 3 || number > 255 || (digits > 1 && text[0] == '0'))
            return std::nullopt;
        text.remove_prefix(digits);
        address = address << 8 | number;
    }
    if (!text.empty()) return std::nullopt;
    return address;
}

EAddressKind ClassifyAddress(std::string_view text) {
    const std::optional<CAddressBytes> address = ParseAnyAddress(text);
    if (!address) return EAddressKind::kInvalid;
    int longest = -1;
    EAddressKind kind = EAddressKind::kPublic;
    for (const CRange& range : Ranges()) {
        if (range.bits > longest && InPrefix(*address, range.base, range.bits)) {
            longest = range.bits;
            kind = range.kind;
        }
    }
    // IPv6 outside the global unicast block 2000::/3 and the ranges above is not in use.
    const bool mapped = InPrefix(*address, MappedBytes(0), kMappedPrefixBits);
    if (longest < 0 && !mapped && ((*address)[0] & 0xe0) != 0x20) return EAddressKind::kReserved;
    return kind;
}

const char* AddressKindName(EAddressKind kind) {
    switch (kind) {
        case EAddressKind::kInvalid: return "invalid";
        case EAddressKind::kUnspecified: return "unspecified";
        case EAddressKind::kLoopback: return "loopback";
        case EAddressKind::kPrivate: return "private";
        case EAddressKind::kLinkLocal: return "link-local";
        case EAddressKind::kShared: return "shared";
        case EAddressKind::kBenchmark: return "benchmark";
        case EAddressKind::kDocumentation: return "documentation";
        case EAddressKind::kMulticast: return "multicast";
        case EAddressKind::kReserved: return "reserved";
        case EAddressKind::kUniqueLocal: return "unique-local";
        case EAddressKind::kPublic: return "public";
    }
    return "invalid";
}

bool IsLocalNetworkKind(EAddressKind kind) {
    return kind == EAddressKind::kLoopback || kind == EAddressKind::kPrivate ||
           kind == EAddressKind::kLinkLocal || kind == EAddressKind::kShared ||
           kind == EAddressKind::kUniqueLocal;
}
