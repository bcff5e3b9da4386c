// Process, path and name-resolution helpers shared by the stand-in programs.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace standin {

using Clock = std::chrono::steady_clock;

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

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = 0;
    std::string text;  // numeric form, with %scope for link-local IPv6
};

struct Resolution {
    std::optional<Address> address;
    std::string error;  // set when address is empty
};

// getaddrinfo, preferring IPv4 when the name has both. A lookup that takes
// longer than LIMIT counts as failed; the stuck lookup is left behind in a
// detached thread because getaddrinfo cannot be cancelled.
Resolution resolve_host(const std::string& host, std::chrono::milliseconds limit);

// True when HOST is written as a numeric IPv4 or IPv6 address.
bool is_ip_literal(const std::string& host);

// Name lookups leave the port at 0; connecting needs the real one.
void set_port(Address& address, unsigned port);

// "ADDR:PORT", with brackets around IPv6 addresses.
std::string endpoint_text(const Address& address, unsigned port);

}  // namespace standin
