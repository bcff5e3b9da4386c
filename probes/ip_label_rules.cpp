#include "probes/ip_label_rules.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "model/address_kind.h"

namespace {

// The IPv4 address the text is, or carries as an IPv4-mapped IPv6 address.
std::optional<uint32_t> Ipv4Of(const std::string& text) {
    static const char kMapped[] = "::ffff:";
    const size_t prefix = sizeof(kMapped) - 1;
    if (text.size() > prefix && text[0] == ':' && text[1] == ':' &&
        std::equal(kMapped + 2, kMapped + prefix, text.begin() + 2,
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); }))
        return ParseIpv4(std::string_view(text).substr(prefix));
    return ParseIpv4(text);
}

}  // namespace

EAddressScope ScopeOfAddress(const CString& address, uint32_t* ipv4) {
    const EAddressKind kind = ClassifyAddress(address.Bytes());
    if (IsLocalNetworkKind(kind)) return EAddressScope::kLocal;
    if (kind == EAddressKind::kInvalid) return EAddressScope::kOther;
    const std::optional<uint32_t> value = Ipv4Of(address.Bytes());
    if (!value) return EAddressScope::kOther;
    *ipv4 = *value;
    return EAddressScope::kPublicIPv4;
}
