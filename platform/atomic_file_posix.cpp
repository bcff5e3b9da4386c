#include <fcntl.h>
#include <sys/random.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/path_walk_posix.h"
#include "platform/unique_fd_posix.h"

namespace {

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
void SyncFolder(int folder) {
    const CUniqueFd fd(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

// The name a save opens again, as what the walk examined: a name swapped for something
// else in between fails the save instead of writing to what it now names.
int OpenExamined(const CWalkedPath& walked, int flags, int* code) {
    CUniqueFd fd(openat(walked.folder.Get(), walked.name.c_str(), flags | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    *code = errno;
    if (fd.IsOpen() && !IsSameFile(fd.Get(), walked.info)) {
        fd.Reset();
        *code = EAGAIN;
    }
    return fd.Release();
}

// The fallback for a folder that takes no new file (or a file that cannot be renamed
// over): the file itself is rewritten. Space is reserved first, so a full medium fails
// the save before a byte of the earlier report is touched.
bool RewriteInPlace(const CWalkedPath& walked, const CString& bytes, int tempError, CSaveFailure* failure) {
    int openError = 0;
    CUniqueFd fd(OpenExamined(walked, O_WRONLY, &openError));
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
bool CreateDirectly(const CWalkedPath& walked, const CString& bytes, int tempError, CSaveFailure* failure) {
    const int folder = walked.folder.Get();
    const char* name = walked.name.c_str();
    CUniqueFd fd(openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) return Fail(ESaveStep::kCreateInFolder, tempError, failure);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) unlinkat(folder, name, 0);
    return ok || FailWrite(ESaveStep::kWrite, code, stalled, failure);
}

// A private file of a fresh name beside the target, never one that was there before.
int MakeTemporary(int folder, const std::string& name, std::string* temp) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char noise[6] = {};
        if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) return -1;
        *temp = name + ".";
        for (const unsigned char n : noise) *temp += kLetters[n % (sizeof kLetters - 1)];
        const int fd = openat(folder, temp->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// A missing or regular file: a temporary file beside it, renamed into its place. The
// rename replaces the name, never what a link there would point at.
bool ReplaceRegular(const CWalkedPath& walked, const CString& bytes, CSaveFailure* failure) {
    const bool exists = walked.file.IsOpen();
    const int folder = walked.folder.Get();
    std::string temp;
    CUniqueFd fd(MakeTemporary(folder, walked.name, &temp));
    if (fd.Get() < 0) {
        const int tempError = errno;
        if (!exists) return CreateDirectly(walked, bytes, tempError, failure);
        return RewriteInPlace(walked, bytes, tempError, failure);
    }
    TakePermissions(fd.Get(), exists ? &walked.info : nullptr);
    int code = 0;
    bool stalled = false;
    bool ok = WriteAll(fd.Get(), bytes.Bytes(), 0, &code, &stalled);
    if (ok && fsync(fd.Get()) != 0) ok = false, code = errno;
    if (!fd.Close() && ok) ok = false, code = errno;
    if (!ok) {
        unlinkat(folder, temp.c_str(), 0);
        return FailWrite(ESaveStep::kWrite, code, stalled, failure);
    }
    if (renameat(folder, temp.c_str(), folder, walked.name.c_str()) != 0) {
        const int renameError = errno;
        unlinkat(folder, temp.c_str(), 0);
        // A file mounted over (a container's bind mount) cannot be renamed over, but
        // can be written.
        if (exists && renameError == EBUSY) return RewriteInPlace(walked, bytes, renameError, failure);
        return Fail(ESaveStep::kReplace, renameError, failure);
    }
    SyncFolder(folder);
    return true;
}

// A FIFO or character device is written as it is: replacing /dev/null or a pipe some
// program reads from with a plain file is never what the user meant. Opened without
// blocking, so a FIFO nobody reads fails at once instead of waiting for a reader.
bool WriteStream(const CWalkedPath& walked, const CString& bytes, CSaveFailure* failure) {
    int openError = 0;
    CUniqueFd fd(OpenExamined(walked, O_WRONLY | O_NONBLOCK, &openError));
    if (fd.Get() < 0 && openError == ENXIO) return Fail(ESaveStep::kNoReader, ENXIO, failure);
    if (fd.Get() < 0) return Fail(ESaveStep::kOpen, openError, failure);
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

// The path is resolved once; everything after goes by the descriptors that walk
// opened, and owner and mode come from the file itself, never from a second look.
bool WriteFileReplacing(const std::string& path, const CString& bytes, CSaveFailure* failure) {
    CWalkedPath walked;
    if (const int code = WalkPath(path, &walked)) return Fail(ESaveStep::kAccessPath, code, failure);
    if (walked.name.empty()) return Refuse(walked.info, failure);
    if (!walked.file.IsOpen() || S_ISREG(walked.info.st_mode)) return ReplaceRegular(walked, bytes, failure);
    if (S_ISFIFO(walked.info.st_mode) || S_ISCHR(walked.info.st_mode)) return WriteStream(walked, bytes, failure);
    return Refuse(walked.info, failure);
}
