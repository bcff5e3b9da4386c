// Pure text helpers: reading the output of the Linux tools and system files
// the stand-ins rely on, and laying results out the Windows way. Kept free of
// I/O so the tests can feed them canned lines that loopback never produces.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "command_line.hpp"

namespace standin {

// --- iputils ping output (run with LC_ALL=C) ------------------------------

struct PingReply {
    std::string from;
    int bytes = 0;
    std::optional<int> ttl;
    double time_ms = 0;
    int seq = 0;
};
struct PingProblem {  // "From ADDR icmp_seq=N Destination Host Unreachable"
    std::string from;
    int seq = 0;
    std::string what;
};
struct PingSummary {
    int transmitted = 0;
    int received = 0;
};
using PingLine = std::variant<std::monostate, PingReply, PingProblem, PingSummary>;

PingLine parse_iputils_ping_line(const std::string& line);

// Windows wording for an ICMP problem iputils reports in its own words.
std::string windows_ping_problem(const std::string& iputils_text);

// --- traceroute output (run with -n, LC_ALL=C) ----------------------------

struct TraceHop {
    int number = 0;
    std::vector<std::optional<double>> times;  // empty optional: no answer ("*")
    std::string address;                       // last address that answered
    std::string annotation;                    // "!H", "!N", ... if any
};

std::optional<TraceHop> parse_traceroute_line(const std::string& line);

// "  1    <1 ms     5 ms     *     10.0.0.1" style, as tracert prints hops.
std::string format_tracert_hop(const TraceHop& hop, int probes);

// --- /proc and /etc files -------------------------------------------------

struct DefaultGateway {
    std::string interface_name;
    std::string address;
};
std::vector<DefaultGateway> parse_ipv4_default_routes(const std::string& proc_net_route);
std::vector<DefaultGateway> parse_ipv6_default_routes(const std::string& proc_net_ipv6_route);

struct ResolverConfig {
    std::vector<std::string> nameservers;
    std::vector<std::string> search;
};
ResolverConfig parse_resolv_conf(const std::string& text);

// --- Windows layout -------------------------------------------------------

// "   Host Name . . . . . . . . . . . . : " -- label, dot leader, colon.
std::string ipconfig_label(const std::string& label);
// Indent of the continuation lines under a label (same width as above).
std::string ipconfig_continuation();

// "02:fc:00:00:00:01" -> "02-FC-00-00-00-01"; empty for an all-zero address.
std::string windows_mac(const std::string& sysfs_address);

// Whole milliseconds the way ping/tracert show them: "<1" below one.
std::string whole_ms(double ms);

}  // namespace standin
