// Each exchange runs in a process of its own: this program started again with the
// exchange on its command line (platform/http_transport.h does the work there). WinINet keeps
// every header line a server sends and has no limit for them, and a call of it that is
// given up on goes on in its thread for as long as the server sends; a process can be
// ended, and ends itself once it holds too much, so neither the memory nor the wait of
// this one grows with what a server sends.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/deadline.h"
#include "net/exchange_request.h"
#include "net/http_backend.h"
#include "net/http_client.h"
#include "net/http_exchange_process.h"
#include "platform/http_transport.h"
#include "net/http_wire.h"
#include "platform/program_path.h"
#include "platform/stop_signal.h"
#include "platform/system_dlls_win.h"
#include "platform/time_limits.h"
#include "platform/wide_text.h"

namespace {

// The first argument of a process started to run one exchange. What follows it is the
// exchange, one argument per field and in this order, never read as options.
const wchar_t kExchangeMarker[] = L"--tollvane-http-exchange";
enum EExchangeArgument {
    kArgProgram,
    kArgMarker,
    kArgKind,
    kArgHost,
    kArgPort,
    kArgUrl,
    kArgAccept,
    kArgConnectMs,
    kArgSilenceMs,
    kArgTotalMs,
    kArgMaxBody,
    kArgMaxHeader,
    kArgPublicOnly,  // "1": CHttpLimits::publicHttpsOnly
    kArgFamily,      // a timed exchange's: "4" or "6"; empty for the others
    kArgCount
};
const char kKindRoot[] = "root";
const char kKindHttps[] = "https";
const char kKindPage[] = "page";
const char kKindTimedHttp[] = "timed-http";
const char kKindTimedHttps[] = "timed-https";
const char kKindPost[] = "post";

// A POST's headers and body reach its process on standard input (a kPost record), as
// the command line is too short for a report. More than this is no report.
const size_t kPostInputCap = 4u << 20;

// The body goes across in pieces as large as CHttpPage::ReadLine asks for.
const int kBodyPieceBytes = 4096;

// What the exchange's process may send in all: the body and the header block at their
// limits, and room for each record's head, the addresses and the certificate's texts.
size_t StreamCap(const CHttpLimits& limits) {
    const auto body = static_cast<size_t>(std::max(limits.maxBodyBytes, 0));
    const auto header = static_cast<size_t>(std::max(limits.maxHeaderBytes, 0));
    return body + header + (body / kBodyPieceBytes + 1) * 8 + (64 << 10);
}

CString Number(long long value) {
    CString text;
    text.Format("%lld", value);
    return text;
}

CArgumentList ExchangeArguments(const char* kind, const CString& host, int port, const CString& url,
                                const CHttpLimits& limits, const CString& accept = CString(),
                                const char* family = "") {
    CArgumentList arguments(kArgCount);
    arguments[kArgProgram] = CString(GetExecutablePath());
    arguments[kArgMarker] = kHttpExchangeSwitch;
    arguments[kArgKind] = kind;
    arguments[kArgHost] = host;
    arguments[kArgPort] = Number(port);
    arguments[kArgUrl] = url;
    arguments[kArgAccept] = accept;
    arguments[kArgConnectMs] = Number(limits.connectMs);
    arguments[kArgSilenceMs] = Number(limits.silenceMs);
    arguments[kArgTotalMs] = Number(limits.totalMs);
    arguments[kArgMaxBody] = Number(limits.maxBodyBytes);
    arguments[kArgMaxHeader] = Number(limits.maxHeaderBytes);
    arguments[kArgPublicOnly] = limits.publicHttpsOnly ? "1" : "0";
    arguments[kArgFamily] = family;
    return arguments;
}

// The caller's side: the exchange's process, waited for no longer than the exchange's
// total and a grace, nor past a raised stop signal, and ended once done with.
class CExchangeProcess {
public:
    CExchangeProcess(CStopSignal* stop, const CHttpLimits& limits)
        : m_stop(stop), m_deadline(limits.totalMs + kHttpChildGraceMs), m_reader(StreamCap(limits)) {}
    ~CExchangeProcess() { End(); }
    CExchangeProcess(const CExchangeProcess&) = delete;
    CExchangeProcess& operator=(const CExchangeProcess&) = delete;

    bool Start(const CArgumentList& arguments, const std::string& input = std::string()) {
        m_child.SetInput(input);
        m_started = !arguments[kArgProgram].IsEmpty() && m_child.Start(arguments);
        return m_started;
    }

    // The next record. False when none came, *failure saying why; the process is then
    // ended.
    bool Next(CWireRecord* record, EHttpFailure* failure) {
        char buffer[16 << 10];
        for (;;) {
            switch (m_reader.Next(record)) {
                case EWireRead::kRecord:
                    return true;
                case EWireRead::kMalformed:
                    return Fail(EHttpFailure::kOther, failure);
                case EWireRead::kIncomplete:
                    break;
            }
            if (IsStopRaised(m_stop)) return Fail(EHttpFailure::kStopped, failure);
            if (m_deadline.Passed()) return Fail(EHttpFailure::kTimedOut, failure);
            if (!m_started) return Fail(EHttpFailure::kOther, failure);
            const int got = m_child.Read(buffer, sizeof buffer, std::min(kWaitSliceMs, m_deadline.Remaining()));
            if (got == CChildProcess::kReadEnd) return Fail(EHttpFailure::kOther, failure);
            // More than any answer within the limits is not kept: it fails the exchange.
            if (got > 0 && !m_reader.Feed(buffer, static_cast<size_t>(got)))
                return Fail(EHttpFailure::kOther, failure);
        }
    }

    void End() {
        if (m_started) m_child.Terminate();
    }

private:
    bool Fail(EHttpFailure why, EHttpFailure* failure) {
        End();
        *failure = why;
        return false;
    }

    CStopSignal* m_stop;
    CDeadline m_deadline;
    CWireReader m_reader;
    CChildProcess m_child;
    bool m_started = false;
};

// A root exchange's answer from its process; one that never came says why, naming the
// address the exchange set out for.
CWireAnswer RootAnswer(const char* kind, const CString& host, int port, const CString& url,
                       CStopSignal* stop, const CHttpLimits& limits, const char* family = "") {
    CExchangeProcess process(stop, limits);
    CWireRecord record;
    EHttpFailure failure = EHttpFailure::kOther;
    if (process.Start(ExchangeArguments(kind, host, port, CString(), limits, CString(), family)) &&
        process.Next(&record, &failure)) {
        if (record.kind == EWireRecord::kAnswer) return record.answer;
        failure = EHttpFailure::kOther;
    }
    CWireAnswer none;
    none.outcome.failure = failure;
    none.outcome.url = url;
    return none;
}

}  // namespace

struct CHttpPage::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& bounds) : limits(bounds), process(stop, bounds) {}
    const CHttpLimits limits;
    CExchangeProcess process;
    CString url;             // the last address heard of
    std::string piece;       // the body piece being handed out
    size_t pieceTaken = 0;
    bool ended = false;      // the body's end, or a failure, has been seen
    int endResult = 0;
};

CHttpPage::CHttpPage(CStopSignal* stop, const CHttpLimits& limits)
    : m_impl(new Impl(stop, limits)), m_maxBody(limits.maxBodyBytes) {}

CHttpPage::~CHttpPage() = default;

bool CHttpPage::OpenChecked(const CString& url, const CString& accept) {
    Impl& impl = *m_impl;
    impl.url = url;
    CWireRecord record;
    EHttpFailure failure = EHttpFailure::kOther;
    if (!impl.process.Start(ExchangeArguments(kKindPage, CString(), 0, url, impl.limits, accept)) ||
        !impl.process.Next(&record, &failure) || record.kind != EWireRecord::kAnswer) {
        impl.process.End();
        impl.ended = true;
        impl.endResult = -1;
        m_outcome = {failure, 0, url, {}};
        return false;
    }
    m_outcome = record.answer.outcome;
    impl.url = m_outcome.url;
    if (m_outcome.failure != EHttpFailure::kNone) {
        impl.process.End();
        impl.ended = true;
        impl.endResult = -1;
        return false;
    }
    m_status = record.answer.status;
    m_statusLine = record.answer.headers;
    return true;
}

int CHttpPage::ReadSome(char* buffer, int capacity) {
    Impl& impl = *m_impl;
    while (impl.pieceTaken == impl.piece.size()) {
        if (impl.ended) return impl.endResult;
        CWireRecord record;
        EHttpFailure failure = EHttpFailure::kOther;
        impl.ended = true;
        impl.endResult = -1;
        if (!impl.process.Next(&record, &failure)) {
            m_outcome = {failure, 0, impl.url, {}};
            return -1;
        }
        switch (record.kind) {
            case EWireRecord::kBody:
                impl.ended = false;
                impl.piece = std::move(record.body);
                impl.pieceTaken = 0;
                break;
            case EWireRecord::kEnd:
                impl.process.End();
                if (record.outcome.failure == EHttpFailure::kNone) {
                    impl.endResult = 0;
                    return 0;
                }
                m_outcome = record.outcome;
                return -1;
            case EWireRecord::kAnswer:
            case EWireRecord::kPost:
                impl.process.End();
                m_outcome = {EHttpFailure::kOther, 0, impl.url, {}};
                return -1;
        }
    }
    const size_t count = std::min(static_cast<size_t>(std::max(capacity, 0)), impl.piece.size() - impl.pieceTaken);
    std::memcpy(buffer, impl.piece.data() + impl.pieceTaken, count);
    impl.pieceTaken += count;
    return static_cast<int>(count);
}

namespace {

CHttpHeaderAnswer HeaderAnswerOf(const CWireAnswer& wire) {
    CHttpHeaderAnswer answer;
    answer.outcome = wire.outcome;
    if (answer.outcome.failure == EHttpFailure::kNone) {
        answer.status = wire.status;
        answer.rawHeaders = wire.headers;
    }
    return answer;
}

}  // namespace

CHttpHeaderAnswer FetchPlainRootHeaders(const CString& host, int port, CStopSignal* stop,
                                        const CHttpLimits& limits) {
    return HeaderAnswerOf(RootAnswer(kKindRoot, host, port, RootUrl("http", host, port), stop, limits));
}

CHttpsAnswer FetchPlainHttpsRoot(const CString& host, int port, CStopSignal* stop,
                                 const CHttpLimits& limits) {
    const CWireAnswer wire = RootAnswer(kKindHttps, host, port, RootUrl("https", host, port), stop, limits);
    CHttpsAnswer result;
    result.response = HeaderAnswerOf(wire);
    result.certificate = wire.certificate;
    return result;
}

CTimedRootAnswer TimePlainSiteRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits) {
    const CRootTarget& target = request.target;
    const bool https = target.url.Bytes().compare(0, 8, "https://") == 0;
    const CWireAnswer wire = RootAnswer(https ? kKindTimedHttps : kKindTimedHttp, target.host,
                                        target.port, target.url, stop, limits,
                                        request.ipv6 ? "6" : "4");
    CTimedRootAnswer answer;
    answer.outcome = wire.outcome;
    answer.peer = wire.peer;
    answer.at = wire.moments;
    if (answer.outcome.failure == EHttpFailure::kNone) {
        answer.status = wire.status;
        answer.rawHeaders = wire.headers;
    }
    return answer;
}

// The POST's answer: the response, then its body's pieces up to the end.
CHttpPostAnswer SendPlainPost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits) {
    CExchangeProcess process(stop, limits);
    CHttpPostAnswer answer;
    answer.outcome = {EHttpFailure::kOther, 0, post.url, {}};
    CWireRecord record;
    EHttpFailure failure = EHttpFailure::kOther;
    if (!process.Start(ExchangeArguments(kKindPost, CString(), 0, post.url, limits), EncodeWirePost(post)) ||
        !process.Next(&record, &failure) || record.kind != EWireRecord::kAnswer) {
        answer.outcome.failure = failure;
        return answer;
    }
    answer.outcome = record.answer.outcome;
    answer.status = record.answer.status;
    if (answer.outcome.failure != EHttpFailure::kNone) return answer;
    while (process.Next(&record, &failure) && record.kind == EWireRecord::kBody)
        answer.body += record.body;
    if (record.kind != EWireRecord::kEnd) answer.outcome.failure = failure;
    return answer;
}

// ---- The exchange's own process ----

namespace {

// The command line's words, split by the system's own rules (those the argument list's
// quoting is built for); empty when it cannot split them.
std::vector<std::wstring> CommandLineWords(const wchar_t* line) {
    std::vector<std::wstring> words;
    int count = 0;
    LPWSTR* split = CommandLineToArgvW(line, &count);
    if (!split) return words;
    for (int i = 0; i < count; ++i) words.emplace_back(split[i]);
    LocalFree(split);
    return words;
}

bool ParseCount(const std::wstring& text, long long most, int* value) {
    if (text.empty() || text.size() > 10) return false;
    long long number = 0;
    for (const wchar_t ch : text) {
        if (ch < L'0' || ch > L'9') return false;
        number = number * 10 + (ch - L'0');
    }
    if (number > most) return false;
    *value = static_cast<int>(number);
    return true;
}

struct CExchangeRequest {
    std::string kind;
    CString host;
    int port = 0;
    CString url;
    CString accept;
    CHttpLimits limits;
    std::wstring family;
};

bool ParseRequest(const std::vector<std::wstring>& words, CExchangeRequest* request) {
    if (words.size() != kArgCount) return false;
    const int most = 0x7FFFFFFF;
    request->kind = WideToUtf8(words[kArgKind]);
    request->host = CString(Utf16ToGbk(words[kArgHost], EGbkRule::kReplaceLookAlike));
    request->url = CString(Utf16ToGbk(words[kArgUrl], EGbkRule::kReplaceLookAlike));
    request->accept = CString(Utf16ToGbk(words[kArgAccept], EGbkRule::kReplaceLookAlike));
    CHttpLimits& limits = request->limits;
    const std::wstring& publicOnly = words[kArgPublicOnly];
    if (publicOnly != L"0" && publicOnly != L"1") return false;
    request->family = words[kArgFamily];
    const bool timed = request->kind == kKindTimedHttp || request->kind == kKindTimedHttps;
    if (timed ? request->family != L"4" && request->family != L"6" : !request->family.empty())
        return false;
    limits.publicHttpsOnly = publicOnly == L"1";
    const CExchangeRequestText text{request->kind, request->host, request->url, request->accept,
                                    limits.publicHttpsOnly};
    return IsAcceptableExchange(text) && ParseCount(words[kArgPort], 65535, &request->port) &&
           ParseCount(words[kArgConnectMs], most, &limits.connectMs) &&
           ParseCount(words[kArgSilenceMs], most, &limits.silenceMs) &&
           ParseCount(words[kArgTotalMs], most, &limits.totalMs) &&
           ParseCount(words[kArgMaxBody], most, &limits.maxBodyBytes) &&
           ParseCount(words[kArgMaxHeader], most, &limits.maxHeaderBytes);
}

[[noreturn]] void EndThisProcess(UINT code) {
    // Not ExitProcess: that would wait on the layer's threads and their locks. The
    // records written are in the pipe already.
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);
}

// What this process holds: its private bytes, or where the system does not count them
// (Wine), its resident ones, which also count the DLLs a TLS exchange loads (some 15 MiB
// under Wine, within the limit).
long long MemoryInUse() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    return static_cast<long long>(counters.PrivateUsage > 0 ? counters.PrivateUsage : counters.WorkingSetSize);
}

// The exchange's side of the pipe. One record at a time; the last one ends the process.
class CExchangeOutput {
public:
    CExchangeOutput() : m_out(GetStdHandle(STD_OUTPUT_HANDLE)) {}

    void Send(const std::string& record) {
        std::lock_guard<std::timed_mutex> guard(m_lock);
        Write(record);
    }
    [[noreturn]] void Finish(const std::string& record, UINT code = 0) {
        m_lock.lock();
        Write(record);
        EndThisProcess(code);
    }
    // For the watchdog: a writer blocked on a full pipe does not keep it from ending the
    // process, only from saying why.
    [[noreturn]] void FinishSoon(const std::string& record, UINT code) {
        if (m_lock.try_lock_for(std::chrono::milliseconds(200))) Write(record);
        EndThisProcess(code);
    }

private:
    void Write(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD wrote = 0;
            const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
            if (!WriteFile(m_out, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
                EndThisProcess(3);  // the caller is gone
            }
            done += wrote;
        }
    }

    HANDLE m_out;
    std::timed_mutex m_lock;
};

// What the process knows of its exchange, for the watchdog's last word.
class CExchangeState {
public:
    void NoteUrl(const CString& url) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_url = url;
    }
    void NoteAnswered() { m_answered = true; }

    // The answer was too much to hold: before the response was handed on it failed the
    // exchange, after it the body.
    std::string TooLargeRecord() {
        CHttpOutcome outcome;
        outcome.failure = EHttpFailure::kHeadersTooLong;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            outcome.url = m_url;
        }
        if (m_answered) return EncodeWireEnd(outcome);
        CWireAnswer answer;
        answer.outcome = outcome;
        return EncodeWireAnswer(answer);
    }

private:
    std::mutex m_lock;
    CString m_url;
    std::atomic<bool> m_answered{false};
};

void WatchMemory(CExchangeOutput* output, CExchangeState* state, long long atStart) {
    for (;;) {
        Sleep(kHttpChildMemoryPollMs);
        if (MemoryInUse() - atStart > kHttpChildMemoryGrowthLimitBytes)
            output->FinishSoon(state->TooLargeRecord(), 4);
    }
}

CWireAnswer AnswerOf(const CHttpHeaderAnswer& answer) {
    CWireAnswer wire;
    wire.outcome = answer.outcome;
    wire.status = answer.status;
    wire.headers = answer.rawHeaders;
    return wire;
}

// A timed exchange's answer, its moments and the address it connected to included.
std::string TimedAnswerRecord(const CExchangeRequest& request) {
    const bool https = request.kind == kKindTimedHttps;
    const CTimedRootRequest timed{
        {request.host, request.port, RootUrl(https ? "https" : "http", request.host, request.port)},
        request.family == L"6"};
    const CTimedRootAnswer answer = ExchangeTimedRoot(timed, nullptr, request.limits, HttpRules());
    CWireAnswer wire;
    wire.outcome = answer.outcome;
    wire.status = answer.status;
    wire.headers = answer.rawHeaders;
    wire.peer = answer.peer;
    wire.moments = answer.at;
    return EncodeWireAnswer(wire);
}

// The POST its caller put on standard input: false when none came whole, or it is not
// one the program itself would send.
bool ReadPostInput(CHttpPost* post) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    CWireReader reader(kPostInputCap);
    CWireRecord record;
    char buffer[16 << 10];
    for (;;) {
        const EWireRead state = reader.Next(&record);
        if (state == EWireRead::kMalformed) return false;
        if (state == EWireRead::kRecord) break;
        DWORD got = 0;
        if (!input || !ReadFile(input, buffer, sizeof buffer, &got, nullptr) || got == 0 ||
            !reader.Feed(buffer, got)) {
            return false;
        }
    }
    if (record.kind != EWireRecord::kPost) return false;
    record.post.url = post->url;
    *post = std::move(record.post);
    return IsPlainPost(*post);
}

[[noreturn]] void RunPost(const CExchangeRequest& request, CExchangeOutput* output) {
    CHttpPost post;
    post.url = request.url;
    if (!ReadPostInput(&post)) EndThisProcess(2);
    const CHttpPostAnswer answer = ExchangePost(post, nullptr, request.limits, HttpRules());
    CWireAnswer wire;
    wire.outcome = answer.outcome;
    wire.status = answer.status;
    if (answer.outcome.failure != EHttpFailure::kNone) output->Finish(EncodeWireAnswer(wire));
    output->Send(EncodeWireAnswer(wire));
    for (size_t at = 0; at < answer.body.size(); at += kBodyPieceBytes) {
        const size_t count = std::min<size_t>(kBodyPieceBytes, answer.body.size() - at);
        output->Send(EncodeWireBody(answer.body.data() + at, count));
    }
    output->Finish(EncodeWireEnd(CHttpOutcome()));
}

[[noreturn]] void RunExchange(const CExchangeRequest& request) {
    // Never freed: the process ends inside this function, and the watchdog uses both.
    auto* output = new CExchangeOutput;
    auto* state = new CExchangeState;
    const long long atStart = MemoryInUse();
    std::thread(WatchMemory, output, state, atStart).detach();

    // Each exchange names the address it sets out for, and each it moves on to, here.
    const CUrlNotice notice = [state](const CString& url) { state->NoteUrl(url); };
    const CHttpLimits& limits = request.limits;
    if (request.kind == kKindRoot) {
        const CRootTarget target{request.host, request.port,
                                 RootUrl("http", request.host, request.port)};
        const CHttpHeaderAnswer root =
            ExchangeRootHeaders(target, nullptr, limits, HttpRules(), notice);
        output->Finish(EncodeWireAnswer(AnswerOf(root)));
    }
    if (request.kind == kKindHttps) {
        const CRootTarget target{request.host, request.port,
                                 RootUrl("https", request.host, request.port)};
        const CHttpsAnswer https = ExchangeHttpsRoot(target, nullptr, limits, HttpRules(), notice);
        CWireAnswer wire = AnswerOf(https.response);
        wire.certificate = https.certificate;
        output->Finish(EncodeWireAnswer(wire));
    }
    if (request.kind == kKindTimedHttp || request.kind == kKindTimedHttps)
        output->Finish(TimedAnswerRecord(request));
    if (request.kind == kKindPost) RunPost(request, output);
    if (request.kind != kKindPage) EndThisProcess(2);

    CPageExchange page(nullptr, limits, HttpRules(), notice);
    const bool isOpen = page.Open(request.url, request.accept);
    CWireAnswer opened;
    opened.outcome = page.Outcome();
    opened.status = page.Status();
    opened.headers = page.StatusLine();
    if (!isOpen) output->Finish(EncodeWireAnswer(opened));
    state->NoteAnswered();
    output->Send(EncodeWireAnswer(opened));
    // The same pieces, and the same stop at the byte limit, as CHttpPage::ReadLine asks for.
    char piece[kBodyPieceBytes];
    for (int read = 0;;) {
        const int room = std::min(kBodyPieceBytes, limits.maxBodyBytes - read);
        const int got = room > 0 ? page.ReadSome(piece, room) : 0;
        if (got < 0) output->Finish(EncodeWireEnd(page.Outcome()));
        if (got == 0) output->Finish(EncodeWireEnd(CHttpOutcome()));
        output->Send(EncodeWireBody(piece, static_cast<size_t>(got)));
        read += got;
    }
}

// This process's command line, split as the C runtime would.
std::vector<std::wstring> OwnCommandLineWords() {
    const wchar_t* line = GetCommandLineW();
    if (!line || !std::wcsstr(line, kExchangeMarker)) return {};
    // No DLL from anywhere but the system folder, the one that splits the line included,
    // whether or not the program's start has said so yet.
    LimitDllSearchToSystemFolder();
    return CommandLineWords(line);
}

}  // namespace

const char kHttpExchangeSwitch[] = "--tollvane-http-exchange";

bool IsHttpExchangeProcess() {
    const std::vector<std::wstring> words = OwnCommandLineWords();
    return words.size() > kArgMarker && words[kArgMarker] == kExchangeMarker;
}

int RunHttpExchangeProcess() {
    CExchangeRequest request;
    if (!IsHttpExchangeProcess() || !ParseRequest(OwnCommandLineWords(), &request)) EndThisProcess(2);
    RunExchange(request);
}
