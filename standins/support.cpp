#include "support.hpp"

#include <algorithm>
#include <cstring>

#include "platform/child_process.h"
#include "platform/search_path_posix.h"

namespace standin {

namespace {

int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, 60'000));
}

std::string describe(const CPlatformError& error) {
    if (error.code != 0) return std::strerror(static_cast<int>(error.code));
    return error.kind == EPlatformError::kNotFound ? "not found" : "could not start";
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

// Reads the child's output until it ends or DEADLINE passes, line by line. True when
// the deadline ended it; an unfinished last line is handed on only otherwise.
bool read_lines(CChildProcess& child, Clock::time_point deadline,
                const std::function<void(const std::string&)>& on_line) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const int wait_ms = remaining_ms(deadline);
        if (wait_ms == 0) return true;
        const int got = child.Read(buffer, sizeof buffer, std::min(wait_ms, 100));
        if (got == CChildProcess::kReadEnd) break;
        if (got == CChildProcess::kReadIdle) continue;
        pending.append(buffer, static_cast<std::size_t>(got));
        emit_lines(pending, on_line);
    }
    if (!pending.empty()) on_line(pending);
    return false;
}

}  // namespace

std::optional<std::string> find_in_path(const std::string& name) {
    std::string found = FindOnSearchPath(name);
    if (found.empty()) return std::nullopt;
    return found;
}

std::optional<std::string> first_executable(const std::vector<std::string>& paths) {
    for (const auto& path : paths)
        if (IsExecutableFile(path)) return path;
    return std::nullopt;
}

RunResult run_program(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::string>& env_set, Clock::time_point deadline,
                      const std::function<void(const std::string&)>& on_line) {
    RunResult result;
    CArgumentList arguments{CString(path)};
    for (const auto& arg : args) arguments.push_back(CString(arg));
    CChildProcess child;
    child.SetEnvironment(std::vector<CString>(env_set.begin(), env_set.end()));
    if (!child.Start(arguments)) {
        result.error = describe(child.StartError());
        return result;
    }
    result.started = true;
    result.timed_out = read_lines(child, deadline, on_line);
    // A child may close its output and still linger, so the deadline holds for the
    // wait as well; past it the whole group is ended.
    if (result.timed_out || !child.WaitForExit(remaining_ms(deadline), &result.exit_code)) {
        result.timed_out = true;
        result.exit_code = -1;
        child.Terminate();
    }
    return result;
}

}  // namespace standin
