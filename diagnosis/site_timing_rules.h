// The findings of the site timing step, read from its facts.
#pragma once

#include <vector>

#include "diagnosis/findings.h"
#include "model/site_timing_facts.h"

// One finding per id, resting on step; each names the address and family that shows it.
std::vector<CFinding> JudgeSiteTiming(const CSiteTimingFacts& facts, int step);
