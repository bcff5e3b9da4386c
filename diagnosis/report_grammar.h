// The report's grammar, read back from its bytes: the banner, then numbered blocks of a
// header ("第N步---NAME：TIME"), a body and a separator. Reports saved by any version read
// the same way; nothing here knows how a body was made.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a step is, found by its header's name so that a report with steps left out or
// renumbered still reads right.
enum class EReportStep {
    kUnknown = 0,
    kWhois,
    kPublicIp,
    kIpconfig,
    kFlushDns,
    kFtpPort,
    kHttpPort,
    kPing,
    kTracert,
    kWebsite,
    kDnsAnswers,
    kHttps,
    kIpv6,
    kPathStatistics,
    kEgress,
    kEnvironment,
    kSiteTiming,
    kDiagnosis,
};

struct CReportBlock {
    int number = 0;  // as the header says
    EReportStep step = EReportStep::kUnknown;
    std::string_view name;  // GBK bytes of the header's name
    std::string_view time;  // "2026-12- 7 20: 5: 3"
    std::string_view body;
    bool complete = false;  // false: the report ends inside this block
};

struct CParsedReport {
    bool isReport = false;
    std::vector<CReportBlock> blocks;
    // GBK sentences about the report itself: truncated, steps missing or unknown, or why
    // it is not a report at all.
    std::vector<std::string> notes;

    const CReportBlock* Find(EReportStep step) const;
};

// bytes must outlive the result: blocks point into it. A report whose lines end in LF
// alone (passed through a mail program) must be given with CR LF put back first; see
// RestoreLineEnds.
CParsedReport ParseReport(std::string_view bytes);

// Bytes whose banner ends in LF alone get every lone LF turned back into CR LF; anything
// else is returned as it is. True when *bytes changed.
bool RestoreLineEnds(std::string* bytes);

// The step of a header's name (GBK), or kUnknown.
EReportStep StepOfName(std::string_view name);
// The header name of the diagnosis block (GBK).
extern const char kDiagnosisBlockName[];
