// What one step of a check run gives back: whether it passed and the text the report
// shows under its header (the findings on success, the reason on failure).
#pragma once

#include "platform/mb_string.h"

struct CStepOutcome {
    bool ok = false;
    CString text;
};
