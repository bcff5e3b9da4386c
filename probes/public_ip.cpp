#include "probes/public_ip.h"

#include "probes/probe_session.h"
#include "platform/http_client.h"
#include "platform/ipv4_parse.h"
#include "probes/address_sources.h"
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
CString BracketedText(const CString& line) {
    const int open = line.Find('[');
    return line.Mid(open + 1, line.Find(']') - open - 1);
}

bool HoldsBracketedAddress(const CString& line) {
    if (line.Find('[') < 0 || line.Find(']') < 0) return false;
    return IsIPv4Literal(BracketedText(line)) != 0;
}

// The text between the first "<center>" and the first "</center>". An absent marker
// counts as position -1, and the substring clamps what falls outside the line.
CString CenterText(const CString& line) {
    const int start = line.Find("<center>");
    const int end = line.Find("</center>");
    return line.Mid(start + 8, end - start - 8);
}

CString PageFailureLine(const CHttpOutcome& outcome, const CString& url) {
    CString text;
    text.Format("无法访问公网IP查询页面：%s\r\n",
                DescribeHttpFailureAfterRedirects(outcome, url).GetString());
    return text;
}

// Why a page that did answer gave no address: its status, or the missing line.
CString NoAddressLine(const CHttpPage& page) {
    const CString status = page.StatusLine().IsEmpty() ? CString("没有状态行") : page.StatusLine();
    CString text;
    if (page.Status() != 200) {
        text.Format("公网IP查询页面返回的状态不是200：%s\r\n", status.GetString());
    } else {
        text.Format("公网IP查询页面中没有找到IP地址行（%s）\r\n", status.GetString());
    }
    return text;
}

// The page's line, or one line saying why there is none; *address gets the page's
// bracketed address when it gave one.
CString ReadPublicIpPage(const CProbeEndpoints& endpoints, CStopSignal* stop, CString* address) {
    CHttpPage page(stop, endpoints.httpLimits);
    const CString url = PublicIpPageUrl(endpoints);
    if (!page.Open(url)) return PageFailureLine(page.Outcome(), url);
    CString line;
    while (page.ReadLine(&line)) {
        if (!HoldsBracketedAddress(line)) continue;
        *address = BracketedText(line);
        return CenterText(line);
    }
    return page.Outcome().failure != EHttpFailure::kNone ? PageFailureLine(page.Outcome(), url)
                                                         : NoAddressLine(page);
}

}  // namespace

// Always succeeds: a page that cannot be fetched, or holds no address line, is reported
// in the result as one line that says why. The independent services are asked only
// after the page, and add a line only when they contradict it or fill its gap.
int CProbeSession::FetchPublicIP() {
    CString pageAddress;
    m_strResult = ReadPublicIpPage(m_endpoints, m_stop, &pageAddress);
    const CString extra = CrossCheckLine(
        pageAddress,
        AskAddressSources(m_endpoints.addressSources, m_endpoints.addressSourceLimits, m_stop));
    if (extra.IsEmpty()) return 1;
    // The page's own line carries no line end.
    if (!m_strResult.IsEmpty() && m_strResult.Right(1) != CString("\n")) m_strResult += "\r\n";
    m_strResult += extra;
    return 1;
}
