#include "probes/command_probes.h"

#include <cstring>

#include "probes/probe_session.h"
#include "platform/child_process.h"
#include "platform/deadline.h"
#include "platform/host_name.h"
#include "platform/program_path.h"
#include "probes/whois_text.h"

namespace {

const int kChunkBytes = 4096;
const char kCappedNotice[] = "\r\n（命令输出超过1MB，其余部分已省略）\r\n";

// Appends a chunk's text up to its first NUL, keeping the captured text within the cap.
// False once the cap is reached: what the child writes after it is read and dropped,
// so a command that floods its output cannot grow the report without end.
bool AppendWithinCap(CString* text, char* chunk, int got) {
    chunk[got] = '\0';
    const int length = static_cast<int>(std::strlen(chunk));
    const int room = kCommandOutputCapBytes - text->GetLength();
    if (length <= room) {
        text->Append(chunk, length);
        return true;
    }
    text->Append(chunk, room);
    *text = text->Left(CharBoundaryPrefix(*text, kCommandOutputCapBytes));
    return false;
}

}  // namespace

CString GetProgramDirectory() { return GetExecutableDirectory(); }

int CProbeSession::RunCommandCapture(const CString& command, int limitSeconds) {
    CChildProcess child;
    if (!child.Start(command)) return 0;
    const CDeadline deadline(limitSeconds * 1000);
    CString captured;
    bool capped = false;
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
            captured += notice;
            break;
        }
        const int got = child.Read(chunk, kChunkBytes, kWaitSliceMs);
        if (got == CChildProcess::kReadEnd) break;
        if (got <= 0 || capped) continue;
        // The chunk is text up to its first NUL; the rest of that chunk is dropped.
        if (!AppendWithinCap(&captured, chunk, got)) {
            capped = true;
            captured += kCappedNotice;
        }
    }
    m_strResult += captured;
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
    const CString host = HostNameForCommands(domain);
    // The path is quoted: unquoted, a folder with a space in its name ("C:\Users\Wang
    // Wei\") would make process creation try "C:\Users\Wang.exe" first and hand psping
    // the rest of the folder as arguments. The domain never holds a quote.
    CString command;
    command.Format("\"%s\" /accepteula -n 10 %s:%d", (GetProgramDirectory() + "psping").GetString(),
                   host.GetString(), port);
    return RunCommandCapture(command, kPspingLimitSeconds);
}

int CProbeSession::RunPing(CString domain) {
    CString command;
    command.Format("ping %s", HostNameForCommands(domain).GetString());
    return RunCommandCapture(command, kPingLimitSeconds);
}

int CProbeSession::RunTracert(CString domain) {
    CString command;
    command.Format("tracert -d %s", HostNameForCommands(domain).GetString());
    return RunCommandCapture(command, kTracertLimitSeconds);
}
