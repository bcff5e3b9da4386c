// What each HTTP backend (http_client_posix.cpp, http_client_win.cpp) provides behind
// http_client.h, whose portable part (http_client.cpp) checks the host first.
#pragma once

#include "platform/http_client.h"

// "scheme://host:port/", the address a root exchange sets out for.
CString RootUrl(const char* scheme, const CString& host, int port);

// FetchRootHeaders and FetchHttpsRoot for a host already found plain (IsPlainHostName).
CHttpHeaderAnswer FetchPlainRootHeaders(const CString& host, int port, CStopSignal* stop,
                                        const CHttpLimits& limits);
CHttpsAnswer FetchPlainHttpsRoot(const CString& host, int port, CStopSignal* stop,
                                 const CHttpLimits& limits);
