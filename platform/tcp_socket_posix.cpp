#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/deadline.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "platform/unique_fd_posix.h"

struct CTcpSocket::Impl {
    const CStopSignal* stop = nullptr;
    CUniqueFd fd;
    CPlatformError error;

    // 1 when ready for the events, -1 on a poll failure, 0 on time-out or stop; the
    // reason of a 0 or -1 is left in error.
    int WaitFor(short events, int timeoutMs) {
        int pollError = 0;
        const int ready = WaitInSlices(stop, timeoutMs, [&](int sliceMs) {
            pollfd entry{fd.Get(), events, 0};
            const int count = poll(&entry, 1, sliceMs);
            if (count < 0 && errno != EINTR) pollError = errno;
            if (count < 0) return errno == EINTR ? 0 : -1;
            return count > 0 ? 1 : 0;
        });
        if (ready < 0) error = TranslateSystemError(pollError);
        if (ready == 0) {
            error = PlatformError(IsStopRaised(stop) ? EPlatformError::kStopped : EPlatformError::kTimedOut);
        }
        return ready;
    }
    bool Fail(int code) {
        error = TranslateSystemError(code);
        return false;
    }
};

CTcpSocket::CTcpSocket(const CStopSignal* stop) : m_impl(new Impl) { m_impl->stop = stop; }

CTcpSocket::~CTcpSocket() = default;

namespace {

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

bool CTcpSocket::Connect(const CString& address, int port, int timeoutMs) {
    Close();
    m_impl->error = CPlatformError();
    sockaddr_storage peer;
    const socklen_t peerSize = PeerAddress(address, port, &peer);
    if (peerSize == 0) {
        m_impl->error = PlatformError(EPlatformError::kNotFound);
        return false;
    }
    m_impl->fd.Reset(socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!m_impl->fd.IsOpen()) return m_impl->Fail(errno);
    if (connect(m_impl->fd.Get(), reinterpret_cast<sockaddr*>(&peer), peerSize) == 0) return true;
    if (errno != EINPROGRESS) return m_impl->Fail(errno);
    if (m_impl->WaitFor(POLLOUT, timeoutMs) <= 0) return false;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(m_impl->fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return m_impl->Fail(errno);
    return error == 0 || m_impl->Fail(error);
}

int CTcpSocket::Send(const char* data, int length, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (!m_impl->fd.IsOpen()) return m_impl->Fail(ENOTCONN), -1;
    const CDeadline deadline(timeoutMs);
    int sent = 0;
    while (sent < length) {
        const ssize_t got =
            send(m_impl->fd.Get(), data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
        if (got > 0) {
            sent += static_cast<int>(got);
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (m_impl->WaitFor(POLLOUT, deadline.Remaining()) <= 0) break;
        } else {
            m_impl->Fail(got < 0 ? errno : EPIPE);
            break;
        }
    }
    return sent;
}

int CTcpSocket::Receive(char* buffer, int capacity, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (!m_impl->fd.IsOpen()) return m_impl->Fail(ENOTCONN), kError;
    const int ready = m_impl->WaitFor(POLLIN, timeoutMs);
    if (ready < 0) return kError;
    if (ready == 0) return kTimedOut;
    const ssize_t got = recv(m_impl->fd.Get(), buffer, static_cast<size_t>(capacity), 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        m_impl->error = PlatformError(EPlatformError::kTimedOut);
        return kTimedOut;
    }
    if (got < 0) return m_impl->Fail(errno), kError;
    return static_cast<int>(got);
}

void CTcpSocket::Close() { m_impl->fd.Reset(); }

CPlatformError CTcpSocket::LastError() const { return m_impl->error; }
