// Readers of local text the environment step quotes: hosts file lines naming the site,
// and the time in an HTTP answer's Date header.
#pragma once

#include <string>
#include <vector>

#include "platform/mb_string.h"

// At most this many hosts file lines are quoted.
constexpr size_t kMaxHostsLines = 20;

// The lines of a hosts file whose names (after the address, before any "#") include one
// of the given names, in any letter case; each as it stands, without its line end.
std::vector<CString> HostsLinesNaming(const std::string& content,
                                      const std::vector<CString>& names);

// The time of an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT", the older
// "Sunday, 06-Nov-94 08:49:37 GMT" or "Sun Nov  6 08:49:37 1994") in seconds since 1970
// UTC; false for anything else.
bool ParseHttpDate(const std::string& text, long long* unixTime);

// The value of the first Date header in a header block (lines ended by CR LF); false
// when there is none.
bool DateHeaderOf(const std::string& headers, std::string* value);
