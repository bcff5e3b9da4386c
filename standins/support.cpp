#include "support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace standin {

namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> merged_environment(const std::vector<std::string>& env_set) {
    std::vector<std::string> merged;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string current(*entry);
        const std::string name = current.substr(0, current.find('='));
        const bool overridden =
            std::any_of(env_set.begin(), env_set.end(), [&](const std::string& set) {
                return set.compare(0, name.size() + 1, name + "=") == 0;
            });
        if (!overridden) merged.push_back(current);
    }
    merged.insert(merged.end(), env_set.begin(), env_set.end());
    return merged;
}

std::vector<char*> pointer_array(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 60'000));
}

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    int* out() { return &m_fd; }
    void reset() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

struct ChildPipes {
    UniqueFd output[2];
    UniqueFd exec_status[2];  // carries errno when exec fails, closes silently when it works
};

// 0, or the errno of the pipe that could not be made.
int open_pipes(ChildPipes& pipes) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    *pipes.output[0].out() = ends[0];
    *pipes.output[1].out() = ends[1];
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    *pipes.exec_status[0].out() = ends[0];
    *pipes.exec_status[1].out() = ends[1];
    return 0;
}

// The child's side of the fork: only async-signal-safe calls from here on.
[[noreturn]] void exec_child(const char* path, char* const* argv, char* const* envp, int output,
                             int exec_status) {
    ::setpgid(0, 0);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(path, argv, envp);
    const int err = errno;
    ssize_t ignored = ::write(exec_status, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}

// The errno a failed exec sent back, or 0 once exec has closed the pipe.
int exec_error(UniqueFd& exec_status) {
    int exec_errno = 0;
    ssize_t got = 0;
    do {
        got = ::read(exec_status.get(), &exec_errno, sizeof exec_errno);
    } while (got < 0 && errno == EINTR);
    exec_status.reset();
    return got == static_cast<ssize_t>(sizeof exec_errno) ? exec_errno : 0;
}

// Hands every complete line of PENDING (without its line end) to ON_LINE.
void emit_lines(std::string& pending, const std::function<void(const std::string&)>& on_line) {
    std::size_t newline;
    while ((newline = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, newline);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending.erase(0, newline + 1);
        on_line(line);
    }
}

// Reads FD until it ends or DEADLINE passes, line by line. True when the
// deadline ended it; an unfinished last line is handed on only otherwise.
bool read_lines(int fd, Clock::time_point deadline,
                const std::function<void(const std::string&)>& on_line) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const int wait_ms = remaining_ms(deadline);
        if (wait_ms == 0) return true;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, wait_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;  // the deadline check above decides
        if (ready < 0) break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(n));
        emit_lines(pending, on_line);
    }
    if (!pending.empty()) on_line(pending);
    return false;
}

// Reaps PID. A child may close its output and still linger, so the deadline
// holds for the wait as well; past it the whole group is killed.
void reap_child(pid_t pid, Clock::time_point deadline, RunResult& result) {
    int status = 0;
    for (;;) {
        const pid_t waited = ::waitpid(pid, &status, result.timed_out ? 0 : WNOHANG);
        if (waited == pid) break;
        if (waited < 0 && errno != EINTR) return;
        if (waited == 0) {
            if (remaining_ms(deadline) == 0) {
                result.timed_out = true;
                ::kill(-pid, SIGKILL);
            } else {
                ::usleep(20'000);
            }
        }
    }
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
}

}  // namespace

std::optional<std::string> find_in_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + name;
            if (is_executable_file(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::string> first_executable(const std::vector<std::string>& paths) {
    for (const auto& path : paths)
        if (is_executable_file(path)) return path;
    return std::nullopt;
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::string>& env_set, Clock::time_point deadline,
                      const std::function<void(const std::string&)>& on_line) {
    RunResult result;
    // Everything the child needs is built before fork: after fork only
    // async-signal-safe calls are allowed.
    std::vector<std::string> argv_strings{path};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<std::string> env_strings = merged_environment(env_set);
    const std::vector<char*> argv = pointer_array(argv_strings);
    const std::vector<char*> envp = pointer_array(env_strings);

    ChildPipes pipes;
    if (const int error = open_pipes(pipes); error != 0) {
        result.error = std::strerror(error);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.error = std::strerror(errno);
        return result;
    }
    if (pid == 0)
        exec_child(path.c_str(), argv.data(), envp.data(), pipes.output[1].get(),
                   pipes.exec_status[1].get());
    // Set here too so the kill below cannot miss a child that was not
    // scheduled yet.
    ::setpgid(pid, pid);
    pipes.output[1].reset();
    pipes.exec_status[1].reset();
    if (const int exec_errno = exec_error(pipes.exec_status[0]); exec_errno != 0) {
        pipes.output[0].reset();
        ::waitpid(pid, nullptr, 0);
        result.error = std::strerror(exec_errno);
        return result;
    }
    result.started = true;
    result.timed_out = read_lines(pipes.output[0].get(), deadline, on_line);
    if (result.timed_out) ::kill(-pid, SIGKILL);
    pipes.output[0].reset();
    reap_child(pid, deadline, result);
    return result;
}

}  // namespace standin
