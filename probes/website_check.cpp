#include "engine/probe_session.h"
#include "platform/http_client.h"
#include "probes/http_failure_text.h"

int CProbeSession::CheckWebsite(CString domain) {
    m_strResult = FetchWebsiteHeaders(domain);
    return m_strResult.IsEmpty() ? 0 : 1;
}

// The headers of a status 200 answer to a GET of the site's root; the empty text for
// anything else. Only a name that does not resolve, or an exchange that broke off,
// leaves a message.
CString CProbeSession::FetchWebsiteHeaders(CString domain) {
    if (ResolveHostIPv4(domain).IsEmpty()) {
        m_strError.Format("Visit WebSite Address:http://%s", domain.GetString());
        return CString();
    }
    // The HTTP layer resolves the name again itself and names it as the request's host.
    const CHttpHeaderAnswer answer =
        FetchRootHeaders(domain, m_endpoints.websitePort, m_stop, m_endpoints.httpLimits);
    if (answer.outcome.failure != EHttpFailure::kNone) {
        m_strError.Format("无法访问网站http://%s：%s\r\n", domain.GetString(),
                          DescribeHttpFailure(answer.outcome).GetString());
        return CString();
    }
    return answer.status == 200 ? answer.rawHeaders : CString();
}
