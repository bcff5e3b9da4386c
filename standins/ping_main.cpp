// Stand-in for Windows "ping HOST": four echo requests, Windows-style lines.
//
// It sends the echoes itself through an ICMP datagram socket when the system
// allows that for this user (net.ipv4.ping_group_range), and otherwise runs
// Debian's iputils ping and rewrites its output. iputils is only ever taken
// by absolute path: this program is itself called "ping" and its folder may
// come first in PATH.
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "parsers.hpp"
#include "platform/time_limits.h"
#include "platform/platform_error.h"
#include "support.hpp"

namespace {

using namespace std::chrono_literals;
using standin::Clock;

constexpr int kEchoes = 4;
constexpr int kPayloadBytes = 32;
constexpr auto kReplyWait = 4s;
constexpr auto kInterval = 1s;
// A lookup at its limit, then four echoes each waited for in full: 10 + 4 * 4 = 26 s,
// inside the time tollvane gives the command.
static_assert(kNameLookupLimitMs + kEchoes * std::chrono::milliseconds(kReplyWait).count() <
                  kPingLimitSeconds * 1000,
              "ping's worst case must stay inside its limit");

void emit(const std::string& line) { std::cout << line << '\n' << std::flush; }

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Collects the per-echo lines and the closing statistics, whichever way the
// echoes were sent.
class Report {
public:
    explicit Report(bool ipv6) : ipv6_(ipv6) {}

    void reply(const std::string& from, double ms, std::optional<int> ttl) {
        const long long whole = ms < 1.0 ? 0 : static_cast<long long>(ms);
        times_.push_back(whole);
        const std::string shown = ms < 1.0 ? "time<1ms" : "time=" + std::to_string(whole) + "ms";
        // Windows leaves out size and TTL for IPv6 replies.
        if (ipv6_) {
            emit("Reply from " + from + ": " + shown);
        } else {
            emit("Reply from " + from + ": bytes=" + std::to_string(kPayloadBytes) + " " + shown +
                 (ttl ? " TTL=" + std::to_string(*ttl) : ""));
        }
    }
    void timed_out() { emit("Request timed out."); }
    void problem(const std::string& from, const std::string& text) {
        emit("Reply from " + from + ": " + text);
    }
    void transmit_failed(const std::string& reason) { emit("PING: transmit failed. " + reason); }

    int finish(const std::string& target, int sent) const {
        const int received = static_cast<int>(times_.size());
        const int lost = std::max(0, sent - received);
        const int percent = sent > 0 ? lost * 100 / sent : 0;
        std::cout << "\nPing statistics for " << target << ":\n"
                  << "    Packets: Sent = " << sent << ", Received = " << received
                  << ", Lost = " << lost << " (" << percent << "% loss),\n";
        if (received > 0) {
            long long sum = 0;
            for (auto t : times_) sum += t;
            std::cout << "Approximate round trip times in milli-seconds:\n"
                      << "    Minimum = " << *std::min_element(times_.begin(), times_.end())
                      << "ms, Maximum = " << *std::max_element(times_.begin(), times_.end())
                      << "ms, Average = " << sum / received << "ms\n";
        }
        std::cout << std::flush;
        return received > 0 ? 0 : 1;
    }

private:
    bool ipv6_;
    std::vector<long long> times_;
};

// How Windows words a send that failed on this machine: almost always "General
// failure.", lack of buffers aside.
std::string transmit_failure_words(const CPlatformError& failure) {
    return failure.kind == EPlatformError::kNoResources ? "Error due to lack of resources."
                                                        : "General failure.";
}

int open_ping_socket(int family) {
    const int protocol = family == AF_INET6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    return ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
}

// Waits for the echo reply with sequence number SEQ until DEADLINE.
bool await_reply(int fd, bool ipv6, std::uint16_t seq, Clock::time_point sent_at,
                 Clock::time_point deadline, Report& report, const std::string& target) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready <= 0) {
            if (ready < 0 && errno == EINTR) continue;
            return false;
        }
        unsigned char buffer[512];
        alignas(cmsghdr) unsigned char control[256];
        iovec iov{buffer, sizeof buffer};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd, &msg, 0);
        if (n < 8) continue;
        const int reply_type = ipv6 ? int{ICMP6_ECHO_REPLY} : int{ICMP_ECHOREPLY};
        std::uint16_t got_seq = 0;
        std::memcpy(&got_seq, buffer + 6, sizeof got_seq);
        if (buffer[0] != reply_type || ntohs(got_seq) != seq) continue;

        std::optional<int> ttl;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) {
                int value = 0;
                std::memcpy(&value, CMSG_DATA(c), sizeof value);
                ttl = value;
            }
        }
        report.reply(target, ms_since(sent_at), ttl);
        return true;
    }
}

int ping_with_socket(int fd, const standin::Address& target, Report& report) {
    const bool ipv6 = target.family == AF_INET6;
    if (!ipv6) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    }
    for (int i = 1; i <= kEchoes; ++i) {
        const auto seq = static_cast<std::uint16_t>(i);
        unsigned char packet[8 + kPayloadBytes] = {};
        // The kernel fills in identifier and checksum on ping sockets.
        packet[0] = static_cast<unsigned char>(ipv6 ? int{ICMP6_ECHO_REQUEST} : int{ICMP_ECHO});
        const std::uint16_t net_seq = htons(seq);
        std::memcpy(packet + 6, &net_seq, sizeof net_seq);
        for (int b = 0; b < kPayloadBytes; ++b)
            packet[8 + b] = static_cast<unsigned char>('a' + b % 23);

        const auto sent_at = Clock::now();
        const ssize_t sent =
            ::sendto(fd, packet, sizeof packet, 0,
                     reinterpret_cast<const sockaddr*>(&target.storage), target.length);
        if (sent < 0) {
            report.transmit_failed(transmit_failure_words(LastSystemError()));
        } else if (!await_reply(fd, ipv6, seq, sent_at, sent_at + kReplyWait, report,
                                target.text)) {
            report.timed_out();
        }
        if (i < kEchoes) std::this_thread::sleep_until(sent_at + kInterval);
    }
    ::close(fd);
    return kEchoes;
}

// Runs iputils ping and turns its lines into Windows ones. Returns the number
// of echoes sent, or nothing when iputils gave no account of its run.
std::optional<int> ping_with_iputils(const std::string& path, const standin::Address& target,
                                     Report& report, Clock::time_point deadline) {
    int next_seq = 1;
    std::optional<int> transmitted;
    std::string complaint;

    auto catch_up_to = [&](int seq) {
        for (; next_seq < seq; ++next_seq) report.timed_out();
        next_seq = seq + 1;
    };
    auto on_line = [&](const std::string& line) {
        const auto parsed = standin::parse_iputils_ping_line(line);
        if (const auto* r = std::get_if<standin::PingReply>(&parsed)) {
            if (r->seq < next_seq) return;  // late answer to an echo already given up on
            catch_up_to(r->seq);
            report.reply(r->from, r->time_ms, r->ttl);
        } else if (const auto* p = std::get_if<standin::PingProblem>(&parsed)) {
            if (p->seq < next_seq) return;
            catch_up_to(p->seq);
            report.problem(p->from, standin::windows_ping_problem(p->what));
        } else if (const auto* s = std::get_if<standin::PingSummary>(&parsed)) {
            transmitted = s->transmitted;
        } else if (complaint.empty()) {
            const auto colon = line.rfind(": ");
            if (line.rfind("ping:", 0) == 0 || line.rfind(path + ":", 0) == 0)
                complaint = colon == std::string::npos ? line : line.substr(colon + 2);
        }
    };

    // -W bounds the wait for the last reply; -w is left out because with it
    // iputils keeps sending past four echoes when replies go missing.
    const auto result = standin::run_program(path,
                                             {"-n", "-s", std::to_string(kPayloadBytes), "-c",
                                              std::to_string(kEchoes), "-W", "4", target.text},
                                             {"LC_ALL=C"}, deadline, on_line);
    if (!result.started) complaint = "could not run " + path + ": " + result.error;

    if (!transmitted && next_seq == 1) {
        report.transmit_failed(complaint.empty() ? "General failure." : complaint + ".");
        return std::nullopt;
    }
    const int sent = transmitted.value_or(kEchoes);
    catch_up_to(sent + 1);
    return sent;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 1 || !standin::plausible_host(args[0])) {
        std::cout << "Usage: ping HOST\n";
        return 1;
    }
    const std::string& host = args[0];
    const auto deadline = Clock::now() + 25s;

    const auto resolved = standin::resolve_host(host, standin::name_lookup_limit());
    if (resolved.failure == standin::LookupFailure::timed_out) {
        std::cout << "Ping request could not resolve host " << host << ": "
                  << standin::timed_out_words(resolved)
                  << ". Please check the DNS servers and try again.\n";
        return 1;
    }
    if (!resolved.address) {
        std::cout << "Ping request could not find host " << host
                  << ". Please check the name and try again.\n";
        return 1;
    }
    const standin::Address& target = *resolved.address;

    const int fd = open_ping_socket(target.family);
    const auto iputils =
        fd < 0 ? standin::first_executable({"/usr/bin/ping", "/bin/ping"}) : std::nullopt;
    if (fd < 0 && !iputils) {
        std::cout << "PING: cannot send echo requests: this user may not open ICMP sockets "
                     "and iputils ping is not installed.\n";
        return 1;
    }

    std::cout << '\n';
    if (standin::is_ip_literal(host))
        std::cout << "Pinging " << target.text;
    else
        std::cout << "Pinging " << host << " [" << target.text << "]";
    std::cout << " with " << kPayloadBytes << " bytes of data:\n" << std::flush;

    Report report(target.family == AF_INET6);
    const std::optional<int> sent = fd >= 0 ? ping_with_socket(fd, target, report)
                                            : ping_with_iputils(*iputils, target, report, deadline);
    if (!sent) return 1;
    return report.finish(target.text, *sent);
}
