#include "probes/rdap_lookup.h"

#include "probes/http_failure_text.h"
#include "probes/peer_text.h"

namespace {

// "RDAP服务器URL" + what happened + the details, as one line.
CString Line(const CString& url, const char* what, const CString& detail = CString()) {
    return "RDAP服务器" + PeerUrlText(url) + what + detail + "\r\n";
}

// The body as sent, up to the limit; true when the whole body fit under it.
bool ReadBody(CHttpPage& page, int limitBytes, std::string* body) {
    CString line;
    while (page.ReadLine(&line)) {
        body->append(line.Bytes());
        body->push_back('\n');
    }
    return static_cast<int>(body->size()) < limitBytes;
}

}  // namespace

CString RdapDomainUrl(const CString& base, const CString& asciiDomain) {
    return base + "domain/" + asciiDomain;
}

CRdapFetch FetchRdapRecord(const CString& url, CStopSignal* stop, const CHttpLimits& limits) {
    CRdapFetch fetch;
    CHttpPage page(stop, limits);
    if (!page.Open(url, "application/rdap+json")) {
        fetch.failure =
            Line(url, "无法访问：", DescribeHttpFailureAfterRedirects(page.Outcome(), url));
        return fetch;
    }
    if (page.Status() == 404) {
        fetch.notFound = true;
        fetch.failure = "RDAP中未找到该域名\r\n";
        return fetch;
    }
    if (page.Status() != 200) {
        const CString status =
            page.StatusLine().IsEmpty() ? CString("没有状态行") : page.StatusLine();
        fetch.failure = Line(url, "返回的状态不是200：", status);
        return fetch;
    }
    std::string body;
    const bool whole = ReadBody(page, limits.maxBodyBytes, &body);
    if (page.Outcome().failure != EHttpFailure::kNone) {
        fetch.failure =
            Line(url, "的应答没有收完：", DescribeHttpFailureAfterRedirects(page.Outcome(), url));
        return fetch;
    }
    if (!whole) {
        CString cap;
        cap.Format("的应答超过%dMB，已停止接收", limits.maxBodyBytes / (1024 * 1024));
        fetch.failure = Line(url, cap.GetString());
        return fetch;
    }
    switch (ParseRdapDomain(body, &fetch.record)) {
        case ERdapParse::kOk:
            fetch.ok = true;
            break;
        case ERdapParse::kNotJson:
            fetch.failure = Line(url, "的应答不是有效的JSON");
            break;
        case ERdapParse::kNotDomain:
            fetch.failure = Line(url, "的应答中没有域名信息");
            break;
        case ERdapParse::kTooComplex:
            fetch.failure = Line(url, "的应答嵌套过深或数据项过多，未读取");
            break;
    }
    return fetch;
}

CRdapFetch FetchRelatedRdapRecord(const CString& url, CStopSignal* stop, CHttpLimits limits,
                                  bool localPeersAllowed) {
    if (!MayFollowRdapLink(url.Bytes(), localPeersAllowed)) {
        CRdapFetch refused;
        refused.failure = Line(url, "不是https地址，未访问");
        return refused;
    }
    limits.publicHttpsOnly = !localPeersAllowed;
    return FetchRdapRecord(url, stop, limits);
}
