// The findings engine: a report's records in, plain-language findings out. It reads only
// the records' facts, so a run just made, a text report saved long ago, one received by
// mail and a JSON report are judged alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/report_model.h"

struct CAnalysis {
    bool isReport = false;
    std::vector<CFinding> findings;  // most severe first, then by step
    std::vector<std::string> notes;  // GBK: truncated, steps missing, not a report
};

// The findings of a report's records.
CAnalysis AnalyzeRecords(const CReport& report);
// A text report's bytes (LF-only line ends are read as CR LF).
CAnalysis AnalyzeReport(std::string_view bytes);

// "严重", "警告", "提示" (GBK).
const char* SeverityWord(ESeverity severity);
// "critical", "warning", "info".
const char* SeverityName(ESeverity severity);

// The block a run with the optional steps ends with: header numbered step, stamped with
// time (as the step headers are), one "[警告] ..." line per finding, then the separator.
std::string DiagnosisBlock(const CAnalysis& analysis, int step, std::string_view time);
// The same block as a step record.
CStepRecord DiagnosisRecord(const CAnalysis& analysis, int step, std::string_view time);
