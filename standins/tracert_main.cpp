// Stand-in for Windows "tracert -d HOST". Runs Debian's traceroute by absolute
// path and rewrites each hop the way tracert shows it.
#include <sys/socket.h>

#include <iostream>
#include <string>
#include <vector>

#include "parsers.hpp"
#include "support.hpp"

namespace {

using namespace std::chrono_literals;

constexpr int kMaxHops = 30;
constexpr int kProbes = 3;
constexpr auto kTimeLimit = 170s;

void print_heading(const std::string& host, const standin::Address& target) {
    std::cout << '\n';
    if (standin::is_ip_literal(host))
        std::cout << "Tracing route to " << target.text << " over a maximum of " << kMaxHops
                  << " hops\n\n";
    else
        std::cout << "Tracing route to " << host << " [" << target.text << "]\nover a maximum of "
                  << kMaxHops << " hops:\n\n";
    std::cout << std::flush;
}

// What traceroute said besides its hops and its own heading.
struct Trace {
    int hops = 0;
    std::vector<std::string> other_lines;
    standin::RunResult run;
};

Trace trace(const std::string& traceroute, const standin::Address& target,
            standin::Clock::time_point deadline) {
    Trace result;
    auto on_line = [&](const std::string& line) {
        if (const auto hop = standin::parse_traceroute_line(line)) {
            ++result.hops;
            std::cout << standin::format_tracert_hop(*hop, kProbes) << '\n' << std::flush;
        } else if (line.rfind("traceroute to ", 0) != 0 && !line.empty()) {
            result.other_lines.push_back(line);
        }
    };
    result.run = standin::run_program(
        traceroute,
        {target.family == AF_INET6 ? "-6" : "-4", "-n", "-q", std::to_string(kProbes), "-w", "2",
         "-m", std::to_string(kMaxHops), target.text},
        {"LC_ALL=C"}, deadline, on_line);
    return result;
}

int finish(const Trace& trace, const std::string& traceroute) {
    if (!trace.run.started) {
        std::cout << "tracert: could not run " << traceroute << ": " << trace.run.error << ".\n";
        return 1;
    }
    if (trace.run.timed_out) {
        std::cout << "\nTrace stopped: it took longer than " << kTimeLimit.count() << " seconds.\n";
        return 1;
    }
    // Without a single hop, traceroute's own words are the only explanation.
    if (trace.hops == 0 || trace.run.exit_code != 0) {
        for (const auto& line : trace.other_lines)
            std::cout << (line.rfind("traceroute", 0) == 0 ? "" : "traceroute: ") << line << '\n';
        if (trace.hops == 0) {
            std::cout << "tracert: traceroute ended without tracing any hop.\n";
            return 1;
        }
    }
    std::cout << "\nTrace complete.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 2 || args[0] != "-d" || !standin::plausible_host(args[1])) {
        std::cout << "Usage: tracert -d HOST\n";
        return 1;
    }
    const std::string& host = args[1];
    const auto deadline = standin::Clock::now() + kTimeLimit;

    const auto traceroute = standin::first_executable(
        {"/usr/bin/traceroute", "/usr/sbin/traceroute", "/bin/traceroute"});
    if (!traceroute) {
        std::cout << "tracert: cannot trace the route: the traceroute program is not installed "
                     "(Debian package \"traceroute\").\n";
        return 1;
    }
    const auto resolved = standin::resolve_host(host, standin::name_lookup_limit());
    if (resolved.failure == standin::LookupFailure::timed_out) {
        std::cout << "Unable to resolve target system name " << host << ": "
                  << standin::timed_out_words(resolved) << ".\n";
        return 1;
    }
    if (!resolved.address) {
        std::cout << "Unable to resolve target system name " << host << ".\n";
        return 1;
    }
    print_heading(host, *resolved.address);
    return finish(trace(*traceroute, *resolved.address, deadline), *traceroute);
}
