#include <winsock2.h>

#include "platform/deadline.h"
#include "platform/tcp_socket.h"

namespace {

// select() on one socket: 1 when ready, -1 on failure, 0 when the slice ran out.
int SelectOnce(SOCKET s, bool forWrite, int sliceMs) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval wait{sliceMs / 1000, (sliceMs % 1000) * 1000};
    const int count = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                             forWrite ? &failed : nullptr, &wait);
    if (count == SOCKET_ERROR) return -1;
    if (count == 0) return 0;
    // A failed non-blocking connect shows in the exception set, not the write set.
    return FD_ISSET(s, &ready) ? 1 : -1;
}

}  // namespace

struct CTcpSocket::Impl {
    const CStopSignal* stop = nullptr;
    SOCKET s = INVALID_SOCKET;

    int WaitFor(bool forWrite, int timeoutMs) const {
        return WaitInSlices(stop, timeoutMs, [&](int sliceMs) { return SelectOnce(s, forWrite, sliceMs); });
    }
};

CTcpSocket::CTcpSocket(const CStopSignal* stop) : m_impl(new Impl) { m_impl->stop = stop; }

CTcpSocket::~CTcpSocket() { Close(); }

bool CTcpSocket::Connect(const CString& address, int port, int timeoutMs) {
    Close();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(port));
    peer.sin_addr.s_addr = inet_addr(address.GetString());
    if (peer.sin_addr.s_addr == INADDR_NONE) return false;
    m_impl->s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_impl->s == INVALID_SOCKET) return false;
    u_long nonBlocking = 1;
    ioctlsocket(m_impl->s, FIONBIO, &nonBlocking);
    if (connect(m_impl->s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    return m_impl->WaitFor(true, timeoutMs) > 0;
}

int CTcpSocket::Send(const char* data, int length, int timeoutMs) {
    if (m_impl->s == INVALID_SOCKET) return -1;
    const CDeadline deadline(timeoutMs);
    int sent = 0;
    while (sent < length) {
        const int got = send(m_impl->s, data + sent, length - sent, 0);
        if (got > 0) {
            sent += got;
        } else if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (m_impl->WaitFor(true, deadline.Remaining()) <= 0) break;
        } else {
            break;
        }
    }
    return sent;
}

int CTcpSocket::Receive(char* buffer, int capacity, int timeoutMs) {
    if (m_impl->s == INVALID_SOCKET) return kError;
    const int ready = m_impl->WaitFor(false, timeoutMs);
    if (ready < 0) return kError;
    if (ready == 0) return kTimedOut;
    const int got = recv(m_impl->s, buffer, capacity, 0);
    if (got == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? kTimedOut : kError;
    return got;
}

void CTcpSocket::Close() {
    if (m_impl->s != INVALID_SOCKET) closesocket(m_impl->s);
    m_impl->s = INVALID_SOCKET;
}
