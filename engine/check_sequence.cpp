#include "engine/check_sequence.h"
#include "engine/report_diagnosis.h"

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

const char kReportBanner[] = "======================= 开始检测 =======================\r\n";

namespace {

struct CCheckStep {
    const char* name;
    CStepOutcome (*probe)(const CProbeContext& context, const CString& domain);
};

const CCheckStep kSteps[kCheckStepCount + kExtendedStepCount] = {
    {"获取域名信息", &LookupWhois},
    {"获取公网IP", &FetchPublicIP},
    {"获取本地网络信息", &GetLocalNetworkInfo},
    {"刷新DNS缓存", &FlushDnsCache},
    {"检测FTP（21）端口", &ProbeFtpPort},
    {"检测HTTP（80）端口", &ProbeHttpPort},
    {"Ping命令", &RunPing},
    {"Tracert命令", &RunTracert},
    {"检测网站访问状态", &CheckWebsite},
    // Only when the run asks for them.
    {"DNS解析", &LookupDnsRecords},
    {"HTTPS访问及证书", &CheckHttps},
    {"IPv6连通性", &ProbeIpv6},
    {"路由逐跳统计", &TracePathStats},
    {"出口IP与DNS", &CheckEgress},
    {"代理与本机网络环境", &CheckLocalSetup},
    {"网站访问耗时", &TimeSite},
};

const int kSeparatorStars = 69;

const char kStepOutOfMemory[] = "内存不足，本步骤未能完成。\r\n";
const char kRunOutOfMemory[] = "\r\n内存不足，检测已中止。\r\n";

CString FormatTimestamp(const CLocalTime& t) {
    CString text;
    text.Format("%4d-%2d-%2d %2d:%2d:%2d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

}  // namespace

const char* GetCheckStepName(int step) {
    return step >= 1 && step <= kCheckStepCount + kExtendedStepCount ? kSteps[step - 1].name : "";
}

int CheckStepCount(const CCheckOptions& options) {
    return kCheckStepCount + (options.extended ? kExtendedStepCount : 0);
}

void AppendStepHeader(ICheckFrontEnd* frontEnd, int step, const CString& name, CLocalTime (*clock)()) {
    CString text;
    text.Format("\r\n第%d步---%s：%s\r\n", step, name.GetString(), FormatTimestamp(clock()).GetString());
    frontEnd->AppendOutput(text);
}

void AppendStepSeparator(ICheckFrontEnd* frontEnd) {
    CString text = "\r\n \r\n";
    for (int i = 0; i < kSeparatorStars; ++i) text += '*';
    frontEnd->AppendOutput(text);
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
        frontEnd->StepStarted(step, steps);
        const CString text = RunStep(entry, context, domain).text;
        // Once the front end has asked to stop, nothing more reaches it.
        if (IsStopRaised(options.stop)) return 0;
        AppendStepHeader(frontEnd, step, entry.name, options.clock);
        frontEnd->AppendOutput(text);
        frontEnd->StepProgress(step, entry.name);
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
