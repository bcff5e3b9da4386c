#include "engine/check_sequence.h"
#include "engine/report_diagnosis.h"
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

// copy: the front end itself, when the run ends with its findings; else null.
int RunSteps(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options,
             const CReportCopy* copy = nullptr);

// With the optional steps, the report ends with its own findings; without them it stays
// the nine-step report, byte for byte.
int RunStepsAndDiagnose(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options) {
    if (!options.extended) return RunSteps(frontEnd, domain, options);
    CReportCopy copy(frontEnd);
    return RunSteps(&copy, domain, options, &copy);
}

int RunSteps(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options,
             const CReportCopy* copy) {
    frontEnd->AppendOutput(kReportBanner);
    CProbeContext context(options.endpoints, options.stop);
    if (options.extended) {
        context.reservedAfterWebsiteMs = kExtendedStepsLimitMs + PathStepLimitMs(options.pathRounds);
        context.pathRounds = options.pathRounds;
    }
    const int steps = CheckStepCount(options);
    context.onCommandLine = [frontEnd](const CString& line) { frontEnd->CommandPrinted(line); };
    for (int step = 1; step <= steps; ++step) {
        const CCheckStep& entry = kSteps[step - 1];
        const char* name = StepEntry(entry.step)->name;
        frontEnd->StepStarted(step, steps);
        const CString text = RunStep(entry, context, domain).text;
        // Once the front end has asked to stop, nothing more reaches it.
        if (IsStopRaised(options.stop)) return 0;
        AppendStepHeader(frontEnd, step, name, options.clock);
        frontEnd->AppendOutput(text);
        frontEnd->StepProgress(step, name);
        AppendStepSeparator(frontEnd);
    }
    if (copy) AppendDiagnosisBlock(frontEnd, copy->Bytes(), steps + 1, FormatTimestamp(options.clock()));
    frontEnd->NotifyCheckDone();
    return 0;
}

}  // namespace

// Memory running out anywhere else in a run (the report, the front end) ends the run
// with a line saying so, and the front end is told the run is over as after the last
// step, so the program carries on instead of ending.
int CheckThreadProc(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options) {
    try {
        return RunStepsAndDiagnose(frontEnd, domain, options);
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
