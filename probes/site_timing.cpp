// The site timing step: where the time of a request to the site goes, over each address
// family the name has, and what the CDN in front of the site says about its cache.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "model/site_timing_text.h"
#include "platform/deadline.h"
#include "platform/dns_records.h"
#include "platform/host_name.h"
#include "probes/extended_checks.h"
#include "probes/http_failure_text.h"

namespace {

const int kRequestsEach = 3;
// A request given less than this is not made: it could not tell a slow site from one cut
// off by the step's limit.
const int kLeastRequestMs = 500;
const char kStepOutOfTime[] = "本步骤时限已到，未完成";
// Header lines kept per address and family, whatever the server sends.
const size_t kMostHeaderLines = 12;

// Headers that CDNs and caches in front of a site set, with the Chinese CDNs' own.
const char* const kCdnHeaders[] = {
    "Via",           "X-Via",         "X-Cache",        "X-Cache-Lookup",
    "X-Cache-Status", "X-Cache-Hits", "CF-Cache-Status", "CF-Ray",
    "Age",           "Server-Timing", "X-Served-By",    "X-Amz-Cf-Pop",
    "X-Swift-CacheTime", "X-Swift-SaveTime", "Ali-Swift-Global-Savetime", "EagleId",
    "X-Ws-Request-Id", "X-Cdn-Src-Port", "X-Cdn-Src-Ip", "X-Daa-Tunnel",
};

struct CFamily {
    const char* name;
    EDnsType type;
    bool ipv6;
};
const CFamily kFamilies[] = {{"IPv4", EDnsType::kA, false}, {"IPv6", EDnsType::kAaaa, true}};

bool SameName(const std::string& a, const char* b) {
    const std::string other(b);
    if (a.size() != other.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(other[i])))
            return false;
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// The CDN and cache header lines of a header block, in the order received.
void TakeCdnHeaders(const CSiteTimingRowFacts& row, const std::string& block,
                    std::vector<CSiteHeaderFacts>* headers) {
    size_t kept = 0;
    for (size_t at = block.find("\r\n"); at != std::string::npos && kept < kMostHeaderLines;) {
        const size_t start = at + 2;
        at = block.find("\r\n", start);
        const std::string line = block.substr(start, at == std::string::npos ? at : at - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, colon);
        for (const char* known : kCdnHeaders) {
            if (!SameName(name, known)) continue;
            headers->push_back({row.scheme, row.family, known,
                                EscapeHeaderValue(Trimmed(line.substr(colon + 1)))});
            ++kept;
            break;
        }
    }
}

// The requests' share of each phase (see site_timing_facts.h).
struct CPhaseSamples {
    std::vector<double> dns, connect, tls, firstByte, total;

    void Add(const CPhaseMoments& at) {
        if (at.resolved >= 0) dns.push_back(at.resolved);
        if (at.connected >= 0) connect.push_back(at.connected - std::max(0.0, at.resolved));
        if (at.secured >= 0 && at.connected >= 0) tls.push_back(at.secured - at.connected);
        const double ready = std::max(at.secured, at.connected);
        if (at.firstByte >= 0 && ready >= 0) firstByte.push_back(at.firstByte - ready);
        if (at.done >= 0) total.push_back(at.done);
    }
    void Summarize(CSiteTimingRowFacts* row) const {
        row->dns = SummarizePhase(dns);
        row->connect = SummarizePhase(connect);
        row->tls = SummarizePhase(tls);
        row->firstByte = SummarizePhase(firstByte);
        row->total = SummarizePhase(total);
    }
};

struct CRowTarget {
    const char* scheme;
    const CFamily* family;
    CString host;  // ASCII
    int port;
};

// Up to three requests; after one that timed out the site is taken as silent.
CSiteTimingRowFacts TimeRow(const CRowTarget& target, const CDeadline& step, CStopSignal* stop,
                            std::vector<CSiteHeaderFacts>* headers) {
    CSiteTimingRowFacts row;
    row.scheme = target.scheme;
    row.family = target.family->name;
    row.requests = kRequestsEach;
    CPhaseSamples samples;
    std::string lastHeaders;
    for (int i = 0; i < kRequestsEach; ++i) {
        const int left = step.Remaining() - kHttpChildGraceMs;
        if (left < kLeastRequestMs) {
            row.failure = kStepOutOfTime;
            break;
        }
        const CTimedRootAnswer answer =
            TimeSiteRoot(target.scheme, target.host, target.port, target.family->ipv6, stop,
                         std::min(kSiteTimingRequestLimitMs, left));
        if (!answer.peer.IsEmpty()) row.address = answer.peer.Bytes();
        if (answer.outcome.failure != EHttpFailure::kNone) {
            row.failure = DescribeHttpFailure(answer.outcome).Bytes();
            if (answer.outcome.failure == EHttpFailure::kTimedOut ||
                answer.outcome.failure == EHttpFailure::kStopped)
                break;
            continue;
        }
        ++row.answered;
        row.status = answer.status;
        lastHeaders = answer.rawHeaders.Bytes();
        samples.Add(answer.at);
    }
    samples.Summarize(&row);
    if (row.answered == row.requests) row.failure.clear();
    TakeCdnHeaders(row, lastHeaders, headers);
    return row;
}

// Whether the name has addresses of the family; when it has none, or the lookup failed,
// the note that says so.
bool HasAddresses(const CString& domain, const CFamily& family, const CDeadline& step,
                  CStopSignal* stop, CSiteTimingFacts* facts) {
    const int limit = std::max(1, std::min(kSiteTimingLookupLimitMs, step.Remaining()));
    const CDnsAnswer answer = QueryDnsRecords(domain, family.type, limit, stop);
    const std::string family4or6 = family.name;
    const std::string record = family.ipv6 ? "AAAA" : "A";
    if (answer.failure == EPlatformError::kTimedOut) {
        facts->familyNotes.push_back(family4or6 + "：" + record + "记录查询超时");
        return false;
    }
    for (const CDnsRecord& found : answer.records)
        if (found.type == family.type) return true;
    if (answer.failure != EPlatformError::kNone && answer.failure != EPlatformError::kNotFound) {
        facts->familyNotes.push_back(family4or6 + "：" + record + "记录查询失败");
    } else {
        facts->familyNotes.push_back(family4or6 + "：该域名没有" + family4or6 + "地址");
    }
    return false;
}

}  // namespace

CStepOutcome CheckSiteTiming(const CString& domain, const CProbeEndpoints& endpoints,
                             CStopSignal* stop) {
    const CDeadline step(kSiteTimingStepLimitMs);
    CSiteTimingFacts facts;
    facts.domain = domain.Bytes();
    facts.requestsEach = kRequestsEach;
    std::vector<const CFamily*> families;
    for (const CFamily& family : kFamilies)
        if (HasAddresses(domain, family, step, stop, &facts)) families.push_back(&family);
    const CString host = HostNameToAscii(domain);
    CStepOutcome outcome;
    for (const char* scheme : {"http", "https"}) {
        const int port = std::string(scheme) == "http" ? endpoints.websitePort : endpoints.httpsPort;
        for (const CFamily* family : families) {
            facts.rows.push_back(TimeRow({scheme, family, host, port}, step, stop, &facts.headers));
            if (facts.rows.back().answered > 0) outcome.ok = true;
        }
    }
    outcome.text = CString(RenderSiteTimingText(facts));
    return outcome;
}

CStepOutcome TimeSite(const CProbeContext& context, const CString& domain) {
    return CheckSiteTiming(domain, context.endpoints, context.stop);
}
