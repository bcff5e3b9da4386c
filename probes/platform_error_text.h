// How the report names why a connection or a program start failed.
#pragma once

#include "platform/mb_string.h"
#include "platform/platform_error.h"

// A few words, no line end: "连接被拒绝", "连接超时", ...
CString DescribePlatformError(const CPlatformError& error);
