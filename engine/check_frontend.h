// What the check worker calls back while it runs: the dialog on Windows, the terminal
// front end on Linux, and the tests' recorder. The worker is handed everything else
// (the domain, the stop signal) when it starts.
#pragma once

#include "model/report_model.h"
#include "platform/mb_string.h"

class ICheckFrontEnd {
public:
    virtual ~ICheckFrontEnd() = default;

    // Appends GBK text at the end of the report, unchanged.
    virtual void AppendOutput(const CString& text) = 0;
    // One step of the progress indicator per finished step.
    virtual void StepProgress(int step, const CString& name) = 0;
    // The ninth step has been written.
    virtual void NotifyCheckDone() = 0;
    // For showing progress while a run goes on, never part of the report: a step (1 to
    // stepCount) begins; its command printed, and this is now its last line (GBK).
    virtual void StepStarted(int /*step*/, int /*stepCount*/) {}
    virtual void CommandPrinted(const CString& /*lastLine*/) {}
    // The run's records, just before NotifyCheckDone: the report the text was rendered
    // from, with its typed facts (and findings, with the optional steps). A run that
    // ends early (stopped, out of memory) gives none.
    virtual void RunRecorded(const CReport& /*report*/) {}
};
