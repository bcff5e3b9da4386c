// A bounded upload load for tests/e2e/collector_check.sh and tests/collector_bench.sh:
// CLIENTS connections on keep-alive send COUNT uploads in all of a report file, its
// public address drawn in turn from a list so the reports spread over regions. Every
// acknowledged ticket is written (and flushed) to TICKETS as it arrives, so a check can
// compare them with what a restarted collector holds.
//   collector_load HOST PORT CLIENTS COUNT REPORT [TICKETS]
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kAddresses[] = {"113.108.81.189", "123.125.114.144", "202.96.128.86",
                                  "61.135.169.121", "218.30.64.194", "221.130.33.52",
                                  "58.60.188.222", "116.228.111.118"};

std::string WithAddress(const std::string& report, const char* address) {
    const size_t open = report.find("[127.0.0.1]");
    if (open == std::string::npos) return report;
    return report.substr(0, open + 1) + address + report.substr(open + 10);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: collector_load HOST PORT CLIENTS COUNT REPORT [TICKETS]\n");
        return 2;
    }
    const std::string host = argv[1];
    const int port = std::atoi(argv[2]), clients = std::atoi(argv[3]), count = std::atoi(argv[4]);
    std::ifstream in(argv[5], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::vector<std::string> bodies;
    for (const char* address : kAddresses) bodies.push_back(WithAddress(buffer.str(), address));
    std::FILE* tickets = argc > 6 ? std::fopen(argv[6], "w") : nullptr;
    std::atomic<int> next{0}, created{0}, failed{0};
    std::mutex output;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            httplib::Client client(host, port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_read_timeout(60, 0);
            for (int i = next++; i < count; i = next++) {
                auto answer = client.Post("/api/v1/reports", bodies[static_cast<size_t>(i) % bodies.size()],
                                          "text/plain");
                if (!answer || answer->status != 201) {
                    if (failed++ < 3) {
                        std::lock_guard<std::mutex> lock(output);
                        if (answer)
                            std::fprintf(stderr, "answer %d: %s\n", answer->status, answer->body.c_str());
                        else
                            std::fprintf(stderr, "no answer: %s\n", httplib::to_string(answer.error()).c_str());
                    }
                    continue;
                }
                ++created;
                if (!tickets) continue;
                std::lock_guard<std::mutex> lock(output);
                std::fprintf(tickets, "%s\n", answer->body.substr(11, 9).c_str());
                std::fflush(tickets);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d acknowledged, %d failed, %.2f s, %.0f uploads/s\n", created.load(),
                failed.load(), seconds, created / seconds);
    if (tickets) std::fclose(tickets);
    return 0;
}
