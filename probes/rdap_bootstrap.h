// The RDAP service of each top-level domain, from a snapshot of IANA's bootstrap
// registry for DNS compiled into the program.
#pragma once

#include <utility>
#include <vector>

#include "platform/mb_string.h"

// Rows of lower-case ASCII top-level label ("xn--" form for Chinese ones) and the base
// address of its RDAP service, ending in "/".
const std::vector<std::pair<CString, CString>>& RdapBootstrapRows();
