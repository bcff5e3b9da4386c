// Sends one round of ICMP echo probes and prints who answered each and how, one line
// per probe ("TTL ANSWER FROM"), for tests/e2e/icmp_trace_check.sh: the same routed path
// faces the Linux engine and, under wine64, the Windows one.
//
//   icmp_round_probe TARGET TTL...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/icmp_echo.h"

namespace {

const char* AnswerName(EIcmpAnswer answer) {
    switch (answer) {
        case EIcmpAnswer::kEchoReply:
            return "echo-reply";
        case EIcmpAnswer::kTimeExceeded:
            return "time-exceeded";
        case EIcmpAnswer::kUnreachable:
            return "unreachable";
        case EIcmpAnswer::kNoAnswer:
            break;
    }
    return "no-answer";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: icmp_round_probe TARGET TTL...\n");
        return 2;
    }
    std::vector<int> ttls;
    for (int i = 2; i < argc; ++i) ttls.push_back(std::atoi(argv[i]));
    CPlatformError error;
    const auto echo = CIcmpEcho::Open(argv[1], &error);
    if (!echo) {
        std::printf("cannot open: error %ld\n", error.code);
        return 1;
    }
    const auto results = echo->SendRound(ttls, 3000);
    for (std::size_t i = 0; i < results.size(); ++i)
        std::printf("%d %s %s\n", ttls[i], AnswerName(results[i].answer),
                    results[i].from.empty() ? "-" : results[i].from.c_str());
    return 0;
}
