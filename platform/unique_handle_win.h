// Scoped kernel objects for the Windows backends: each closes what it holds on every
// path out, so no function closes a handle by hand. Backend files only: the shared
// headers carry no OS types.
#pragma once

#include <winsock2.h>
#include <windows.h>

// A kernel handle. Both null and INVALID_HANDLE_VALUE mean none, as the system's
// functions return one or the other on failure.
class CUniqueHandle {
public:
    explicit CUniqueHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    bool IsOpen() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    // Where a system call may leave a new handle; what was held is closed first.
    HANDLE* Receive() {
        Reset();
        return &m_handle;
    }
    HANDLE Release() {
        const HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) {
        if (IsOpen()) CloseHandle(m_handle);
        m_handle = handle;
    }
    // For the one place where closing can fail in a way that matters (a file's last
    // buffered bytes); the handle is gone either way.
    bool Close() { return CloseHandle(Release()) != FALSE; }

private:
    HANDLE m_handle;
};

class CUniqueSocket {
public:
    explicit CUniqueSocket(SOCKET s = INVALID_SOCKET) : m_socket(s) {}
    ~CUniqueSocket() { Reset(); }
    CUniqueSocket(const CUniqueSocket&) = delete;
    CUniqueSocket& operator=(const CUniqueSocket&) = delete;

    bool IsOpen() const { return m_socket != INVALID_SOCKET; }
    SOCKET Get() const { return m_socket; }
    void Reset(SOCKET s = INVALID_SOCKET) {
        if (IsOpen()) closesocket(m_socket);
        m_socket = s;
    }

private:
    SOCKET m_socket;
};
