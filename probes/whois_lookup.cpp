#include "probes/whois_lookup.h"

#include <algorithm>

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

// One query's answer, or the empty text with the reason in failureLine.
struct CWhoisQuery {
    CString answer;
    CString failureLine;
};

CWhoisQuery SendWhoisQuery(const CProbeContext& context, CTcpSocket& socket, const CString& server,
                           CString domain, const CDeadline& queryDeadline) {
    const CWhoisLimits& limits = context.endpoints.whoisLimits;
    CWhoisQuery query;
    if (!LastTwoLabels(domain, &domain)) {
        socket.Close();
        query.failureLine = kDomainIncomplete;
        return query;
    }
    CString line = domain + "\r\n";
    if (server == context.endpoints.whoisEqualsPrefixHost) line = "=" + line;
    const int sendLimitMs = std::min(limits.silenceMs, queryDeadline.Remaining());
    if (socket.Send(line.GetString(), line.GetLength(), sendLimitMs) < line.GetLength()) {
        query.failureLine = ConnectFailureLine(server, socket.LastError());
        return query;
    }
    const CWhoisAnswer answer = ReadWhoisAnswer(socket, limits, queryDeadline, context.stop);
    const CPlatformError readError = socket.LastError();
    socket.Close();
    query.answer = FinishAnswer(answer, limits, server, readError, &query.failureLine);
    return query;
}

CWhoisQuery QueryWhoisServer(const CProbeContext& context, CString server, CString domain) {
    server.Trim();
    const CWhoisLimits& limits = context.endpoints.whoisLimits;
    // The query's limit covers the name lookup too.
    const CDeadline queryDeadline(limits.queryMs);
    const CHostLookup lookup = ResolveHostIPv4(
        context, server, std::min(kNameLookupLimitMs, queryDeadline.Remaining()));
    CWhoisQuery query;
    if (lookup.resolution.address.IsEmpty()) {
        query.failureLine = lookup.failureLine;
        return query;
    }
    CTcpSocket socket(context.stop);
    if (!socket.Connect(lookup.resolution.address, context.endpoints.whoisPort,
                        std::min(limits.connectMs, queryDeadline.Remaining()))) {
        query.failureLine = ConnectFailureLine(server, socket.LastError());
        return query;
    }
    return SendWhoisQuery(context, socket, server, domain, queryDeadline);
}

}  // namespace

CWhoisServerTable::CWhoisServerTable(const CProbeEndpoints& endpoints) {
    for (const auto& row : endpoints.whoisRows) m_servers[row.first] = row.second;
}

CString CWhoisServerTable::Find(const CString& label) { return m_servers[label]; }

CStepOutcome LookupWhois(const CProbeContext& context, const CString& domain) {
    CWhoisServerTable servers(context.endpoints);
    return LookupWhois(context, domain, &servers);
}

CStepOutcome LookupWhois(const CProbeContext& context, const CString& domain,
                         CWhoisServerTable* servers) {
    CString server = servers->Find(domain.Mid(domain.ReverseFind('.') + 1));
    const CWhoisQuery first = QueryWhoisServer(context, server, domain);
    if (first.answer.IsEmpty()) return LookupRdapInstead(context, domain, first.failureLine);
    CString referral;
    if (FindWhoisReferral(first.answer, &referral)) server = referral;
    server.Trim();
    if (server == context.endpoints.referralFrom) server = context.endpoints.referralTo;
    if (IsStopRaised(context.stop)) return {false, CString()};
    const CWhoisQuery second = QueryWhoisServer(context, server, domain);
    if (second.answer.IsEmpty()) return LookupRdapInstead(context, domain, second.failureLine);
    return {true, LineFeedsToCrLf(second.answer)};
}
