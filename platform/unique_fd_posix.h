// A scoped file descriptor for the POSIX backends: closed on every path out, so no
// function closes one by hand.
#pragma once

#include <unistd.h>

class CUniqueFd {
public:
    explicit CUniqueFd(int fd = -1) : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Get() const { return m_fd; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1) {
        if (m_fd >= 0) close(m_fd);
        m_fd = fd;
    }
    // For the one place whose result matters (a file's last buffered bytes); the
    // descriptor is gone either way.
    bool Close() { return close(Release()) == 0; }

private:
    int m_fd;
};
