#include "platform/tcp_socket.h"

#include "platform/deadline.h"
#include "platform/socket_calls.h"
#include "platform/stop_signal.h"

struct CTcpSocket::Impl {
    const CStopSignal* stop = nullptr;
    CSocketId socket = kNoSocket;
    CPlatformError error;

    ~Impl() { CloseSocket(socket); }

    // 1 when ready, -1 when waiting failed, 0 on time-out or stop; the reason of a 0 or
    // -1 is left in error.
    int WaitFor(bool forWrite, int timeoutMs) {
        long code = 0;
        const int ready = WaitInSlices(stop, timeoutMs, [&](int sliceMs) {
            return WaitSocketOnce(socket, forWrite, sliceMs, &code);
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
    // A call on a socket that is not connected.
    bool FailUnconnected() {
        error = PlatformError(EPlatformError::kConnectionLost);
        return false;
    }
};

CTcpSocket::CTcpSocket(const CStopSignal* stop) : m_impl(new Impl) { m_impl->stop = stop; }

CTcpSocket::~CTcpSocket() = default;

bool CTcpSocket::Connect(const CString& address, int port, int timeoutMs) {
    Close();
    m_impl->error = CPlatformError();
    long code = 0;
    switch (StartConnect(address, port, &m_impl->socket, &code)) {
        case EConnectStart::kConnected:
            return true;
        case EConnectStart::kNotAnAddress:
            m_impl->error = PlatformError(EPlatformError::kNotFound);
            return false;
        case EConnectStart::kFailed:
            return m_impl->Fail(code);
        case EConnectStart::kUnderWay:
            break;
    }
    if (m_impl->WaitFor(true, timeoutMs) <= 0) return false;
    code = ConnectError(m_impl->socket);
    return code == 0 || m_impl->Fail(code);
}

int CTcpSocket::Send(const char* data, int length, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (m_impl->socket == kNoSocket) return m_impl->FailUnconnected(), -1;
    const CDeadline deadline(timeoutMs);
    int sent = 0;
    while (sent < length) {
        long code = 0;
        const int got = SendSome(m_impl->socket, data + sent, length - sent, &code);
        if (got > 0) {
            sent += got;
        } else if (got == kSocketWouldBlock) {
            if (m_impl->WaitFor(true, deadline.Remaining()) <= 0) break;
        } else {
            m_impl->Fail(code);
            break;
        }
    }
    return sent;
}

int CTcpSocket::Receive(char* buffer, int capacity, int timeoutMs) {
    m_impl->error = CPlatformError();
    if (m_impl->socket == kNoSocket) return m_impl->FailUnconnected(), kError;
    const int ready = m_impl->WaitFor(false, timeoutMs);
    if (ready < 0) return kError;
    if (ready == 0) return kTimedOut;
    long code = 0;
    const int got = ReceiveSome(m_impl->socket, buffer, capacity, &code);
    if (got == kSocketWouldBlock) {
        m_impl->error = PlatformError(EPlatformError::kTimedOut);
        return kTimedOut;
    }
    if (got == kSocketFailed) return m_impl->Fail(code), kError;
    return got;
}

void CTcpSocket::Close() {
    CloseSocket(m_impl->socket);
    m_impl->socket = kNoSocket;
}

CPlatformError CTcpSocket::LastError() const { return m_impl->error; }
