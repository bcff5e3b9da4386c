// IPv6 text to bytes, and the MAC a stateless address's interface id is made from. An
// address made that way carries the adapter's MAC in its last eight bytes, so it names
// the machine wherever it is seen, public or not.
#include <algorithm>
#include <vector>

#include "model/address_kind.h"
#include "privacy/text_tokens.h"

namespace {

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Groups of one to four hex digits joined by single colons, the last one perhaps a
// dotted IPv4 address (two groups' worth); false on anything else.
bool ReadGroups(std::string_view text, std::vector<uint16_t>* groups) {
    if (text.empty()) return true;
    size_t start = 0;
    while (true) {
        const size_t end = std::min(text.find(':', start), text.size());
        const std::string_view group = text.substr(start, end - start);
        if (end == text.size() && group.find('.') != std::string_view::npos) {
            const auto v4 = ParseIpv4(group);
            if (!v4) return false;
            groups->push_back(static_cast<uint16_t>(*v4 >> 16));
            groups->push_back(static_cast<uint16_t>(*v4 & 0xFFFF));
            return true;
        }
        if (group.empty() || group.size() > 4) return false;
        uint16_t value = 0;
        for (char ch : group) {
            if (HexValue(ch) < 0) return false;
            value = static_cast<uint16_t>(value * 16 + HexValue(ch));
        }
        groups->push_back(value);
        if (end == text.size()) return true;
        start = end + 1;
    }
}

}  // namespace

bool ParseIpv6Bytes(std::string_view text, uint8_t bytes[16]) {
    const size_t gap = text.find("::");
    std::vector<uint16_t> head, tail;
    if (gap == std::string_view::npos) {
        if (!ReadGroups(text, &head) || head.size() != 8) return false;
    } else {
        if (text.find("::", gap + 1) != std::string_view::npos) return false;
        if (!ReadGroups(text.substr(0, gap), &head) || !ReadGroups(text.substr(gap + 2), &tail))
            return false;
        if (head.size() + tail.size() > 7) return false;
    }
    std::vector<uint16_t> all = head;
    all.resize(8 - tail.size(), 0);
    all.insert(all.end(), tail.begin(), tail.end());
    for (size_t i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(all[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(all[i] & 0xFF);
    }
    return true;
}

std::string EmbeddedMac(std::string_view ipv6) {
    uint8_t b[16];
    if (!ParseIpv6Bytes(ipv6, b) || b[11] != 0xFF || b[12] != 0xFE) return std::string();
    static const char kDigits[] = "0123456789abcdef";
    const uint8_t mac[6] = {static_cast<uint8_t>(b[8] ^ 0x02), b[9], b[10], b[13], b[14], b[15]};
    std::string out;
    for (uint8_t byte : mac) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
    return out;
}
