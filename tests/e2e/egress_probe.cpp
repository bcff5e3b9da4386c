// Runs step 2, the egress step or the local environment step for a domain with the
// shipped endpoints and prints the step's text byte for byte, for
// tests/e2e/egress_cases.py: the names of the services resolve to peers inside the
// test's namespace.
//
//   egress_probe publicip|egress DOMAIN
//   egress_probe local DOMAIN [site]   (site: the web site step first, for its Date)
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "platform/net_startup.h"
#include "net/http_exchange_process.h"
#include "model/step_facts.h"
#include "probes/egress_dns.h"
#include "probes/local_environment.h"
#include "probes/probe_context.h"
#include "probes/public_ip.h"
#include "probes/website_check.h"

int main(int argc, char** argv) {
    // Its HTTP exchanges run in this program started again, on Windows.
    if (IsHttpExchangeProcess()) return RunHttpExchangeProcess();
    if (argc < 3) {
        std::fprintf(stderr, "usage: egress_probe publicip|egress|local DOMAIN [site]\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    StartNetworking();
    const CString domain(argv[2]);
    CProbeContext context;
    CReport earlier;  // the web site step's record, which the environment step reads
    CStepOutcome outcome;
    if (std::strcmp(argv[1], "publicip") == 0) {
        outcome = FetchPublicIP(context, domain);
    } else if (std::strcmp(argv[1], "egress") == 0) {
        outcome = CheckEgress(context, domain);
    } else if (std::strcmp(argv[1], "local") == 0) {
        if (argc > 3) {
            const CStepOutcome site = CheckWebsite(context, domain);
            earlier.steps.push_back(site.typed ? site.facts
                                               : ReadStepRecord(EReportStep::kWebsite, site.text.Bytes()));
            earlier.steps.back().step = EReportStep::kWebsite;
            context.earlier = &earlier;
        }
        outcome = CheckLocalSetup(context, domain);
    } else {
        return 2;
    }
    const CString& text = outcome.text;
    std::fwrite(text.GetString(), 1, static_cast<size_t>(text.GetLength()), stdout);
    return 0;
}
