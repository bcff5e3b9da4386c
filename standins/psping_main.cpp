// "psping /accepteula -n N HOST:PORT": timed TCP connects, for Linux and as
// psping.exe for Windows. Every line is flushed as it is written so that a
// program capturing the output sees each probe when it happens.
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "command_line.hpp"
#include "net.hpp"
#include "platform/time_limits.h"

namespace {

using namespace std::chrono_literals;
using standin::Clock;

// Tollvane ends the command after kPspingLimitSeconds. The worst case of the ten
// probes it asks for is a lookup answered just inside its limit followed by the
// warmup and ten probes that all time out: 10 + 11 * 2.5 = 37.5 s. A refused
// connect takes Windows about two seconds (it retries the SYN), so a shorter
// timeout would call refusals time-outs.
constexpr auto kConnectTimeout = 2500ms;
constexpr int kPromisedProbes = 10;
// What may go besides: starting the program, the output, the loop's own steps.
constexpr int kSlackMs = 1500;
static_assert(kNameLookupLimitMs + (kPromisedProbes + 1) * kConnectTimeout.count() + kSlackMs <
                  kPspingLimitSeconds * 1000,
              "ten probes that all time out must end inside the command's limit");
// Probes start a second apart; one that takes longer is followed at once.
constexpr auto kInterval = 1s;

// Writes TEXT and hands it on at once. stdio rather than iostreams: they would
// triple the size of the static Windows executable.
void say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

std::string ms_text(double ms) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2fms", ms);
    return buffer;
}

int usage() {
    say("Usage: psping /accepteula -n COUNT HOST:PORT   (COUNT 1-1000)\n");
    return 1;
}

void print_statistics(const std::string& endpoint, long sent, const std::vector<double>& times) {
    const auto received = static_cast<long>(times.size());
    const long lost = sent - received;
    std::string text =
        "\nTCP connect statistics for " + endpoint + ":\n  Sent = " + std::to_string(sent) +
        ", Received = " + std::to_string(received) + ", Lost = " + std::to_string(lost) + " (" +
        std::to_string(lost * 100 / sent) + "% loss),\n";
    if (!times.empty()) {
        double sum = 0;
        for (double t : times) sum += t;
        text += "  Minimum = " + ms_text(*std::min_element(times.begin(), times.end())) +
                ", Maximum = " + ms_text(*std::max_element(times.begin(), times.end())) +
                ", Average = " + ms_text(sum / static_cast<double>(times.size())) + "\n";
    }
    say(text);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 4 || args[0] != "/accepteula" || args[1] != "-n") return usage();
    const auto count = standin::parse_bounded(args[2], 1, 1000);
    const auto host_port = standin::split_host_port(args[3]);
    if (!count || !host_port || !standin::plausible_host(host_port->first)) return usage();
    const auto& [host, port] = *host_port;

    say("TCP connect probe (Tollvane stand-in for psping)\n\n");

    const standin::NetworkUse network;
    if (!network.ok()) {
        say("Cannot start the network library.\n");
        return 1;
    }
    const auto resolved = standin::resolve_host(host, standin::name_lookup_limit());
    if (!resolved.address) {
        say("Cannot resolve " + host + ": " +
            (resolved.failure == standin::LookupFailure::timed_out
                 ? standin::timed_out_words(resolved)
                 : resolved.error) +
            ".\n");
        return 1;
    }
    standin::Address target = *resolved.address;
    standin::set_port(target, port);
    const std::string endpoint = standin::endpoint_text(target, port);

    say("TCP connect to " + endpoint + ":\n" + std::to_string(*count + 1) +
        " iterations (warmup 1) connecting test:\n");

    std::vector<double> times;
    auto next_start = Clock::now();
    for (long i = 0; i <= *count; ++i) {
        std::this_thread::sleep_until(next_start);
        next_start = Clock::now() + kInterval;
        const bool warmup = i == 0;
        const auto probe = standin::connect_tcp(target, kConnectTimeout);
        const bool connected = !probe.failure.Failed();
        say("Connecting to " + endpoint + (warmup ? " (warmup)" : "") + ": " +
            (connected ? ms_text(probe.ms) : standin::failure_words(probe)) + "\n");
        if (!warmup && connected) times.push_back(probe.ms);
    }

    print_statistics(endpoint, *count, times);
    return times.empty() ? 1 : 0;
}
