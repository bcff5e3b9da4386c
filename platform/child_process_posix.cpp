#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/deadline.h"
#include "platform/program_path.h"
#include "platform/search_path_posix.h"
#include "platform/unique_fd_posix.h"

extern char** environ;

namespace {

// A bare program name is looked for in the program's own folder first, then along
// PATH, as Windows searches the application's folder before the system's.
std::string LocateProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const CFilePath folder = GetExecutableDirectory();
    if (!folder.empty() && IsExecutableFile(folder + name)) return folder + name;
    return FindOnSearchPath(name);
}

// This process's environment with the settings laid over it: each replaces the
// variable of its name, or is added.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& settings) {
    std::vector<std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string current(*entry);
        const std::string prefix = current.substr(0, current.find('=') + 1);
        const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const std::string& set) {
            return set.compare(0, prefix.size(), prefix) == 0;
        });
        if (!replaced) merged.push_back(current);
    }
    merged.insert(merged.end(), settings.begin(), settings.end());
    return merged;
}

std::vector<char*> PointerArray(const std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (const std::string& word : words) pointers.push_back(const_cast<char*>(word.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

struct CChildProcess::Impl {
    pid_t pid = -1;
    CUniqueFd readEnd;
    CPlatformError startError;
    std::vector<std::string> environment;  // settings for the children to come
    std::string input;                     // the next child's standard input
    int exitStatus = -1;
    bool exited = false;
    bool reaped = false;
    // Output may still come after the child has exited; the grace runs from the later
    // of its exit and the last bytes read.
    std::chrono::steady_clock::time_point quietSince;

    // Looks for the child's exit without reaping it: while it is not reaped its id, and
    // with it the id of its process group, cannot be given to anything else, so the
    // group can still be ended safely.
    bool HasExited() {
        if (!exited && pid > 0) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid) {
                exited = true;
                exitStatus = info.si_code == CLD_EXITED ? info.si_status : -1;
                quietSince = std::chrono::steady_clock::now();
            }
        }
        return exited;
    }

    bool ExitedAndQuiet() {
        return HasExited() && std::chrono::steady_clock::now() - quietSince >=
                                  std::chrono::milliseconds(kExitGraceMs);
    }
};

CChildProcess::CChildProcess() : m_impl(new Impl) {}

CChildProcess::~CChildProcess() {
    // A child that has closed its output is normally on its way out: give it a moment
    // to exit by itself. Then whatever is left in its group (all of it, if it is still
    // running) is ended, as a job ends its processes on Windows, and the child reaped.
    for (int tries = 0; m_impl->pid > 0 && !m_impl->HasExited() && tries < 100; ++tries) {
        usleep(10 * 1000);
    }
    if (m_impl->pid > 0) {
        Terminate();
        int status = 0;
        while (waitpid(m_impl->pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_impl->reaped = true;
    }
}

namespace {

// A file already unlinked, holding the bytes and read from its start; -1 when none can
// be made. A file rather than a pipe: nothing has to feed it while the child runs.
int InputFile(const std::string& bytes) {
    FILE* file = tmpfile();
    if (!file) return -1;
    const int fd = dup(fileno(file));
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && fflush(file) == 0;
    fclose(file);
    if (fd < 0 || !written || lseek(fd, 0, SEEK_SET) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// posix_spawn's error number, or 0 with the child's id in *pid. Its standard input is
// inputFd, or /dev/null when that is -1, its output and errors go to writeFd, and it leads a process group of its
// own, so a time limit can end it together with all it started.
int SpawnInGroup(const std::string& program, const std::vector<std::string>& words,
                 char* const* environment, int writeFd, int inputFd, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, writeFd, 1);
    posix_spawn_file_actions_adddup2(&actions, writeFd, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    const std::vector<char*> argv = PointerArray(words);
    const int rc = posix_spawn(pid, program.c_str(), &actions, &attributes, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc;
}

}  // namespace

bool CChildProcess::Start(const CArgumentList& arguments) {
    if (arguments.empty()) {
        m_impl->startError = PlatformError(EPlatformError::kNotFound);
        return false;
    }
    std::vector<std::string> words;
    for (const CString& argument : arguments) words.push_back(argument.Bytes());
    const std::string program = LocateProgram(words[0]);
    if (program.empty()) {
        m_impl->startError = PlatformError(EPlatformError::kNotFound);
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_impl->startError = LastSystemError();
        return false;
    }
    CUniqueFd readEnd(fds[0]);
    const CUniqueFd writeEnd(fds[1]);
    const std::vector<std::string> environment = MergedEnvironment(m_impl->environment);
    const std::vector<char*> envp = PointerArray(environment);
    const CUniqueFd input(m_impl->input.empty() ? -1 : InputFile(m_impl->input));
    if (!m_impl->input.empty() && !input.IsOpen()) {
        m_impl->startError = LastSystemError();
        return false;
    }
    pid_t pid = -1;
    const int rc = SpawnInGroup(program, words, m_impl->environment.empty() ? environ : envp.data(),
                                writeEnd.Get(), input.IsOpen() ? input.Get() : -1, &pid);
    if (rc != 0) {
        m_impl->startError = TranslateSystemError(rc);
        return false;
    }
    fcntl(readEnd.Get(), F_SETFL, fcntl(readEnd.Get(), F_GETFL) | O_NONBLOCK);
    m_impl->pid = pid;
    m_impl->readEnd.Reset(readEnd.Release());
    return true;
}

CPlatformError CChildProcess::StartError() const { return m_impl->startError; }

void CChildProcess::SetEnvironment(const std::vector<CString>& settings) {
    m_impl->environment.clear();
    for (const CString& setting : settings) m_impl->environment.push_back(setting.Bytes());
}

void CChildProcess::SetInput(const std::string& bytes) { m_impl->input = bytes; }

int CChildProcess::Read(char* buffer, int capacity, int waitMs) {
    if (!m_impl->readEnd.IsOpen()) return kReadEnd;
    // Try the read first: while the child is writing fast, data is nearly always
    // waiting, and a poll before every read would double the system calls.
    ssize_t got = read(m_impl->readEnd.Get(), buffer, static_cast<size_t>(capacity));
    if (got < 0 && errno == EAGAIN) {
        if (m_impl->ExitedAndQuiet()) return kReadEnd;
        pollfd entry{m_impl->readEnd.Get(), POLLIN, 0};
        const int ready = poll(&entry, 1, waitMs);
        if (ready < 0) return errno == EINTR ? kReadIdle : kReadEnd;
        if (ready == 0) return m_impl->ExitedAndQuiet() ? kReadEnd : kReadIdle;
        got = read(m_impl->readEnd.Get(), buffer, static_cast<size_t>(capacity));
    }
    if (got < 0) return errno == EINTR || errno == EAGAIN ? kReadIdle : kReadEnd;
    if (got == 0) return kReadEnd;
    m_impl->quietSince = std::chrono::steady_clock::now();
    return static_cast<int>(got);
}

void CChildProcess::Terminate() {
    if (m_impl->pid <= 0 || m_impl->reaped) return;
    kill(-m_impl->pid, SIGKILL);
    kill(m_impl->pid, SIGKILL);
}

bool CChildProcess::WaitForExit(int waitMs, int* exitCode) {
    if (m_impl->pid <= 0) return false;
    const CDeadline deadline(waitMs);
    while (!m_impl->HasExited()) {
        if (deadline.Passed()) return false;
        usleep(static_cast<useconds_t>(std::min(deadline.Remaining(), 10) * 1000));
    }
    *exitCode = m_impl->exitStatus;
    return true;
}
