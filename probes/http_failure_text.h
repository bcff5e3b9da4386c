// How the report names the reason an HTTP exchange failed.
#pragma once

#include "net/http_client.h"
#include "platform/mb_string.h"

// A few words, no line end: "连接超时", "域名无法解析", ...
CString DescribeHttpFailure(const CHttpOutcome& outcome);

// The same words; when redirects led the exchange away from requestedUrl, they name the
// address that finally failed: "重定向到https://example.com/后连接被拒绝".
CString DescribeHttpFailureAfterRedirects(const CHttpOutcome& outcome, const CString& requestedUrl);

// Step 9's line for an exchange that failed: "无法访问网站http://example.com：连接超时\r\n".
CString WebsiteFailureLine(const CString& domain, int port, const CHttpOutcome& outcome);

// True when two addresses name the same resource: scheme and host in any letter case,
// a default port written or not, an empty path or "/".
bool IsSameAddress(const CString& first, const CString& second);
