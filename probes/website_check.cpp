#include "model/step_facts.h"
#include "probes/website_check.h"

#include <algorithm>

#include "platform/deadline.h"
#include "platform/host_name.h"
#include "net/http_client.h"
#include "probes/http_failure_text.h"

CStepOutcome CheckWebsite(const CProbeContext& context, const CString& domain) {
    CHttpLimits limits = context.endpoints.httpLimits;
    const CDeadline step(limits.totalMs);
    const CHostLookup lookup =
        ResolveHostIPv4(context, domain, std::min(kNameLookupLimitMs, step.Remaining()));
    if (lookup.resolution.address.IsEmpty()) {
        // A name that is not found is reported in these words alone; one whose lookup
        // ran out of time says so on the next line.
        CString line;
        line.Format("Visit WebSite Address:http://%s", domain.GetString());
        if (lookup.resolution.failure == EResolveFailure::kTimedOut) line += "\r\n" + lookup.failureLine;
        return {false, line};
    }
    // The HTTP layer resolves the name again itself and names it as the request's host.
    limits.totalMs = std::max(1, step.Remaining());
    const int port = context.endpoints.websitePort;
    const CHttpHeaderAnswer answer = FetchRootHeaders(HostNameToAscii(domain), port, context.stop, limits);
    CStepOutcome outcome;
    if (answer.outcome.failure != EHttpFailure::kNone) {
        outcome.text = WebsiteFailureLine(domain, port, answer.outcome);
    } else if (answer.status == 200) {
        outcome = {!answer.rawHeaders.IsEmpty(), answer.rawHeaders};
    } else {
        outcome.text = "网站返回的状态不是200：\r\n" + answer.rawHeaders;
    }
    // The header block as received, even from a failed exchange, for the clock check.
    outcome.facts = ReadStepRecord(EReportStep::kWebsite, outcome.text.Bytes());
    outcome.facts.web.status = answer.status;
    outcome.facts.web.headers = answer.rawHeaders.Bytes();
    outcome.typed = true;
    return outcome;
}
