#include "probes/command_probes.h"

#include <cstring>

#include "engine/probe_session.h"
#include "platform/child_process.h"
#include "platform/deadline.h"
#include "platform/program_path.h"

namespace {

const int kChunkBytes = 4096;

}  // namespace

CString GetProgramDirectory() { return GetExecutableDirectory(); }

int CProbeSession::RunCommandCapture(const CString& command, int limitSeconds) {
    CChildProcess child;
    if (!child.Start(command)) return 0;
    const CDeadline deadline(limitSeconds * 1000);
    char chunk[kChunkBytes + 1];
    for (;;) {
        if (IsStopRaised(m_stop)) {
            child.Terminate();
            break;
        }
        if (deadline.Passed()) {
            child.Terminate();
            CString notice;
            notice.Format("\r\n命令运行超过%d秒仍未结束，已被终止。\r\n", limitSeconds);
            m_strResult += notice;
            break;
        }
        const int got = child.Read(chunk, kChunkBytes, kWaitSliceMs);
        if (got == CChildProcess::kReadEnd) break;
        if (got <= 0) continue;
        // The chunk is text up to its first NUL; the rest of that chunk is dropped.
        chunk[got] = '\0';
        m_strResult.Append(chunk, static_cast<int>(std::strlen(chunk)));
    }
    return 1;
}

int CProbeSession::GetLocalNetworkInfo() {
    return RunCommandCapture("ipconfig /all", kIpconfigLimitSeconds);
}

int CProbeSession::FlushDnsCache() {
    return RunCommandCapture("ipconfig /flushdns", kIpconfigLimitSeconds);
}

int CProbeSession::ProbeFtpPort(CString domain) { return ProbeTcpPort(domain, 21); }

int CProbeSession::ProbeHttpPort(CString domain) { return ProbeTcpPort(domain, 80); }

int CProbeSession::ProbeTcpPort(const CString& domain, int port) {
    // The path is quoted: unquoted, a folder with a space in its name ("C:\Users\Wang
    // Wei\") would make process creation try "C:\Users\Wang.exe" first and hand psping
    // the rest of the folder as arguments. The domain never holds a quote.
    CString command;
    command.Format("\"%s\" /accepteula -n 10 %s:%d", (GetProgramDirectory() + "psping").GetString(),
                   domain.GetString(), port);
    return RunCommandCapture(command, kPspingLimitSeconds);
}

int CProbeSession::RunPing(CString domain) {
    CString command;
    command.Format("ping %s", domain.GetString());
    return RunCommandCapture(command, kPingLimitSeconds);
}

int CProbeSession::RunTracert(CString domain) {
    CString command;
    command.Format("tracert -d %s", domain.GetString());
    return RunCommandCapture(command, kTracertLimitSeconds);
}
