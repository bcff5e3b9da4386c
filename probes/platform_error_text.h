// How the report names why a connection or a program start failed.
#pragma once

#include "platform/mb_string.h"
#include "platform/platform_error.h"

// A few words, no line end: "连接被拒绝", "连接超时", ...
CString DescribePlatformError(const CPlatformError& error);

// Why a DNS query gave no records, as the DNS steps' lines say it: "域名不存在", "查询超时", ...
CString DescribeDnsFailure(EPlatformError failure);
