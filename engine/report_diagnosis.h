// The diagnosis block a run with the optional steps ends with: the findings of the
// report the run has just written, in the report's own grammar.
#pragma once

#include <string>

#include "engine/check_frontend.h"

// Passes everything on to the front end and keeps a copy of the report's bytes, which
// the diagnosis reads at the end of the run.
class CReportCopy : public ICheckFrontEnd {
public:
    explicit CReportCopy(ICheckFrontEnd* inner) : m_inner(inner) {}

    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override { m_inner->StepProgress(step, name); }
    void NotifyCheckDone() override { m_inner->NotifyCheckDone(); }
    void StepStarted(int step, int stepCount) override { m_inner->StepStarted(step, stepCount); }
    void CommandPrinted(const CString& lastLine) override { m_inner->CommandPrinted(lastLine); }
    const std::string& Bytes() const { return m_bytes; }

private:
    ICheckFrontEnd* m_inner;
    std::string m_bytes;
};

// Appends the block numbered step, stamped with time, holding the findings of report.
void AppendDiagnosisBlock(ICheckFrontEnd* frontEnd, const std::string& report, int step,
                          const CString& time);
