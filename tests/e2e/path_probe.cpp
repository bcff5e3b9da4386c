// Runs the path statistics step alone for a domain and prints whether it passed and its
// text, byte for byte, so tests/e2e/path_stats_check.sh can face the Linux and the
// Windows engines (under wine64) with the same routers without a whole check run.
//
//   path_probe DOMAIN ROUNDS [PUBLIC_ADDRESS]
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/net_startup.h"
#include "probes/ip_labels.h"
#include "probes/path_stats.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: path_probe DOMAIN ROUNDS [PUBLIC_ADDRESS]\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    StartNetworking();
    CPathProbing probing;
    probing.open = &CIcmpEcho::Open;
    probing.label = &IpLabelFor;
    probing.rounds = std::atoi(argv[2]);
    const CStepOutcome outcome =
        CheckPathStatistics(CString(argv[1]), CString(argc == 4 ? argv[3] : ""), probing, nullptr);
    std::printf("ok=%d\n", outcome.ok);
    std::fwrite(outcome.text.GetString(), 1, static_cast<size_t>(outcome.text.GetLength()), stdout);
    return 0;
}
