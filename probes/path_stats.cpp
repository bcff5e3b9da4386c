#include "probes/path_stats.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/stop_signal.h"

namespace {

using CClock = std::chrono::steady_clock;

// Sleeps until the moment, in slices so a raised stop is noticed promptly. False when
// stopped.
bool WaitUntil(CClock::time_point moment, const CStopSignal* stop) {
    while (CClock::now() < moment) {
        if (IsStopRaised(stop)) return false;
        const auto left = moment - CClock::now();
        std::this_thread::sleep_for(
            std::min<CClock::duration>(left, std::chrono::milliseconds(kWaitSliceMs)));
    }
    return !IsStopRaised(stop);
}

// Takes one round's answers into the hops. True when the destination answered; *reach
// is then the lowest TTL it answered at.
bool TakeRound(const std::vector<int>& ttls, const std::vector<CIcmpResult>& results,
               const CPathProbing& probing, CPathTrace* trace, int* reach) {
    bool destination = false;
    for (size_t i = 0; i < ttls.size(); ++i) {
        CPathProbeHop& hop = trace->hops[static_cast<size_t>(ttls[i] - 1)];
        ++hop.sent;
        if (i >= results.size()) continue;  // an engine that answered short: those were lost
        const CIcmpResult& r = results[i];
        if (r.answer == EIcmpAnswer::kNoAnswer || r.from.empty()) continue;
        hop.Answer(r.from, r.rttMs, probing.label(CString(r.from)));
        if (r.answer == EIcmpAnswer::kEchoReply || r.from == trace->target) {
            *reach = std::min(*reach, ttls[i]);
            destination = true;
        }
    }
    return destination;
}

// Hops past the destination are not shown; without it, neither are the silent ones
// after the last that answered.
void CutAfterEnd(CPathTrace* trace, int reach, bool reached) {
    size_t keep = static_cast<size_t>(reach);
    if (!reached) {
        while (keep > 0 && trace->hops[keep - 1].addresses.empty()) --keep;
    }
    trace->hops.resize(std::min(keep, trace->hops.size()));
}

}  // namespace

CPathTrace ProbeRounds(CIcmpEcho& echo, CPathTrace trace, const CPathProbing& probing,
                       const CStopSignal* stop) {
    const int maxHops = std::max(1, probing.maxHops);
    trace.rounds = probing.rounds;
    trace.hops.assign(static_cast<size_t>(maxHops), CPathProbeHop());
    int reach = maxHops;
    bool reached = false;
    const auto start = CClock::now();
    const auto interval = std::chrono::milliseconds(probing.intervalMs);
    for (int round = 0; round < probing.rounds; ++round) {
        if (!WaitUntil(start + round * interval, stop)) break;
        std::vector<int> ttls;
        for (int ttl = 1; ttl <= reach; ++ttl) ttls.push_back(ttl);
        // A round's answers are awaited no longer than the gap to the next round.
        const std::vector<CIcmpResult> results =
            echo.SendRound(ttls, std::max(1, probing.intervalMs));
        if (TakeRound(ttls, results, probing, &trace, &reach)) reached = true;
    }
    CutAfterEnd(&trace, reach, reached);
    return trace;
}
