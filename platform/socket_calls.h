// The few socket calls in which the systems differ, behind one interface: a
// descriptor on POSIX, a SOCKET on Windows, both carried as a CSocketId. The backends
// are socket_calls_posix.cpp and socket_calls_win.cpp; tcp_socket.cpp builds the
// bounded, stoppable TCP socket on them. Error codes are the system's own, for
// TranslateSystemError.
#pragma once

#include <cstdint>

#include "platform/mb_string.h"

using CSocketId = std::uintptr_t;
extern const CSocketId kNoSocket;

enum class EConnectStart { kConnected, kUnderWay, kFailed, kNotAnAddress };

// Opens a non-blocking TCP socket into *socket and starts connecting it to address (IPv4
// or IPv6 text) and port. kUnderWay: wait until it is writable, then ask ConnectError.
// On kFailed *code says why and no socket is left open.
EConnectStart StartConnect(const CString& address, int port, CSocketId* socket, long* code);

// Once a connect under way has made the socket writable: 0 when it connected, else the
// error it ended with.
long ConnectError(CSocketId socket);

// One wait of at most sliceMs for the socket to become readable or writable: 1 when it
// is, 0 when the slice ran out, -1 when waiting failed or a connect under way failed
// (*code says why).
int WaitSocketOnce(CSocketId socket, bool forWrite, int sliceMs, long* code);

enum { kSocketFailed = -1, kSocketWouldBlock = -2 };
// The bytes handed over, kSocketWouldBlock, or kSocketFailed with *code.
int SendSome(CSocketId socket, const char* data, int length, long* code);
// The bytes read (0 once the peer has closed), kSocketWouldBlock, or kSocketFailed with
// *code.
int ReceiveSome(CSocketId socket, char* buffer, int capacity, long* code);

void CloseSocket(CSocketId socket);
