// Plain HTTP GET exchanges through the system's HTTP layer (platform/http_transport.h),
// under this layer's rules (http_rules.h): the system proxy
// settings, redirects followed, every wait bounded, and a raised stop signal ends
// the exchange at once. On Windows each exchange runs in a process of its own (this
// program started again), which is ended when the exchange is over and ends itself
// when it holds too much: what a server sends never grows this process's memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "platform/mb_string.h"
#include "platform/time_limits.h"

class CStopSignal;

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

// GET of "/" on https://host:port, naming host as the request's host. The certificate is
// read whatever is wrong with it and judged apart, so an expired, untrusted or
// misnamed one still yields the answer and its details. The body is not read.
CHttpsAnswer FetchHttpsRoot(const CString& host, int port, CStopSignal* stop,
                            const CHttpLimits& limits);

// The bounds of one timed request of the site timing step: all of it within limitMs,
// the body read up to a size that any page's start fits in, the header block as any
// other root exchange's.
CHttpLimits SiteTimingLimits(int limitMs);

// A timed GET of "/" on scheme://host:port (scheme "http" or "https") over IPv4 or IPv6
// alone (ExchangeTimedRoot in platform/http_transport.h), within limitMs.
CTimedRootAnswer TimeSiteRoot(const char* scheme, const CString& host, int port, bool ipv6,
                              CStopSignal* stop, int limitMs);

// True when a POST can go to the HTTP layer as it is: a plain address (IsPlainPageAddress)
// and header lines "Name: value" of printable ASCII alone, none able to end its line.
bool IsPlainPost(const CHttpPost& post);

// A POST (ExchangePost in platform/http_transport.h): its body sent, the answer's body
// read up to the limits' byte count, no redirect followed. One that is not plain is not
// sent (kInvalidAddress).
CHttpPostAnswer SendPost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits);

// True when a certificate's name covers the host: equal in any letter case, or a
// wildcard "*.example.com" standing for exactly one leftmost label.
bool CertificateNameMatches(const CString& pattern, const CString& host);
