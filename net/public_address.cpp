#include "net/public_address.h"

#include <algorithm>

#include "model/address_kind.h"

namespace {

// Where a peer-chosen exchange may go. Documentation ranges stand in for the internet
// on test networks, and 198.18.0.0/15 is where proxy software's fake-ip mode sends every
// name, so neither is refused; the user's own networks and everything unused are.
bool MayBeReached(EAddressKind kind) {
    return kind == EAddressKind::kPublic || kind == EAddressKind::kDocumentation ||
           kind == EAddressKind::kBenchmark;
}

}  // namespace

bool IsPublicIpv4(const uint8_t bytes[4]) { return MayBeReached(ClassifyAddressBytes(bytes, 4)); }

bool IsPublicIpv6(const uint8_t bytes[16]) { return MayBeReached(ClassifyAddressBytes(bytes, 16)); }

bool IsPublicAddressText(const std::string& text) {
    std::string inner = text;
    if (inner.size() >= 2 && inner.front() == '[' && inner.back() == ']')
        inner = inner.substr(1, inner.size() - 2);
    // A zone index ("fe80::1%eth0") only ever names a local link.
    if (inner.find('%') != std::string::npos) return false;
    return MayBeReached(ClassifyAddress(inner));
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
