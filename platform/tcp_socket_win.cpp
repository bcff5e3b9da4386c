#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/deadline.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "platform/unique_handle_win.h"

namespace {

// select() on one socket: 1 when ready, -1 on failure, 0 when the slice ran out.
int SelectOnce(SOCKET s, bool forWrite, int sliceMs, long* code) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval wait{sliceMs / 1000, (sliceMs % 1000) * 1000};
    const int count = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                             forWrite ? &failed : nullptr, &wait);
    if (count == SOCKET_ERROR) {
        *code = WSAGetLastError();
        return -1;
    }
    if (count == 0) return 0;
    if (FD_ISSET(s, &ready)) return 1;
    // A failed non-blocking connect shows in the exception set, not the write set; the
    // socket's error names the cause.
    int error = 0;
    int size = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    *code = error;
    return -1;
}

}  // namespace

struct CTcpSocket::Impl {
    const CStopSignal* stop = nullptr;
    CUniqueSocket s;
    CPlatformError error;

    int WaitFor(bool forWrite, int timeoutMs) {
        long code = 0;
        const int ready = WaitInSlices(stop, timeoutMs, [&](int sliceMs) {
            return SelectOnce(s.Get(), forWrite, sliceMs, &code);
        });
        if (ready < 0) error = TranslateSystemError(code);
        if (ready == 0) {
            error = PlatformError(IsStopRaised(stop) ? EPlatformError::kStopped : EPlatformError::kTimedOut);
        }
        return ready;
    }
    bool Fail(long code) {
        error = TranslateSystemError(code);
        return false;
    }
};

CTcpSocket::CTcpSocket(const CStopSignal* stop) : m_impl(new Impl) { m_impl->stop = stop; }

CTcpSocket::~CTcpSocket() = default;

namespace {

// The peer's address from IPv4 or IPv6 text; its size, or 0 when the text is neither.
int PeerAddress(const CString& address, int port, sockaddr_storage* peer) {
    *peer = sockaddr_storage();
    auto* v4 = reinterpret_cast<sockaddr_in*>(peer);
    if (inet_pton(AF_INET, address.GetString(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<u_short>(port));
        return sizeof *v4;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(peer);
    if (inet_pton(AF_INET6, address.GetString(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<u_short>(port));
        return sizeof *v6;
    }
    return 0;
}

}  // namespace

bool CTcpSocket::Connect(const CString& address, int port, int timeoutMs) {
    Close();
    m_impl->error = CPlatformError();
    sockaddr_storage peer;
    const int peerSize = PeerAddress(address, port, &peer);
    if (peerSize == 0) {
        m_impl->error = PlatformError(EPlatformError::kNotFound);
        return false;
    }
    m_impl->s.Reset(socket(peer.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!m_impl->s.IsOpen()) return m_impl->Fail(WSAGetLastError());
    u_long nonBlocking = 1;
    ioctlsocket(m_impl->s.Get(), FIONBIO, &nonBlocking);
    if (connect(m_impl->s.Get(), reinterpret_cast<sockaddr*>(&peer), peerSize) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return m_impl->Fail(WSAGetLastError());
    return m_impl->WaitFor(true, timeoutMs) > 0;
}

int CTcpSocket::Send(const char* data, int length, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (!m_impl->s.IsOpen()) return m_impl->Fail(WSAENOTCONN), -1;
    const CDeadline deadline(timeoutMs);
    int sent = 0;
    while (sent < length) {
        const int got = send(m_impl->s.Get(), data + sent, length - sent, 0);
        if (got > 0) {
            sent += got;
        } else if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (m_impl->WaitFor(true, deadline.Remaining()) <= 0) break;
        } else {
            m_impl->Fail(got == SOCKET_ERROR ? WSAGetLastError() : WSAECONNRESET);
            break;
        }
    }
    return sent;
}

int CTcpSocket::Receive(char* buffer, int capacity, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (!m_impl->s.IsOpen()) return m_impl->Fail(WSAENOTCONN), kError;
    const int ready = m_impl->WaitFor(false, timeoutMs);
    if (ready < 0) return kError;
    if (ready == 0) return kTimedOut;
    const int got = recv(m_impl->s.Get(), buffer, capacity, 0);
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
        m_impl->error = PlatformError(EPlatformError::kTimedOut);
        return kTimedOut;
    }
    if (got == SOCKET_ERROR) return m_impl->Fail(WSAGetLastError()), kError;
    return got;
}

void CTcpSocket::Close() { m_impl->s.Reset(); }

CPlatformError CTcpSocket::LastError() const { return m_impl->error; }
