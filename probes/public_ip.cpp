#include "probes/public_ip.h"

#include "engine/probe_session.h"
#include "platform/http_client.h"
#include "platform/ipv4_parse.h"
#include "probes/http_failure_text.h"

int IsIPv4Literal(CString text) {
    return ParseClassicIPv4(text.GetString()) != kInvalidIPv4 ? 1 : 0;
}

namespace {

CString PublicIpPageUrl(const CProbeEndpoints& endpoints) {
    CString url = "http://" + endpoints.publicIpHost;
    if (endpoints.publicIpPort != 80) {
        CString port;
        port.Format(":%d", endpoints.publicIpPort);
        url += port;
    }
    return url + "/ic.asp";
}

// Only the line's first "[" and first "]" count; a "]" before the "[" leaves an
// empty candidate, which is no address.
bool HoldsBracketedAddress(const CString& line) {
    const int open = line.Find('[');
    const int close = line.Find(']');
    if (open < 0 || close < 0) return false;
    return IsIPv4Literal(line.Mid(open + 1, close - open - 1)) != 0;
}

// The text between the first "<center>" and the first "</center>". An absent marker
// counts as position -1, and the substring clamps what falls outside the line.
CString CenterText(const CString& line) {
    const int start = line.Find("<center>");
    const int end = line.Find("</center>");
    return line.Mid(start + 8, end - start - 8);
}

CString PageFailureLine(const CHttpOutcome& outcome) {
    CString text;
    text.Format("无法访问公网IP查询页面：%s\r\n", DescribeHttpFailure(outcome).GetString());
    return text;
}

}  // namespace

// Always succeeds: a page without the address line leaves the result as it was, and a
// page that cannot be fetched is reported in the result as one line.
int CProbeSession::FetchPublicIP() {
    CHttpPage page(m_stop, m_endpoints.httpLimits);
    if (!page.Open(PublicIpPageUrl(m_endpoints))) {
        m_strResult = PageFailureLine(page.Outcome());
        return 1;
    }
    CString line;
    while (page.ReadLine(&line)) {
        if (!HoldsBracketedAddress(line)) continue;
        m_strResult = CenterText(line);
        return 1;
    }
    if (page.Outcome().failure != EHttpFailure::kNone)
        m_strResult = PageFailureLine(page.Outcome());
    return 1;
}
