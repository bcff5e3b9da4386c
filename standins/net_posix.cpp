// POSIX sockets behind net.hpp.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "net.hpp"

namespace standin {

namespace {

static_assert(sizeof(Address::storage) >= sizeof(sockaddr_storage), "room for any socket address");

const addrinfo* first_of_family(const addrinfo* list, int family) {
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next)
        if (ai->ai_family == family) return ai;
    return nullptr;
}

ConnectResult failed(int error) {
    ConnectResult result;
    switch (error) {
        case ECONNREFUSED:
            result.failure = ConnectFailure::refused;
            break;
        case ETIMEDOUT:
            result.failure = ConnectFailure::timed_out;
            break;
        case ENETUNREACH:
            result.failure = ConnectFailure::network_unreachable;
            break;
        case EHOSTUNREACH:
            result.failure = ConnectFailure::host_unreachable;
            break;
        default:
            result.failure = ConnectFailure::other;
            result.detail = std::string(std::strerror(error)) + ".";
    }
    return result;
}

// Waits for a non-blocking connect to finish; 0 or the errno it ended with.
int await_connect(int fd, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return ETIMEDOUT;
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return errno;
        if (ready == 0) continue;  // the deadline check above decides
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        return error;
    }
}

}  // namespace

NetworkUse::NetworkUse() : m_ok(true) {}
NetworkUse::~NetworkUse() = default;

Resolution lookup_blocking(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    Resolution outcome;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        outcome.error = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
        return outcome;
    }
    const addrinfo* chosen = first_of_family(list, AF_INET);
    if (chosen == nullptr) chosen = first_of_family(list, AF_INET6);
    if (chosen == nullptr) {
        outcome.error = "no IPv4 or IPv6 address";
    } else {
        Address address;
        std::memcpy(address.storage, chosen->ai_addr, chosen->ai_addrlen);
        address.length = chosen->ai_addrlen;
        address.family = chosen->ai_family;
        char text[NI_MAXHOST] = {};
        ::getnameinfo(chosen->ai_addr, chosen->ai_addrlen, text, sizeof text, nullptr, 0,
                      NI_NUMERICHOST);
        address.text = text;
        outcome.address = address;
    }
    ::freeaddrinfo(list);
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

ConnectResult connect_tcp(const Address& target, std::chrono::milliseconds timeout) {
    const int fd = ::socket(target.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return failed(errno);
    const auto start = Clock::now();
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(target.storage), target.length) != 0) {
        error = errno;
        if (error == EINPROGRESS) error = await_connect(fd, start + timeout);
    }
    const auto end = Clock::now();
    ::close(fd);
    if (error != 0) return failed(error);
    ConnectResult result;
    result.ms = std::chrono::duration<double, std::milli>(end - start).count();
    return result;
}

}  // namespace standin
