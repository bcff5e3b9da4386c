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
#include "platform/unique_fd_posix.h"

namespace {

// As many links as the system itself follows before giving up with ELOOP.
const int kMaxLinks = 40;

bool Fail(ESaveStep step, int code, CSaveFailure* failure) {
    failure->step = step;
    failure->error = TranslateSystemError(code);
    return false;
}

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
            const int polled = poll(&ready, 1, kSaveStallLimitMs);
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

bool FailWrite(ESaveStep step, int code, bool stalled, CSaveFailure* failure) {
    return Fail(stalled ? ESaveStep::kStalled : step, code, failure);
}

// Makes sure the rename itself survives a crash; a folder that cannot be synced
// (some file systems refuse) changes nothing about the saved bytes.
void SyncFolder(const std::string& file) {
    const std::string folder = FolderOf(file);
    const CUniqueFd fd(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsOpen()) fsync(fd.Get());
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
bool RewriteInPlace(const std::string& target, const CString& bytes, int tempError, CSaveFailure* failure) {
    CUniqueFd fd(open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) return Fail(ESaveStep::kCreateInFolder, tempError, failure);
    const off_t size = static_cast<off_t>(bytes.GetLength());
#ifdef FALLOC_FL_KEEP_SIZE
    if (size > 0 && fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        return Fail(ESaveStep::kWrite, errno, failure);
    }
#endif
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && (ftruncate(fd.Get(), size) != 0 || fsync(fd.Get()) != 0)) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    return ok || FailWrite(ESaveStep::kWriteInPlace, code, stalled, failure);
}

// A new file whose name leaves no room for a temporary name beside it is written
// directly: there is no earlier report to protect, and a failed one is removed again.
bool CreateDirectly(const std::string& target, const CString& bytes, int tempError, CSaveFailure* failure) {
    CUniqueFd fd(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) return Fail(ESaveStep::kCreateInFolder, tempError, failure);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) unlink(target.c_str());
    return ok || FailWrite(ESaveStep::kWrite, code, stalled, failure);
}

// A missing or regular file: a temporary file beside it, renamed into its place.
bool ReplaceRegular(const std::string& target, const struct stat* existing, const CString& bytes,
                    CSaveFailure* failure) {
    std::string temp = target + ".XXXXXX";
    CUniqueFd fd(mkstemp(&temp[0]));
    if (fd.Get() < 0) {
        const int tempError = errno;
        if (existing == nullptr) return CreateDirectly(target, bytes, tempError, failure);
        return RewriteInPlace(target, bytes, tempError, failure);
    }
    TakePermissions(fd.Get(), existing);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) {
        unlink(temp.c_str());
        return FailWrite(ESaveStep::kWrite, code, stalled, failure);
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        const int renameError = errno;
        unlink(temp.c_str());
        // A file mounted over (a container's bind mount) cannot be renamed over, but
        // can be written.
        if (existing != nullptr && renameError == EBUSY) {
            return RewriteInPlace(target, bytes, renameError, failure);
        }
        return Fail(ESaveStep::kReplace, renameError, failure);
    }
    SyncFolder(target);
    return true;
}

// A FIFO or character device is written as it is: replacing /dev/null or a pipe some
// program reads from with a plain file is never what the user meant. Opened without
// blocking, so a FIFO nobody reads fails at once instead of waiting for a reader.
bool WriteStream(const std::string& path, const CString& bytes, CSaveFailure* failure) {
    CUniqueFd fd(open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0 && errno == ENXIO) return Fail(ESaveStep::kNoReader, ENXIO, failure);
    if (fd.Get() < 0) return Fail(ESaveStep::kOpen, errno, failure);
    CSigpipeHeld sigpipe;
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), -1, &code, &stalled);
    if (!fd.Close() && ok) ok = false, code = errno;
    return ok || FailWrite(ESaveStep::kWrite, code, stalled, failure);
}

bool Refuse(const struct stat& info, CSaveFailure* failure) {
    failure->step = ESaveStep::kRefused;
    failure->refusal = S_ISDIR(info.st_mode)    ? ESaveRefusal::kDirectory
                       : S_ISBLK(info.st_mode)  ? ESaveRefusal::kBlockDevice
                       : S_ISSOCK(info.st_mode) ? ESaveRefusal::kSocket
                                                : ESaveRefusal::kSpecialFile;
    return false;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const CString& bytes, CSaveFailure* failure) {
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Fail(ESaveStep::kAccessPath, errno, failure);
    if (exists && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        return WriteStream(path, bytes, failure);
    }
    if (exists && !S_ISREG(info.st_mode)) return Refuse(info, failure);
    std::string target;
    int code = 0;
    if (!FollowLinks(path, &target, &code)) return Fail(ESaveStep::kAccessPath, code, failure);
    return ReplaceRegular(target, exists ? &info : nullptr, bytes, failure);
}
