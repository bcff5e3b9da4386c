// How per-hop loss is read: loss at a hop that does not carry on to the destination is a
// router answering probes slowly (rate-limited ICMP), not a fault; loss that starts at a
// hop and persists through every later answering hop to the destination starts there.
#pragma once

#include <vector>

#include "model/report_model.h"
#include "model/step_formats.h"

enum class EPathLoss {
    kNone,              // no hop over the limit, or nothing to judge by
    kPersistent,        // loss from `hop` to the destination
    kIntermediateOnly,  // loss only before the destination; `hop` is the worst one
};

struct CPathLossReading {
    EPathLoss kind = EPathLoss::kNone;
    int hop = -1;  // index into the hops given
    double destinationLoss = 0;
};

// hops in table order, the destination last. Hops that never answered ("???", 100%)
// are silent, not lossy, and are stepped over.
CPathLossReading ReadPathLoss(const std::vector<CPathHop>& hops);

// A row of the path statistics table as the hop the reading takes.
CPathHop HopOfRow(const CPathRowFacts& row);
