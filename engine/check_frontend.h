// What the check worker needs from whoever shows the report: the dialog on Windows,
// the terminal front end on Linux, and the tests' recorder.
#pragma once

#include "platform/mb_string.h"

class ICheckFrontEnd {
public:
    virtual ~ICheckFrontEnd() = default;

    // The cleaned domain; read once, at the start of a run.
    virtual CString GetDomain() = 0;
    // Appends GBK text at the end of the report, unchanged.
    virtual void AppendOutput(const CString& text) = 0;
    // One step of the progress indicator per finished step.
    virtual void StepProgress(int step, const CString& name) = 0;
    // The ninth step has been written.
    virtual void NotifyCheckDone() = 0;
};
