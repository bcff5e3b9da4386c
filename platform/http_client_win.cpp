#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_client.h"
#include "platform/program_path.h"
#include "platform/stop_signal.h"

namespace {

// No agent name of our own: the program's file name without its extension.
std::string AgentName() {
    const CString path = GetExecutablePath();
    CString name = path.Mid(path.ReverseFind('\\') + 1);
    const int dot = name.ReverseFind('.');
    if (dot > 0) name = name.Left(dot);
    return name.Bytes();
}

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

// The handles of one exchange. The HTTP layer's own time limits do not bound every
// wait (name resolution, some connection attempts), so a watchdog closes the handles
// once the overall limit has passed, as a raised stop signal does; closing a handle
// is how a blocking call of this layer is cut short from another thread.
class CInetExchange {
public:
    CInetExchange(CStopSignal* stop, const CHttpLimits& limits)
        : m_silenceMs(limits.silenceMs), m_scope(stop, [this] { Abort(EHttpFailure::kStopped); }) {
        const int totalMs = limits.totalMs;
        m_watchdog = std::thread([this, totalMs] { Watch(totalMs); });
    }
    ~CInetExchange() {
        std::vector<HINTERNET> handles;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_done = true;
            handles.swap(m_handles);
        }
        m_wake.notify_all();
        m_watchdog.join();
        CloseInnermostFirst(handles);
    }
    CInetExchange(const CInetExchange&) = delete;
    CInetExchange& operator=(const CInetExchange&) = delete;

    // Takes a handle just opened. False when it is null, or when the exchange was cut
    // short meanwhile (the handle is then closed at once).
    bool Adopt(HINTERNET handle) {
        if (!handle) return false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_aborted == EHttpFailure::kNone) {
                m_handles.push_back(handle);
                return true;
            }
        }
        InternetCloseHandle(handle);
        return false;
    }

    bool Aborted() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_aborted != EHttpFailure::kNone;
    }

    // Marks the start of a call that waits for the server.
    void BeginWait() { m_waitStart = std::chrono::steady_clock::now(); }

    // Why a call failed: the abort's cause if there was one, else the layer's error.
    // Wine's layer reports a receive time-out as an aborted connection, so a connection
    // lost only after a whole silence limit of waiting counts as the time-out it is.
    CHttpOutcome Failure(DWORD error) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_aborted != EHttpFailure::kNone) return {m_aborted, 0};
        }
        CHttpOutcome outcome = MapError(error);
        const auto waited = std::chrono::steady_clock::now() - m_waitStart;
        if (outcome.failure == EHttpFailure::kConnectionLost &&
            waited >= std::chrono::milliseconds(m_silenceMs * 9 / 10)) {
            outcome.failure = EHttpFailure::kTimedOut;
        }
        return outcome;
    }

private:
    static void CloseInnermostFirst(const std::vector<HINTERNET>& handles) {
        for (auto it = handles.rbegin(); it != handles.rend(); ++it) InternetCloseHandle(*it);
    }

    void Abort(EHttpFailure cause) {
        std::vector<HINTERNET> handles;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_aborted != EHttpFailure::kNone || m_done) return;
            m_aborted = cause;
            handles.swap(m_handles);
        }
        CloseInnermostFirst(handles);
    }

    void Watch(int totalMs) {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            if (m_wake.wait_for(guard, std::chrono::milliseconds(totalMs), [this] { return m_done; })) return;
        }
        Abort(EHttpFailure::kTimedOut);
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<HINTERNET> m_handles;
    bool m_done = false;
    EHttpFailure m_aborted = EHttpFailure::kNone;
    const int m_silenceMs;
    std::chrono::steady_clock::time_point m_waitStart = std::chrono::steady_clock::now();
    std::thread m_watchdog;
    CAbortScope m_scope;  // last: it may call Abort as soon as it is built
};

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
    if (status == INTERNET_STATUS_RESOLVING_NAME || status == INTERNET_STATUS_CONNECTING_TO_SERVER ||
        status == INTERNET_STATUS_SENDING_REQUEST) {
        ApplyTimeouts(handle, *reinterpret_cast<const CHttpLimits*>(context));
    }
}

// A synchronous session with the system's preconfigured proxy settings.
HINTERNET OpenSession(const CHttpLimits& limits) {
    static const std::string agent = AgentName();
    HINTERNET session = InternetOpenA(agent.empty() ? nullptr : agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                      nullptr, nullptr, 0);
    if (session) ApplyTimeouts(session, limits);
    return session;
}

DWORD ErrorIfNull(HINTERNET handle) { return handle ? 0 : GetLastError(); }

bool QueryRawHeaders(HINTERNET request, CString* headers) {
    DWORD length = 0;
    if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return false;
    std::vector<char> buffer(length + 1);
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr)) return false;
    *headers = CString(buffer.data(), static_cast<int>(length));
    return true;
}

}  // namespace

struct CHttpPage::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& bounds) : exchange(stop, bounds), limits(bounds) {}
    CInetExchange exchange;
    CHttpLimits limits;
    HINTERNET file = nullptr;
};

CHttpPage::CHttpPage(CStopSignal* stop, const CHttpLimits& limits)
    : m_impl(new Impl(stop, limits)), m_maxBody(limits.maxBodyBytes) {}

CHttpPage::~CHttpPage() = default;

bool CHttpPage::Open(const CString& url) {
    CInetExchange& exchange = m_impl->exchange;
    HINTERNET session = OpenSession(m_impl->limits);
    DWORD error = ErrorIfNull(session);
    if (!exchange.Adopt(session)) {
        m_outcome = exchange.Failure(error);
        return false;
    }
    InternetSetStatusCallbackA(session, &OnUrlStatus);
    const auto context = reinterpret_cast<DWORD_PTR>(&m_impl->limits);
    exchange.BeginWait();
    HINTERNET file = InternetOpenUrlA(session, url.GetString(), nullptr, 0, INTERNET_FLAG_TRANSFER_ASCII, context);
    error = ErrorIfNull(file);
    if (!exchange.Adopt(file)) {
        m_outcome = exchange.Failure(error);
        return false;
    }
    m_impl->file = file;
    return true;
}

int CHttpPage::ReadSome(char* buffer, int capacity) {
    DWORD got = 0;
    m_impl->exchange.BeginWait();
    const BOOL read = InternetReadFile(m_impl->file, buffer, static_cast<DWORD>(capacity), &got);
    const DWORD error = read ? 0 : GetLastError();
    if (!read || (got == 0 && m_impl->exchange.Aborted())) {
        m_outcome = m_impl->exchange.Failure(error);
        return -1;
    }
    return static_cast<int>(got);
}

CHttpHeaderAnswer FetchRootHeaders(const CString& host, int port, CStopSignal* stop,
                                   const CHttpLimits& limits) {
    CHttpHeaderAnswer answer;
    CInetExchange exchange(stop, limits);
    HINTERNET session = OpenSession(limits);
    DWORD error = ErrorIfNull(session);
    if (!exchange.Adopt(session)) {
        answer.outcome = exchange.Failure(error);
        return answer;
    }
    HINTERNET connection = InternetConnectA(session, host.GetString(), static_cast<INTERNET_PORT>(port), nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    error = ErrorIfNull(connection);
    if (!exchange.Adopt(connection)) {
        answer.outcome = exchange.Failure(error);
        return answer;
    }
    ApplyTimeouts(connection, limits);
    HINTERNET request = HttpOpenRequestA(connection, "GET", "", nullptr, nullptr, nullptr,
                                         INTERNET_FLAG_EXISTING_CONNECT, 0);
    error = ErrorIfNull(request);
    if (!exchange.Adopt(request)) {
        answer.outcome = exchange.Failure(error);
        return answer;
    }
    ApplyTimeouts(request, limits);
    DWORD status = 0;
    DWORD size = sizeof status;
    exchange.BeginWait();
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0) ||
        !HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        !QueryRawHeaders(request, &answer.rawHeaders)) {
        answer.outcome = exchange.Failure(GetLastError());
        return answer;
    }
    answer.status = static_cast<int>(status);
    return answer;
}
