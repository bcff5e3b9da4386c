#include "diagnosis/path_loss.h"

#include "diagnosis/thresholds.h"

namespace {

bool IsSilent(const CPathHop& hop) { return hop.address == "???" || hop.lossPercent >= 100.0; }

bool IsLossy(const CPathHop& hop) { return hop.lossPercent > diagnosis_limits::kPathLossPercent; }

}  // namespace

CPathLossReading ReadPathLoss(const std::vector<CPathHop>& hops) {
    CPathLossReading reading;
    // A destination that never answers could be one that drops echoes: nothing to judge.
    if (hops.empty() || IsSilent(hops.back())) return reading;
    const int last = static_cast<int>(hops.size()) - 1;
    reading.destinationLoss = hops[last].lossPercent;
    if (IsLossy(hops[last])) {
        reading.kind = EPathLoss::kPersistent;
        reading.hop = last;
        for (int i = last - 1; i >= 0; --i) {
            if (IsSilent(hops[i])) continue;
            if (!IsLossy(hops[i])) break;
            reading.hop = i;
        }
        return reading;
    }
    for (int i = 0; i < last; ++i) {
        if (IsSilent(hops[i]) || !IsLossy(hops[i])) continue;
        if (reading.hop < 0 || hops[i].lossPercent > hops[reading.hop].lossPercent) reading.hop = i;
    }
    if (reading.hop >= 0) reading.kind = EPathLoss::kIntermediateOnly;
    return reading;
}

CPathHop HopOfRow(const CPathRowFacts& row) {
    CPathHop hop;
    hop.number = row.ttl;
    hop.address = row.address;
    hop.lossPercent = row.lossPercent;
    hop.averageMs = row.averageMs;
    hop.label = row.label;
    return hop;
}
