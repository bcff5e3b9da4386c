// Runs one of the optional checks for a domain and prints whether it passed and its
// text, byte for byte, for tests/e2e/extended_cases.py: the same peers face the Linux
// and the Windows backends (under wine64) without a whole check run around them.
//
//   extended_probe dns|https|ipv6|website|timing DOMAIN
// website is step 9 (its error text when it fails), for the stalled sites of
// hostile_peers.py. timing is the site timing step, its text followed by a line
// "findings: ID ..." of what the findings make of that text.
#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "diagnosis/site_timing_rules.h"
#include "model/site_timing_text.h"
#include "net/http_exchange_process.h"
#include "platform/net_startup.h"
#include "probes/extended_checks.h"
#include "probes/probe_context.h"
#include "probes/website_check.h"

int main(int argc, char** argv) {
    // Its HTTPS check runs its exchange in this program started again, on Windows.
    if (IsHttpExchangeProcess()) return RunHttpExchangeProcess();
    if (argc != 3) {
        std::fprintf(stderr, "usage: extended_probe dns|https|ipv6|website|timing DOMAIN\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    StartNetworking();
    const CString domain(argv[2]);
    CStepOutcome outcome;
    if (std::strcmp(argv[1], "dns") == 0) {
        outcome = CheckDnsAnswers(domain, nullptr);
    } else if (std::strcmp(argv[1], "https") == 0) {
        outcome = CheckHttpsCertificate(domain, DefaultEndpoints(), nullptr,
                                        static_cast<long long>(std::time(nullptr)));
    } else if (std::strcmp(argv[1], "ipv6") == 0) {
        outcome = CheckIpv6Reachability(domain, DefaultEndpoints(), nullptr);
    } else if (std::strcmp(argv[1], "website") == 0) {
        outcome = CheckWebsite(CProbeContext(), domain);
    } else if (std::strcmp(argv[1], "timing") == 0) {
        outcome = CheckSiteTiming(domain, DefaultEndpoints(), nullptr);
        CSiteTimingFacts facts;
        outcome.text += ReadSiteTimingText(outcome.text.Bytes(), &facts) ? "findings:" : "unreadable:";
        for (const CFinding& finding : JudgeSiteTiming(facts, 16)) outcome.text += " " + CString(finding.id);
        outcome.text += "\n";
    } else {
        return 2;
    }
    std::printf("ok=%d\n", outcome.ok ? 1 : 0);
    std::fwrite(outcome.text.GetString(), 1, static_cast<size_t>(outcome.text.GetLength()), stdout);
    return 0;
}
