// What each HTTP backend (http_client_posix.cpp, http_client_win.cpp) provides behind
// http_client.h, whose portable part (http_client.cpp) checks the host first.
#pragma once

#include "net/http_client.h"

// This layer's decisions, handed to the transport with every exchange: redirects
// followed (as many as libcurl's default would allow for the WinINet transport too),
// the public address checks (public_address.h), the certificate name rule.
const CHttpRules& HttpRules();

// "scheme://host:port/", the address a root exchange sets out for.
CString RootUrl(const char* scheme, const CString& host, int port);

// FetchRootHeaders and FetchHttpsRoot for a host already found plain (IsPlainHostName).
CHttpHeaderAnswer FetchPlainRootHeaders(const CString& host, int port, CStopSignal* stop,
                                        const CHttpLimits& limits);
CHttpsAnswer FetchPlainHttpsRoot(const CString& host, int port, CStopSignal* stop,
                                 const CHttpLimits& limits);

// TimeSiteRoot for a host already found plain.
CTimedRootAnswer TimePlainSiteRoot(const CTimedRootRequest& request, CStopSignal* stop,
                                   const CHttpLimits& limits);

// SendPost for a POST already found plain.
CHttpPostAnswer SendPlainPost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits);
