// The transports that carry an HTTP exchange: libcurl (http_transport_posix.cpp) and the
// system HTTP layer, WinINet (http_transport_win.cpp). They move bytes within the limits
// they are given and leave every judgement (how many redirects, which addresses, whether
// a certificate names the host) to the rules the HTTP layer above them hands in
// (net/http_rules.h). On Windows the layer runs them in a process of their own: WinINet
// keeps every header line a server sends and a call that is given up on cannot be
// interrupted, so only ending the process bounds what a hostile server can make it hold.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mb_string.h"
#include "platform/time_limits.h"

class CStopSignal;

struct CHttpLimits {
    int connectMs = kHttpConnectLimitMs;  // establishing the connection
    int silenceMs = kHttpSilenceLimitMs;  // sending, or waiting for the next bytes of the answer
    int totalMs = kHttpTotalLimitMs;      // the whole exchange, whatever happens inside it
    int maxBodyBytes = 1 << 20;
    int maxHeaderBytes = 256 << 10;  // a header block past this fails the exchange
    // For an address a peer chose: https only, redirects included, straight to the server
    // (no proxy, which would reach what it likes on our behalf), and never to an address
    // the rules find off the public internet, whatever the name resolves to. A refused
    // address fails the exchange with kForbiddenAddress before any answer is read.
    bool publicHttpsOnly = false;
};

// Why an exchange did not complete.
enum class EHttpFailure {
    kNone,
    kNameNotResolved,
    kRefused,
    kCannotConnect,
    kTimedOut,
    kConnectionLost,
    kInvalidAddress,
    kStopped,
    kTooManyRedirects,
    kHeadersTooLong,
    kForbiddenAddress,
    kOther,
};

// How far a timed-out exchange got, as far as the transport can tell.
struct CHttpProgress {
    // The numeric address connected, or being connected, to; empty when the transport
    // never got as far as a connection or cannot tell.
    CString peer;
    bool connected = false;
    long long answerBytes = 0;  // bytes of the answer received over that connection
    int waitedSeconds = 0;      // in the phase the exchange stopped in
};

struct CHttpOutcome {
    EHttpFailure failure = EHttpFailure::kNone;
    long code = 0;  // the transport's own error number, when there is one
    // The address the last request went to: after redirects, the one that answered or
    // failed. Empty when the transport cannot tell.
    CString url;
    CHttpProgress progress;  // filled for kTimedOut
};

// What a GET of a server's root gave: the final response (after redirects) when an
// answer came, whatever its status.
struct CHttpHeaderAnswer {
    CHttpOutcome outcome;
    int status = 0;
    // Status line and header lines, each ended by CR LF, then the empty line's CR LF.
    CString rawHeaders;
};

// The certificate a TLS server presented, and the verdict on it.
struct CServerCertificate {
    bool present = false;
    CString subject;
    CString issuer;
    std::vector<CString> dnsNames;  // subject alternative names of type DNS
    long long notBefore = 0;        // seconds since 1970-01-01 UTC
    long long notAfter = 0;
    bool trusted = false;      // its chain leads to a root the system trusts, dates aside
    bool nameMatches = false;  // it names the host that was asked for
};

struct CHttpsAnswer {
    CHttpHeaderAnswer response;
    CServerCertificate certificate;
};

// The decisions a transport asks of the HTTP layer above it, which owns them.
struct CHttpRules {
    int maxRedirects = 0;  // redirects followed; one more fails with kTooManyRedirects
    // Whether an exchange limited to public addresses may connect to this one
    // (network-order bytes; a numeric address as text).
    bool (*isPublicIpv4)(const uint8_t bytes[4]) = nullptr;
    bool (*isPublicIpv6)(const uint8_t bytes[16]) = nullptr;
    bool (*isPublicAddressText)(const std::string& text) = nullptr;
    // The host of an address, empty when there is none.
    std::string (*hostOfUrl)(const std::string& url) = nullptr;
    // Whether a name a certificate carries covers the host asked for.
    bool (*certificateNameMatches)(const CString& pattern, const CString& host) = nullptr;
};

// Told each address the exchange is at: its first, each redirect, the one it ended at.
// Called on whichever thread learns it.
using CUrlNotice = std::function<void(const CString&)>;

// Where a root exchange goes: a host the caller has already found plain, its port, and
// the address they make ("scheme://host:port/"), formed by the layer above.
struct CRootTarget {
    CString host;
    int port = 0;
    CString url;
};

// A GET of the target's root, over http and https. The body is not read. The https one
// follows no redirect and reads the certificate whatever is wrong with it.
CHttpHeaderAnswer ExchangeRootHeaders(const CRootTarget& target, CStopSignal* stop,
                                      const CHttpLimits& limits, const CHttpRules& rules,
                                      const CUrlNotice& notice);
CHttpsAnswer ExchangeHttpsRoot(const CRootTarget& target, CStopSignal* stop,
                               const CHttpLimits& limits, const CHttpRules& rules,
                               const CUrlNotice& notice);

// A timed GET of a site's root, over one address family only: the name looked up for
// that family alone, and the first address it gives connected to. It goes straight to
// the server (no proxy, which would hide the family and add its own time), follows no
// redirect, and takes whatever certificate the server has: the HTTPS step judges it, this
// one only times the handshake. The body is read up to the limits' byte count.
struct CTimedRootRequest {
    CRootTarget target;
    bool ipv6 = false;
};

// When each phase of a timed request ended, in milliseconds since it started; -1 for
// one it never reached (and tls for a plain http request).
struct CPhaseMoments {
    double resolved = -1;   // the name looked up
    double connected = -1;  // the TCP connection made
    double secured = -1;    // the TLS handshake done
    double firstByte = -1;  // the answer's first byte
    double done = -1;       // the request over, the body read
};

struct CTimedRootAnswer {
    CHttpOutcome outcome;
    int status = 0;
    CString peer;        // the numeric address connected to, empty when none was
    CString rawHeaders;  // as CHttpHeaderAnswer's
    CPhaseMoments at;
};

CTimedRootAnswer ExchangeTimedRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits, const CHttpRules& rules);

// A GET of a whole address, its body read piece by piece. The limits' overall time
// runs from construction.
class CPageExchange {
public:
    CPageExchange(CStopSignal* stop, const CHttpLimits& limits, const CHttpRules& rules,
                  CUrlNotice notice);
    ~CPageExchange();
    CPageExchange(const CPageExchange&) = delete;
    CPageExchange& operator=(const CPageExchange&) = delete;

    // accept: the media type asked for (an Accept header), none when empty.
    bool Open(const CString& url, const CString& accept);
    // Next bytes of the body: the count, 0 at its end, -1 on failure (Outcome says why).
    int ReadSome(char* buffer, int capacity);
    const CHttpOutcome& Outcome() const { return m_outcome; }
    // After a successful Open: the final response's status code and status line, 0 and
    // empty when the transport gave none.
    int Status() const { return m_status; }
    const CString& StatusLine() const { return m_statusLine; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    CHttpOutcome m_outcome;
    int m_status = 0;
    CString m_statusLine;
};

// A POST of a body, the answer's body read whole up to the limits' byte count. Redirects
// are not followed: a POST is answered where it was sent, and a 3xx is an answer like any
// other. headers are "Name: value" lines the caller has already found plain.
struct CHttpPost {
    CString url;
    std::vector<std::string> headers;
    std::string body;
};
struct CHttpPostAnswer {
    CHttpOutcome outcome;
    int status = 0;
    std::string body;
};
// Carried by libcurl, and on Windows by WinINet (where the HTTP layer runs it in an
// exchange's process of its own, its headers and body handed over on standard input).
CHttpPostAnswer ExchangePost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits,
                             const CHttpRules& rules);
