// A TCP stream socket whose every wait is bounded and gives way to a stop signal.
#pragma once

#include <memory>

#include "platform/mb_string.h"
#include "platform/platform_error.h"

class CStopSignal;

class CTcpSocket {
public:
    explicit CTcpSocket(const CStopSignal* stop = nullptr);
    ~CTcpSocket();
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    // Connects to an address given as IPv4 or IPv6 text. False on failure, time-out or
    // stop.
    bool Connect(const CString& address, int port, int timeoutMs);
    // Hands over the whole buffer; returns the count sent, less on error or time-out.
    int Send(const char* data, int length, int timeoutMs);

    enum { kClosed = 0, kError = -1, kTimedOut = -2 };
    // Byte count read, kClosed when the peer has closed, kError, or kTimedOut when
    // nothing arrived within timeoutMs (or the stop signal was raised).
    int Receive(char* buffer, int capacity, int timeoutMs);
    void Close();

    // Why the last Connect, Send or Receive failed (kTimedOut for a time-out, kStopped
    // for a raised stop signal); kNone after one that succeeded.
    CPlatformError LastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
