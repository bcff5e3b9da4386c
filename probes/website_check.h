// Step 9: whether the site's root answers a GET over HTTP with status 200.
#pragma once

#include "platform/mb_string.h"
#include "probes/probe_context.h"

// Passes with the answer's status line and headers; fails with the reason, or the
// headers of an answer whose status is not 200. The step's time limit covers the name
// lookup and the exchange together.
CStepOutcome CheckWebsite(const CProbeContext& context, const CString& domain);
