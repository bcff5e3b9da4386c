// Stand-in for Windows "tracert -d HOST". Like tracert it probes with ICMP echo, so a
// host that drops UDP but answers ping is reached and one that drops ping is not. Only
// where this process may open no ICMP socket does it run Debian's traceroute (UDP
// probes) by absolute path instead, and rewrite each hop the way tracert shows it.
#include <sys/socket.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "parsers.hpp"
#include "platform/icmp_echo.h"
#include "platform/time_limits.h"
#include "support.hpp"

namespace {

using namespace std::chrono_literals;

constexpr int kMaxHops = 30;
constexpr int kProbes = 3;
constexpr auto kTimeLimit = 170s;
// How long tracert waits for each hop's answers (its -w default). The three probes
// of a hop go out together, so a silent hop costs this once: 30 silent hops and the
// longest name lookup stay well inside kTimeLimit.
constexpr int kHopWaitMs = 4000;
static_assert(kNameLookupLimitMs + kMaxHops * kHopWaitMs <
                      std::chrono::milliseconds(kTimeLimit).count() &&
                  kTimeLimit.count() < kTracertLimitSeconds,
              "a trace past 30 silent hops ends by itself, before tollvane ends it");

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

// One hop's three answers as tracert shows them; true once the trace has ended there.
bool show_hop(int number, const std::vector<CIcmpResult>& answers) {
    standin::TraceHop hop;
    hop.number = number;
    bool ended = false;
    for (const CIcmpResult& answer : answers) {
        if (answer.answer == EIcmpAnswer::kNoAnswer) {
            hop.times.emplace_back();
            continue;
        }
        hop.times.emplace_back(answer.rttMs);
        hop.address = answer.from;
        if (answer.answer == EIcmpAnswer::kUnreachable) hop.annotation = "!H";
        ended = ended || answer.answer != EIcmpAnswer::kTimeExceeded;
    }
    std::cout << standin::format_tracert_hop(hop, kProbes) << '\n' << std::flush;
    return ended;
}

int trace_with_icmp(CIcmpEcho& echo, standin::Clock::time_point deadline) {
    for (int ttl = 1; ttl <= kMaxHops; ++ttl) {
        if (standin::Clock::now() >= deadline) {
            std::cout << "\nTrace stopped: it took longer than " << kTimeLimit.count()
                      << " seconds.\n";
            return 1;
        }
        if (show_hop(ttl, echo.SendRound(std::vector<int>(kProbes, ttl), kHopWaitMs))) break;
    }
    std::cout << "\nTrace complete.\n";
    return 0;
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

namespace {

// Why no ICMP socket could be had, in the system's own words as the rest of this
// program's own messages are.
std::string icmp_refusal_words(const CPlatformError& refused) {
    return "no ICMP datagram socket (" +
           std::string(refused.code ? std::strerror(static_cast<int>(refused.code)) : "unknown reason") +
           "; net.ipv4.ping_group_range may not admit this user's group) and no raw socket";
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
    CPlatformError refused;
    if (const auto echo = CIcmpEcho::Open(resolved.address->text, &refused)) {
        print_heading(host, *resolved.address);
        return trace_with_icmp(*echo, deadline);
    }
    const std::string why_not_icmp = icmp_refusal_words(refused);
    const auto traceroute = standin::first_executable(
        {"/usr/bin/traceroute", "/usr/sbin/traceroute", "/bin/traceroute"});
    if (!traceroute) {
        std::cout
            << "tracert: cannot trace the route: " << why_not_icmp
            << ", and the traceroute program is not installed (Debian package \"traceroute\").\n";
        return 1;
    }
    std::cout << "tracert: " << why_not_icmp << "; tracing with traceroute's UDP probes instead.\n";
    print_heading(host, *resolved.address);
    return finish(trace(*traceroute, *resolved.address, deadline), *traceroute);
}
