#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/deadline.h"
#include "platform/http_header_posix.h"
#include "platform/http_transport.h"
#include "platform/platform_error.h"
#include "platform/program_path.h"
#include "platform/stop_signal.h"

namespace {

void EnsureCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The address of the last request, after the redirects followed so far.
CString EffectiveUrl(CURL* easy) {
    const char* url = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url) return CString();
    return CString(url);
}

CHttpOutcome MapResult(CURL* easy, CURLcode result) {
    CHttpOutcome outcome;
    switch (result) {
        case CURLE_OK:
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            outcome.failure = EHttpFailure::kNameNotResolved;
            break;
        case CURLE_COULDNT_CONNECT: {
            long error = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &error);
            const bool refused = TranslateSystemError(error).kind == EPlatformError::kRefused;
            outcome.failure = refused ? EHttpFailure::kRefused : EHttpFailure::kCannotConnect;
            break;
        }
        case CURLE_OPERATION_TIMEDOUT:
            outcome.failure = EHttpFailure::kTimedOut;
            break;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            outcome.failure = EHttpFailure::kConnectionLost;
            break;
        case CURLE_URL_MALFORMAT:
            outcome.failure = EHttpFailure::kInvalidAddress;
            break;
        case CURLE_TOO_MANY_REDIRECTS:
            outcome.failure = EHttpFailure::kTooManyRedirects;
            break;
        default:
            outcome.failure = EHttpFailure::kOther;
            break;
    }
    outcome.code = result;
    outcome.url = EffectiveUrl(easy);
    return outcome;
}

// Whether an exchange limited to public addresses was refused one it was to connect to.
struct CAddressGuard {
    bool refused = false;

    static bool IsPublic(const CHttpRules& rules, const sockaddr& address, socklen_t length) {
        if (address.sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
            const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(address);
            return rules.isPublicIpv4(reinterpret_cast<const uint8_t*>(&ipv4.sin_addr));
        }
        if (address.sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
            const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
            return rules.isPublicIpv6(ipv6.sin6_addr.s6_addr);
        }
        return false;
    }
};

// One transfer driven through a multi handle in short slices, so that the stop signal
// and the overall limit are noticed while it waits. libcurl's own limits bound the
// connection and every silence.
class CCurlTransfer {
public:
    CCurlTransfer(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules)
        : m_stop(stop), m_deadline(limits.totalMs), m_limits(limits), m_rules(rules) {
        EnsureCurl();
        m_multi = curl_multi_init();
        m_easy = curl_easy_init();
    }
    ~CCurlTransfer() {
        if (m_added) curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy) curl_easy_cleanup(m_easy);
        if (m_multi) curl_multi_cleanup(m_multi);
        curl_slist_free_all(m_headers);
    }
    CCurlTransfer(const CCurlTransfer&) = delete;
    CCurlTransfer& operator=(const CCurlTransfer&) = delete;

    CURL* Easy() const { return m_easy; }

    // Sets the common options, asking for the media type accept when it is not empty;
    // the caller adds its callbacks before Start.
    bool Prepare(const std::string& url, const std::string& accept = std::string());
    // One more request header line, after Prepare.
    void AddHeader(const std::string& line) {
        m_headers = curl_slist_append(m_headers, line.c_str());
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
    }
    void LimitToPublicHttps();
    bool Start() {
        m_added = curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
        return m_added;
    }

    // Drives the transfer until it has finished, was interrupted, or ready() holds.
    template <class Ready>
    void Drive(Ready ready) {
        while (!m_finished && m_interrupted == EHttpFailure::kNone && !ready()) {
            if (IsStopRaised(m_stop)) {
                m_interrupted = EHttpFailure::kStopped;
            } else if (m_deadline.Passed()) {
                m_interrupted = EHttpFailure::kTimedOut;
            } else {
                Step();
                if (m_finished || ready()) break;
                const int wait = std::max(1, std::min(kWaitSliceMs, m_deadline.Remaining()));
                curl_multi_poll(m_multi, nullptr, 0, wait, nullptr);
            }
        }
    }

    bool Finished() const { return m_finished; }
    // The address libcurl last set out to connect to, "" before any.
    const std::string& Peer() const { return m_peer; }
    int RemainingMs() const { return m_deadline.Remaining(); }
    CURLcode Result() const { return m_result; }
    bool Interrupted() const { return m_interrupted != EHttpFailure::kNone; }
    CHttpOutcome Outcome() const {
        if (!Interrupted() && Refused())
            return {EHttpFailure::kForbiddenAddress, m_result, EffectiveUrl(m_easy), {}};
        CHttpOutcome outcome;
        if (Interrupted()) {
            outcome.failure = m_interrupted;
            outcome.url = EffectiveUrl(m_easy);
        } else {
            outcome = MapResult(m_easy, m_result);
        }
        if (outcome.failure == EHttpFailure::kTimedOut) outcome.progress = Progress();
        return outcome;
    }

private:
    CHttpProgress Progress() const;
    static curl_socket_t OnOpenSocket(void* context, curlsocktype purpose, curl_sockaddr* address);
    static int OnConnected(void* context, char* peer, char* local, int peerPort, int localPort);
    static int OnCloseSocket(void* context, curl_socket_t socket);
    void NoteTcpConnection() const;

    // A forbidden address, or a redirect to a scheme other than https.
    bool Refused() const {
        return m_limits.publicHttpsOnly &&
               (m_guard.refused || m_result == CURLE_UNSUPPORTED_PROTOCOL);
    }
    void Step() {
        int running = 0;
        curl_multi_perform(m_multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            m_finished = true;
            m_result = message->data.result;
        }
    }

    CStopSignal* m_stop;
    CDeadline m_deadline;
    CHttpLimits m_limits;
    CHttpRules m_rules;
    CAddressGuard m_guard;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
    bool m_added = false;
    bool m_finished = false;
    CURLcode m_result = CURLE_OK;
    EHttpFailure m_interrupted = EHttpFailure::kNone;
    // Where the latest request stands: the address tried or connected to, and since when.
    std::string m_peer;
    bool m_connected = false;
    std::chrono::steady_clock::time_point m_phaseStart;
    curl_off_t m_headerBytesBefore = 0;  // header bytes of earlier requests (redirects)
    curl_socket_t m_socket = CURL_SOCKET_BAD;  // the latest one opened, until closed
    mutable bool m_tcpConnected = false;
};

std::string NumericAddress(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    } else if (address->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    }
    return text;
}

// Each address libcurl is about to connect to, so that a connection that never comes
// can be named by the address it was waiting for.
curl_socket_t CCurlTransfer::OnOpenSocket(void* context, curlsocktype, curl_sockaddr* address) {
    auto* self = static_cast<CCurlTransfer*>(context);
    // An exchange limited to public addresses checks the address it is about to connect
    // to: each one a name resolves to that libcurl tries, after every redirect.
    if (self->m_limits.publicHttpsOnly &&
        !CAddressGuard::IsPublic(self->m_rules, address->addr, address->addrlen)) {
        self->m_guard.refused = true;
        return CURL_SOCKET_BAD;
    }
    self->m_peer = NumericAddress(&address->addr);
    self->m_connected = false;
    self->m_tcpConnected = false;
    self->m_phaseStart = std::chrono::steady_clock::now();
    self->m_socket = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return self->m_socket;
}

// A TLS handshake that never ends comes after the TCP connection was made; whether it was
// is asked of the socket before libcurl closes it.
int CCurlTransfer::OnCloseSocket(void* context, curl_socket_t socket) {
    auto* self = static_cast<CCurlTransfer*>(context);
    if (socket == self->m_socket) {
        self->NoteTcpConnection();
        self->m_socket = CURL_SOCKET_BAD;
    }
    return close(socket);
}

void CCurlTransfer::NoteTcpConnection() const {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (m_socket != CURL_SOCKET_BAD && getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0)
        m_tcpConnected = true;
}

// A connection is made (or reused) and the request is about to go out.
int CCurlTransfer::OnConnected(void* context, char* peer, char*, int, int) {
    auto* self = static_cast<CCurlTransfer*>(context);
    if (peer) self->m_peer = peer;
    self->m_connected = true;
    self->m_phaseStart = std::chrono::steady_clock::now();
    long headerBytes = 0;
    curl_easy_getinfo(self->m_easy, CURLINFO_HEADER_SIZE, &headerBytes);
    self->m_headerBytesBefore = headerBytes;
    return CURL_PREREQFUNC_OK;
}

CHttpProgress CCurlTransfer::Progress() const {
    CHttpProgress progress;
    if (m_peer.empty()) return progress;
    progress.peer = CString(m_peer);
    NoteTcpConnection();  // the socket may still be open
    progress.connected = m_connected || m_tcpConnected;
    const auto waited = std::chrono::steady_clock::now() - m_phaseStart;
    progress.waitedSeconds = static_cast<int>(
        (std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() + 500) / 1000);
    if (!progress.connected) return progress;
    long headerBytes = 0;
    curl_off_t bodyBytes = 0;
    curl_easy_getinfo(m_easy, CURLINFO_HEADER_SIZE, &headerBytes);
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &bodyBytes);
    progress.answerBytes = headerBytes - m_headerBytesBefore + bodyBytes;
    return progress;
}

bool CCurlTransfer::Prepare(const std::string& url, const std::string& accept) {
    if (!m_multi || !m_easy) return false;
    static const std::string agent = GetExecutableBaseName();
    // The Windows HTTP layer asks for no particular media type unless told to.
    m_headers = curl_slist_append(nullptr, ("Accept:" + (accept.empty() ? "" : " " + accept)).c_str());
    CURL* easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(m_rules.maxRedirects));
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A name lookup still running when the exchange ends is left to finish on its own
    // thread; without this, cleaning up would wait for it, past every limit.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    if (!agent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    if (m_headers) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.connectMs));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_limits.totalMs));
    // Less than a byte a second for the silence limit: the server has gone quiet.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max(1, m_limits.silenceMs / 1000)));
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &CCurlTransfer::OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &CCurlTransfer::OnConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &CCurlTransfer::OnCloseSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    if (m_limits.publicHttpsOnly) LimitToPublicHttps();
    return true;
}

void CCurlTransfer::LimitToPublicHttps() {
    CURL* easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
}


// The header reader (http_header_posix.h) of one transfer, whose outcome it can tell.
struct CHeaderCollector : CHeaderBlock {
    explicit CHeaderCollector(int limitBytes) : CHeaderBlock(limitBytes) {}

    static size_t OnHeader(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CHeaderCollector*>(context);
        return self->Take(std::string(data, size * count)) ? size * count : 0;
    }

    // The transfer's outcome, unless the header block was what ended it.
    CHttpOutcome Outcome(const CCurlTransfer& transfer) const {
        CHttpOutcome outcome = transfer.Outcome();
        if (tooLong) outcome.failure = EHttpFailure::kHeadersTooLong;
        return outcome;
    }

};

}  // namespace

struct CPageExchange::Impl {
    Impl(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules)
        : transfer(stop, limits, rules),
          headers(limits.maxHeaderBytes),
          maxBody(limits.maxBodyBytes) {}

    static size_t OnBody(char* data, size_t size, size_t count, void* context) {
        Impl* self = static_cast<Impl*>(context);
        const size_t bytes = size * count;
        if (self->received >= static_cast<size_t>(self->maxBody)) {
            self->capped = true;
            return 0;  // ends the transfer: nothing past the limit is read
        }
        self->body.append(data, bytes);
        self->received += bytes;
        return bytes;
    }
    bool HasBytes() const { return consumed < body.size(); }
    // The body has ended normally, or at the byte limit.
    bool EndedWell() const {
        return transfer.Finished() && (transfer.Result() == CURLE_OK || capped);
    }

    CCurlTransfer transfer;
    CHeaderCollector headers;
    int maxBody;
    std::string body;
    size_t consumed = 0;
    size_t received = 0;
    bool capped = false;
};

// The address notices serve the Windows transport's own process; libcurl's effective
// address is read where the outcome is made.
CPageExchange::CPageExchange(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules,
                             CUrlNotice)
    : m_impl(new Impl(stop, limits, rules)) {}

CPageExchange::~CPageExchange() = default;

bool CPageExchange::Open(const CString& url, const CString& accept) {
    Impl* impl = m_impl.get();
    CCurlTransfer& transfer = impl->transfer;
    if (!transfer.Prepare(url.Bytes(), accept.Bytes())) {
        m_outcome.failure = EHttpFailure::kOther;
        m_outcome.code = CURLE_OUT_OF_MEMORY;
        return false;
    }
    curl_easy_setopt(transfer.Easy(), CURLOPT_WRITEFUNCTION, &Impl::OnBody);
    curl_easy_setopt(transfer.Easy(), CURLOPT_WRITEDATA, impl);
    curl_easy_setopt(transfer.Easy(), CURLOPT_HEADERFUNCTION, &CHeaderCollector::OnHeader);
    curl_easy_setopt(transfer.Easy(), CURLOPT_HEADERDATA, &impl->headers);
    if (!transfer.Start()) {
        m_outcome.failure = EHttpFailure::kOther;
        return false;
    }
    transfer.Drive([impl] { return impl->HasBytes(); });
    m_outcome = impl->EndedWell() || impl->HasBytes() ? CHttpOutcome()
                                                       : impl->headers.Outcome(transfer);
    m_outcome.url = EffectiveUrl(transfer.Easy());
    if (m_outcome.failure != EHttpFailure::kNone) return false;
    m_status = impl->headers.status;
    m_statusLine = CString(impl->headers.statusLine);
    return true;
}

int CPageExchange::ReadSome(char* buffer, int capacity) {
    Impl* impl = m_impl.get();
    impl->transfer.Drive([impl] { return impl->HasBytes(); });
    if (impl->HasBytes()) {
        const size_t count =
            std::min(static_cast<size_t>(capacity), impl->body.size() - impl->consumed);
        std::memcpy(buffer, impl->body.data() + impl->consumed, count);
        impl->consumed += count;
        if (impl->consumed == impl->body.size()) {
            impl->body.clear();
            impl->consumed = 0;
        }
        return static_cast<int>(count);
    }
    if (impl->EndedWell()) return 0;
    m_outcome = impl->headers.Outcome(impl->transfer);
    return -1;
}

namespace {

// The body is never read: its first bytes end the transfer.
size_t DropBody(char*, size_t, size_t, void*) { return 0; }

}  // namespace

CHttpHeaderAnswer ExchangeRootHeaders(const CRootTarget& target, CStopSignal* stop,
                                      const CHttpLimits& limits, const CHttpRules& rules,
                                      const CUrlNotice&) {
    CHttpHeaderAnswer answer;
    CCurlTransfer transfer(stop, limits, rules);
    CHeaderCollector headers(limits.maxHeaderBytes);
    const std::string url = target.url.Bytes();
    if (!transfer.Prepare(url)) {
        answer.outcome.failure = EHttpFailure::kOther;
        answer.outcome.code = CURLE_OUT_OF_MEMORY;
        return answer;
    }
    curl_easy_setopt(transfer.Easy(), CURLOPT_HEADERFUNCTION, &CHeaderCollector::OnHeader);
    curl_easy_setopt(transfer.Easy(), CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(transfer.Easy(), CURLOPT_WRITEFUNCTION, &DropBody);
    if (!transfer.Start()) {
        answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    transfer.Drive([&headers] { return headers.complete; });
    if (!headers.complete) {
        answer.outcome = headers.Outcome(transfer);
        if (answer.outcome.failure == EHttpFailure::kNone)
            answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    answer.outcome.url = EffectiveUrl(transfer.Easy());
    answer.status = headers.status;
    answer.rawHeaders = CString(headers.block);
    return answer;
}

namespace {

// A final response's header block has ended, a redirect's too: this exchange follows none.
bool HeaderBlockEnded(const CHeaderCollector& headers) {
    const std::string& block = headers.block;
    return headers.status >= 200 && block.size() >= 4 &&
           block.compare(block.size() - 4, 4, "\r\n\r\n") == 0;
}

// The server's own certificate, the first of the chain libcurl reports.
CServerCertificate ReadCertificate(CURL* easy, const CString& host, const CHttpRules& rules) {
    CServerCertificate certificate;
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CERTINFO, &info) != CURLE_OK || !info ||
        info->num_of_certs < 1) {
        return certificate;
    }
    certificate.present = true;
    for (curl_slist* item = info->certinfo[0]; item; item = item->next) {
        const std::string entry = item->data;
        const size_t colon = entry.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = entry.substr(0, colon);
        const std::string value = entry.substr(colon + 1);
        if (key == "Subject") certificate.subject = CString(value);
        if (key == "Issuer") certificate.issuer = CString(value);
        if (key == "Start date") certificate.notBefore = ParseCertificateDate(value);
        if (key == "Expire date") certificate.notAfter = ParseCertificateDate(value);
        if (key == "X509v3 Subject Alternative Name") certificate.dnsNames = DnsNamesOf(value);
    }
    std::vector<CString> names = certificate.dnsNames;
    if (names.empty()) names.push_back(CommonNameOf(certificate.subject.Bytes()));
    for (const CString& name : names)
        certificate.nameMatches =
            certificate.nameMatches || rules.certificateNameMatches(name, host);
    return certificate;
}

// A second handshake, this one checking the chain against the system's roots (the
// name is judged apart). A date outside the validity period is reported on its own
// line, so it does not count against trust.
bool ChainIsTrusted(const std::string& url, CStopSignal* stop, const CHttpLimits& limits,
                    const CHttpRules& rules) {
    CCurlTransfer transfer(stop, limits, rules);
    if (!transfer.Prepare(url)) return false;
    CURL* easy = transfer.Easy();
    curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    if (!transfer.Start()) return false;
    transfer.Drive([] { return false; });
    if (!transfer.Finished()) return false;
    if (transfer.Result() == CURLE_OK) return true;
    long verdict = -1;
    curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verdict);
    const long kNotYetValid = 9;
    const long kExpired = 10;
    return transfer.Result() == CURLE_PEER_FAILED_VERIFICATION &&
           (verdict == kNotYetValid || verdict == kExpired);
}

}  // namespace

CHttpsAnswer ExchangeHttpsRoot(const CRootTarget& target, CStopSignal* stop,
                               const CHttpLimits& limits, const CHttpRules& rules,
                               const CUrlNotice&) {
    CHttpsAnswer result;
    CHttpHeaderAnswer& answer = result.response;
    CCurlTransfer transfer(stop, limits, rules);
    CHeaderCollector headers(limits.maxHeaderBytes);
    const std::string url = target.url.Bytes();
    if (!transfer.Prepare(url)) {
        answer.outcome.failure = EHttpFailure::kOther;
        answer.outcome.code = CURLE_OUT_OF_MEMORY;
        return result;
    }
    CURL* easy = transfer.Easy();
    // Only this one request; a redirect elsewhere would report another server's
    // certificate.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CHeaderCollector::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &DropBody);
    if (!transfer.Start()) {
        answer.outcome.failure = EHttpFailure::kOther;
        return result;
    }
    transfer.Drive([&headers] { return HeaderBlockEnded(headers); });
    result.certificate = ReadCertificate(easy, target.host, rules);
    if (result.certificate.present) {
        CHttpLimits rest = limits;
        rest.totalMs = std::max(1, transfer.RemainingMs());
        result.certificate.trusted = ChainIsTrusted(url, stop, rest, rules);
    }
    if (!HeaderBlockEnded(headers)) {
        answer.outcome = headers.Outcome(transfer);
        if (answer.outcome.failure == EHttpFailure::kNone)
            answer.outcome.failure = EHttpFailure::kOther;
        return result;
    }
    answer.outcome.url = EffectiveUrl(easy);
    answer.status = headers.status;
    answer.rawHeaders = CString(headers.block);
    return result;
}

namespace {

// The body of a timed request is read, not kept, up to the limit's byte count.
struct CBodyCounter {
    long long left = 0;
    bool capped = false;

    static size_t OnBody(char*, size_t size, size_t count, void* context) {
        auto* self = static_cast<CBodyCounter*>(context);
        const auto bytes = static_cast<long long>(size * count);
        if (bytes > self->left) {
            self->capped = true;
            return 0;  // ends the transfer, which counts as done
        }
        self->left -= bytes;
        return size * count;
    }
};

// libcurl's moment of a phase in microseconds since the start, 0 when it was not reached.
double MomentMs(CURL* easy, CURLINFO what) {
    curl_off_t microseconds = 0;
    if (curl_easy_getinfo(easy, what, &microseconds) != CURLE_OK || microseconds <= 0) return -1;
    return static_cast<double>(microseconds) / 1000.0;
}

CPhaseMoments ReadMoments(CURL* easy, bool https, bool done, double elapsedMs) {
    CPhaseMoments at;
    at.resolved = MomentMs(easy, CURLINFO_NAMELOOKUP_TIME_T);
    at.connected = MomentMs(easy, CURLINFO_CONNECT_TIME_T);
    if (https) at.secured = MomentMs(easy, CURLINFO_APPCONNECT_TIME_T);
    at.firstByte = MomentMs(easy, CURLINFO_STARTTRANSFER_TIME_T);
    if (done) {
        const double total = MomentMs(easy, CURLINFO_TOTAL_TIME_T);
        at.done = total > 0 ? total : elapsedMs;
    }
    return at;
}

void PrepareTimed(CURL* easy, bool ipv6) {
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_IPRESOLVE, ipv6 ? CURL_IPRESOLVE_V6 : CURL_IPRESOLVE_V4);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
}

struct CPostBody {
    std::string body;
    size_t limit = 0;
    bool capped = false;

    static size_t OnBody(char* data, size_t size, size_t count, void* context) {
        auto* self = static_cast<CPostBody*>(context);
        const size_t bytes = size * count;
        if (self->body.size() + bytes > self->limit) {
            self->capped = true;
            return 0;
        }
        self->body.append(data, bytes);
        return bytes;
    }
};

}  // namespace

CTimedRootAnswer ExchangeTimedRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits, const CHttpRules& rules) {
    CTimedRootAnswer answer;
    const auto start = std::chrono::steady_clock::now();
    CCurlTransfer transfer(stop, limits, rules);
    CHeaderCollector headers(limits.maxHeaderBytes);
    CBodyCounter body{limits.maxBodyBytes};
    if (!transfer.Prepare(request.target.url.Bytes())) {
        answer.outcome.failure = EHttpFailure::kOther;
        answer.outcome.code = CURLE_OUT_OF_MEMORY;
        return answer;
    }
    CURL* easy = transfer.Easy();
    PrepareTimed(easy, request.ipv6);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CHeaderCollector::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CBodyCounter::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (!transfer.Start()) {
        answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    transfer.Drive([] { return false; });
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    const bool done = headers.complete && transfer.Finished() &&
                      (transfer.Result() == CURLE_OK || body.capped);
    const char* peer = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &peer) == CURLE_OK && peer) answer.peer = peer;
    // A connection that failed leaves libcurl's own address empty.
    if (answer.peer.IsEmpty()) answer.peer = CString(transfer.Peer());
    answer.at = ReadMoments(easy, request.target.url.Bytes().compare(0, 8, "https://") == 0, done,
                            elapsed.count());
    if (!done) {
        answer.outcome = headers.Outcome(transfer);
        if (answer.outcome.failure == EHttpFailure::kNone) answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    answer.outcome.url = EffectiveUrl(easy);
    answer.status = headers.status;
    answer.rawHeaders = CString(headers.block);
    return answer;
}

CHttpPostAnswer ExchangePost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits,
                             const CHttpRules& rules) {
    CHttpPostAnswer answer;
    CCurlTransfer transfer(stop, limits, rules);
    CHeaderCollector headers(limits.maxHeaderBytes);
    CPostBody body;
    body.limit = static_cast<size_t>(limits.maxBodyBytes);
    if (!transfer.Prepare(post.url.Bytes(), "application/json")) {
        answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    CURL* easy = transfer.Easy();
    // The whole body goes at once: no "Expect: 100-continue" round trip to wait on.
    transfer.AddHeader("Expect:");
    for (const std::string& line : post.headers) transfer.AddHeader(line);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, post.body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post.body.size()));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CHeaderCollector::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CPostBody::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    if (!transfer.Start()) {
        answer.outcome.failure = EHttpFailure::kOther;
        return answer;
    }
    transfer.Drive([] { return false; });
    answer.outcome = headers.Outcome(transfer);
    if (body.capped && answer.outcome.failure != EHttpFailure::kNone && headers.complete)
        answer.outcome = CHttpOutcome();  // a long answer is cut, not failed
    if (answer.outcome.failure != EHttpFailure::kNone) return answer;
    answer.status = headers.status;
    answer.body = std::move(body.body);
    return answer;
}
