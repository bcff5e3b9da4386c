#include "probes/ip_label_rules.h"

#include <cctype>

namespace {

// Exactly four decimal parts of 0 to 255: the form addresses reach this code in.
bool ParseDottedQuad(const std::string& text, uint32_t* value) {
    uint32_t result = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        size_t digits = 0;
        unsigned number = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) &&
               digits < 4) {
            number = number * 10 + static_cast<unsigned>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255) return false;
        result = result << 8 | number;
    }
    *value = result;
    return at == text.size();
}

bool IsLocalIPv4(uint32_t a) {
    return (a >> 24) == 10 || (a >> 24) == 127 || (a >> 20) == (172u << 4 | 1) ||
           (a >> 16) == (192u << 8 | 168) || (a >> 16) == (169u << 8 | 254) ||
           (a >> 22) == (100u << 2 | 1);  // 100.64.0.0/10
}

// The first 16 bits of an IPv6 address in text; -1 when it does not start like one.
long FirstGroup(const std::string& text) {
    if (text.compare(0, 2, "::") == 0) return 0;
    long value = 0;
    size_t at = 0;
    while (at < text.size() && at < 4 && std::isxdigit(static_cast<unsigned char>(text[at]))) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at++])));
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'a' + 10);
    }
    return at > 0 && at < text.size() && text[at] == ':' ? value : -1;
}

EAddressScope ScopeOfIPv6(std::string text, uint32_t* ipv4) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t zone = text.find('%');
    if (zone != std::string::npos) text.resize(zone);
    if (text == "::1" || text == "::") return EAddressScope::kLocal;
    static const char kMapped[] = "::ffff:";
    if (text.compare(0, sizeof(kMapped) - 1, kMapped) == 0 &&
        ParseDottedQuad(text.substr(sizeof(kMapped) - 1), ipv4)) {
        return IsLocalIPv4(*ipv4) ? EAddressScope::kLocal : EAddressScope::kPublicIPv4;
    }
    const long group = FirstGroup(text);
    if (group < 0) return EAddressScope::kOther;
    const bool linkLocal = (group & 0xffc0) == 0xfe80;
    const bool uniqueLocal = (group & 0xfe00) == 0xfc00;
    return linkLocal || uniqueLocal ? EAddressScope::kLocal : EAddressScope::kOther;
}

}  // namespace

EAddressScope ScopeOfAddress(const CString& address, uint32_t* ipv4) {
    const std::string& text = address.Bytes();
    if (text.find(':') != std::string::npos) return ScopeOfIPv6(text, ipv4);
    if (!ParseDottedQuad(text, ipv4)) return EAddressScope::kOther;
    return IsLocalIPv4(*ipv4) ? EAddressScope::kLocal : EAddressScope::kPublicIPv4;
}
