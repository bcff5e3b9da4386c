// The route: tracert's last answering hop, and the path statistics' loss and latency.
#include "diagnosis/finding_rules.h"
#include "diagnosis/path_loss.h"
#include "diagnosis/thresholds.h"

namespace {

std::string HopName(const CPathHop& hop) {
    std::string name = "第" + std::to_string(hop.number) + "跳（" + Clip(hop.address, 46);
    if (!hop.label.empty()) name += "，" + Clip(hop.label, 60);
    return name + "）";
}

bool SiteConnects(const CReport& report) {
    const CStepRecord* http = report.Find(EReportStep::kHttpPort);
    return http && http->port.sent > 0 && http->port.connected > 0;
}

void AddRouteStops(CFindingList* list, const CStepRecord& block) {
    const CTraceFacts& trace = block.trace;
    if (trace.target.empty() || trace.hops.empty()) return;
    int lastAnswer = -1;
    for (size_t i = 0; i < trace.hops.size(); ++i) {
        if (trace.hops[i].address == trace.target) return;
        if (!trace.hops[i].address.empty()) lastAnswer = static_cast<int>(i);
    }
    const int silent = static_cast<int>(trace.hops.size()) - 1 - lastAnswer;
    if (silent == 0) return;
    const ESeverity severity =
        SiteConnects(list->Report()) ? ESeverity::kInfo : ESeverity::kWarning;
    if (lastAnswer < 0) {
        list->Add("route-stops", severity, block, "Tracert到%s的%s跳全部没有应答。",
                  {Clip(trace.target, 46), std::to_string(silent)});
        return;
    }
    list->Add(
        "route-stops", severity, block,
        "Tracert在第%s跳（%s）之后再无应答，其后%s跳都超时，没有到达%s。",
        {std::to_string(trace.hops[lastAnswer].ttl), Clip(trace.hops[lastAnswer].address, 46),
         std::to_string(silent), Clip(trace.target, 46)});
}

void AddPathLoss(CFindingList* list, const CStepRecord& block, const std::vector<CPathHop>& hops) {
    const CPathLossReading reading = ReadPathLoss(hops);
    if (reading.kind == EPathLoss::kPersistent) {
        const CPathHop& start = hops[reading.hop];
        list->Add("path-loss",
                  reading.destinationLoss >= diagnosis_limits::kPathLossCriticalPercent
                      ? ESeverity::kCritical
                      : ESeverity::kWarning,
                  block,
                  "从%s起丢包率为%s%%，并一直持续到目标（目标丢包率%s%%"
                  "）：问题出在这一跳或它与上一跳之间的线路。",
                  {HopName(start), Number(start.lossPercent), Number(reading.destinationLoss)});
    } else if (reading.kind == EPathLoss::kIntermediateOnly) {
        const CPathHop& hop = hops[reading.hop];
        list->Add("path-loss-intermediate-only", ESeverity::kInfo, block,
                  "%s有%s%%的丢包，但没有延续到目标：这是路由器限制了对探测的回应，不是故障。",
                  {HopName(hop), Number(hop.lossPercent)});
    }
}

// The first hop whose rise over the answering hop before it is kept to the destination.
void AddLatency(CFindingList* list, const CStepRecord& block, const std::vector<CPathHop>& hops) {
    if (hops.empty() || hops.back().averageMs < 0) return;
    const double destination = hops.back().averageMs;
    const CPathHop* previous = nullptr;
    for (const CPathHop& hop : hops) {
        if (hop.averageMs < 0) continue;
        if (previous && hop.averageMs - previous->averageMs > diagnosis_limits::kLatencyJumpMs &&
            destination - previous->averageMs > diagnosis_limits::kLatencyJumpMs) {
            list->Add(
                "high-latency", ESeverity::kWarning, block,
                "延迟在%s陡增了%sms，并一直持续到目标（平均%sms）。",
                {HopName(hop), Number(hop.averageMs - previous->averageMs), Number(destination)});
            return;
        }
        previous = &hop;
    }
    if (destination > diagnosis_limits::kHighLatencyMs) {
        list->Add("high-latency", ESeverity::kWarning, block, "到目标的平均延迟为%sms，超过%sms。",
                  {Number(destination), Number(diagnosis_limits::kHighLatencyMs)});
    }
}

// The first row of each TTL: the further addresses of a balanced route are not judged.
std::vector<CPathHop> HopsOf(const CPathTableFacts& table) {
    std::vector<CPathHop> hops;
    for (const CPathRowFacts& row : table.rows) {
        if (!hops.empty() && hops.back().number == row.ttl) continue;
        hops.push_back(HopOfRow(row));
    }
    return hops;
}

}  // namespace

void AddPathFindings(CFindingList* list) {
    const CReport& report = list->Report();
    if (const CStepRecord* ping = report.Find(EReportStep::kPing)) {
        const CPingFacts& echo = ping->ping;
        if (echo.sent > 0 && echo.received > 0 && echo.averageMs > diagnosis_limits::kHighLatencyMs) {
            list->Add("high-latency", ESeverity::kWarning, *ping,
                      "Ping到网站的平均往返时间为%sms，超过%sms。",
                      {Number(echo.averageMs), Number(diagnosis_limits::kHighLatencyMs)});
        }
    }
    if (const CStepRecord* trace = report.Find(EReportStep::kTracert)) AddRouteStops(list, *trace);
    const CStepRecord* path = report.Find(EReportStep::kPathStatistics);
    if (!path) return;
    // One table per address family.
    for (const CPathTableFacts* table : {&path->path.ipv4, path->path.ipv6 ? &*path->path.ipv6 : nullptr}) {
        if (!table) continue;
        const std::vector<CPathHop> hops = HopsOf(*table);
        AddPathLoss(list, *path, hops);
        AddLatency(list, *path, hops);
    }
}
