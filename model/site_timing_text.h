// The site timing step's text: written from its facts and read back into them by the
// same table of columns and words, so what the reader takes is what the writer wrote.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/site_timing_facts.h"

// The step's body, GBK, every line ending in CR LF: the heading, the table (a row per
// address and family, a line under a row whose requests did not all get an answer), the
// families without a row, then the CDN and cache headers.
std::string RenderSiteTimingText(const CSiteTimingFacts& facts);

// The facts of a body RenderSiteTimingText wrote; false (facts left partly filled) when
// the body is not one.
bool ReadSiteTimingText(std::string_view body, CSiteTimingFacts* facts);

// The median and the worst of the samples; -1 for both without any.
CPhaseFacts SummarizePhase(std::vector<double> samplesMs);

// A header value as the report may print it: printable ASCII kept, a backslash doubled,
// every other byte as \xNN, and no more than maxBytes of the value read.
std::string EscapeHeaderValue(std::string_view value, size_t maxBytes = 160);
