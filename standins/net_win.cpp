// Winsock behind net.hpp.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "net.hpp"

namespace standin {

namespace {

// The system's own sentence for a Winsock error, in the system's language.
std::string system_words(int error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string words = length != 0 && text != nullptr ? std::string(text, length) : std::string();
    ::LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
        words.pop_back();
    if (words.empty()) words = "Winsock error " + std::to_string(error) + ".";
    return words;
}

std::string lookup_words(int error) {
    switch (error) {
        case WSAHOST_NOT_FOUND:
            return "No such host is known";
        case WSATRY_AGAIN:
            return "The name server did not answer; try again later";
        case WSANO_DATA:
            return "The name has no address of the requested type";
        default:
            return system_words(error);
    }
}

ConnectResult failed(int error) {
    ConnectResult result;
    result.failure = TranslateSystemError(error);
    result.detail = system_words(error);
    return result;
}

class ScopedSocket {
public:
    explicit ScopedSocket(SOCKET s) : m_socket(s) {}
    ~ScopedSocket() {
        if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
    }
    ScopedSocket(const ScopedSocket&) = delete;
    ScopedSocket& operator=(const ScopedSocket&) = delete;
    SOCKET get() const { return m_socket; }

private:
    SOCKET m_socket;
};

// Waits for a non-blocking connect to finish; 0 or the Winsock error it ended
// with. select, not WSAPoll: WSAPoll misses failed connects on older Windows.
int await_connect(SOCKET s, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return WSAETIMEDOUT;
        fd_set writable;
        fd_set failing;
        FD_ZERO(&writable);
        FD_ZERO(&failing);
        FD_SET(s, &writable);
        FD_SET(s, &failing);
        timeval wait{};
        wait.tv_sec = static_cast<long>(left.count() / 1'000'000);
        wait.tv_usec = static_cast<long>(left.count() % 1'000'000);
        const int ready = ::select(0, nullptr, &writable, &failing, &wait);
        if (ready == SOCKET_ERROR) return ::WSAGetLastError();
        if (ready == 0) continue;  // the deadline check above decides
        if (FD_ISSET(s, &writable)) return 0;
        int error = 0;
        int length = sizeof error;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        return error != 0 ? error : WSAECONNREFUSED;
    }
}

}  // namespace

NetworkUse::NetworkUse() {
    WSADATA data;
    m_ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetworkUse::~NetworkUse() {
    if (m_ok) ::WSACleanup();
}

Resolution lookup_blocking(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        Resolution outcome;
        outcome.failure = rc == WSAHOST_NOT_FOUND || rc == WSANO_DATA ? LookupFailure::unknown_name
                          : rc == WSATRY_AGAIN                        ? LookupFailure::timed_out
                                                                      : LookupFailure::other;
        outcome.error = lookup_words(rc);
        return outcome;
    }
    Resolution outcome = first_address(list);
    ::freeaddrinfo(list);
    return outcome;
}

ConnectResult connect_tcp(const Address& target, std::chrono::milliseconds timeout) {
    ScopedSocket s(::socket(target.family, SOCK_STREAM, IPPROTO_TCP));
    if (s.get() == INVALID_SOCKET) return failed(::WSAGetLastError());
    u_long non_blocking = 1;
    if (::ioctlsocket(s.get(), FIONBIO, &non_blocking) != 0) return failed(::WSAGetLastError());
    const auto start = Clock::now();
    int error = 0;
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(target.storage),
                  static_cast<int>(target.length)) != 0) {
        error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) error = await_connect(s.get(), start + timeout);
    }
    const auto end = Clock::now();
    if (error != 0) return failed(error);
    ConnectResult result;
    result.ms = std::chrono::duration<double, std::milli>(end - start).count();
    return result;
}

}  // namespace standin
