// "psping /accepteula -n N HOST:PORT": timed TCP connects, for Linux and as
// psping.exe for Windows. Every line is flushed as it is written so that a
// program capturing the output sees each probe when it happens.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "command_line.hpp"
#include "net.hpp"

namespace {

using namespace std::chrono_literals;
using standin::Clock;

// Tollvane ends the command after 40 seconds. The worst case here is a lookup
// at its 5 s limit followed by the warmup and ten probes that all time out:
// 5 + 11 * 2.5 = 32.5 s. A refused connect takes Windows about two seconds
// (it retries the SYN), so a shorter timeout would call refusals time-outs.
constexpr auto kLookupLimit = 5s;
constexpr auto kConnectTimeout = 2500ms;
// Probes start a second apart; one that takes longer is followed at once.
constexpr auto kInterval = 1s;

std::string ms_text(double ms) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2fms", ms);
    return buffer;
}

int usage() {
    std::cout << "Usage: psping /accepteula -n COUNT HOST:PORT   (COUNT 1-1000)\n" << std::flush;
    return 1;
}

void print_statistics(const std::string& endpoint, long sent, const std::vector<double>& times) {
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

    const standin::NetworkUse network;
    if (!network.ok()) {
        std::cout << "Cannot start the network library.\n" << std::flush;
        return 1;
    }
    const auto resolved = standin::resolve_host(host, kLookupLimit);
    if (!resolved.address) {
        std::cout << "Cannot resolve " << host << ": " << resolved.error << ".\n" << std::flush;
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
        const auto probe = standin::connect_tcp(target, kConnectTimeout);
        const bool connected = probe.failure == standin::ConnectFailure::none;
        std::cout << "Connecting to " << endpoint << (warmup ? " (warmup)" : "") << ": "
                  << (connected ? ms_text(probe.ms) : standin::failure_words(probe)) << '\n'
                  << std::flush;
        if (!warmup && connected) times.push_back(probe.ms);
    }

    print_statistics(endpoint, *count, times);
    return times.empty() ? 1 : 0;
}
