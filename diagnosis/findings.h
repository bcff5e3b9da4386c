// The findings engine: report bytes in, plain-language findings out. It reads only the
// report's text, so a report just made, one saved long ago and one received by mail are
// judged alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ESeverity { kCritical = 0, kWarning = 1, kInfo = 2 };

struct CFinding {
    std::string id;  // stable: "site-unreachable", "path-loss", ...
    ESeverity severity = ESeverity::kInfo;
    int step = 0;      // the number of the block it rests on; 0 for all-clear
    std::string text;  // one GBK sentence with the evidence
};

struct CAnalysis {
    bool isReport = false;
    std::vector<CFinding> findings;  // most severe first, then by step
    std::vector<std::string> notes;  // GBK: truncated, steps missing, not a report
};

// bytes may hold LF-only line ends; they are read as CR LF.
CAnalysis AnalyzeReport(std::string_view bytes);

// "严重", "警告", "提示" (GBK).
const char* SeverityWord(ESeverity severity);
// "critical", "warning", "info".
const char* SeverityName(ESeverity severity);

// The block a run with the optional steps ends with: header numbered step, stamped with
// time (as the step headers are), one "[警告] ..." line per finding, then the separator.
std::string DiagnosisBlock(const CAnalysis& analysis, int step, std::string_view time);
