// Runs the built stand-ins as child processes and checks the text parsers on
// canned lines. All network traffic stays on loopback.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net.hpp"
#include "parsers.hpp"
#include "support.hpp"

namespace {

using namespace std::chrono_literals;
using standin::Clock;

struct Outcome {
    int status = -1;
    std::string output;
    double seconds = 0;
};

Outcome run(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env = {}) {
    Outcome outcome;
    const auto start = Clock::now();
    const auto result = standin::run_program(std::string(STANDINS_DIR) + "/" + program, args, env,
                                             start + 120s, [&](const std::string& line) {
                                                 outcome.output += line + "\n";
                                             });
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_TRUE(result.started) << program << ": " << result.error;
    EXPECT_FALSE(result.timed_out) << program;
    outcome.status = result.exit_code;
    return outcome;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

bool exists(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// A loopback TCP socket on an ephemeral port: listening, or only bound so
// that connections to it are refused while the port stays reserved.
class LoopbackPort {
public:
    LoopbackPort(int family, bool listening, int backlog = 64) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            length = sizeof *in6;
        } else {
            auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
            in4->sin_family = AF_INET;
            in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *in4;
        }
        auto* address = reinterpret_cast<sockaddr*>(&storage);
        if (fd_ < 0 || ::bind(fd_, address, length) != 0 ||
            (listening && ::listen(fd_, backlog) != 0) || ::getsockname(fd_, address, &length) != 0)
            return;
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~LoopbackPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;
    unsigned port() const { return port_; }

private:
    int fd_ = -1;
    unsigned port_ = 0;
};

// A folder of fake cache tools put alone on PATH for ipconfig /flushdns.
class FakeTools {
public:
    FakeTools() {
        char pattern[] = "/tmp/standins-test-XXXXXX";
        dir_ = ::mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~FakeTools() {
        for (const auto& file : files_) ::unlink(file.c_str());
        ::rmdir(dir_.c_str());
    }
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    void add(const std::string& name, const std::string& body) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        files_.push_back(path);
    }
    std::string args_file(const std::string& name) {
        files_.push_back(dir_ + "/" + name + ".args");
        return files_.back();
    }
    std::string read(const std::string& path) const {
        std::string text;
        std::getline(std::ifstream(path), text);
        return text;
    }
    std::vector<std::string> env() const { return {"PATH=" + dir_}; }

private:
    std::string dir_;
    std::vector<std::string> files_;
};

// --- command lines ----------------------------------------------------------

TEST(Arguments, AnythingButTheExactFormsIsRefused) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"ipconfig", {}},
        {"ipconfig", {"/ALL"}},
        {"ipconfig", {"/all", "/flushdns"}},
        {"ipconfig", {"-all"}},
        {"ping", {}},
        {"ping", {"-t", "127.0.0.1"}},
        {"ping", {"127.0.0.1", "127.0.0.2"}},
        {"ping", {"/?"}},
        {"tracert", {"127.0.0.1"}},
        {"tracert", {"-d"}},
        {"tracert", {"-D", "127.0.0.1"}},
        {"tracert", {"-d", "-h", "127.0.0.1"}},
        {"psping", {"127.0.0.1:80"}},
        {"psping", {"/accepteula", "-n", "0", "127.0.0.1:80"}},
        {"psping", {"/accepteula", "-n", "1001", "127.0.0.1:80"}},
        {"psping", {"/accepteula", "-n", "3x", "127.0.0.1:80"}},
        {"psping", {"/accepteula", "-n", "3", "127.0.0.1"}},
        {"psping", {"/accepteula", "-n", "3", "127.0.0.1:0"}},
        {"psping", {"/accepteula", "-n", "3", "127.0.0.1:65536"}},
        {"psping", {"/accepteula", "-n", "3", ":80"}},
        {"psping", {"/ACCEPTEULA", "-n", "3", "127.0.0.1:80"}},
        {"psping", {"-n", "3", "127.0.0.1:80"}},
    };
    for (const auto& [program, args] : cases) {
        std::string shown = program;
        for (const auto& arg : args) shown += " [" + arg + "]";
        SCOPED_TRACE(shown);
        const auto outcome = run(program, args);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.output.rfind("Usage: ", 0), 0u) << outcome.output;
    }
}

// --- psping -----------------------------------------------------------------

TEST(Psping, OpenLoopbackPortAnswersEveryConnect) {
    LoopbackPort listener(AF_INET, true);
    ASSERT_NE(listener.port(), 0u);
    const std::string endpoint = "127.0.0.1:" + std::to_string(listener.port());
    const auto outcome = run("psping", {"/accepteula", "-n", "3", endpoint});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "TCP connect to " + endpoint + ":")) << outcome.output;
    EXPECT_EQ(count_of(outcome.output, "Connecting to " + endpoint + " (warmup): "), 1u);
    EXPECT_EQ(count_of(outcome.output, "Connecting to " + endpoint + ": "), 3u);
    EXPECT_TRUE(contains(outcome.output, "TCP connect statistics for " + endpoint + ":\n"
                                         "  Sent = 3, Received = 3, Lost = 0 (0% loss),\n"))
        << outcome.output;
    EXPECT_TRUE(std::regex_search(
        outcome.output,
        std::regex(R"(  Minimum = \d+\.\d\dms, Maximum = \d+\.\d\dms, Average = \d+\.\d\dms)")))
        << outcome.output;
}

// A connect failure is classed by the platform's translation of the system's number and
// worded as Windows words it; what psping has no words for is told in the system's own.
TEST(Psping, ConnectFailuresAreWordedFromTheSharedVocabulary) {
    struct Case {
        int error;
        std::string words;
    };
    const Case cases[] = {
        {ECONNREFUSED, "The remote computer refused the network connection."},
        {ETIMEDOUT, "This operation returned because the timeout period expired."},
        {ENETUNREACH, "The network location cannot be reached."},
        {EHOSTUNREACH, "The remote host cannot be reached."},
        {ENETDOWN, "the system's own words"},
        {EMFILE, "the system's own words"},
    };
    for (const Case& one : cases) {
        standin::ConnectResult result;
        result.failure = TranslateSystemError(one.error);
        result.detail = "the system's own words";
        EXPECT_EQ(standin::failure_words(result), one.words) << one.error;
    }
    EXPECT_EQ(standin::failure_words(standin::ConnectResult()), "");
}

TEST(Psping, ClosedLoopbackPortIsRefused) {
    LoopbackPort bound_only(AF_INET, false);
    ASSERT_NE(bound_only.port(), 0u);
    const std::string endpoint = "127.0.0.1:" + std::to_string(bound_only.port());
    const auto outcome = run("psping", {"/accepteula", "-n", "2", endpoint});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(count_of(outcome.output, "The remote computer refused the network connection."), 3u)
        << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "  Sent = 2, Received = 0, Lost = 2 (100% loss),"))
        << outcome.output;
    EXPECT_FALSE(contains(outcome.output, "Minimum")) << outcome.output;
}

TEST(Psping, UnansweredConnectTimesOutWithinItsBound) {
    // With the accept queue full the kernel drops further SYNs, which is
    // the only way to make a loopback connect hang.
    LoopbackPort listener(AF_INET, true, 0);
    ASSERT_NE(listener.port(), 0u);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(listener.port()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        fillers.push_back(fd);
    }
    ::usleep(200'000);
    const auto outcome = run("psping", {"/accepteula", "-n", "1", "127.0.0.1:" + std::to_string(listener.port())});
    for (int fd : fillers) ::close(fd);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(count_of(outcome.output, "This operation returned because the timeout period expired."), 2u)
        << outcome.output;
    EXPECT_LT(outcome.seconds, 9.0);
}

TEST(Psping, HostPortSplitsAtLastColonAndNamesFailCleanly) {
    LoopbackPort listener(AF_INET6, true);
    if (listener.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
    const std::string port = std::to_string(listener.port());
    for (const std::string& operand : {"::1:" + port, "[::1]:" + port}) {
        SCOPED_TRACE(operand);
        const auto outcome = run("psping", {"/accepteula", "-n", "1", operand});
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_TRUE(contains(outcome.output, "TCP connect to [::1]:" + port + ":")) << outcome.output;
        EXPECT_TRUE(contains(outcome.output, "Sent = 1, Received = 1, Lost = 0 (0% loss),"));
    }
    // An empty label is refused by the resolver itself, so no query leaves the machine.
    const auto unresolved = run("psping", {"/accepteula", "-n", "1", "no..such.host:80"});
    EXPECT_EQ(unresolved.status, 1);
    EXPECT_TRUE(contains(unresolved.output, "Cannot resolve no..such.host")) << unresolved.output;
}

// --- ipconfig ---------------------------------------------------------------

TEST(Ipconfig, AllShowsHostNameAndLoopback) {
    const auto outcome = run("ipconfig", {"/all"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(std::regex_search(outcome.output,
                                  std::regex(R"(\n   Host Name( \.)+ : \S+\n)")))
        << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "\nLoopback adapter lo:\n")) << outcome.output;
    EXPECT_TRUE(contains(outcome.output,
                         "   IPv4 Address. . . . . . . . . . . : 127.0.0.1(Preferred)\n"
                         "   Subnet Mask . . . . . . . . . . . : 255.0.0.0\n"))
        << outcome.output;
}

TEST(Ipconfig, FlushdnsUsesWhicheverCacheServiceExists) {
    FakeTools tools;
    auto none = run("ipconfig", {"/flushdns"}, tools.env());
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(contains(none.output, "Could not flush the DNS Resolver Cache: this system keeps no DNS cache"))
        << none.output;

    const auto resolvectl_args = tools.args_file("resolvectl");
    tools.add("resolvectl", "echo \"$@\" > " + resolvectl_args);
    auto resolved = run("ipconfig", {"/flushdns"}, tools.env());
    EXPECT_EQ(resolved.status, 0);
    EXPECT_TRUE(contains(resolved.output, "Successfully flushed the DNS Resolver Cache.")) << resolved.output;
    EXPECT_EQ(tools.read(resolvectl_args), "flush-caches");

    // systemd-resolved missing but resolvectl installed: nscd still gets its turn.
    tools.add("resolvectl", "echo 'Failed to flush caches: Unit not found.'; exit 1");
    const auto nscd_args = tools.args_file("nscd");
    tools.add("nscd", "echo \"$@\" > " + nscd_args);
    auto fallback = run("ipconfig", {"/flushdns"}, tools.env());
    EXPECT_EQ(fallback.status, 0);
    EXPECT_TRUE(contains(fallback.output, "Successfully flushed")) << fallback.output;
    EXPECT_EQ(tools.read(nscd_args), "-i hosts");
}

TEST(Ipconfig, FlushdnsReportsFailureAndHangs) {
    FakeTools tools;
    tools.add("resolvectl", "echo 'Failed to flush caches: Access denied.'; exit 1");
    auto denied = run("ipconfig", {"/flushdns"}, tools.env());
    EXPECT_EQ(denied.status, 1);
    EXPECT_TRUE(contains(denied.output, "Could not flush the DNS Resolver Cache: resolvectl "
                                        "flush-caches said: Failed to flush caches: Access denied.\n"))
        << denied.output;

    tools.add("resolvectl", "/bin/sleep 60");
    auto hung = run("ipconfig", {"/flushdns"}, tools.env());
    EXPECT_EQ(hung.status, 1);
    EXPECT_TRUE(contains(hung.output, "did not finish within 10 seconds")) << hung.output;
    EXPECT_LT(hung.seconds, 14.0);
}

// --- ping and tracert -------------------------------------------------------

TEST(Ping, LoopbackGetsWindowsStyleSummary) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (probe >= 0) ::close(probe);
    if (probe < 0 && !exists("/usr/bin/ping") && !exists("/bin/ping"))
        GTEST_SKIP() << "no ICMP socket permission and no iputils ping";

    const auto outcome = run("ping", {"127.0.0.1"});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "\nPinging 127.0.0.1 with 32 bytes of data:\n")) << outcome.output;
    EXPECT_EQ(count_of(outcome.output, "Reply from 127.0.0.1: bytes=32 time"), 4u) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "\nPing statistics for 127.0.0.1:\n"
                                         "    Packets: Sent = 4, Received = 4, Lost = 0 (0% loss),\n"
                                         "Approximate round trip times in milli-seconds:\n"))
        << outcome.output;
    EXPECT_TRUE(std::regex_search(outcome.output,
                                  std::regex(R"(    Minimum = \d+ms, Maximum = \d+ms, Average = \d+ms\n)")));
    EXPECT_LT(outcome.seconds, 25.0);

    const auto unknown = run("ping", {"no..such.host"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.output,
              "Ping request could not find host no..such.host. Please check the name and try again.\n");
}

TEST(Tracert, LoopbackTraceCompletes) {
    // ICMP echo through either kind of socket, else traceroute.
    bool can_probe = false;
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        const int probe = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (probe >= 0) ::close(probe);
        can_probe = can_probe || probe >= 0;
    }
    if (!can_probe && !exists("/usr/bin/traceroute") && !exists("/usr/sbin/traceroute") &&
        !exists("/bin/traceroute"))
        GTEST_SKIP() << "no ICMP socket permission and traceroute is not installed";
    const auto outcome = run("tracert", {"-d", "127.0.0.1"});
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "Tracing route to 127.0.0.1 over a maximum of 30 hops\n"))
        << outcome.output;
    EXPECT_TRUE(std::regex_search(outcome.output, std::regex(R"(\n  1( +(<?\d+ ms|\*)){3}  127\.0\.0\.1\n)")))
        << outcome.output;
    EXPECT_GE(outcome.output.size(), 17u);
    EXPECT_EQ(outcome.output.substr(outcome.output.size() - 17), "\nTrace complete.\n");

    const auto unknown = run("tracert", {"-d", "no..such.host"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.output, "Unable to resolve target system name no..such.host.\n");
}

// --- parsers on lines loopback never produces ---------------------------------

TEST(Parsers, IputilsPingLines) {
    auto reply = std::get<standin::PingReply>(
        standin::parse_iputils_ping_line("40 bytes from 10.1.2.3: icmp_seq=3 ttl=57 time=12.8 ms"));
    EXPECT_EQ(reply.from, "10.1.2.3");
    EXPECT_EQ(reply.seq, 3);
    EXPECT_EQ(reply.ttl, 57);
    EXPECT_DOUBLE_EQ(reply.time_ms, 12.8);
    reply = std::get<standin::PingReply>(
        standin::parse_iputils_ping_line("40 bytes from fd00::1: icmp_seq=1 ttl=64 time=0.05 ms"));
    EXPECT_EQ(reply.from, "fd00::1");

    const auto problem = std::get<standin::PingProblem>(standin::parse_iputils_ping_line(
        "From 192.0.2.1 icmp_seq=2 Destination Host Unreachable"));
    EXPECT_EQ(problem.from, "192.0.2.1");
    EXPECT_EQ(problem.seq, 2);
    EXPECT_EQ(standin::windows_ping_problem(problem.what), "Destination host unreachable.");
    EXPECT_EQ(standin::windows_ping_problem("Time to live exceeded"), "TTL expired in transit.");

    const auto summary = std::get<standin::PingSummary>(standin::parse_iputils_ping_line(
        "4 packets transmitted, 3 received, +1 errors, 25% packet loss, time 3004ms"));
    EXPECT_EQ(summary.transmitted, 4);
    EXPECT_EQ(summary.received, 3);

    for (const char* ignored : {"PING 10.1.2.3 (10.1.2.3) 32(60) bytes of data.",
                                "40 bytes from 10.1.2.3: icmp_seq=3 ttl=57 time=12.8 ms (DUP!)",
                                "rtt min/avg/max/mdev = 0.050/0.181/0.526/0.199 ms", ""})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(standin::parse_iputils_ping_line(ignored)))
            << ignored;
}

TEST(Parsers, TracerouteHopsBecomeTracertLines) {
    EXPECT_FALSE(standin::parse_traceroute_line("traceroute to 10.0.0.1 (10.0.0.1), 30 hops max"));

    auto hop = standin::parse_traceroute_line(" 1  192.0.2.1  0.412 ms  12.9 ms  1.07 ms");
    ASSERT_TRUE(hop);
    EXPECT_EQ(standin::format_tracert_hop(*hop, 3), "  1    <1 ms    12 ms     1 ms  192.0.2.1");

    hop = standin::parse_traceroute_line(" 7  * * *");
    ASSERT_TRUE(hop);
    EXPECT_EQ(standin::format_tracert_hop(*hop, 3),
              "  7     *        *        *     Request timed out.");

    // Several routers may answer one hop; tracert names a single one.
    hop = standin::parse_traceroute_line("12  10.0.0.1  5.5 ms *  10.0.0.2  6.1 ms");
    ASSERT_TRUE(hop);
    EXPECT_EQ(standin::format_tracert_hop(*hop, 3), " 12     5 ms     *        6 ms  10.0.0.2");

    hop = standin::parse_traceroute_line(" 3  10.9.9.9  2.0 ms !H  2.1 ms !H  2.2 ms !H");
    ASSERT_TRUE(hop);
    EXPECT_EQ(standin::format_tracert_hop(*hop, 3),
              "  3     2 ms     2 ms     2 ms  10.9.9.9 reports: Destination host unreachable.");
}

TEST(Parsers, RoutesAndResolverFiles) {
    const auto v4 = standin::parse_ipv4_default_routes(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
        "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n");
    ASSERT_EQ(v4.size(), 1u);
    EXPECT_EQ(v4[0].interface_name, "eth0");
    EXPECT_EQ(v4[0].address, "192.0.2.1");

    const std::string zero(32, '0');
    const auto v6 = standin::parse_ipv6_default_routes(
        zero + " 00 " + zero + " 00 fe800000000000000000000000000001 00000400 00000002 00000000 00000003 wlan0\n" +
        zero + " 00 " + zero + " 00 " + zero + " ffffffff 00000001 00000000 00200200 lo\n" +
        "fd000000000000000000000000000000 40 " + zero + " 00 " + zero +
        " 00000100 00000001 00000000 00000001 eth0\n");
    ASSERT_EQ(v6.size(), 1u);
    EXPECT_EQ(v6[0].interface_name, "wlan0");
    EXPECT_EQ(v6[0].address, "fe80::1");

    const auto config = standin::parse_resolv_conf(
        "# generated\nsearch old.example\nnameserver 192.0.2.53\nnameserver fd00::53 ; secondary\n"
        "domain corp.example\n;nameserver 203.0.113.1\n");
    EXPECT_EQ(config.nameservers, (std::vector<std::string>{"192.0.2.53", "fd00::53"}));
    EXPECT_EQ(config.search, (std::vector<std::string>{"corp.example"}));
}

TEST(Parsers, OperandsAndWindowsLayout) {
    using Split = std::optional<std::pair<std::string, unsigned>>;
    EXPECT_EQ(standin::split_host_port("example.com:21"), Split({"example.com", 21}));
    EXPECT_EQ(standin::split_host_port("fe80::1:8080"), Split({"fe80::1", 8080}));
    EXPECT_EQ(standin::split_host_port("[::1]:443"), Split({"::1", 443}));
    for (const char* bad : {"host", "host:", ":80", "host:0", "host:65536", "host:+80", "[::1:80", "h:8 0"})
        EXPECT_FALSE(standin::split_host_port(bad)) << bad;
    EXPECT_EQ(standin::parse_bounded("1000", 1, 1000), 1000);
    EXPECT_FALSE(standin::parse_bounded("-1", 1, 1000));
    EXPECT_FALSE(standin::parse_bounded("99999999999", 1, 1000));

    EXPECT_EQ(standin::ipconfig_label("Host Name"), "   Host Name . . . . . . . . . . . . : ");
    EXPECT_EQ(standin::ipconfig_label("Physical Address"), "   Physical Address. . . . . . . . . : ");
    EXPECT_EQ(standin::ipconfig_continuation().size(), standin::ipconfig_label("Subnet Mask").size());
    EXPECT_EQ(standin::windows_mac("02:fc:00:0a:00:01\n"), "02-FC-00-0A-00-01");
    EXPECT_EQ(standin::windows_mac("00:00:00:00:00:00"), "");
    EXPECT_EQ(standin::whole_ms(0.4), "<1");
    EXPECT_EQ(standin::whole_ms(17.9), "17");
}

TEST(Support, RunProgramReportsExitTimeoutAndMissingProgram) {
    std::vector<std::string> lines;
    auto collect = [&](const std::string& line) { lines.push_back(line); };
    auto result = standin::run_program("/bin/sh", {"-c", "echo one; printf 'two'; exit 3"},
                                       {"LC_ALL=C"}, Clock::now() + 10s, collect);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));

    const auto start = Clock::now();
    result = standin::run_program("/bin/sh", {"-c", "/bin/sleep 30 & /bin/sleep 30"}, {},
                                  start + 500ms, collect);
    EXPECT_TRUE(result.timed_out);
    EXPECT_LT(Clock::now() - start, 5s);

    result = standin::run_program("/nonexistent/tool", {}, {}, Clock::now() + 5s, collect);
    EXPECT_FALSE(result.started);
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
