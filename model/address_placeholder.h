// The words a redacted report puts where an address of the user's own network was
// ("局域网地址1", "本机IPv6地址2"). Every reader of a report takes such a word for an
// address of the user's own network, so a redacted report reads, and is judged, like
// the original: a hop is still a hop and a LAN hop still a LAN hop.
//
// A word is a prefix of this table, then an optional tag of capital ASCII letters (used
// when the report already held the bare prefix), then a decimal number. Header only, so
// that every layer may read it without linking anything.
#pragma once

#include <string_view>

namespace address_placeholder {

// GBK bytes of the prefixes. The own adapters' addresses first, then the rest of the LAN.
inline constexpr const char* kOwnIpv4 = "本机地址";
inline constexpr const char* kOwnIpv6 = "本机IPv6地址";
inline constexpr const char* kLanIpv4 = "局域网地址";
inline constexpr const char* kLanIpv6 = "局域网IPv6地址";
inline constexpr const char* kPrefixes[] = {kOwnIpv4, kOwnIpv6, kLanIpv4, kLanIpv6};

}  // namespace address_placeholder

// True when text is, in full, a placeholder word of an address of the user's own network.
inline bool IsAddressPlaceholder(std::string_view text) {
    for (std::string_view prefix : address_placeholder::kPrefixes) {
        if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0) continue;
        std::string_view rest = text.substr(prefix.size());
        while (!rest.empty() && rest.front() >= 'A' && rest.front() <= 'Z') rest.remove_prefix(1);
        if (rest.empty() || rest.size() > 6) continue;
        bool digits = true;
        for (char ch : rest) digits = digits && ch >= '0' && ch <= '9';
        if (digits) return true;
    }
    return false;
}
