// tollvane --analyze FILE...: the findings of saved reports, for support desks reading
// the reports they receive; and the findings of a run just made.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "diagnosis/findings.h"

// Reads each file in turn (one in memory at a time) and prints its findings, as
// "[警告] ..." lines in the terminal's encoding, or, with json, as one document on out.
// Returns 0 when every file could be read as a report, else 2, having said why on err.
int AnalyzeReportFiles(const std::vector<std::string>& files, bool json, std::FILE* out,
                       std::FILE* err);

// The analysis's lines, "[严重] ..." first, in the terminal's encoding with control
// characters shown (the report's evidence is text a peer sent).
std::string FindingLines(const CAnalysis& analysis);

// After a run: its findings on stream (a terminal), under a title line.
void ShowRunFindings(const std::string& report, std::FILE* stream);
