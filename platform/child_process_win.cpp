#include <windows.h>

#include <vector>

#include "platform/child_process.h"
#include "platform/deadline.h"

namespace {

// A job that ends every process in it when its last handle closes, so a child that
// is stopped takes whatever it started along.
HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

}  // namespace

struct CChildProcess::Impl {
    HANDLE readEnd = nullptr;
    HANDLE job = nullptr;
    // Kept only when the child could not be put into a job (jobs do not nest before
    // Windows 8): then the child alone can still be ended.
    HANDLE looseProcess = nullptr;
};

CChildProcess::CChildProcess() : m_impl(new Impl) {}

CChildProcess::~CChildProcess() {
    if (m_impl->readEnd) CloseHandle(m_impl->readEnd);
    if (m_impl->job) CloseHandle(m_impl->job);
    if (m_impl->looseProcess) CloseHandle(m_impl->looseProcess);
}

bool CChildProcess::Start(const CString& commandLine) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return false;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.wShowWindow = SW_HIDE;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;

    std::vector<char> line(commandLine.Bytes().begin(), commandLine.Bytes().end());
    line.push_back('\0');
    PROCESS_INFORMATION child{};
    // Suspended until it is inside the job, so nothing it starts can slip out.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &child)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return false;
    }
    m_impl->job = CreateKillOnCloseJob();
    if (!m_impl->job || !AssignProcessToJobObject(m_impl->job, child.hProcess)) {
        DuplicateHandle(GetCurrentProcess(), child.hProcess, GetCurrentProcess(),
                        &m_impl->looseProcess, PROCESS_TERMINATE, FALSE, 0);
    }
    ResumeThread(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    CloseHandle(writeEnd);
    m_impl->readEnd = readEnd;
    return true;
}

int CChildProcess::Read(char* buffer, int capacity, int waitMs) {
    if (!m_impl->readEnd) return kReadEnd;
    // Anonymous pipes cannot be waited on; peek in short naps instead.
    const CDeadline deadline(waitMs);
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(m_impl->readEnd, nullptr, 0, nullptr, &available, nullptr)) return kReadEnd;
        if (available > 0) {
            DWORD got = 0;
            const DWORD want = available < static_cast<DWORD>(capacity) ? available : capacity;
            if (!ReadFile(m_impl->readEnd, buffer, want, &got, nullptr)) return kReadEnd;
            return static_cast<int>(got);
        }
        if (deadline.Passed()) return kReadIdle;
        Sleep(deadline.Remaining() < 10 ? deadline.Remaining() : 10);
    }
}

void CChildProcess::Terminate() {
    if (m_impl->looseProcess) {
        TerminateProcess(m_impl->looseProcess, 1);
    } else if (m_impl->job) {
        TerminateJobObject(m_impl->job, 1);
    }
}
