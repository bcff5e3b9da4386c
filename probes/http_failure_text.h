// How the report names the reason an HTTP exchange failed.
#pragma once

#include "platform/http_client.h"
#include "platform/mb_string.h"

// A few words, no line end: "连接超时", "域名无法解析", ...
CString DescribeHttpFailure(const CHttpOutcome& outcome);
