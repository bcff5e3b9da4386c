#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/socket_calls.h"

const CSocketId kNoSocket = static_cast<CSocketId>(INVALID_SOCKET);

namespace {

SOCKET Handle(CSocketId socket) { return static_cast<SOCKET>(socket); }

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

EConnectStart StartConnect(const CString& address, int port, CSocketId* socket, long* code) {
    *socket = kNoSocket;
    sockaddr_storage peer;
    const int peerSize = PeerAddress(address, port, &peer);
    if (peerSize == 0) return EConnectStart::kNotAnAddress;
    const SOCKET s = ::socket(peer.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *code = WSAGetLastError();
        return EConnectStart::kFailed;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, reinterpret_cast<sockaddr*>(&peer), peerSize) == 0) {
        *socket = static_cast<CSocketId>(s);
        return EConnectStart::kConnected;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        *code = WSAGetLastError();
        closesocket(s);
        return EConnectStart::kFailed;
    }
    *socket = static_cast<CSocketId>(s);
    return EConnectStart::kUnderWay;
}

long ConnectError(CSocketId socket) {
    int error = 0;
    int size = sizeof error;
    if (getsockopt(Handle(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return WSAGetLastError();
    }
    return error;
}

// select(), not WSAPoll, which misses failed connects on older Windows. A failed
// non-blocking connect shows in the exception set, not the write set; the socket's
// error names the cause.
int WaitSocketOnce(CSocketId socket, bool forWrite, int sliceMs, long* code) {
    const SOCKET s = Handle(socket);
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
    *code = ConnectError(socket);
    return -1;
}

int SendSome(CSocketId socket, const char* data, int length, long* code) {
    const int got = send(Handle(socket), data, length, 0);
    if (got > 0) return got;
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return kSocketWouldBlock;
    *code = got == SOCKET_ERROR ? WSAGetLastError() : WSAECONNRESET;
    return kSocketFailed;
}

int ReceiveSome(CSocketId socket, char* buffer, int capacity, long* code) {
    const int got = recv(Handle(socket), buffer, capacity, 0);
    if (got >= 0) return got;
    if (WSAGetLastError() == WSAEWOULDBLOCK) return kSocketWouldBlock;
    *code = WSAGetLastError();
    return kSocketFailed;
}

void CloseSocket(CSocketId socket) {
    if (socket != kNoSocket) closesocket(Handle(socket));
}
