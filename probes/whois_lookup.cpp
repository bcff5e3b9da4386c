#include <algorithm>

#include "probes/probe_session.h"
#include "platform/deadline.h"
#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "probes/platform_error_text.h"
#include "probes/whois_answer.h"
#include "probes/whois_text.h"

namespace {

const char kConnectFailed[] = "无法连接whois服务器%s：%s\r\n";
const char kDomainIncomplete[] = "域名不完整，无法查询whois信息\r\n";

// Notices end a kept answer that was cut short. They use bare LF like most whois
// answers; the lookup turns them into CR LF with the rest of the text.
const char kCappedNotice[] = "\n（whois应答超过1MB，其余部分已省略）\n";
const char kSilenceNotice[] = "\n（whois服务器%d秒没有发送数据，已停止接收，以上应答可能不完整）\n";
const char kQueryLimitNotice[] =
    "\n（whois应答超过%d秒仍未结束，已停止接收，以上应答可能不完整）\n";

const char kNothingSent[] = "whois服务器%s没有返回任何数据\r\n";
const char kNothingSentInTime[] = "whois服务器%s在%d秒内没有返回任何数据\r\n";

// The failure line of a connection that could not be made or broke before any answer.
CString ConnectFailureLine(const CString& server, const CPlatformError& cause) {
    CString line;
    line.Format(kConnectFailed, server.GetString(), DescribePlatformError(cause).GetString());
    return line;
}

// What a query returns for an answer that ended the given way; empty means failure, with
// the reason in *error. readError is why reading failed, for kReadError.
CString FinishAnswer(const CWhoisAnswer& answer, const CWhoisLimits& limits,
                     const CString& server, const CPlatformError& readError, CString* error) {
    const CString& text = answer.text;
    CString notice;
    switch (answer.end) {
        case CWhoisAnswer::kStopped:
            return text;
        case CWhoisAnswer::kClosed:
            if (text.IsEmpty()) error->Format(kNothingSent, server.GetString());
            return text;
        case CWhoisAnswer::kReadError:
            // A broken connection after part of the answer still leaves a usable record.
            if (text.IsEmpty()) *error = ConnectFailureLine(server, readError);
            return text;
        case CWhoisAnswer::kCapped:
            return text + kCappedNotice;
        case CWhoisAnswer::kSilence:
            if (text.IsEmpty()) error->Format(kNothingSentInTime, server.GetString(), (limits.silenceMs + 999) / 1000);
            notice.Format(kSilenceNotice, limits.silenceMs / 1000);
            break;
        case CWhoisAnswer::kQueryLimit:
            if (text.IsEmpty()) error->Format(kNothingSentInTime, server.GetString(), (limits.queryMs + 999) / 1000);
            notice.Format(kQueryLimitNotice, limits.queryMs / 1000);
            break;
    }
    return text.IsEmpty() ? text : text + notice;
}

}  // namespace

int CProbeSession::LookupWhois(CString domain) {
    const CString key = domain.Mid(domain.ReverseFind('.') + 1);
    CString server = LookupWhoisServer(key);
    const CString first = QueryWhoisServer(server, domain);
    if (first.IsEmpty()) return LookupRdapInstead(domain);
    CString referral;
    if (FindWhoisReferral(first, &referral)) server = referral;
    server.Trim();
    if (server == m_endpoints.referralFrom) server = m_endpoints.referralTo;
    if (IsStopRaised(m_stop)) return 0;
    const CString second = QueryWhoisServer(server, domain);
    if (second.IsEmpty()) return LookupRdapInstead(domain);
    m_strResult = LineFeedsToCrLf(second);
    return 1;
}

CString CProbeSession::QueryWhoisServer(CString server, CString domain) {
    server.Trim();
    const CWhoisLimits& limits = m_endpoints.whoisLimits;
    // The query's limit covers the name lookup too.
    const CDeadline queryDeadline(limits.queryMs);
    const CString address =
        ResolveHostIPv4(server, std::min(kNameLookupLimitMs, queryDeadline.Remaining()));
    if (address.IsEmpty()) return CString();
    CTcpSocket socket(m_stop);
    if (!socket.Connect(address, m_endpoints.whoisPort,
                        std::min(limits.connectMs, queryDeadline.Remaining()))) {
        m_strError = ConnectFailureLine(server, socket.LastError());
        return CString();
    }
    if (!LastTwoLabels(domain, &domain)) {
        socket.Close();
        m_strError = kDomainIncomplete;
        return CString();
    }
    CString query = domain + "\r\n";
    if (server == m_endpoints.whoisEqualsPrefixHost) query = "=" + query;
    const int sendLimitMs = std::min(limits.silenceMs, queryDeadline.Remaining());
    if (socket.Send(query.GetString(), query.GetLength(), sendLimitMs) < query.GetLength()) {
        m_strError = ConnectFailureLine(server, socket.LastError());
        return CString();
    }
    const CWhoisAnswer answer = ReadWhoisAnswer(socket, limits, queryDeadline, m_stop);
    const CPlatformError readError = socket.LastError();
    socket.Close();
    return FinishAnswer(answer, limits, server, readError, &m_strError);
}
