#include "engine/check_sequence.h"

#include <new>

#include "probes/path_stats.h"
#include "probes/probe_session.h"
#include "platform/stop_signal.h"

const char kReportBanner[] = "======================= 开始检测 =======================\r\n";

namespace {

struct CCheckStep {
    const char* name;
    int (*probe)(CProbeSession& session, const CString& domain);
};

const CCheckStep kSteps[kCheckStepCount + kExtendedStepCount] = {
    {"获取域名信息", [](CProbeSession& s, const CString& d) { return s.LookupWhois(d); }},
    {"获取公网IP", [](CProbeSession& s, const CString&) { return s.FetchPublicIP(); }},
    {"获取本地网络信息", [](CProbeSession& s, const CString&) { return s.GetLocalNetworkInfo(); }},
    {"刷新DNS缓存", [](CProbeSession& s, const CString&) { return s.FlushDnsCache(); }},
    {"检测FTP（21）端口", [](CProbeSession& s, const CString& d) { return s.ProbeFtpPort(d); }},
    {"检测HTTP（80）端口", [](CProbeSession& s, const CString& d) { return s.ProbeHttpPort(d); }},
    {"Ping命令", [](CProbeSession& s, const CString& d) { return s.RunPing(d); }},
    {"Tracert命令", [](CProbeSession& s, const CString& d) { return s.RunTracert(d); }},
    {"检测网站访问状态", [](CProbeSession& s, const CString& d) { return s.CheckWebsite(d); }},
    // Only when the run asks for them.
    {"DNS解析", [](CProbeSession& s, const CString& d) { return s.LookupDnsRecords(d); }},
    {"HTTPS访问及证书", [](CProbeSession& s, const CString& d) { return s.CheckHttps(d); }},
    {"IPv6连通性", [](CProbeSession& s, const CString& d) { return s.ProbeIpv6(d); }},
    {"路由逐跳统计", [](CProbeSession& s, const CString& d) { return s.TracePathStats(d); }},
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

void AppendStepHeader(ICheckFrontEnd* frontEnd, int withTime, int step, const CString& name,
                      CLocalTime (*clock)()) {
    CString text;
    if (withTime == 1) {
        text.Format("\r\n第%d步---%s：%s\r\n", step, name.GetString(),
                    FormatTimestamp(clock()).GetString());
    } else {
        text = "\r\n \r\n";
        for (int i = 0; i < kSeparatorStars; ++i) text += '*';
    }
    frontEnd->AppendOutput(text);
}

namespace {

// A step whose probe runs out of memory fails with a message of its own; whatever the
// probe had gathered is dropped, which also gives the memory back.
CString RunStep(const CCheckStep& entry, CProbeSession& session, const CString& domain, int* ok) {
    try {
        *ok = entry.probe(session, domain);
        return *ok ? session.TakeResult() : session.TakeError();
    } catch (const std::bad_alloc&) {
        session.TakeResult();
        session.TakeError();
        *ok = 0;
        return kStepOutOfMemory;
    }
}

int RunSteps(ICheckFrontEnd* frontEnd, const CString& domain, const CCheckOptions& options) {
    frontEnd->AppendOutput(kReportBanner);
    CProbeSession session(options.endpoints, options.stop);
    if (options.extended) {
        session.ReserveAfterWebsite(kExtendedStepsLimitMs + PathStepLimitMs(options.pathRounds));
        session.SetPathRounds(options.pathRounds);
    }
    const int steps = CheckStepCount(options);
    for (int step = 1; step <= steps; ++step) {
        const CCheckStep& entry = kSteps[step - 1];
        int ok = 0;
        const CString text = RunStep(entry, session, domain, &ok);
        // The path statistics step hands support the address the public address step found.
        if (step == 2) session.NotePublicAddress(PublicAddressOfStep(text));
        // Once the front end has asked to stop, nothing more reaches it.
        if (IsStopRaised(options.stop)) return 0;
        AppendStepHeader(frontEnd, 1, step, entry.name, options.clock);
        frontEnd->AppendOutput(text);
        frontEnd->StepProgress(step, entry.name);
        AppendStepHeader(frontEnd, 0, step, entry.name, options.clock);
    }
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
