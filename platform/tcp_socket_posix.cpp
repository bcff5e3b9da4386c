#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/deadline.h"
#include "platform/tcp_socket.h"

struct CTcpSocket::Impl {
    const CStopSignal* stop = nullptr;
    int fd = -1;

    // 1 when ready for the events, -1 on a poll failure, 0 on time-out or stop.
    int WaitFor(short events, int timeoutMs) const {
        return WaitInSlices(stop, timeoutMs, [&](int sliceMs) {
            pollfd entry{fd, events, 0};
            const int ready = poll(&entry, 1, sliceMs);
            if (ready < 0) return errno == EINTR ? 0 : -1;
            return ready > 0 ? 1 : 0;
        });
    }
};

CTcpSocket::CTcpSocket(const CStopSignal* stop) : m_impl(new Impl) { m_impl->stop = stop; }

CTcpSocket::~CTcpSocket() { Close(); }

bool CTcpSocket::Connect(const CString& address, int port, int timeoutMs) {
    Close();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.GetString(), &peer.sin_addr) != 1) return false;
    m_impl->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_impl->fd < 0) return false;
    if (connect(m_impl->fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) return true;
    if (errno != EINPROGRESS) return false;
    if (m_impl->WaitFor(POLLOUT, timeoutMs) <= 0) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(m_impl->fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

int CTcpSocket::Send(const char* data, int length, int timeoutMs) {
    if (m_impl->fd < 0) return -1;
    const CDeadline deadline(timeoutMs);
    int sent = 0;
    while (sent < length) {
        const ssize_t got = send(m_impl->fd, data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
        if (got > 0) {
            sent += static_cast<int>(got);
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (m_impl->WaitFor(POLLOUT, deadline.Remaining()) <= 0) break;
        } else {
            break;
        }
    }
    return sent;
}

int CTcpSocket::Receive(char* buffer, int capacity, int timeoutMs) {
    if (m_impl->fd < 0) return kError;
    const int ready = m_impl->WaitFor(POLLIN, timeoutMs);
    if (ready < 0) return kError;
    if (ready == 0) return kTimedOut;
    const ssize_t got = recv(m_impl->fd, buffer, static_cast<size_t>(capacity), 0);
    if (got < 0) return errno == EAGAIN || errno == EINTR ? kTimedOut : kError;
    return static_cast<int>(got);
}

void CTcpSocket::Close() {
    if (m_impl->fd >= 0) close(m_impl->fd);
    m_impl->fd = -1;
}
