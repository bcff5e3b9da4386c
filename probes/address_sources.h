// The public address as independent services see it: each asked side by side, each
// answer read strictly, and the line step 2 adds when they contradict its page.
#pragma once

#include <vector>

#include "net/http_client.h"
#include "platform/mb_string.h"
#include "probes/endpoints.h"

class CStopSignal;

struct CSourceAnswer {
    CString name;
    CString address;  // empty when the service gave none
    CString failure;  // why not, in a few words, when it gave none
};

// Asks every service at once; returns when each has answered or run out of its limits,
// in the order given.
std::vector<CSourceAnswer> AskAddressSources(const std::vector<CAddressSource>& sources,
                                             const CHttpLimits& limits, CStopSignal* stop);

// The address at least two services agree on, and their names joined by "、"; empty
// when no two agree.
struct CAgreedAddress {
    CString address;
    CString names;
};
CAgreedAddress AgreedAddress(const std::vector<CSourceAnswer>& answers);

// The line step 2 adds (ending in CR LF): when the services agree on an address the page
// did not give, or the page gave none. Empty otherwise, so that a page the services
// confirm leaves the step's text as it was.
CString CrossCheckLine(const CString& pageAddress, const std::vector<CSourceAnswer>& answers);
