#include <algorithm>

#include "probes/probe_session.h"
#include "platform/deadline.h"
#include "platform/host_name.h"
#include "platform/http_client.h"
#include "probes/http_failure_text.h"

int CProbeSession::CheckWebsite(CString domain) {
    m_strResult = FetchWebsiteHeaders(domain);
    return m_strResult.IsEmpty() ? 0 : 1;
}

// The headers of a status 200 answer to a GET of the site's root; the empty text for
// anything else, with the reason in the error slot. The step's time limit covers the
// name lookup and the exchange together.
CString CProbeSession::FetchWebsiteHeaders(CString domain) {
    CHttpLimits limits = m_endpoints.httpLimits;
    const CDeadline step(limits.totalMs);
    const CResolution resolution =
        ResolveHost(domain, std::min(kNameLookupLimitMs, step.Remaining()));
    if (resolution.address.IsEmpty()) {
        // A name that is not found is reported in these words alone; one whose lookup
        // ran out of time says so on the next line.
        CString lookupError = TakeError();
        m_strError.Format("Visit WebSite Address:http://%s", domain.GetString());
        if (resolution.failure == EResolveFailure::kTimedOut) m_strError += "\r\n" + lookupError;
        return CString();
    }
    // The HTTP layer resolves the name again itself and names it as the request's host.
    limits.totalMs = std::max(1, step.Remaining());
    const CHttpHeaderAnswer answer =
        FetchRootHeaders(HostNameToAscii(domain), m_endpoints.websitePort, m_stop, limits);
    m_siteHeaders = answer.rawHeaders;
    if (answer.outcome.failure != EHttpFailure::kNone) {
        m_strError = WebsiteFailureLine(domain, m_endpoints.websitePort, answer.outcome);
        return CString();
    }
    if (answer.status == 200) return answer.rawHeaders;
    m_strError = "网站返回的状态不是200：\r\n" + answer.rawHeaders;
    return CString();
}
