#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/atomic_file.h"

namespace {

// A reader of a FIFO (or a terminal) that takes nothing for this long fails the save
// rather than holding the program for ever.
const int kStallLimitMs = 10000;
// As many links as the system itself follows before giving up with ELOOP.
const int kMaxLinks = 40;

bool Fail(const char* what, int code, CString* error) {
    // The English text: a localized one would be UTF-8 inside a GBK message.
    error->Format("%s：%s", what, strerrordesc_np(code));
    return false;
}

// Closes on every path out; Close() is for the one place whose result matters.
class CScopedFd {
public:
    explicit CScopedFd(int fd) : m_fd(fd) {}
    ~CScopedFd() {
        if (m_fd >= 0) close(m_fd);
    }
    CScopedFd(const CScopedFd&) = delete;
    CScopedFd& operator=(const CScopedFd&) = delete;

    int Get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return close(fd) == 0;
    }

private:
    int m_fd;
};

// A reader that goes away must fail the write with EPIPE, not end the program: SIGPIPE
// is held back on this thread while it writes, and one it caused is taken away again.
class CSigpipeHeld {
public:
    CSigpipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_saved);
    }
    ~CSigpipeHeld() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&m_pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
    }
    CSigpipeHeld(const CSigpipeHeld&) = delete;
    CSigpipeHeld& operator=(const CSigpipeHeld&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_saved;
    bool m_wasPending = false;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The name a chain of symbolic links finally points at, whether or not that exists
// yet: the file to write is the target, and the link stays as it is.
bool FollowLinks(const std::string& path, std::string* target, int* code) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *target = current;
            return true;
        }
        char next[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), next, sizeof next - 1);
        if (length < 0) {
            *code = errno;
            return false;
        }
        const std::string link(next, static_cast<size_t>(length));
        current = link[0] == '/' ? link : FolderOf(current) + link;
    }
    *code = ELOOP;
    return false;
}

// Writes everything, waiting (bounded) where the other end is slow. offset < 0 writes
// at the descriptor's position (streams), otherwise from offset on.
bool WriteAll(int fd, const std::string& bytes, off_t offset, int* code, bool* stalled) {
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const ssize_t got = offset < 0
                                ? write(fd, bytes.data() + done, left)
                                : pwrite(fd, bytes.data() + done, left, offset + static_cast<off_t>(done));
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            const int polled = poll(&ready, 1, kStallLimitMs);
            if (polled == 0) *stalled = true;
            if (polled == 0 || (polled < 0 && errno != EINTR)) {
                *code = polled == 0 ? ETIMEDOUT : errno;
                return false;
            }
        } else {
            // write() returning 0 for a non-empty buffer: count it as a full medium.
            *code = got == 0 ? ENOSPC : errno;
            return false;
        }
    }
    return true;
}

bool FailWrite(const char* what, int code, bool stalled, CString* error) {
    if (!stalled) return Fail(what, code, error);
    error->Format("写入超时：读取方%d秒内没有接收数据", kStallLimitMs / 1000);
    return false;
}

// Makes sure the rename itself survives a crash; a folder that cannot be synced
// (some file systems refuse) changes nothing about the saved bytes.
void SyncFolder(const std::string& file) {
    const std::string folder = FolderOf(file);
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// The new file takes the place of the old one, so it takes its owner and mode too.
// The owner first: a change of owner clears the set-id bits that the mode then restores.
// Neither can fail in a way the user could act on (only root may give a file away, and
// some file systems have no modes), so neither fails the save.
void TakePermissions(int fd, const struct stat* existing) {
    if (existing == nullptr) {
        // mkstemp makes the file private; a new report is an ordinary document.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        return;
    }
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
        if (fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
            // The group cannot be kept either; the file stays the writer's.
        }
    }
    fchmod(fd, existing->st_mode & 07777);
}

// The fallback for a folder that takes no new file (or a file that cannot be renamed
// over): the file itself is rewritten. Space is reserved first, so a full medium fails
// the save before a byte of the earlier report is touched.
bool RewriteInPlace(const std::string& target, const CString& bytes, int tempError, CString* error) {
    CScopedFd fd(open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) return Fail("无法在目标文件夹中创建文件", tempError, error);
    const off_t size = static_cast<off_t>(bytes.GetLength());
#ifdef FALLOC_FL_KEEP_SIZE
    if (size > 0 && fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        return Fail("写入文件失败", errno, error);
    }
#endif
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && (ftruncate(fd.Get(), size) != 0 || fsync(fd.Get()) != 0)) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    return ok || FailWrite("写入文件失败，原有内容可能已损坏", code, stalled, error);
}

// A new file whose name leaves no room for a temporary name beside it is written
// directly: there is no earlier report to protect, and a failed one is removed again.
bool CreateDirectly(const std::string& target, const CString& bytes, int tempError, CString* error) {
    CScopedFd fd(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) return Fail("无法在目标文件夹中创建文件", tempError, error);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) unlink(target.c_str());
    return ok || FailWrite("写入文件失败", code, stalled, error);
}

// A missing or regular file: a temporary file beside it, renamed into its place.
bool ReplaceRegular(const std::string& target, const struct stat* existing, const CString& bytes,
                    CString* error) {
    std::string temp = target + ".XXXXXX";
    CScopedFd fd(mkstemp(&temp[0]));
    if (fd.Get() < 0) {
        const int tempError = errno;
        if (existing == nullptr) return CreateDirectly(target, bytes, tempError, error);
        return RewriteInPlace(target, bytes, tempError, error);
    }
    TakePermissions(fd.Get(), existing);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) {
        unlink(temp.c_str());
        return FailWrite("写入文件失败", code, stalled, error);
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        unlink(temp.c_str());
        // A file mounted over (a container's bind mount) cannot be renamed over, but
        // can be written.
        if (existing != nullptr && renameError == EBUSY) {
            return RewriteInPlace(target, bytes, renameError, error);
        }
        return Fail("无法替换目标文件", renameError, error);
    }
    SyncFolder(target);
    return true;
}

// A FIFO or character device is written as it is: replacing /dev/null or a pipe some
// program reads from with a plain file is never what the user meant. Opened without
// blocking, so a FIFO nobody reads fails at once instead of waiting for a reader.
bool WriteStream(const std::string& path, const CString& bytes, CString* error) {
    CScopedFd fd(open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0 && errno == ENXIO) return Fail("目标是管道，但没有程序在读取", ENXIO, error);
    if (fd.Get() < 0) return Fail("无法打开目标文件", errno, error);
    CSigpipeHeld sigpipe;
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), -1, &code, &stalled);
    if (!fd.Close() && ok) ok = false, code = errno;
    return ok || FailWrite("写入文件失败", code, stalled, error);
}

bool Refuse(const struct stat& info, CString* error) {
    const char* kind = S_ISDIR(info.st_mode)    ? "目录"
                       : S_ISBLK(info.st_mode)  ? "块设备"
                       : S_ISSOCK(info.st_mode) ? "套接字"
                                                : "特殊文件";
    error->Format("目标是%s，不是普通文件，未写入", kind);
    return false;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const CString& bytes, CString* error) {
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Fail("无法访问目标路径", errno, error);
    if (exists && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        return WriteStream(path, bytes, error);
    }
    if (exists && !S_ISREG(info.st_mode)) return Refuse(info, error);
    std::string target;
    int code = 0;
    if (!FollowLinks(path, &target, &code)) return Fail("无法访问目标路径", code, error);
    return ReplaceRegular(target, exists ? &info : nullptr, bytes, error);
}
