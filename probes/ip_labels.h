// Where an address is, for a support engineer reading a report: "局域网" for private,
// loopback, link-local and shared (100.64/10) addresses; the country, province, city and
// carrier from the offline database shipped with the program; "未知" otherwise.
#pragma once

#include "platform/mb_string.h"

// The label of a numeric IPv4 or IPv6 address, in GBK.
CString IpLabelFor(const CString& address);

// The database's date for --version ("" when it is not there).
CString IpDatabaseDate();
