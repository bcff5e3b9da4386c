// Process and path helpers shared by the Linux stand-in programs; the name
// lookup and TCP connects they share are in net.hpp, which works on Windows too.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net.hpp"

namespace standin {

// Looks NAME up in $PATH. Empty PATH entries are skipped on purpose: they
// would mean "current directory", which nobody expects from a diagnostic tool.
std::optional<std::string> find_in_path(const std::string& name);

// First of the absolute paths that is an executable file.
std::optional<std::string> first_executable(const std::vector<std::string>& paths);

struct RunResult {
    bool started = false;    // false: fork or exec failed, see error
    bool timed_out = false;  // killed because the deadline passed
    int exit_code = -1;      // -1 when ended by a signal
    std::string error;
};

// Runs PATH (absolute, never searched) with ARGS, no shell, stdin from
// /dev/null, stdout and stderr merged. Each complete output line (without its
// line end) goes to ON_LINE as it arrives. ENV_SET entries ("NAME=value")
// replace or extend the inherited environment. The child gets its own process
// group so that a timeout kills anything it spawned too.
RunResult run_program(const std::string& path, const std::vector<std::string>& args,
                      const std::vector<std::string>& env_set, Clock::time_point deadline,
                      const std::function<void(const std::string&)>& on_line);

}  // namespace standin
