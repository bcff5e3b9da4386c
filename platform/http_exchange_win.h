// The system HTTP layer's (WinINet's) exchanges as they run inside one process. Used
// only by the Windows HTTP backend, which runs them in a process of their own: the layer
// keeps every header line a server sends and a call that is given up on cannot be
// interrupted, so only ending the process bounds what a hostile server can make it hold.
#pragma once

#include <functional>
#include <memory>

#include "platform/http_client.h"

class CStopSignal;

// Told each address the exchange is at: its first, each redirect, the one it ended at.
// Called on whichever thread learns it.
using CUrlNotice = std::function<void(const CString&)>;

// What FetchRootHeaders and FetchHttpsRoot promise, done in this process, for a host
// the caller has already found plain (IsPlainHostName).
CHttpHeaderAnswer ExchangeRootHeaders(const CString& host, int port, CStopSignal* stop,
                                      const CHttpLimits& limits, const CUrlNotice& notice);
CHttpsAnswer ExchangeHttpsRoot(const CString& host, int port, CStopSignal* stop,
                               const CHttpLimits& limits, const CUrlNotice& notice);

// What CHttpPage promises for Open and its reads, done in this process. The limits'
// overall time runs from construction.
class CPageExchange {
public:
    CPageExchange(CStopSignal* stop, const CHttpLimits& limits, CUrlNotice notice);
    ~CPageExchange();
    CPageExchange(const CPageExchange&) = delete;
    CPageExchange& operator=(const CPageExchange&) = delete;

    // accept: the media type asked for (an Accept header), none when empty.
    bool Open(const CString& url, const CString& accept);
    // Next bytes of the body: the count, 0 at its end, -1 on failure (Outcome says why).
    int ReadSome(char* buffer, int capacity);
    const CHttpOutcome& Outcome() const { return m_outcome; }
    int Status() const { return m_status; }
    const CString& StatusLine() const { return m_statusLine; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    CHttpOutcome m_outcome;
    int m_status = 0;
    CString m_statusLine;
};
