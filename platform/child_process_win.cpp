#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/command_line_quote.h"
#include "platform/deadline.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text.h"

namespace {

using CClock = std::chrono::steady_clock;

// A job that ends every process in it when its last handle closes, so a child that
// is stopped, or has exited and left something running, takes all it started along.
HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    return std::wstring(buffer, length);
}

// The full path of the program to start. A bare name is a command of the system and
// is taken from the system folder only: the standard search would look in the
// program's folder and the current folder first, where anyone may have left a file
// of that name. As process creation does, ".exe" is added to a name without extension.
// Empty when the word is no path (path_text.h) or the system folder is unknown.
std::wstring ProgramPath(const CFilePath& word) {
    std::wstring path;
    if (!PathToWide(word, &path)) return std::wstring();
    if (word.find_first_of("\\/:") == std::string::npos) {
        const std::wstring folder = SystemFolder();
        if (folder.empty()) return std::wstring();
        path = folder + L"\\" + path;
    }
    const size_t name = path.find_last_of(L"\\/:");
    if (path.find(L'.', name == std::wstring::npos ? 0 : name) == std::wstring::npos) path += L".exe";
    return path;
}

// The variable a "NAME=value" entry sets. Entries of the per-drive folders begin with
// "=", which belongs to the name.
std::wstring VariableName(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// This process's environment with the settings laid over it, as the block process
// creation takes: entries sorted by name without regard to case, each ended by a null,
// the whole ended by one more.
std::wstring EnvironmentBlock(const std::vector<std::wstring>& settings) {
    std::vector<std::wstring> entries;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
            const std::wstring text(entry);
            const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const std::wstring& set) {
                return SameName(VariableName(set), VariableName(text));
            });
            if (!replaced) entries.push_back(text);
        }
        FreeEnvironmentStringsW(own);
    }
    entries.insert(entries.end(), settings.begin(), settings.end());
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        const std::wstring left = VariableName(a);
        const std::wstring right = VariableName(b);
        return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                    static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
    });
    std::wstring block;
    for (const std::wstring& entry : entries) block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// The attribute that limits what the child inherits to the handles given, instead of
// every inheritable handle of this program (sockets of the other steps included).
class CInheritOnly {
public:
    explicit CInheritOnly(std::vector<HANDLE> handles) : m_handles(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        m_list = list;
        if (!UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                       m_handles.size() * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }
    ~CInheritOnly() {
        if (m_list) DeleteProcThreadAttributeList(m_list);
    }
    CInheritOnly(const CInheritOnly&) = delete;
    CInheritOnly& operator=(const CInheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;  // the attribute points into it
    std::vector<char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

}  // namespace

struct CChildProcess::Impl {
    CUniqueHandle readEnd;
    CUniqueHandle job;
    CUniqueHandle process;
    // False when the child could not be put into a job (jobs do not nest before
    // Windows 8): then the child alone can still be ended.
    bool inJob = false;
    bool exited = false;
    CPlatformError startError;
    std::vector<std::wstring> environment;  // settings for the children to come
    std::string input;                      // the next child's standard input
    // Feeds the child's standard input, a pipe: a write blocks until the child reads, and
    // fails once the child has ended.
    std::thread feeder;
    // Output may still come after the child has exited; the grace runs from the later
    // of its exit and the last bytes read.
    CClock::time_point quietSince;

    bool ExitedAndQuiet() {
        if (!exited) {
            if (WaitForSingleObject(process.Get(), 0) != WAIT_OBJECT_0) return false;
            exited = true;
            quietSince = CClock::now();
        }
        return CClock::now() - quietSince >= std::chrono::milliseconds(kExitGraceMs);
    }
};

CChildProcess::CChildProcess() : m_impl(new Impl) {}

// Closing the job handle ends whatever is still in it; a child that could not be put
// into a job is ended by itself.
CChildProcess::~CChildProcess() {
    if (!m_impl->inJob && m_impl->process.IsOpen()) TerminateProcess(m_impl->process.Get(), 1);
    // A feeder still writing waits on the child, which is ended first to free it.
    if (m_impl->feeder.joinable()) {
        Terminate();
        m_impl->feeder.join();
    }
}

namespace {

// The line the child's start-up code splits back into exactly these arguments.
std::wstring CommandLineFor(const std::wstring& program, const CArgumentList& arguments) {
    std::vector<std::wstring> wide;
    for (size_t i = 1; i < arguments.size(); ++i) {
        wide.push_back(GbkToUtf16(arguments[i].Bytes(), EGbkRule::kReplaceLookAlike));
    }
    return BuildCommandLine(program, wide);
}

void FeedInput(HANDLE pipe, std::string bytes) {
    for (size_t done = 0; done < bytes.size();) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 64 << 10));
        if (!WriteFile(pipe, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    CloseHandle(pipe);
}

}  // namespace

bool CChildProcess::Start(const CArgumentList& arguments) {
    m_impl->startError = CPlatformError();
    return StartChild(arguments);
}

CPlatformError CChildProcess::StartError() const { return m_impl->startError; }

void CChildProcess::SetInput(const std::string& bytes) { m_impl->input = bytes; }

void CChildProcess::SetEnvironment(const std::vector<CString>& settings) {
    m_impl->environment.clear();
    for (const CString& setting : settings) {
        m_impl->environment.push_back(GbkToUtf16(setting.Bytes(), EGbkRule::kReplaceLookAlike));
    }
}

bool CChildProcess::StartChild(const CArgumentList& arguments) {
    const std::wstring program = arguments.empty() ? std::wstring() : ProgramPath(arguments[0].Bytes());
    if (program.empty()) {
        m_impl->startError = PlatformError(EPlatformError::kNotFound);
        return false;
    }
    std::wstring line = CommandLineFor(program, arguments);

    // Neither end is inheritable at first; the write end becomes so only to be named
    // in the child's inheritance list, and the read end never leaves this program.
    CUniqueHandle readEnd;
    CUniqueHandle writeEnd;
    const auto fail = [this] {
        m_impl->startError = LastSystemError();
        return false;
    };
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), nullptr, 0)) return fail();
    if (!SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return fail();
    // The input's pipe the other way round: its read end alone is handed on.
    CUniqueHandle inputRead;
    CUniqueHandle inputWrite;
    std::vector<HANDLE> inherited{writeEnd.Get()};
    if (!m_impl->input.empty()) {
        if (!CreatePipe(inputRead.Receive(), inputWrite.Receive(), nullptr, 0)) return fail();
        if (!SetHandleInformation(inputRead.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return fail();
        inherited.push_back(inputRead.Get());
    }
    const CInheritOnly inheritOnly(inherited);
    if (!inheritOnly.Get()) return fail();

    // A zeroed record: nothing of this program's own start-up (the C runtime's file
    // table, its standard input, its title) is handed on. Standard input is none
    // but for the bytes SetInput gave.
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = writeEnd.Get();
    startup.StartupInfo.hStdError = writeEnd.Get();
    startup.StartupInfo.hStdInput = inputRead.Get();
    startup.lpAttributeList = inheritOnly.Get();

    // No console window of its own, which a terminal set as the system's default could
    // show however hidden the start-up record asks it to be. Suspended until it is
    // inside the job, so nothing it starts can slip out.
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT;
    std::wstring environment;
    if (!m_impl->environment.empty()) {
        environment = EnvironmentBlock(m_impl->environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, flags,
                        environment.empty() ? nullptr : &environment[0], nullptr,
                        &startup.StartupInfo, &child)) {
        return fail();
    }
    CUniqueHandle thread(child.hThread);
    m_impl->process.Reset(child.hProcess);
    m_impl->job.Reset(CreateKillOnCloseJob());
    m_impl->inJob = m_impl->job.Get() && AssignProcessToJobObject(m_impl->job.Get(), child.hProcess);
    ResumeThread(child.hThread);
    // From here on only the child, and what it starts, holds the write end.
    writeEnd.Reset();
    m_impl->readEnd.Reset(readEnd.Release());
    inputRead.Reset();
    if (inputWrite.Get()) {
        if (m_impl->feeder.joinable()) m_impl->feeder.join();
        m_impl->feeder = std::thread(FeedInput, inputWrite.Release(), m_impl->input);
    }
    return true;
}

int CChildProcess::Read(char* buffer, int capacity, int waitMs) {
    if (!m_impl->readEnd.Get()) return kReadEnd;
    // Anonymous pipes cannot be waited on; peek in short naps instead.
    const CDeadline deadline(waitMs);
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(m_impl->readEnd.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            return kReadEnd;
        }
        if (available > 0) {
            DWORD got = 0;
            const DWORD want = available < static_cast<DWORD>(capacity) ? available : capacity;
            if (!ReadFile(m_impl->readEnd.Get(), buffer, want, &got, nullptr)) return kReadEnd;
            m_impl->quietSince = CClock::now();
            return static_cast<int>(got);
        }
        if (m_impl->ExitedAndQuiet()) return kReadEnd;
        if (deadline.Passed()) return kReadIdle;
        Sleep(deadline.Remaining() < 10 ? deadline.Remaining() : 10);
    }
}

void CChildProcess::Terminate() {
    if (m_impl->inJob) {
        TerminateJobObject(m_impl->job.Get(), 1);
    } else if (m_impl->process.Get()) {
        TerminateProcess(m_impl->process.Get(), 1);
    }
}

bool CChildProcess::WaitForExit(int waitMs, int* exitCode) {
    if (!m_impl->process.IsOpen() ||
        WaitForSingleObject(m_impl->process.Get(), static_cast<DWORD>(waitMs < 0 ? 0 : waitMs)) !=
            WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(m_impl->process.Get(), &code)) return false;
    *exitCode = static_cast<int>(code);
    return true;
}
