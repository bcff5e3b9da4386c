// Addresses from name lookups, and the parts of net.hpp that are written the same way
// on every system.
#include <cstdint>
#include <cstring>

#include "net.hpp"
#include "socket_api.hpp"

namespace standin {

namespace {

static_assert(sizeof(Address::storage) >= sizeof(sockaddr_storage), "room for any socket address");

const addrinfo* first_of_family(const addrinfo* list, int family) {
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next)
        if (ai->ai_family == family) return ai;
    return nullptr;
}

}  // namespace

Resolution first_address(const addrinfo* list) {
    Resolution outcome;
    const addrinfo* chosen = first_of_family(list, AF_INET);
    if (chosen == nullptr) chosen = first_of_family(list, AF_INET6);
    if (chosen == nullptr) {
        outcome.failure = LookupFailure::unknown_name;
        outcome.error = "no IPv4 or IPv6 address";
        return outcome;
    }
    Address address;
    std::memcpy(address.storage, chosen->ai_addr, chosen->ai_addrlen);
    address.length = static_cast<unsigned>(chosen->ai_addrlen);
    address.family = chosen->ai_family;
    char text[NI_MAXHOST] = {};
    ::getnameinfo(chosen->ai_addr, static_cast<socklen_t>(chosen->ai_addrlen), text, sizeof text,
                  nullptr, 0, NI_NUMERICHOST);
    address.text = text;
    outcome.address = address;
    return outcome;
}

bool is_ip_literal(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return false;
    ::freeaddrinfo(list);
    return true;
}

void set_port(Address& address, unsigned port) {
    const auto net_port = htons(static_cast<std::uint16_t>(port));
    if (address.family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(address.storage)->sin6_port = net_port;
    else
        reinterpret_cast<sockaddr_in*>(address.storage)->sin_port = net_port;
}

}  // namespace standin
