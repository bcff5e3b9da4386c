#include "probes/http_failure_text.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "model/report_vocabulary.h"
#include "platform/host_name.h"
#include "probes/platform_error_text.h"
#include "probes/peer_text.h"

namespace {

// scheme://host:port/path with the scheme and host in lower case and the port always
// written. An address without "://" is left as it is.
std::string CanonicalAddress(const std::string& url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) return url;
    std::string scheme = url.substr(0, schemeEnd);
    const size_t hostStart = schemeEnd + 3;
    const size_t pathStart = std::min(url.find('/', hostStart), url.size());
    std::string authority = url.substr(hostStart, pathStart - hostStart);
    std::string path = url.substr(pathStart);
    for (char& ch : scheme) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (char& ch : authority) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (authority.find(':') == std::string::npos && authority.find(']') == std::string::npos) {
        if (scheme == "http") authority += ":80";
        if (scheme == "https") authority += ":443";
    }
    if (path.empty()) path = "/";
    return scheme + "://" + authority + path;
}

// A slow failure names its phase: a port that never answered, a server that took the
// connection and said nothing, and one that began its answer and stalled call for
// different fixes, and each is told apart only by where the waiting happened.
CString DescribeTimeOut(const CHttpProgress& progress) {
    CString text;
    const char* peer = progress.peer.GetString();
    if (progress.peer.IsEmpty()) {
        text = CString(VerdictText("failure-timed-out"));
    } else if (!progress.connected) {
        text.Format("连接到%s超时（%d秒）", peer, progress.waitedSeconds);
    } else if (progress.answerBytes <= 0) {
        text.Format("已连接到%s，但%d秒内没有应答", peer, progress.waitedSeconds);
    } else {
        text.Format("已连接到%s，但%d秒内应答只收到%ld字节", peer, progress.waitedSeconds,
                    static_cast<long>(progress.answerBytes));
    }
    return text;
}

}  // namespace

namespace {

// The HTTP failures that are a connection's failures, in the platform's vocabulary, so
// the report names them in the words it uses for every connection (platform_error_text.cpp).
EPlatformError AsConnectionFailure(EHttpFailure failure) {
    switch (failure) {
        case EHttpFailure::kRefused:
            return EPlatformError::kRefused;
        case EHttpFailure::kTimedOut:
            return EPlatformError::kTimedOut;
        case EHttpFailure::kConnectionLost:
            return EPlatformError::kConnectionLost;
        case EHttpFailure::kStopped:
            return EPlatformError::kStopped;
        default:
            return EPlatformError::kOther;
    }
}

}  // namespace

CString DescribeHttpFailure(const CHttpOutcome& outcome) {
    if (outcome.failure == EHttpFailure::kTimedOut) return DescribeTimeOut(outcome.progress);
    const EPlatformError connection = AsConnectionFailure(outcome.failure);
    if (connection != EPlatformError::kOther) return DescribePlatformError(PlatformError(connection));
    switch (outcome.failure) {
        case EHttpFailure::kNone:
            return CString();
        case EHttpFailure::kNameNotResolved:
            return CString(VerdictText("failure-name-unresolved"));
        case EHttpFailure::kCannotConnect:
            return "无法建立连接";
        case EHttpFailure::kInvalidAddress:
            return "地址无效";
        case EHttpFailure::kTooManyRedirects:
            return "重定向次数过多";
        case EHttpFailure::kHeadersTooLong:
            return "应答头过长";
        case EHttpFailure::kForbiddenAddress:
            return "目标不是公网上的https地址，已拒绝访问";
        default:
            break;
    }
    CString text;
    text.Format("网络错误（错误码%ld）", outcome.code);
    return text;
}

bool IsSameAddress(const CString& first, const CString& second) {
    return CanonicalAddress(first.Bytes()) == CanonicalAddress(second.Bytes());
}

CString DescribeHttpFailureAfterRedirects(const CHttpOutcome& outcome, const CString& requestedUrl) {
    const CString words = DescribeHttpFailure(outcome);
    const bool redirected = !outcome.url.IsEmpty() && !IsSameAddress(outcome.url, requestedUrl);
    if (!redirected || outcome.failure == EHttpFailure::kTooManyRedirects) return words;
    return "重定向到" + PeerUrlText(outcome.url) + "后" + words;
}

CString WebsiteFailureLine(const CString& domain, int port, const CHttpOutcome& outcome) {
    CString requested;
    requested.Format("http://%s:%d/", HostNameToAscii(domain).GetString(), port);
    CString line;
    line.Format("无法访问网站http://%s：%s\r\n", domain.GetString(),
                DescribeHttpFailureAfterRedirects(outcome, requested).GetString());
    return line;
}
