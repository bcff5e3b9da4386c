#include "probes/command_probes.h"

#include <algorithm>
#include <cstring>

#include "platform/child_process.h"
#include "platform/deadline.h"
#include "platform/host_name.h"
#include "platform/program_path.h"
#include "probes/platform_error_text.h"
#include "probes/whois_text.h"

namespace {

const int kChunkBytes = 4096;
// More than any progress display shows of a line.
const size_t kKeptLineBytes = 512;
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

// The program's file name, without its folder: what the user knows it by.
CString ProgramName(const CString& program) {
    const std::string& path = program.Bytes();
    const size_t slash = path.find_last_of("/\\");
    return CString(slash == std::string::npos ? path : path.substr(slash + 1));
}

CString StartFailureLine(const CString& program, const CPlatformError& error) {
    CString line;
    if (error.kind == EPlatformError::kNotFound) {
        line.Format("找不到%s程序\r\n", ProgramName(program).GetString());
    } else {
        line.Format("无法运行%s程序：%s\r\n", ProgramName(program).GetString(),
                    DescribePlatformError(error).GetString());
    }
    return line;
}

}  // namespace

CFilePath GetProgramDirectory() { return GetExecutableDirectory(); }

CArgumentList PspingCommand(const CString& domain, int port) {
    CString target;
    target.Format("%s:%d", HostNameForCommands(domain).GetString(), port);
    return {CString(GetProgramDirectory() + "psping"), "/accepteula", "-n", "10", target};
}

CArgumentList PingCommand(const CString& domain) { return {"ping", HostNameForCommands(domain)}; }

CArgumentList TracertCommand(const CString& domain) {
    return {"tracert", "-d", HostNameForCommands(domain)};
}

namespace {

// Reads the child until it ends, is stopped, or runs out of time, keeping what it prints
// within the cap.
CString CaptureUntilEnd(const CProbeContext& context, CChildProcess& child, int limitSeconds) {
    const CDeadline deadline(limitSeconds * 1000);
    CString captured;
    CLastLineTracker lastLine;
    bool capped = false;
    char chunk[kChunkBytes + 1];
    for (;;) {
        if (IsStopRaised(context.stop)) {
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
        if (got <= 0) continue;
        if (context.onCommandLine && lastLine.Feed(chunk, got)) context.onCommandLine(lastLine.Line());
        if (capped) continue;
        // The chunk is text up to its first NUL; the rest of that chunk is dropped.
        if (!AppendWithinCap(&captured, chunk, got)) {
            capped = true;
            captured += kCappedNotice;
        }
    }
    return captured;
}

CStepOutcome ProbeTcpPort(const CProbeContext& context, const CString& domain, int port) {
    return RunCommandCapture(context, PspingCommand(domain, port), kPspingLimitSeconds);
}

}  // namespace

CStepOutcome RunCommandCapture(const CProbeContext& context, const CArgumentList& command,
                               int limitSeconds) {
    CChildProcess child;
    if (!child.Start(command)) {
        return {false, StartFailureLine(command.empty() ? CString() : command[0], child.StartError())};
    }
    return {true, CaptureUntilEnd(context, child, limitSeconds)};
}

CStepOutcome GetLocalNetworkInfo(const CProbeContext& context, const CString&) {
    return RunCommandCapture(context, {"ipconfig", "/all"}, kIpconfigLimitSeconds);
}

CStepOutcome FlushDnsCache(const CProbeContext& context, const CString&) {
    return RunCommandCapture(context, {"ipconfig", "/flushdns"}, kIpconfigLimitSeconds);
}

CStepOutcome ProbeFtpPort(const CProbeContext& context, const CString& domain) {
    return ProbeTcpPort(context, domain, 21);
}

CStepOutcome ProbeHttpPort(const CProbeContext& context, const CString& domain) {
    return ProbeTcpPort(context, domain, 80);
}

CStepOutcome RunPing(const CProbeContext& context, const CString& domain) {
    return RunCommandCapture(context, PingCommand(domain), kPingLimitSeconds);
}

int TracertLimitSeconds(const CProbeContext& context) {
    // The web site step (and any optional step) comes after tracert; their whole limits
    // stay set aside for them, with the grace the exchange's own process may take.
    const int leftMs = context.runBudget.Remaining() - context.endpoints.httpLimits.totalMs -
                       kHttpChildGraceMs - context.reservedAfterWebsiteMs;
    return std::max(kTracertLeastSeconds, std::min(kTracertLimitSeconds, leftMs / 1000));
}

CStepOutcome RunTracert(const CProbeContext& context, const CString& domain) {
    return RunCommandCapture(context, TracertCommand(domain), TracertLimitSeconds(context));
}

bool CLastLineTracker::Feed(const char* bytes, int count) {
    const CString before = m_shown;
    for (int i = 0; i < count; ++i) {
        const char byte = bytes[i];
        if (byte == '\n' || byte == '\r') {
            if (!m_current.empty()) m_shown = CString(m_current);
            m_current.clear();
        } else if (byte != '\0' && m_current.size() < kKeptLineBytes) {
            m_current += byte;
        }
    }
    // A line still being written ("Connecting to host:21: ") is the freshest news.
    if (!m_current.empty()) m_shown = CString(m_current);
    return !(m_shown == before);
}
