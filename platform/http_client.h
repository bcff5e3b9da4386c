// Plain HTTP GET exchanges through the system's HTTP layer: the system proxy
// settings, redirects followed, every wait bounded, and a raised stop signal ends
// the exchange at once. On Windows each exchange runs in a process of its own (this
// program started again), which is ended when the exchange is over and ends itself
// when it holds too much: what a server sends never grows this process's memory.
#pragma once

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
    // off the public internet (public_address.h), whatever the name resolves to. A refused
    // address fails the exchange with kForbiddenAddress before any answer is read.
    bool publicHttpsOnly = false;
};

// The bounds of one exchange with an address service: short, so that all of them side by
// side, the Windows process's grace included, stay within kAddressCheckLimitMs.
inline CHttpLimits AddressSourceLimits() {
    CHttpLimits limits;
    limits.connectMs = kAddressSourceExchangeMs;
    limits.silenceMs = kAddressSourceExchangeMs;
    limits.totalMs = kAddressSourceExchangeMs;
    limits.maxBodyBytes = 4096;
    return limits;
}

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

// How far a timed-out exchange got, as far as the layer can tell.
struct CHttpProgress {
    // The numeric address connected, or being connected, to; empty when the layer never
    // got as far as a connection or cannot tell.
    CString peer;
    bool connected = false;
    long long answerBytes = 0;  // bytes of the answer received over that connection
    int waitedSeconds = 0;      // in the phase the exchange stopped in
};

struct CHttpOutcome {
    EHttpFailure failure = EHttpFailure::kNone;
    long code = 0;  // the HTTP layer's own error number, when there is one
    // The address the last request went to: after redirects, the one that answered or
    // failed. Empty when the layer cannot tell.
    CString url;
    CHttpProgress progress;  // filled for kTimedOut
};

// A GET of a whole address whose body is then read line by line, up to the limit's
// byte count.
class CHttpPage {
public:
    CHttpPage(CStopSignal* stop, const CHttpLimits& limits);
    ~CHttpPage();
    CHttpPage(const CHttpPage&) = delete;
    CHttpPage& operator=(const CHttpPage&) = delete;

    // Sends the request, asking for the media type accept (an Accept header) unless it
    // is empty; false when no answer came (Outcome says why). The status code is not
    // looked at: an error page is a body like any other. An address that is not plain
    // (IsPlainPageAddress), or a media type holding anything but printable ASCII, is not
    // sent (kInvalidAddress).
    bool Open(const CString& url, const CString& accept = CString());
    // The next line of the body without its "\n"; false once the body has ended, the
    // byte limit is reached, or reading failed (then Outcome says why).
    bool ReadLine(CString* line);
    const CHttpOutcome& Outcome() const { return m_outcome; }
    // After a successful Open: the final response's status code and status line
    // ("HTTP/1.1 404 Not Found", no line end); 0 and empty when the layer gave none.
    int Status() const { return m_status; }
    const CString& StatusLine() const { return m_statusLine; }

private:
    // The backend's Open, for a media type already found plain.
    bool OpenChecked(const CString& url, const CString& accept);
    // Next bytes of the body: the count, 0 at its end, -1 on failure.
    int ReadSome(char* buffer, int capacity);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    CHttpOutcome m_outcome;
    int m_status = 0;
    CString m_statusLine;
    int m_maxBody;
    int m_bodyRead = 0;
    bool m_ended = false;
    std::string m_pending;
};

// What a GET of a server's root gave: the final response (after redirects) when an
// answer came, whatever its status.
struct CHttpHeaderAnswer {
    CHttpOutcome outcome;
    int status = 0;
    // Status line and header lines, each ended by CR LF, then the empty line's CR LF.
    CString rawHeaders;
};

// True for a media type that can go into an Accept header as it is: printable ASCII,
// nothing that could end the header line.
bool IsPlainMediaType(const CString& accept);

// True for an address a page exchange can set out for: http:// or https:// (lower case,
// as the program writes them), a host, no user part, no control character.
bool IsPlainPageAddress(const CString& url);

// True for a name that can go to the HTTP layer as a host and nothing else: no address
// of its own, no user, port, path or blank smuggled inside it.
bool IsPlainHostName(const CString& host);

// GET of "/" on host:port, naming host as the request's host. The body is not read.
CHttpHeaderAnswer FetchRootHeaders(const CString& host, int port, CStopSignal* stop,
                                   const CHttpLimits& limits);

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

// GET of "/" on https://host:port, naming host as the request's host. The certificate is
// read whatever is wrong with it and judged apart, so an expired, untrusted or
// misnamed one still yields the answer and its details. The body is not read.
CHttpsAnswer FetchHttpsRoot(const CString& host, int port, CStopSignal* stop,
                            const CHttpLimits& limits);

// True when a certificate's name covers the host: equal in any letter case, or a
// wildcard "*.example.com" standing for exactly one leftmost label.
bool CertificateNameMatches(const CString& pattern, const CString& host);
