// The words the writer and the reader of a report share: the steps with their numbers
// and names, the banner, the header and the separator, and the verdicts (an id and its
// sentence). The reader recognises a verdict by the sentence of this table, never by a
// copy of it.
#pragma once

#include <string>
#include <string_view>

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
    kDiagnosis,
};

// The steps in run order, each with the number it has in a run that has it and the
// earlier steps whose facts it reads.
struct CStepEntry {
    EReportStep step;
    int number;
    const char* name;  // GBK header name
    const char* reads;  // e.g. "2" (the public address of step 2), "" for none
};
// kUnknown gives null.
const CStepEntry* StepEntry(EReportStep step);
// The step of a header's name (GBK), or kUnknown.
EReportStep StepOfName(std::string_view name);

extern const char kReportBanner[];     // the banner line, CR LF included
extern const char kDiagnosisBlockName[];
// "\r\n第N步---NAME：TIME\r\n"
std::string StepHeader(int number, std::string_view name, std::string_view time);
// "\r\n \r\n" and the line of stars, without a line end of its own.
std::string StepSeparator();
// A header's time stamp: "2026-12- 7 20: 5: 3" (fields padded with blanks).
std::string StepStamp(int year, int month, int day, int hour, int minute, int second);
// The step whose entry has this number in a run (1 to 15), or kUnknown.
EReportStep StepOfNumber(int number);

// A verdict: a stable id and the GBK sentence the report prints for it. A sentence may
// hold one "%s", where the line carries a value of its own (a count, an adapter's name).
struct CVerdict {
    const char* id;
    const char* sentence;
};
// The sentence of an id with its "%s" filled by value, without a line end; "" for an
// unknown id.
std::string VerdictText(std::string_view id, std::string_view value = {});
// The value a line holds in the "%s" of its verdict's sentence ("" when none).
std::string VerdictValue(const CVerdict& verdict, std::string_view line);
// The verdict of an id, or null.
const CVerdict* VerdictById(std::string_view id);
// The verdict whose sentence the line is (or begins with, for sentences with a tail), or
// null.
const CVerdict* VerdictOfLine(std::string_view line);
