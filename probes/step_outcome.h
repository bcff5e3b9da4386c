// What one step of a check run gives back: whether it got what it went for, the text the
// report shows under its header (the findings on success, the reason on failure), and
// the typed facts that text was written from, where the probe has them.
#pragma once

#include "model/report_model.h"
#include "platform/mb_string.h"

struct CStepOutcome {
    CStepOutcome() = default;
    CStepOutcome(bool stepOk, const CString& stepText) : ok(stepOk), text(stepText) {}

    // True when the step got what it went for: an answer, an address, a connection. The
    // record, its JSON form and the findings carry it.
    bool ok = false;
    CString text;
    // The facts of the step's kind the probe wrote the text from (only the members of its
    // kind are read); without them (typed false) the facts are read from the text.
    CStepRecord facts;
    bool typed = false;
};
