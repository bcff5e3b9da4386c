#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/bounded_call.h"
#include "platform/deadline.h"
#include "platform/http_transport.h"
#include "platform/program_path.h"
#include "platform/stop_signal.h"
#include "platform/wide_text.h"

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
        case ERROR_HTTP_REDIRECT_FAILED:
            outcome.failure = EHttpFailure::kTooManyRedirects;
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
// The handles belong to that thread alone: it opens, uses and closes them, so none is
// ever closed while a call may still use it, and a value the system hands out again
// for a later exchange is never closed by mistake.
struct CInetShared {
    CInetShared(const CHttpLimits& bounds, const CHttpRules& given, CUrlNotice onUrl)
        : limits(bounds), rules(given), notice(std::move(onUrl)) {}

    // Takes a handle just opened. False when it is null, or when the caller has given
    // up on the exchange meanwhile (the handle is then closed at once).
    bool Adopt(HINTERNET handle) {
        if (!handle) return false;
        if (IsAborted()) {
            InternetCloseHandle(handle);
            return false;
        }
        handles.push_back(handle);
        return true;
    }
    bool IsAborted() {
        std::lock_guard<std::mutex> guard(lock);
        return aborted != EHttpFailure::kNone;
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
        if (outcome.failure == EHttpFailure::kTimedOut) outcome.progress = Progress();
    }

    // The layer's status notices, as far as they go: the address it connects to, the
    // connection made, and the bytes of the answer it has taken in.
    void NoteConnecting(const CString& address, bool connected) {
        std::lock_guard<std::mutex> guard(lock);
        if (!address.IsEmpty()) progress.peer = address;
        progress.connected = connected;
        progress.answerBytes = 0;
        phaseStart = std::chrono::steady_clock::now();
    }
    void NoteReceived(DWORD bytes) {
        std::lock_guard<std::mutex> guard(lock);
        progress.answerBytes += bytes;
    }
    CHttpProgress Progress() {
        std::lock_guard<std::mutex> guard(lock);
        CHttpProgress now = progress;
        const auto waited = std::chrono::steady_clock::now() - phaseStart;
        now.waitedSeconds = static_cast<int>(
            (std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() + 500) / 1000);
        return now;
    }

    // The address the exchange is at, read by the caller even after it gave up.
    void SetUrl(const CString& address) {
        {
            std::lock_guard<std::mutex> guard(lock);
            url = address;
        }
        if (notice) notice(address);
    }
    // Counts a redirect the layer follows by itself. Past the limit the caller gives
    // up: a layer without a limit of its own (Wine's) would follow them for ever.
    void NoteRedirect(const CString& address) {
        bool tooMany = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            url = address;
            tooMany = ++redirects > rules.maxRedirects;
        }
        if (notice) notice(address);
        if (tooMany && wakeCaller) wakeCaller();
    }
    bool TooManyRedirects() {
        std::lock_guard<std::mutex> guard(lock);
        return redirects > rules.maxRedirects;
    }
    void MarkAborted(EHttpFailure why) {
        std::lock_guard<std::mutex> guard(lock);
        aborted = why;
    }
    CString Url() {
        std::lock_guard<std::mutex> guard(lock);
        return url;
    }

    // A timed exchange's moments, in milliseconds since it started; each is marked once,
    // by the status notices or the job, and read by the caller even after it gave up.
    void Mark(double CPhaseMoments::*moment) {
        const std::chrono::duration<double, std::milli> since = std::chrono::steady_clock::now() - timedStart;
        std::lock_guard<std::mutex> guard(lock);
        if (moments.*moment < 0) moments.*moment = since.count();
    }
    void MarkSent() {
        std::lock_guard<std::mutex> guard(lock);
        requestSent = true;
    }
    bool RequestSent() {
        std::lock_guard<std::mutex> guard(lock);
        return requestSent;
    }
    void SetTimedPeer(const CString& address) {
        std::lock_guard<std::mutex> guard(lock);
        timedPeer = address;
    }
    void TakeTimed(CPhaseMoments* at, CString* peer) {
        std::lock_guard<std::mutex> guard(lock);
        *at = moments;
        *peer = timedPeer;
    }

    const CHttpLimits limits;
    const CHttpRules rules;
    const CUrlNotice notice;
    // Set before the first job, then only read: a timed exchange, its request over TLS,
    // and going straight to the server whatever the system's proxy.
    bool timed = false;
    bool secure = false;
    bool direct = false;
    std::chrono::steady_clock::time_point timedStart;

    std::mutex lock;
    std::function<void()> wakeCaller;  // set before the first job, then only read
    EHttpFailure aborted = EHttpFailure::kNone;
    CString url;
    int redirects = 0;
    CHttpProgress progress;
    std::chrono::steady_clock::time_point phaseStart;
    CPhaseMoments moments;
    bool requestSent = false;
    CString timedPeer;
    // An exchange limited to public https addresses connected to another address, or was
    // redirected off https: whatever it got is not handed on.
    std::atomic<bool> forbidden{false};

    // Touched by the worker's jobs only; the caller reads the results once a job has
    // finished.
    std::vector<HINTERNET> handles;  // innermost last
    std::chrono::steady_clock::time_point waitStart;
    CHttpOutcome outcome;
    HINTERNET file = nullptr;
    std::vector<char> chunk;
    int status = 0;
    CString headers;
};

// Runs the blocking calls of one exchange on a helper thread (bounded_call.h), and
// waits for each no longer than the exchange's overall limit allows, nor past a raised
// stop signal, nor past too many redirects. A caller that stops waiting leaves the
// thread to finish its call, which the layer's own connection and silence limits
// bound, and to close its handles itself.
class CInetRunner {
public:
    CInetRunner(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules,
                CUrlNotice notice)
        : m_shared(std::make_shared<CInetShared>(limits, rules, std::move(notice))),
          m_deadline(limits.totalMs),
          m_stop(stop),
          m_scope(stop, m_runner.Waker()) {
        m_shared->wakeCaller = m_runner.Waker();
        std::shared_ptr<CInetShared> shared = m_shared;
        m_runner.SetFinalJob([shared] {
            CloseInnermostFirst(shared->handles);
            shared->handles.clear();
        });
    }
    CInetRunner(const CInetRunner&) = delete;
    CInetRunner& operator=(const CInetRunner&) = delete;

    // True when the job ran to its end; false when the exchange was cut short, and
    // Interruption() says why.
    bool Run(std::function<void(CInetShared&)> job);
    CHttpOutcome Interruption() const {
        const bool timedOut = m_interruption == EHttpFailure::kTimedOut;
        return {m_interruption, 0, m_shared->Url(), timedOut ? m_shared->Progress() : CHttpProgress()};
    }
    CInetShared& Shared() { return *m_shared; }

private:
    std::shared_ptr<CInetShared> m_shared;
    CDeadline m_deadline;
    CStopSignal* m_stop;
    EHttpFailure m_interruption = EHttpFailure::kNone;
    CBoundedRunner m_runner;
    CAbortScope m_scope;  // last: its handler may run as soon as it is built
};

bool CInetRunner::Run(std::function<void(CInetShared&)> job) {
    if (m_interruption != EHttpFailure::kNone) return false;
    std::shared_ptr<CInetShared> shared = m_shared;
    const EBoundedCall outcome = m_runner.Run(
        [shared, job] {
            shared->outcome = CHttpOutcome();
            job(*shared);
        },
        m_deadline, m_stop, [shared] { return shared->TooManyRedirects(); });
    switch (outcome) {
        case EBoundedCall::kDone:
            return true;
        case EBoundedCall::kStopped:
            m_interruption = EHttpFailure::kStopped;
            break;
        case EBoundedCall::kTimedOut:
            m_interruption = EHttpFailure::kTimedOut;
            break;
        case EBoundedCall::kGivenUp:
            m_interruption = EHttpFailure::kTooManyRedirects;
            break;
        case EBoundedCall::kNoThread:
            // Without a thread there is no exchange: the step fails instead of the program.
            m_interruption = EHttpFailure::kOther;
            return false;
    }
    // Given up on, not closed under it: the thread sees the mark when its call returns
    // and closes what it opened.
    m_shared->MarkAborted(m_interruption);
    return false;
}

void SetTimeoutOption(HINTERNET handle, DWORD option, int milliseconds) {
    DWORD value = static_cast<DWORD>(milliseconds);
    InternetSetOptionW(handle, option, &value, sizeof value);
}

void ApplyTimeouts(HINTERNET handle, const CHttpLimits& limits) {
    SetTimeoutOption(handle, INTERNET_OPTION_CONNECT_TIMEOUT, limits.connectMs);
    SetTimeoutOption(handle, INTERNET_OPTION_SEND_TIMEOUT, limits.silenceMs);
    SetTimeoutOption(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, limits.silenceMs);
}

// Every request goes to the server and leaves nothing behind: an answer from the
// user's cache would report a site that is down as answering, or an old public
// address. Nothing of the user's goes with it either: no cookie, and no credentials the
// layer would offer a server that asks. Redirects between http and https are followed as
// libcurl follows them; the layer would otherwise stop at one that changes the scheme.
const DWORD kPrivateRequestFlags = INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH;
const DWORD kFreshRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                 INTERNET_FLAG_PRAGMA_NOCACHE |
                                 INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                                 INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | kPrivateRequestFlags;

// The address the layer says it connects to: text on the systems seen ("192.0.2.1"),
// though documented as a SOCKADDR, so both are read. Anything else counts as not public.
bool IsPublicConnectAddress(const CHttpRules& rules, const void* information, DWORD length) {
    const auto* bytes = static_cast<const unsigned char*>(information);
    if (!bytes || length == 0) return false;
    if (bytes[0] >= 0x20) {
        const char* text = static_cast<const char*>(information);
        return rules.isPublicAddressText(std::string(text, strnlen(text, length)));
    }
    const auto* address = static_cast<const sockaddr*>(information);
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        const auto* ipv4 = static_cast<const sockaddr_in*>(information);
        return rules.isPublicIpv4(reinterpret_cast<const uint8_t*>(&ipv4->sin_addr));
    }
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        const auto* ipv6 = static_cast<const sockaddr_in6*>(information);
        return rules.isPublicIpv6(reinterpret_cast<const uint8_t*>(&ipv6->sin6_addr));
    }
    return false;
}

bool IsHttpsAddress(const CString& url) { return url.Bytes().compare(0, 8, "https://") == 0; }

// The address a connection notice names. The documentation promises a SOCKADDR; Wine's
// layer, like Windows' in practice, hands the address as text.
CString NoticeAddress(const void* information, DWORD length) {
    if (!information || length == 0) return CString();
    const char* text = static_cast<const char*>(information);
    const size_t size = strnlen(text, length);
    // A family number's first byte is a control character; an address as text starts
    // with a hexadecimal digit or ':'.
    if (size > 0 && size < length && (std::isxdigit(static_cast<unsigned char>(text[0])) || text[0] == ':'))
        return CString(text, static_cast<int>(size));
    const auto* address = static_cast<const sockaddr*>(information);
    char numeric[INET6_ADDRSTRLEN] = "";
    if (length >= sizeof(sockaddr_in) && address->sa_family == AF_INET) {
        auto* in = const_cast<in_addr*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
        inet_ntop(AF_INET, in, numeric, sizeof numeric);
    } else if (length >= sizeof(sockaddr_in6) && address->sa_family == AF_INET6) {
        auto* in6 = const_cast<in6_addr*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
        inet_ntop(AF_INET6, in6, numeric, sizeof numeric);
    }
    return CString(numeric);
}

// The phases of a timed request as the layer's notices mark them. The layer makes the
// TLS handshake once the TCP connection is made and before it sends the request, and the
// first answer bytes it takes in after sending are the first byte.
void NoteTimedStatus(CInetShared& shared, DWORD status) {
    switch (status) {
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            shared.Mark(&CPhaseMoments::connected);
            break;
        case INTERNET_STATUS_SENDING_REQUEST:
            if (shared.secure) shared.Mark(&CPhaseMoments::secured);
            break;
        case INTERNET_STATUS_REQUEST_SENT:
            shared.MarkSent();
            break;
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            if (shared.RequestSent()) shared.Mark(&CPhaseMoments::firstByte);
            break;
        default:
            break;
    }
}

// Not every HTTP layer hands a session's time limits down to the handles that
// InternetOpenUrl makes inside itself (Wine's does not), so they are set again on the
// request handle as soon as it reports progress; a redirect names the address the
// exchange moves on to. The context is the exchange's shared state.
void CALLBACK OnUrlStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information,
                          DWORD length) {
    auto* shared = reinterpret_cast<CInetShared*>(context);
    if (!shared) return;
    if (shared->timed) NoteTimedStatus(*shared, status);
    if (status == INTERNET_STATUS_CONNECTING_TO_SERVER && shared->limits.publicHttpsOnly &&
        !IsPublicConnectAddress(shared->rules, information, length)) {
        shared->forbidden = true;
    }
    if (status == INTERNET_STATUS_RESOLVING_NAME ||
        status == INTERNET_STATUS_CONNECTING_TO_SERVER ||
        status == INTERNET_STATUS_SENDING_REQUEST) {
        ApplyTimeouts(handle, shared->limits);
    }
    if (status == INTERNET_STATUS_CONNECTING_TO_SERVER || status == INTERNET_STATUS_CONNECTED_TO_SERVER) {
        shared->NoteConnecting(NoticeAddress(information, length),
                               status == INTERNET_STATUS_CONNECTED_TO_SERVER);
    } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED && information && length >= sizeof(DWORD)) {
        shared->NoteReceived(*static_cast<const DWORD*>(information));
    } else if (status == INTERNET_STATUS_REDIRECT && information && length > 0) {
        const char* text = static_cast<const char*>(information);
        const CString url(text, static_cast<int>(strnlen(text, length)));
        if (shared->limits.publicHttpsOnly && !IsHttpsAddress(url)) shared->forbidden = true;
        shared->NoteRedirect(url);
    }
}

DWORD ErrorIfNull(HINTERNET handle) { return handle ? 0 : GetLastError(); }

// A synchronous session with the system's preconfigured proxy settings, adopted by the
// exchange. Null on failure, with the reason recorded.
HINTERNET OpenSession(CInetShared& shared) {
    static const std::wstring agent = PathToWide(GetExecutableBaseName());
    // A proxy would reach whatever a peer named on our behalf, past the address check.
    const DWORD access = shared.limits.publicHttpsOnly || shared.direct
                             ? INTERNET_OPEN_TYPE_DIRECT
                             : INTERNET_OPEN_TYPE_PRECONFIG;
    HINTERNET session = InternetOpenW(agent.empty() ? nullptr : agent.c_str(), access, nullptr,
                                      nullptr, 0);
    const DWORD error = ErrorIfNull(session);
    if (!shared.Adopt(session)) {
        shared.Fail(error);
        return nullptr;
    }
    ApplyTimeouts(session, shared.limits);
    InternetSetStatusCallbackA(session, &OnUrlStatus);
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

// The address the request handle ended at, after every redirect it followed.
void NoteFinalUrl(CInetShared& shared, HINTERNET request) {
    DWORD size = 0;
    InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &size);
    if (size == 0) return;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer.data(), &size)) return;
    shared.SetUrl(CString(Utf16ToGbk(buffer.data(), EGbkRule::kReplaceLookAlike)));
}

// The final response's status and header block, once the request has been answered.
// A block past the limit fails the exchange: nothing that long is a real answer.
bool TakeResponse(CInetShared& shared, HINTERNET request) {
    NoteFinalUrl(shared, request);
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
        !QueryRawHeaders(request, &shared.headers)) {
        shared.Fail(GetLastError());
        return false;
    }
    if (shared.headers.GetLength() > shared.limits.maxHeaderBytes) {
        shared.outcome.failure = EHttpFailure::kHeadersTooLong;
        shared.headers.Empty();
        return false;
    }
    shared.status = static_cast<int>(status);
    return true;
}

// False when the address's host resolves to any address off the public internet. A name
// that does not resolve here is left to the layer, which then fails on it itself; one
// that resolves otherwise for the layer is caught as it connects (OnUrlStatus).
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool MayConnectTo(const CHttpRules& rules, const CString& url) {
    const std::string host = rules.hostOfUrl(url.Bytes());
    if (!WinsockStarted() || host.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return true;
    bool allPublic = true;
    for (const addrinfo* item = list; item; item = item->ai_next)
        allPublic = allPublic && IsPublicConnectAddress(rules, item->ai_addr,
                                                        static_cast<DWORD>(item->ai_addrlen));
    freeaddrinfo(list);
    return allPublic;
}

// The address a redirect answer leads to, made whole against the one it came from;
// empty when the answer is no redirect.
CString RedirectTarget(HINTERNET request, int status, const CString& from) {
    if (status < 300 || status >= 400) return CString();
    wchar_t location[2048];
    DWORD size = sizeof location;
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, nullptr)) return CString();
    wchar_t whole[2048];
    DWORD length = sizeof whole / sizeof whole[0];
    const std::wstring base = GbkToUtf16(from.Bytes(), EGbkRule::kReplaceLookAlike);
    if (!InternetCombineUrlW(base.c_str(), location, whole, &length, ICU_NO_ENCODE)) return CString();
    return CString(Utf16ToGbk(whole, EGbkRule::kReplaceLookAlike));
}

void ForbidExchange(CInetShared& shared) {
    shared.outcome = CHttpOutcome();
    shared.outcome.failure = EHttpFailure::kForbiddenAddress;
    shared.file = nullptr;
}

// One request, its answer taken; the layer follows redirects itself unless told not to.
HINTERNET OpenOneUrl(CInetShared& shared, HINTERNET session, const CString& url, const CString& accept,
                     DWORD flags) {
    const auto context = reinterpret_cast<DWORD_PTR>(&shared);
    const std::wstring headers =
        accept.IsEmpty()
            ? std::wstring()
            : L"Accept: " + GbkToUtf16(accept.Bytes(), EGbkRule::kReplaceLookAlike) + L"\r\n";
    shared.BeginWait();
    HINTERNET file = InternetOpenUrlW(
        session, GbkToUtf16(url.Bytes(), EGbkRule::kReplaceLookAlike).c_str(),
        headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
        INTERNET_FLAG_TRANSFER_ASCII | kFreshRequestFlags | flags, context);
    const DWORD error = ErrorIfNull(file);
    if (!shared.Adopt(file)) {
        shared.Fail(error);
        return nullptr;
    }
    return TakeResponse(shared, file) ? file : nullptr;
}

// An exchange held to public https addresses follows its redirects here, each target
// checked before anything is sent to it.
void OpenUrlJob(CInetShared& shared, const CString& url, const CString& accept) {
    const bool guarded = shared.limits.publicHttpsOnly;
    HINTERNET session = OpenSession(shared);
    if (!session) return;
    CString at = url;
    for (int hop = 0;; ++hop) {
        if (guarded && (!IsHttpsAddress(at) || !MayConnectTo(shared.rules, at)))
            return ForbidExchange(shared);
        HINTERNET file = OpenOneUrl(shared, session, at, accept, guarded ? INTERNET_FLAG_NO_AUTO_REDIRECT : 0);
        if (shared.forbidden) return ForbidExchange(shared);
        if (!file) return;
        const CString next = guarded ? RedirectTarget(file, shared.status, at) : CString();
        if (next.IsEmpty()) {
            shared.file = file;
            return;
        }
        if (hop >= shared.rules.maxRedirects) {
            shared.outcome.failure = EHttpFailure::kTooManyRedirects;
            return;
        }
        at = next;
        shared.NoteRedirect(at);
    }
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

// A session and an HTTP connection to host:port, both adopted by the exchange, with its
// limits set. Null on failure, with the reason recorded.
HINTERNET OpenConnection(CInetShared& shared, const CString& host, int port) {
    HINTERNET session = OpenSession(shared);
    if (!session) return nullptr;
    HINTERNET connection = InternetConnectW(
        session, GbkToUtf16(host.Bytes(), EGbkRule::kReplaceLookAlike).c_str(),
        static_cast<INTERNET_PORT>(port), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    const DWORD error = ErrorIfNull(connection);
    if (!shared.Adopt(connection)) {
        shared.Fail(error);
        return nullptr;
    }
    ApplyTimeouts(connection, shared.limits);
    return connection;
}

void RootHeadersJob(CInetShared& shared, const CString& host, int port) {
    HINTERNET connection = OpenConnection(shared, host, port);
    if (!connection) return;
    const auto context = reinterpret_cast<DWORD_PTR>(&shared);
    HINTERNET request =
        HttpOpenRequestW(connection, L"GET", L"", nullptr, nullptr, nullptr,
                         INTERNET_FLAG_EXISTING_CONNECT | kFreshRequestFlags, context);
    DWORD error = ErrorIfNull(request);
    if (!shared.Adopt(request)) return shared.Fail(error);
    ApplyTimeouts(request, shared.limits);
    shared.BeginWait();
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        error = GetLastError();
        NoteFinalUrl(shared, request);
        return shared.Fail(error);
    }
    TakeResponse(shared, request);
}

// The status line is the header block's first line.
CString FirstLine(const CString& headers) {
    const int end = headers.Find("\r\n");
    return end < 0 ? headers : headers.Left(end);
}

}  // namespace

struct CPageExchange::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules, CUrlNotice notice)
        : runner(stop, limits, rules, std::move(notice)) {}
    CInetRunner runner;
};

CPageExchange::CPageExchange(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules,
                             CUrlNotice notice)
    : m_impl(new Impl(stop, limits, rules, std::move(notice))) {}

CPageExchange::~CPageExchange() = default;

bool CPageExchange::Open(const CString& url, const CString& accept) {
    CInetRunner& runner = m_impl->runner;
    runner.Shared().SetUrl(url);
    if (!runner.Run([url, accept](CInetShared& shared) { OpenUrlJob(shared, url, accept); })) {
        m_outcome = runner.Interruption();
        // A connection refused by the address check may hang until the limit runs out.
        if (runner.Shared().forbidden) m_outcome.failure = EHttpFailure::kForbiddenAddress;
        return false;
    }
    CInetShared& shared = runner.Shared();
    m_outcome = shared.outcome;
    m_outcome.url = shared.Url();
    if (m_outcome.failure != EHttpFailure::kNone) return false;
    m_status = shared.status;
    m_statusLine = FirstLine(shared.headers);
    return true;
}

int CPageExchange::ReadSome(char* buffer, int capacity) {
    CInetRunner& runner = m_impl->runner;
    const auto wanted = static_cast<DWORD>(capacity);
    if (!runner.Run([wanted](CInetShared& shared) { ReadJob(shared, wanted); })) {
        m_outcome = runner.Interruption();
        return -1;
    }
    CInetShared& shared = runner.Shared();
    if (shared.outcome.failure != EHttpFailure::kNone) {
        m_outcome = shared.outcome;
        m_outcome.url = shared.Url();
        return -1;
    }
    std::copy(shared.chunk.begin(), shared.chunk.end(), buffer);
    return static_cast<int>(shared.chunk.size());
}

namespace {

// The outcome of a root exchange whose job ran to its end, with its response when it
// had one.
void TakeRootAnswer(CInetShared& shared, CHttpHeaderAnswer* answer) {
    answer->outcome = shared.outcome;
    answer->outcome.url = shared.Url();
    if (answer->outcome.failure == EHttpFailure::kNone) {
        answer->status = shared.status;
        answer->rawHeaders = shared.headers;
    }
}

}  // namespace

CHttpHeaderAnswer ExchangeRootHeaders(const CRootTarget& target, CStopSignal* stop,
                                      const CHttpLimits& limits, const CHttpRules& rules,
                                      const CUrlNotice& notice) {
    CHttpHeaderAnswer answer;
    CInetRunner runner(stop, limits, rules, notice);
    runner.Shared().SetUrl(target.url);
    const CString host = target.host;
    const int port = target.port;
    if (!runner.Run([host, port](CInetShared& shared) { RootHeadersJob(shared, host, port); })) {
        answer.outcome = runner.Interruption();
        return answer;
    }
    TakeRootAnswer(runner.Shared(), &answer);
    return answer;
}

namespace {

// What each certificate problem the layer refuses a request for is called, and the flag
// that lets the next attempt past it.
struct CCertificateProblem {
    DWORD error;
    DWORD ignoreFlag;
};
const CCertificateProblem kCertificateProblems[] = {
    {ERROR_INTERNET_INVALID_CA, SECURITY_FLAG_IGNORE_UNKNOWN_CA},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, SECURITY_FLAG_IGNORE_CERT_CN_INVALID},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, SECURITY_FLAG_IGNORE_CERT_DATE_INVALID},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, SECURITY_FLAG_IGNORE_REVOCATION},
};

long long FileTimeToUnix(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    if (value.QuadPart == 0) return 0;
    // 100 ns ticks since 1601-01-01.
    return static_cast<long long>(value.QuadPart / 10000000ULL) - 11644473600LL;
}

// The layer lists a name's parts one a line; the report shows them on one.
CString OneLine(const char* text) {
    CString line(text ? text : "");
    line.Replace("\r\n", ", ");
    line.Replace("\n", ", ");
    return line;
}

// INTERNET_CERTIFICATE_INFO as the ANSI query fills it; the SDK's declaration follows
// the UNICODE setting.
struct CCertificateInfoA {
    FILETIME ftExpiry;
    FILETIME ftStart;
    char* lpszSubjectInfo;
    char* lpszIssuerInfo;
    char* lpszProtocolName;
    char* lpszSignatureAlgName;
    char* lpszEncryptionAlgName;
    DWORD dwKeySize;
};

// The DNS names among the certificate's subject alternative names, in their order.
void TakeAlternativeNames(PCCERT_CONTEXT certificate, std::vector<CString>* names) {
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    CERT_ALT_NAME_INFO* alternatives = nullptr;
    DWORD size = 0;
    if (!extension ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &alternatives,
                             &size)) {
        return;
    }
    for (DWORD i = 0; i < alternatives->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = alternatives->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME && entry.pwszDNSName) {
            names->emplace_back(WideToUtf8(entry.pwszDNSName));
        }
    }
    LocalFree(alternatives);
}

// The alternative names come from the chain the layer built for the server's
// certificate; a layer that hands out no chain leaves them out.
void TakeServerChainNames(HINTERNET request, std::vector<CString>* names) {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    DWORD size = sizeof chain;
    if (!InternetQueryOptionW(request, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &chain, &size) || !chain)
        return;
    if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
        TakeAlternativeNames(chain->rgpChain[0]->rgpElement[0]->pCertContext, names);
    }
    CertFreeCertificateChain(chain);
}

void TakeCertificate(HINTERNET request, CServerCertificate* certificate) {
    CCertificateInfoA info{};
    DWORD size = sizeof info;
    if (!InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_CERTIFICATE_STRUCT, &info, &size))
        return;
    certificate->present = true;
    certificate->subject = OneLine(info.lpszSubjectInfo);
    certificate->issuer = OneLine(info.lpszIssuerInfo);
    certificate->notBefore = FileTimeToUnix(info.ftStart);
    certificate->notAfter = FileTimeToUnix(info.ftExpiry);
    TakeServerChainNames(request, &certificate->dnsNames);
    for (char* text : {info.lpszSubjectInfo, info.lpszIssuerInfo, info.lpszProtocolName,
                       info.lpszSignatureAlgName, info.lpszEncryptionAlgName}) {
        if (text) LocalFree(text);
    }
}

struct CHttpsShared {
    CServerCertificate certificate;
};

// One request on the connection, accepting the certificate problems in ignore; false
// when it could not be sent, with the reason in *error.
HINTERNET SendSecureRequest(CInetShared& shared, HINTERNET connection, DWORD ignore,
                            DWORD* error) {
    const auto context = reinterpret_cast<DWORD_PTR>(&shared);
    // Only this one request; a redirect elsewhere would report another server's
    // certificate.
    HINTERNET request = HttpOpenRequestW(
        connection, L"GET", L"", nullptr, nullptr, nullptr,
        INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
            INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | kPrivateRequestFlags,
        context);
    *error = ErrorIfNull(request);
    if (!shared.Adopt(request)) return nullptr;
    ApplyTimeouts(request, shared.limits);
    InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    shared.BeginWait();
    *error = HttpSendRequestW(request, nullptr, 0, nullptr, 0) ? 0 : GetLastError();
    return request;
}

// The layer names one certificate problem per refused request, so the request is sent
// again, past each problem found, until it goes through or fails for another reason.
void HttpsRootJob(CInetShared& shared, CHttpsShared& https, const CString& host, int port) {
    HINTERNET connection = OpenConnection(shared, host, port);
    if (!connection) return;
    CServerCertificate& certificate = https.certificate;
    certificate.trusted = true;
    certificate.nameMatches = true;
    DWORD error = 0;
    DWORD ignore = 0;
    // One attempt per problem there is, and one to go through past all of them.
    for (size_t attempt = 0; attempt <= std::size(kCertificateProblems); ++attempt) {
        HINTERNET request = SendSecureRequest(shared, connection, ignore, &error);
        if (!request) return shared.Fail(error);
        const auto problem = std::find_if(
            std::begin(kCertificateProblems), std::end(kCertificateProblems),
            [error](const CCertificateProblem& known) { return known.error == error; });
        if (problem == std::end(kCertificateProblems) || (ignore & problem->ignoreFlag)) {
            TakeCertificate(request, &certificate);
            if (error != 0) return shared.Fail(error);
            TakeResponse(shared, request);
            return;
        }
        if (error == ERROR_INTERNET_INVALID_CA) certificate.trusted = false;
        if (error == ERROR_INTERNET_SEC_CERT_CN_INVALID) certificate.nameMatches = false;
        ignore |= problem->ignoreFlag;
    }
    shared.Fail(error);
}

}  // namespace

CHttpsAnswer ExchangeHttpsRoot(const CRootTarget& target, CStopSignal* stop,
                               const CHttpLimits& limits, const CHttpRules& rules,
                               const CUrlNotice& notice) {
    CHttpsAnswer result;
    CHttpHeaderAnswer& answer = result.response;
    CInetRunner runner(stop, limits, rules, notice);
    runner.Shared().SetUrl(target.url);
    const CString host = target.host;
    const int port = target.port;
    auto https = std::make_shared<CHttpsShared>();
    if (!runner.Run([https, host, port](CInetShared& shared) {
            HttpsRootJob(shared, *https, host, port);
        })) {
        answer.outcome = runner.Interruption();
        return result;
    }
    result.certificate = https->certificate;
    TakeRootAnswer(runner.Shared(), &answer);
    return result;
}

namespace {

// The name looked up for the one family, marked as the request's first phase: the first
// address it gives, as text; empty when it gives none.
CString ResolveFamily(CInetShared& shared, const CString& host, bool ipv6) {
    if (!WinsockStarted()) return CString();
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.GetString(), nullptr, &hints, &list) != 0 || !list) return CString();
    const CString address = NoticeAddress(list->ai_addr, static_cast<DWORD>(list->ai_addrlen));
    freeaddrinfo(list);
    shared.Mark(&CPhaseMoments::resolved);
    return address;
}

// The body is read, not kept, up to the limit's byte count.
bool ReadTimedBody(CInetShared& shared, HINTERNET request) {
    std::vector<char> piece(16 << 10);
    for (long long read = 0; read < shared.limits.maxBodyBytes;) {
        DWORD got = 0;
        shared.BeginWait();
        if (!InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &got)) {
            shared.Fail(GetLastError());
            return false;
        }
        if (got == 0) break;
        read += got;
    }
    return true;
}

// The request goes to the address looked up, naming the host in its Host header; a
// certificate with any problem is taken, as this exchange only times the handshake.
HINTERNET SendTimedRequest(CInetShared& shared, HINTERNET connection, const CString& host, int port) {
    const auto context = reinterpret_cast<DWORD_PTR>(&shared);
    const DWORD secure = shared.secure ? INTERNET_FLAG_SECURE : 0;
    HINTERNET request = HttpOpenRequestW(connection, L"GET", L"", nullptr, nullptr, nullptr,
                                         kFreshRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | secure,
                                         context);
    const DWORD error = ErrorIfNull(request);
    if (!shared.Adopt(request)) {
        shared.Fail(error);
        return nullptr;
    }
    ApplyTimeouts(request, shared.limits);
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION;
    if (shared.secure) InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    const bool defaultPort = port == (shared.secure ? 443 : 80);
    const std::wstring name = GbkToUtf16(host.Bytes(), EGbkRule::kReplaceLookAlike) +
                              (defaultPort ? std::wstring() : L":" + std::to_wstring(port));
    const std::wstring header = L"Host: " + name + L"\r\n";
    HttpAddRequestHeadersW(request, header.c_str(), static_cast<DWORD>(header.size()),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    shared.BeginWait();
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
        shared.Fail(GetLastError());
        return nullptr;
    }
    return request;
}

void TimedRootJob(CInetShared& shared, const CString& host, int port, bool ipv6) {
    const CString address = ResolveFamily(shared, host, ipv6);
    if (address.IsEmpty()) {
        shared.outcome.failure = EHttpFailure::kNameNotResolved;
        return;
    }
    shared.SetTimedPeer(address);
    HINTERNET connection = OpenConnection(shared, address, port);
    if (!connection) return;
    HINTERNET request = SendTimedRequest(shared, connection, host, port);
    if (!request || !TakeResponse(shared, request) || !ReadTimedBody(shared, request)) return;
    shared.Mark(&CPhaseMoments::done);
}

}  // namespace

CTimedRootAnswer ExchangeTimedRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits, const CHttpRules& rules) {
    CTimedRootAnswer answer;
    CInetRunner runner(stop, limits, rules, CUrlNotice());
    CInetShared& shared = runner.Shared();
    shared.SetUrl(request.target.url);
    shared.timed = true;
    shared.direct = true;
    shared.secure = IsHttpsAddress(request.target.url);
    shared.timedStart = std::chrono::steady_clock::now();
    const CString host = request.target.host;
    const int port = request.target.port;
    const bool ipv6 = request.ipv6;
    const bool ran = runner.Run([host, port, ipv6](CInetShared& job) { TimedRootJob(job, host, port, ipv6); });
    shared.TakeTimed(&answer.at, &answer.peer);
    if (!ran) {
        answer.outcome = runner.Interruption();
        return answer;
    }
    CHttpHeaderAnswer root;
    TakeRootAnswer(shared, &root);
    answer.outcome = root.outcome;
    answer.status = root.status;
    answer.rawHeaders = root.rawHeaders;
    return answer;
}

namespace {

// The parts of a POST's address the connection and the request need.
struct CPostTarget {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with its query
    bool secure = false;
};

bool CrackPostUrl(const CString& url, CPostTarget* target) {
    const std::wstring wide = GbkToUtf16(url.Bytes(), EGbkRule::kReplaceLookAlike);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    wchar_t extra[2048] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host / sizeof host[0];
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path / sizeof path[0];
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra / sizeof extra[0];
    if (!InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    target->host = host;
    target->port = parts.nPort;
    target->path = std::wstring(path) + extra;
    if (target->path.empty()) target->path = L"/";
    target->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return !target->host.empty();
}

// The answer's body, kept up to the limit's byte count; the rest is not read.
bool ReadPostBody(CInetShared& shared, HINTERNET request, std::string* body) {
    std::vector<char> piece(16 << 10);
    const auto limit = static_cast<size_t>(std::max(shared.limits.maxBodyBytes, 0));
    while (body->size() < limit) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min(piece.size(), limit - body->size()));
        shared.BeginWait();
        if (!InternetReadFile(request, piece.data(), want, &got)) {
            shared.Fail(GetLastError());
            return false;
        }
        if (got == 0) break;
        body->append(piece.data(), got);
    }
    return true;
}

// The request is answered where it was sent: no redirect is followed, and a certificate
// the system does not trust for the host fails the exchange.
void PostJob(CInetShared& shared, const CHttpPost& post, const CPostTarget& target, std::string* body) {
    HINTERNET connection = OpenConnection(shared, CString(Utf16ToGbk(target.host, EGbkRule::kReplaceLookAlike)),
                                          target.port);
    if (!connection) return;
    const auto context = reinterpret_cast<DWORD_PTR>(&shared);
    const DWORD flags = kFreshRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                        (target.secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequestW(connection, L"POST", target.path.c_str(), nullptr, nullptr,
                                         nullptr, flags, context);
    const DWORD error = ErrorIfNull(request);
    if (!shared.Adopt(request)) return shared.Fail(error);
    ApplyTimeouts(request, shared.limits);
    std::wstring headers;
    for (const std::string& line : post.headers)
        headers += GbkToUtf16(line, EGbkRule::kReplaceLookAlike) + L"\r\n";
    shared.BeginWait();
    if (!HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                          static_cast<DWORD>(headers.size()), const_cast<char*>(post.body.data()),
                          static_cast<DWORD>(post.body.size()))) {
        return shared.Fail(GetLastError());
    }
    if (TakeResponse(shared, request)) ReadPostBody(shared, request, body);
}

}  // namespace

CHttpPostAnswer ExchangePost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits,
                             const CHttpRules& rules) {
    CHttpPostAnswer answer;
    CPostTarget target;
    if (!CrackPostUrl(post.url, &target)) {
        answer.outcome.failure = EHttpFailure::kInvalidAddress;
        answer.outcome.url = post.url;
        return answer;
    }
    CInetRunner runner(stop, limits, rules, CUrlNotice());
    runner.Shared().SetUrl(post.url);
    // The body is filled by the job's thread and read here only once the job has ended;
    // a job given up on keeps its own copy of everything it touches.
    auto body = std::make_shared<std::string>();
    if (!runner.Run([post, target, body](CInetShared& shared) { PostJob(shared, post, target, body.get()); })) {
        answer.outcome = runner.Interruption();
        return answer;
    }
    CInetShared& shared = runner.Shared();
    answer.outcome = shared.outcome;
    answer.outcome.url = shared.Url();
    if (answer.outcome.failure != EHttpFailure::kNone) return answer;
    answer.status = shared.status;
    answer.body = std::move(*body);
    return answer;
}
