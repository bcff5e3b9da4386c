#include "probes/public_ip.h"

#include "platform/http_client.h"
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

}  // namespace

// Always succeeds: a page that cannot be fetched, or holds no address line, is reported
// in the result as one line that says why.
CStepOutcome FetchPublicIP(const CProbeContext& context, const CString&) {
    CHttpPage page(context.stop, context.endpoints.httpLimits);
    const CString url = PublicIpPageUrl(context.endpoints);
    if (!page.Open(url)) return {true, PageFailureLine(page.Outcome(), url)};
    CString line;
    while (page.ReadLine(&line)) {
        CString text;
        if (PublicIpLineText(line, &text)) return {true, text};
    }
    return {true, page.Outcome().failure != EHttpFailure::kNone ? PageFailureLine(page.Outcome(), url)
                                                                : NoAddressLine(page)};
}
