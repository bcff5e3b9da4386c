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

ConnectResult failed(int error) {
    ConnectResult result;
    result.failure = TranslateSystemError(error);
    result.detail = std::string(std::strerror(error)) + ".";
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

// glibc answers EAI_AGAIN once it has run through its retries without an answer.
LookupFailure lookup_failure(int rc) {
    switch (rc) {
        case EAI_NONAME:
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
            return LookupFailure::unknown_name;
        case EAI_AGAIN:
            return LookupFailure::timed_out;
        default:
            return LookupFailure::other;
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
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        Resolution outcome;
        outcome.failure = lookup_failure(rc);
        outcome.error = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
        return outcome;
    }
    Resolution outcome = first_address(list);
    ::freeaddrinfo(list);
    return outcome;
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
