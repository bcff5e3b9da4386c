#include "probes/public_ip.h"

#include "model/step_facts.h"
#include "net/http_client.h"
#include "probes/address_sources.h"
#include "probes/http_failure_text.h"

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
        CString text;
        if (!PublicIpLineText(line, &text)) continue;
        *address = BracketedText(line);
        return text;
    }
    return page.Outcome().failure != EHttpFailure::kNone ? PageFailureLine(page.Outcome(), url)
                                                         : NoAddressLine(page);
}

}  // namespace

// Always succeeds: a page that cannot be fetched, or holds no address line, is reported
// in the result as one line that says why. The independent services are asked only
// after the page, and add a line only when they contradict it or fill its gap.
CStepOutcome FetchPublicIP(const CProbeContext& context, const CString&) {
    CString pageAddress;
    CString text = ReadPublicIpPage(context.endpoints, context.stop, &pageAddress);
    const CString extra = CrossCheckLine(
        pageAddress, AskAddressSources(context.endpoints.addressSources,
                                       context.endpoints.addressSourceLimits, context.stop));
    // The page's own line carries no line end.
    if (!extra.IsEmpty() && !text.IsEmpty() && text.Right(1) != CString("\n")) text += "\r\n";
    CStepOutcome outcome;
    outcome.text = text + extra;
    // The rest of the facts (label, the services' address) are the text's own words.
    outcome.facts = ReadStepRecord(EReportStep::kPublicIp, outcome.text.Bytes());
    outcome.facts.publicIp.address = pageAddress.Bytes();
    outcome.typed = true;
    outcome.ok = !pageAddress.IsEmpty() || !outcome.facts.publicIp.checkedAddress.empty();
    return outcome;
}
