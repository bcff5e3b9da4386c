// Where a slow site's time goes: the server's wait for its first byte, the TCP or the
// TLS handshake, or a half-working IPv6; and whether the CDN in front of it served from
// its cache.
#include "diagnosis/site_timing_rules.h"

#include <string>

#include "diagnosis/finding_rules.h"
#include "diagnosis/thresholds.h"

namespace {

namespace limits = diagnosis_limits;

class CJudgement {
public:
    explicit CJudgement(int step) : m_step(step) {}

    void Add(const char* id, ESeverity severity, const char* format,
             std::initializer_list<std::string> args) {
        for (const CFinding& finding : m_findings)
            if (finding.id == id) return;
        m_findings.push_back({id, severity, m_step, FillIn(format, args)});
    }
    std::vector<CFinding> Take() { return std::move(m_findings); }

private:
    int m_step;
    std::vector<CFinding> m_findings;
};

void JudgePhases(const CSiteTimingRowFacts& row, CJudgement* out) {
    if (row.firstByte.medianMs > limits::kSiteSlowFirstByteMs) {
        out->Add("site-slow-server", ESeverity::kWarning,
                 "网站服务器响应慢：%s（%s）连接就绪后等了%sms才收到第一个字节（中位数），"
                 "时间花在服务器处理上，而不是网络。",
                 {row.scheme, row.family, Number(row.firstByte.medianMs)});
    }
    if (row.connect.medianMs > limits::kSiteSlowConnectMs) {
        out->Add("site-slow-connect", ESeverity::kWarning,
                 "到网站的TCP连接建立慢：%s（%s）连接用时%sms（中位数），问题在网络路径或服务器过载。",
                 {row.scheme, row.family, Number(row.connect.medianMs)});
    }
    if (row.tls.medianMs > limits::kSiteSlowTlsMs) {
        out->Add("site-slow-tls", ESeverity::kWarning,
                 "网站的TLS握手慢：%s（%s）握手用时%sms（中位数）。",
                 {row.scheme, row.family, Number(row.tls.medianMs)});
    }
}

const CSiteTimingRowFacts* RowOf(const CSiteTimingFacts& facts, const std::string& scheme,
                                 const char* family) {
    for (const CSiteTimingRowFacts& row : facts.rows)
        if (row.scheme == scheme && row.family == family) return &row;
    return nullptr;
}

void JudgeFamilies(const CSiteTimingFacts& facts, CJudgement* out) {
    for (const CSiteTimingRowFacts& v4 : facts.rows) {
        const CSiteTimingRowFacts* v6 = v4.family == "IPv4" ? RowOf(facts, v4.scheme, "IPv6") : nullptr;
        if (!v6 || v4.answered == 0) continue;
        if (v6->answered == 0) {
            out->Add("ipv6-broken-only", ESeverity::kWarning,
                     "网站经IPv4能访问，经IPv6却不能（%s：%s）：支持IPv6的用户可能打不开网站，"
                     "或要等回落到IPv4才打开。",
                     {v4.scheme, v6->failure});
        } else if (v6->total.medianMs - v4.total.medianMs > limits::kIpv6SlowerMs &&
                   v6->total.medianMs > v4.total.medianMs * limits::kIpv6SlowerRatio) {
            out->Add("ipv6-slower", ESeverity::kWarning,
                     "网站经IPv6访问明显慢于IPv4（%s：IPv6用时%sms，IPv4用时%sms，中位数）："
                     "支持IPv6的用户会觉得网站慢。",
                     {v4.scheme, Number(v6->total.medianMs), Number(v4.total.medianMs)});
        }
    }
}

bool SaysMiss(const std::string& value) {
    std::string upper = value;
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return upper.find("MISS") != std::string::npos;
}

void JudgeCache(const CSiteTimingFacts& facts, CJudgement* out) {
    for (const CSiteHeaderFacts& header : facts.headers) {
        const std::string& name = header.name;
        const bool cacheStatus = name == "X-Cache" || name == "X-Cache-Lookup" ||
                                 name == "X-Cache-Status" || name == "CF-Cache-Status";
        if (!cacheStatus || !SaysMiss(header.value)) continue;
        out->Add("cdn-miss", ESeverity::kInfo,
                 "CDN缓存未命中（%s %s %s: %s）：请求回源到了源站，首次访问或缓存过期时属正常，"
                 "经常如此则源站的速度决定网站的速度。",
                 {header.scheme, header.family, name, Clip(header.value, 60)});
    }
}

}  // namespace

std::vector<CFinding> JudgeSiteTiming(const CSiteTimingFacts& facts, int step) {
    CJudgement judgement(step);
    for (const CSiteTimingRowFacts& row : facts.rows) JudgePhases(row, &judgement);
    JudgeFamilies(facts, &judgement);
    JudgeCache(facts, &judgement);
    return judgement.Take();
}

void AddSiteTimingFindings(CFindingList* list) {
    const CStepRecord* record = list->Report().Find(EReportStep::kSiteTiming);
    if (!record) return;
    for (const CFinding& finding : JudgeSiteTiming(record->timing, record->number))
        list->Add(finding.id.c_str(), finding.severity, *record, "%s", {finding.text});
}
