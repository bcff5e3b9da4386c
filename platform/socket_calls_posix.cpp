#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/socket_calls.h"

const CSocketId kNoSocket = static_cast<CSocketId>(-1);

namespace {

int Fd(CSocketId socket) { return static_cast<int>(socket); }

// The peer's address from IPv4 or IPv6 text; its size, or 0 when the text is neither.
socklen_t PeerAddress(const CString& address, int port, sockaddr_storage* peer) {
    *peer = sockaddr_storage();
    auto* v4 = reinterpret_cast<sockaddr_in*>(peer);
    if (inet_pton(AF_INET, address.GetString(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        return sizeof *v4;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(peer);
    if (inet_pton(AF_INET6, address.GetString(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        return sizeof *v6;
    }
    return 0;
}

}  // namespace

EConnectStart StartConnect(const CString& address, int port, CSocketId* socket, long* code) {
    *socket = kNoSocket;
    sockaddr_storage peer;
    const socklen_t peerSize = PeerAddress(address, port, &peer);
    if (peerSize == 0) return EConnectStart::kNotAnAddress;
    const int fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *code = errno;
        return EConnectStart::kFailed;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&peer), peerSize) == 0) {
        *socket = static_cast<CSocketId>(fd);
        return EConnectStart::kConnected;
    }
    if (errno != EINPROGRESS) {
        *code = errno;
        close(fd);
        return EConnectStart::kFailed;
    }
    *socket = static_cast<CSocketId>(fd);
    return EConnectStart::kUnderWay;
}

long ConnectError(CSocketId socket) {
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

int WaitSocketOnce(CSocketId socket, bool forWrite, int sliceMs, long* code) {
    pollfd entry{Fd(socket), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int count = poll(&entry, 1, sliceMs);
    if (count < 0 && errno == EINTR) return 0;
    if (count < 0) {
        *code = errno;
        return -1;
    }
    return count > 0 ? 1 : 0;
}

int SendSome(CSocketId socket, const char* data, int length, long* code) {
    const ssize_t got = send(Fd(socket), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (got > 0) return static_cast<int>(got);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return kSocketWouldBlock;
    *code = got < 0 ? errno : EPIPE;
    return kSocketFailed;
}

int ReceiveSome(CSocketId socket, char* buffer, int capacity, long* code) {
    const ssize_t got = recv(Fd(socket), buffer, static_cast<size_t>(capacity), 0);
    if (got >= 0) return static_cast<int>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kSocketWouldBlock;
    *code = errno;
    return kSocketFailed;
}

void CloseSocket(CSocketId socket) {
    if (socket != kNoSocket) close(Fd(socket));
}
