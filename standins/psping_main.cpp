// Stand-in for "psping /accepteula -n N HOST:PORT": timed TCP connects.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "parsers.hpp"
#include "support.hpp"

namespace {

using namespace std::chrono_literals;
using standin::Clock;

constexpr auto kConnectTimeout = 3s;
// Probes start a second apart; one that hits the timeout is followed at once,
// so ten probes plus the warmup stay well under 40 seconds.
constexpr auto kInterval = 1s;

struct Probe {
    bool connected = false;
    double ms = 0;
    std::string failure;
};

std::string failure_text(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "The remote computer refused the network connection.";
        case ETIMEDOUT:
            return "This operation returned because the timeout period expired.";
        case ENETUNREACH:
            return "The network location cannot be reached.";
        case EHOSTUNREACH:
            return "The remote host cannot be reached.";
        default:
            return std::string(std::strerror(error)) + ".";
    }
}

Probe connect_once(const standin::Address& target) {
    Probe probe;
    const int fd = ::socket(target.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        probe.failure = failure_text(errno);
        return probe;
    }
    const auto start = Clock::now();
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target.storage), target.length) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            error = 0;
            const auto deadline = start + kConnectTimeout;
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) {
                    error = ETIMEDOUT;
                    break;
                }
                pollfd pfd{fd, POLLOUT, 0};
                const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
                if (ready < 0 && errno == EINTR) continue;
                if (ready < 0) {
                    error = errno;
                    break;
                }
                if (ready == 0) continue;  // the deadline check above decides
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                break;
            }
        }
    }
    const auto end = Clock::now();
    ::close(fd);
    if (error != 0) {
        probe.failure = failure_text(error);
        return probe;
    }
    probe.connected = true;
    probe.ms = std::chrono::duration<double, std::milli>(end - start).count();
    return probe;
}

std::string ms_text(double ms) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2fms", ms);
    return buffer;
}

int usage() {
    std::cout << "Usage: psping /accepteula -n COUNT HOST:PORT   (COUNT 1-1000)\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 4 || args[0] != "/accepteula" || args[1] != "-n") return usage();
    const auto count = standin::parse_bounded(args[2], 1, 1000);
    const auto host_port = standin::split_host_port(args[3]);
    if (!count || !host_port || !standin::plausible_host(host_port->first)) return usage();
    const auto& [host, port] = *host_port;

    std::cout << "TCP connect probe (Tollvane stand-in for psping)\n\n" << std::flush;

    const auto resolved = standin::resolve_host(host, 5s);
    if (!resolved.address) {
        std::cout << "Cannot resolve " << host << ": " << resolved.error << ".\n";
        return 1;
    }
    standin::Address target = *resolved.address;
    standin::set_port(target, port);
    const std::string endpoint = standin::endpoint_text(target, port);

    std::cout << "TCP connect to " << endpoint << ":\n"
              << *count + 1 << " iterations (warmup 1) connecting test:\n"
              << std::flush;

    std::vector<double> times;
    auto next_start = Clock::now();
    for (long i = 0; i <= *count; ++i) {
        std::this_thread::sleep_until(next_start);
        next_start = Clock::now() + kInterval;
        const bool warmup = i == 0;
        const Probe probe = connect_once(target);
        std::cout << "Connecting to " << endpoint << (warmup ? " (warmup)" : "") << ": "
                  << (probe.connected ? ms_text(probe.ms) : probe.failure) << '\n'
                  << std::flush;
        if (!warmup && probe.connected) times.push_back(probe.ms);
    }

    const long sent = *count;
    const auto received = static_cast<long>(times.size());
    const long lost = sent - received;
    std::cout << "\nTCP connect statistics for " << endpoint << ":\n"
              << "  Sent = " << sent << ", Received = " << received << ", Lost = " << lost << " ("
              << lost * 100 / sent << "% loss),\n";
    if (!times.empty()) {
        double sum = 0;
        for (double t : times) sum += t;
        std::cout << "  Minimum = " << ms_text(*std::min_element(times.begin(), times.end()))
                  << ", Maximum = " << ms_text(*std::max_element(times.begin(), times.end()))
                  << ", Average = " << ms_text(sum / static_cast<double>(times.size())) << '\n';
    }
    std::cout << std::flush;
    return received > 0 ? 0 : 1;
}
