#include "net/public_address.h"

#include <algorithm>
#include <cstring>

namespace {

bool InBlock(const uint8_t* bytes, uint32_t base, int bits) {
    const uint32_t value = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                           (uint32_t{bytes[2]} << 8) | bytes[3];
    const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    return (value & mask) == (base & mask);
}

bool AllZero(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

// Strict dotted quad, four decimal parts: the only form the layers report.
bool ParseDottedQuad(const std::string& text, uint8_t out[4]) {
    int part = 0;
    int value = -1;
    for (const char ch : text + ".") {
        if (ch >= '0' && ch <= '9') {
            value = (value < 0 ? 0 : value * 10) + (ch - '0');
            if (value > 255) return false;
        } else if (ch == '.' && value >= 0 && part < 4) {
            out[part++] = static_cast<uint8_t>(value);
            value = -1;
        } else {
            return false;
        }
    }
    return part == 4;
}

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Groups of up to four hex digits separated by ':', each written as 16 bits.
bool ParseGroups(const std::string& text, uint8_t* out, size_t* count) {
    *count = 0;
    if (text.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find(':', start), text.size());
        if (end == start || end - start > 4 || *count >= 8) return false;
        int value = 0;
        for (size_t i = start; i < end; ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        out[2 * *count] = static_cast<uint8_t>(value >> 8);
        out[2 * *count + 1] = static_cast<uint8_t>(value & 0xFF);
        ++*count;
        if (end == text.size()) return true;
        start = end + 1;
    }
}

bool ParseIpv6(std::string text, uint8_t out[16]) {
    std::memset(out, 0, 16);
    uint8_t tail[4];
    bool dotted = false;
    const size_t lastColon = text.rfind(':');
    if (lastColon != std::string::npos && text.find('.', lastColon) != std::string::npos) {
        if (!ParseDottedQuad(text.substr(lastColon + 1), tail)) return false;
        text = text.substr(0, lastColon + 1) + "0:0";
        dotted = true;
    }
    uint8_t head[16];
    uint8_t back[16];
    size_t headCount = 0;
    size_t backCount = 0;
    const size_t gap = text.find("::");
    if (gap == std::string::npos) {
        if (!ParseGroups(text, head, &headCount) || headCount != 8) return false;
    } else if (!ParseGroups(text.substr(0, gap), head, &headCount) ||
               !ParseGroups(text.substr(gap + 2), back, &backCount) || headCount + backCount > 7) {
        return false;
    }
    std::memcpy(out, head, 2 * headCount);
    std::memcpy(out + 16 - 2 * backCount, back, 2 * backCount);
    if (dotted) std::memcpy(out + 12, tail, 4);
    return true;
}

}  // namespace

bool IsPublicIpv4(const uint8_t bytes[4]) {
    static const struct {
        uint32_t base;
        int bits;
    } kNotPublic[] = {
        {0x00000000, 8},  {0x0A000000, 8},  {0x64400000, 10}, {0x7F000000, 8}, {0xA9FE0000, 16},
        {0xAC100000, 12}, {0xC0A80000, 16}, {0xE0000000, 4},  {0xF0000000, 4},
    };
    for (const auto& block : kNotPublic)
        if (InBlock(bytes, block.base, block.bits)) return false;
    return true;
}

bool IsPublicIpv6(const uint8_t bytes[16]) {
    if (AllZero(bytes, 15) && bytes[15] <= 1) return false;           // :: and ::1
    if ((bytes[0] & 0xFE) == 0xFC) return false;                      // fc00::/7
    if (bytes[0] == 0xFE && (bytes[1] & 0x80) == 0x80) return false;  // fe80::/10, fec0::/10
    if (bytes[0] == 0xFF) return false;
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    static const uint8_t kNat64[12] = {0x00, 0x64, 0xFF, 0x9B};
    if (std::memcmp(bytes, kMapped, 12) == 0 || AllZero(bytes, 12) ||
        std::memcmp(bytes, kNat64, 12) == 0) {
        return IsPublicIpv4(bytes + 12);
    }
    if (bytes[0] == 0x20 && bytes[1] == 0x02) return IsPublicIpv4(bytes + 2);  // 6to4
    return true;
}

bool IsPublicAddressText(const std::string& text) {
    uint8_t bytes[16];
    if (ParseDottedQuad(text, bytes)) return IsPublicIpv4(bytes);
    std::string inner = text;
    if (inner.size() >= 2 && inner.front() == '[' && inner.back() == ']')
        inner = inner.substr(1, inner.size() - 2);
    // A zone index ("fe80::1%eth0") only ever names a local link.
    if (inner.find('%') != std::string::npos) return false;
    return inner.find(':') != std::string::npos && ParseIpv6(inner, bytes) && IsPublicIpv6(bytes);
}

std::string HostOfUrl(const std::string& url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos) return std::string();
    const size_t start = scheme + 3;
    const size_t end = std::min(url.find_first_of("/?#", start), url.size());
    std::string authority = url.substr(start, end - start);
    authority =
        authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        return close == std::string::npos ? std::string() : authority.substr(1, close - 1);
    }
    return authority.substr(0, authority.find(':'));
}
