#include "engine/check_sequence.h"
#include "diagnosis/findings.h"
#include "model/step_facts.h"
#include "model/report_vocabulary.h"

#include <new>

#include "platform/stop_signal.h"
#include "probes/command_probes.h"
#include "probes/egress_dns.h"
#include "probes/extended_checks.h"
#include "probes/local_environment.h"
#include "probes/path_stats.h"
#include "probes/probe_context.h"
#include "probes/public_ip.h"
#include "probes/website_check.h"
#include "probes/whois_lookup.h"

namespace {

// The probe of each step; names, numbers and what each reads are the vocabulary's.
struct CCheckStep {
    EReportStep step;
    CStepOutcome (*probe)(const CProbeContext& context, const CString& domain);
};

const CCheckStep kSteps[kCheckStepCount + kExtendedStepCount] = {
    {EReportStep::kWhois, &LookupWhois},
    {EReportStep::kPublicIp, &FetchPublicIP},
    {EReportStep::kIpconfig, &GetLocalNetworkInfo},
    {EReportStep::kFlushDns, &FlushDnsCache},
    {EReportStep::kFtpPort, &ProbeFtpPort},
    {EReportStep::kHttpPort, &ProbeHttpPort},
    {EReportStep::kPing, &RunPing},
    {EReportStep::kTracert, &RunTracert},
    {EReportStep::kWebsite, &CheckWebsite},
    // Only when the run asks for them.
    {EReportStep::kDnsAnswers, &LookupDnsRecords},
    {EReportStep::kHttps, &CheckHttps},
    {EReportStep::kIpv6, &ProbeIpv6},
    {EReportStep::kPathStatistics, &TracePathStats},
    {EReportStep::kEgress, &CheckEgress},
    {EReportStep::kEnvironment, &CheckLocalSetup},
};

const char kStepOutOfMemory[] = "内存不足，本步骤未能完成。\r\n";
const char kRunOutOfMemory[] = "\r\n内存不足，检测已中止。\r\n";

CString FormatTimestamp(const CLocalTime& t) {
    return CString(StepStamp(t.year, t.month, t.day, t.hour, t.minute, t.second));
}

}  // namespace

const char* GetCheckStepName(int step) {
    return step >= 1 && step <= kCheckStepCount + kExtendedStepCount
               ? StepEntry(kSteps[step - 1].step)->name
               : "";
}

int CheckStepCount(const CCheckOptions& options) {
    return kCheckStepCount + (options.extended ? kExtendedStepCount : 0);
}

void AppendStepHeader(ICheckFrontEnd* frontEnd, int step, const CString& name, CLocalTime (*clock)()) {
    frontEnd->AppendOutput(CString(StepHeader(step, name.Bytes(), FormatTimestamp(clock()).Bytes())));
}

void AppendStepSeparator(ICheckFrontEnd* frontEnd) {
    frontEnd->AppendOutput(CString(StepSeparator()));
}

namespace {

// A step whose probe runs out of memory fails with a message of its own; whatever the
// probe had gathered is dropped, which also gives the memory back.
CStepOutcome RunStep(const CCheckStep& entry, const CProbeContext& context, const CString& domain) {
    try {
        return entry.probe(context, domain);
    } catch (const std::bad_alloc&) {
        return {false, kStepOutOfMemory};
    }
}

// The records of the earlier steps the step table says a step reads ("2", "9"), and
// only those, so a probe cannot come to depend on anything else unseen.
CReport EarlierRecords(const CReport& report, const CStepEntry& entry) {
    CReport visible;
    for (const char* at = entry.reads; *at; ++at) {
        if (*at < '0' || *at > '9') continue;
        int number = 0;
        while (*at >= '0' && *at <= '9') number = number * 10 + (*at++ - '0');
        if (const CStepRecord* record = report.Find(StepOfNumber(number))) visible.steps.push_back(*record);
        if (!*at) break;
    }
    return visible;
}

// The step's record: the probe's typed facts where it has them, else those read from
// its text. ok holds when the probe says so and, for a command, its output agrees.
CStepRecord StepRecord(int number, const CStepEntry& entry, const CStepOutcome& outcome,
                       const CString& ended) {
    CStepRecord record = outcome.typed ? outcome.facts : ReadStepRecord(entry.step, outcome.text.Bytes());
    record.ok = outcome.ok && (outcome.typed || record.ok);
    record.number = number;
    record.step = entry.step;
    record.name = entry.name;
    record.ended = ended.Bytes();
    record.text = outcome.text.Bytes();
    record.complete = true;
    return record;
}

// The front end is handed each step's block as it is rendered from its record.
void AppendRecord(ICheckFrontEnd* frontEnd, const CStepRecord& record) {
    frontEnd->AppendOutput(CString(StepHeader(record.number, record.name, record.ended)));
    frontEnd->AppendOutput(CString(record.text));
    if (record.step != EReportStep::kDiagnosis) frontEnd->StepProgress(record.number, CString(record.name));
    frontEnd->AppendOutput(CString(StepSeparator()));
}

// With the optional steps, the report ends with its own findings, computed from the
// records; without them it stays the nine-step report, byte for byte.
void Diagnose(ICheckFrontEnd* frontEnd, CReport* report, const CString& ended) {
    const CAnalysis analysis = AnalyzeRecords(*report);
    report->findings = analysis.findings;
    const int number = static_cast<int>(report->steps.size()) + 1;
    report->steps.push_back(DiagnosisRecord(analysis, number, ended.Bytes()));
    AppendRecord(frontEnd, report->steps.back());
}

int RunSteps(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options) {
    CReport report;
    report.isReport = true;
    report.domain = domain.Bytes();
    frontEnd->AppendOutput(kReportBanner);
    CProbeContext context(options.endpoints, options.stop);
    if (options.extended) {
        context.reservedAfterWebsiteMs = kExtendedStepsLimitMs + PathStepLimitMs(options.pathRounds);
        context.pathRounds = options.pathRounds;
    }
    const int steps = CheckStepCount(options);
    context.onCommandLine = [frontEnd](const CString& line) { frontEnd->CommandPrinted(line); };
    for (int step = 1; step <= steps; ++step) {
        const CStepEntry& entry = *StepEntry(kSteps[step - 1].step);
        frontEnd->StepStarted(step, steps);
        const CReport earlier = EarlierRecords(report, entry);
        context.earlier = &earlier;
        const CStepOutcome outcome = RunStep(kSteps[step - 1], context, domain);
        // Once the front end has asked to stop, nothing more reaches it.
        if (IsStopRaised(options.stop)) return 0;
        report.steps.push_back(StepRecord(step, entry, outcome, FormatTimestamp(options.clock())));
        AppendRecord(frontEnd, report.steps.back());
    }
    context.earlier = nullptr;
    if (options.extended) Diagnose(frontEnd, &report, FormatTimestamp(options.clock()));
    frontEnd->RunRecorded(report);
    frontEnd->NotifyCheckDone();
    return 0;
}

}  // namespace

// Memory running out anywhere else in a run (the report, the front end) ends the run
// with a line saying so, and the front end is told the run is over as after the last
// step, so the program carries on instead of ending.
int CheckThreadProc(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options) {
    try {
        return RunSteps(frontEnd, domain, options);
    } catch (const std::bad_alloc&) {
    }
    if (IsStopRaised(options.stop)) return 0;
    try {
        frontEnd->AppendOutput(kRunOutOfMemory);
    } catch (const std::bad_alloc&) {
        // Nothing more can be said; the notice below still ends the run.
    }
    try {
        frontEnd->NotifyCheckDone();
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
