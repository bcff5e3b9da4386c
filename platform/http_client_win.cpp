#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/deadline.h"
#include "platform/http_client.h"
#include "platform/program_path.h"
#include "platform/stop_signal.h"

namespace {

CHttpOutcome MapError(DWORD error) {
    CHttpOutcome outcome;
    outcome.code = static_cast<long>(error);
    switch (error) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            outcome.failure = EHttpFailure::kNameNotResolved;
            break;
        case ERROR_INTERNET_CANNOT_CONNECT:
            outcome.failure = EHttpFailure::kCannotConnect;
            break;
        case ERROR_INTERNET_TIMEOUT:
            outcome.failure = EHttpFailure::kTimedOut;
            break;
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
            outcome.failure = EHttpFailure::kConnectionLost;
            break;
        case ERROR_INTERNET_INVALID_URL:
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            outcome.failure = EHttpFailure::kInvalidAddress;
            break;
        default:
            outcome.failure = EHttpFailure::kOther;
            break;
    }
    return outcome;
}

void CloseInnermostFirst(const std::vector<HINTERNET>& handles) {
    for (auto it = handles.rbegin(); it != handles.rend(); ++it) InternetCloseHandle(*it);
}

// What the caller and the thread making the blocking calls share. It is held by both,
// so a thread left behind by a caller that stopped waiting still owns all it touches.
struct CInetShared {
    explicit CInetShared(const CHttpLimits& bounds) : limits(bounds) {}

    // Takes a handle just opened. False when it is null, or when the exchange was cut
    // short meanwhile (the handle is then closed at once).
    bool Adopt(HINTERNET handle) {
        if (!handle) return false;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (aborted == EHttpFailure::kNone) {
                handles.push_back(handle);
                return true;
            }
        }
        InternetCloseHandle(handle);
        return false;
    }

    // Marks the start of a call that waits for the server.
    void BeginWait() { waitStart = std::chrono::steady_clock::now(); }

    // Records why a call failed. Wine's layer reports a receive time-out as an aborted
    // connection, so a connection lost only after a whole silence limit of waiting
    // counts as the time-out it is.
    void Fail(DWORD error) {
        outcome = MapError(error);
        const auto waited = std::chrono::steady_clock::now() - waitStart;
        if (outcome.failure == EHttpFailure::kConnectionLost &&
            waited >= std::chrono::milliseconds(limits.silenceMs * 9 / 10)) {
            outcome.failure = EHttpFailure::kTimedOut;
        }
    }

    const CHttpLimits limits;

    std::mutex lock;
    std::condition_variable wake;
    std::function<void(CInetShared&)> job;  // queued for the worker
    bool busy = false;                      // a job is queued or running
    bool quit = false;
    bool stopRaised = false;
    EHttpFailure aborted = EHttpFailure::kNone;
    std::vector<HINTERNET> handles;  // innermost last

    // Written by the worker's jobs, read by the caller once a job has finished.
    std::chrono::steady_clock::time_point waitStart;
    CHttpOutcome outcome;
    HINTERNET file = nullptr;
    std::vector<char> chunk;
    int status = 0;
    CString headers;
};

// Runs the blocking calls of one exchange on a thread of their own, and waits for each
// no longer than the exchange's overall limit allows, nor past a raised stop signal.
// Then the exchange's handles are closed, which is how this layer cuts a blocking call
// short; a layer that does not (Wine's) is left to finish the call on its own thread.
class CInetRunner {
public:
    CInetRunner(CStopSignal* stop, const CHttpLimits& limits)
        : m_shared(std::make_shared<CInetShared>(limits)),
          m_deadline(limits.totalMs),
          m_scope(stop, StopHandler(m_shared)) {
        // Without a thread there is no exchange: the step fails instead of the program.
        try {
            m_worker = std::thread(&CInetRunner::Work, m_shared);
        } catch (const std::system_error&) {
            m_interruption = EHttpFailure::kOther;
        }
    }
    ~CInetRunner() {
        {
            std::lock_guard<std::mutex> guard(m_shared->lock);
            m_shared->quit = true;
        }
        m_shared->wake.notify_all();
        if (!m_worker.joinable()) return;
        if (m_abandoned) {
            m_worker.detach();
        } else {
            m_worker.join();
        }
    }
    CInetRunner(const CInetRunner&) = delete;
    CInetRunner& operator=(const CInetRunner&) = delete;

    // True when the job ran to its end; false when the exchange was cut short, and
    // Interruption() says why.
    bool Run(std::function<void(CInetShared&)> job);
    CHttpOutcome Interruption() const { return {m_interruption, 0}; }
    CInetShared& Shared() { return *m_shared; }

private:
    static std::function<void()> StopHandler(std::shared_ptr<CInetShared> shared) {
        return [shared] {
            std::lock_guard<std::mutex> guard(shared->lock);
            shared->stopRaised = true;
            shared->wake.notify_all();
        };
    }
    static void Work(std::shared_ptr<CInetShared> shared);
    void CutShort(std::unique_lock<std::mutex>& guard, EHttpFailure cause);

    std::shared_ptr<CInetShared> m_shared;
    CDeadline m_deadline;
    std::thread m_worker;
    bool m_abandoned = false;
    EHttpFailure m_interruption = EHttpFailure::kNone;
    CAbortScope m_scope;  // last: its handler may run as soon as it is built
};

void CInetRunner::Work(std::shared_ptr<CInetShared> shared) {
    std::unique_lock<std::mutex> guard(shared->lock);
    for (;;) {
        shared->wake.wait(guard, [&shared] { return shared->quit || shared->job; });
        if (!shared->job) break;
        auto job = std::move(shared->job);
        shared->job = nullptr;
        guard.unlock();
        job(*shared);
        guard.lock();
        shared->busy = false;
        shared->wake.notify_all();
    }
    std::vector<HINTERNET> handles;
    handles.swap(shared->handles);
    guard.unlock();
    CloseInnermostFirst(handles);
}

bool CInetRunner::Run(std::function<void(CInetShared&)> job) {
    std::unique_lock<std::mutex> guard(m_shared->lock);
    if (m_shared->stopRaised && m_interruption == EHttpFailure::kNone)
        m_interruption = EHttpFailure::kStopped;
    if (m_interruption != EHttpFailure::kNone) return false;
    m_shared->outcome = CHttpOutcome();
    m_shared->job = std::move(job);
    m_shared->busy = true;
    m_shared->wake.notify_all();
    while (m_shared->busy) {
        if (m_shared->stopRaised || m_deadline.Passed()) {
            CutShort(guard,
                     m_shared->stopRaised ? EHttpFailure::kStopped : EHttpFailure::kTimedOut);
            return false;
        }
        const int wait = std::max(1, std::min(kWaitSliceMs, m_deadline.Remaining()));
        m_shared->wake.wait_for(guard, std::chrono::milliseconds(wait));
    }
    return true;
}

void CInetRunner::CutShort(std::unique_lock<std::mutex>& guard, EHttpFailure cause) {
    m_interruption = cause;
    m_shared->aborted = cause;
    std::vector<HINTERNET> handles;
    handles.swap(m_shared->handles);
    guard.unlock();
    CloseInnermostFirst(handles);
    guard.lock();
    // A layer that honours the close returns at once; give it a moment to do so.
    m_shared->wake.wait_for(guard, std::chrono::seconds(1), [this] { return !m_shared->busy; });
    if (m_shared->busy) m_abandoned = true;
}

void SetTimeoutOption(HINTERNET handle, DWORD option, int milliseconds) {
    DWORD value = static_cast<DWORD>(milliseconds);
    InternetSetOptionA(handle, option, &value, sizeof value);
}

void ApplyTimeouts(HINTERNET handle, const CHttpLimits& limits) {
    SetTimeoutOption(handle, INTERNET_OPTION_CONNECT_TIMEOUT, limits.connectMs);
    SetTimeoutOption(handle, INTERNET_OPTION_SEND_TIMEOUT, limits.silenceMs);
    SetTimeoutOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, limits.silenceMs);
}

// Not every HTTP layer hands a session's time limits down to the handles that
// InternetOpenUrl makes inside itself (Wine's does not), so they are set again on the
// request handle as soon as it reports progress. The context is the limits.
void CALLBACK OnUrlStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status == INTERNET_STATUS_RESOLVING_NAME ||
        status == INTERNET_STATUS_CONNECTING_TO_SERVER ||
        status == INTERNET_STATUS_SENDING_REQUEST) {
        ApplyTimeouts(handle, *reinterpret_cast<const CHttpLimits*>(context));
    }
}

DWORD ErrorIfNull(HINTERNET handle) { return handle ? 0 : GetLastError(); }

// A synchronous session with the system's preconfigured proxy settings, adopted by the
// exchange. Null on failure, with the reason recorded.
HINTERNET OpenSession(CInetShared& shared) {
    static const std::string agent = GetExecutableBaseName().Bytes();
    HINTERNET session = InternetOpenA(agent.empty() ? nullptr : agent.c_str(),
                                      INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    const DWORD error = ErrorIfNull(session);
    if (!shared.Adopt(session)) {
        shared.Fail(error);
        return nullptr;
    }
    ApplyTimeouts(session, shared.limits);
    return session;
}

bool QueryRawHeaders(HINTERNET request, CString* headers) {
    DWORD length = 0;
    if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr))
        return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return false;
    std::vector<char> buffer(length + 1);
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr))
        return false;
    *headers = CString(buffer.data(), static_cast<int>(length));
    return true;
}

void OpenUrlJob(CInetShared& shared, const CString& url) {
    HINTERNET session = OpenSession(shared);
    if (!session) return;
    InternetSetStatusCallbackA(session, &OnUrlStatus);
    const auto context = reinterpret_cast<DWORD_PTR>(&shared.limits);
    shared.BeginWait();
    HINTERNET file = InternetOpenUrlA(session, url.GetString(), nullptr, 0,
                                      INTERNET_FLAG_TRANSFER_ASCII, context);
    const DWORD error = ErrorIfNull(file);
    if (!shared.Adopt(file)) {
        shared.Fail(error);
        return;
    }
    shared.file = file;
}

void ReadJob(CInetShared& shared, DWORD capacity) {
    shared.chunk.resize(capacity);
    DWORD got = 0;
    shared.BeginWait();
    if (!InternetReadFile(shared.file, shared.chunk.data(), capacity, &got)) {
        shared.Fail(GetLastError());
        got = 0;
    }
    shared.chunk.resize(got);
}

void RootHeadersJob(CInetShared& shared, const CString& host, int port) {
    HINTERNET session = OpenSession(shared);
    if (!session) return;
    HINTERNET connection =
        InternetConnectA(session, host.GetString(), static_cast<INTERNET_PORT>(port), nullptr,
                         nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    DWORD error = ErrorIfNull(connection);
    if (!shared.Adopt(connection)) return shared.Fail(error);
    ApplyTimeouts(connection, shared.limits);
    HINTERNET request = HttpOpenRequestA(connection, "GET", "", nullptr, nullptr, nullptr,
                                         INTERNET_FLAG_EXISTING_CONNECT, 0);
    error = ErrorIfNull(request);
    if (!shared.Adopt(request)) return shared.Fail(error);
    ApplyTimeouts(request, shared.limits);
    DWORD status = 0;
    DWORD size = sizeof status;
    shared.BeginWait();
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0) ||
        !HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
        !QueryRawHeaders(request, &shared.headers)) {
        return shared.Fail(GetLastError());
    }
    shared.status = static_cast<int>(status);
}

}  // namespace

struct CHttpPage::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& limits) : runner(stop, limits) {}
    CInetRunner runner;
};

CHttpPage::CHttpPage(CStopSignal* stop, const CHttpLimits& limits)
    : m_impl(new Impl(stop, limits)), m_maxBody(limits.maxBodyBytes) {}

CHttpPage::~CHttpPage() = default;

bool CHttpPage::Open(const CString& url) {
    CInetRunner& runner = m_impl->runner;
    if (!runner.Run([url](CInetShared& shared) { OpenUrlJob(shared, url); })) {
        m_outcome = runner.Interruption();
        return false;
    }
    m_outcome = runner.Shared().outcome;
    return m_outcome.failure == EHttpFailure::kNone;
}

int CHttpPage::ReadSome(char* buffer, int capacity) {
    CInetRunner& runner = m_impl->runner;
    const auto wanted = static_cast<DWORD>(capacity);
    if (!runner.Run([wanted](CInetShared& shared) { ReadJob(shared, wanted); })) {
        m_outcome = runner.Interruption();
        return -1;
    }
    const CInetShared& shared = runner.Shared();
    if (shared.outcome.failure != EHttpFailure::kNone) {
        m_outcome = shared.outcome;
        return -1;
    }
    std::copy(shared.chunk.begin(), shared.chunk.end(), buffer);
    return static_cast<int>(shared.chunk.size());
}

CHttpHeaderAnswer FetchRootHeaders(const CString& host, int port, CStopSignal* stop,
                                   const CHttpLimits& limits) {
    CHttpHeaderAnswer answer;
    CInetRunner runner(stop, limits);
    if (!runner.Run([host, port](CInetShared& shared) { RootHeadersJob(shared, host, port); })) {
        answer.outcome = runner.Interruption();
        return answer;
    }
    const CInetShared& shared = runner.Shared();
    answer.outcome = shared.outcome;
    if (answer.outcome.failure == EHttpFailure::kNone) {
        answer.status = shared.status;
        answer.rawHeaders = shared.headers;
    }
    return answer;
}
