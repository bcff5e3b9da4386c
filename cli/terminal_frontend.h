// Shows a check run on a terminal: the report as it grows on standard output, in the
// terminal's encoding, and a progress line per step on standard error. On a terminal,
// control characters in the report are shown, never acted on.
#pragma once

#include <cstdio>

#include "cli/visible_controls.h"
#include "engine/check_frontend.h"
#include "engine/check_sequence.h"
#include "engine/report_buffer.h"
#include "platform/text_encoding.h"

class CTerminalFrontEnd : public ICheckFrontEnd {
public:
    // showControls: out is a terminal, so control characters are made visible.
    CTerminalFrontEnd(std::FILE* out, std::FILE* progress, bool showControls);

    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override;
    void NotifyCheckDone() override;

    // Called before the run starts, to announce its first step.
    void AnnounceFirstStep();
    // How many steps the run has (nine, or twelve with the optional ones).
    void SetStepCount(int count) { m_stepCount = count; }
    // The report's GBK bytes, exactly as appended.
    const CReportBuffer& Report() const { return m_report; }

private:
    void ShowProgress(int step);
    void Write(const std::string& text);

    std::FILE* m_out;
    std::FILE* m_progress;  // null when progress is not shown
    const bool m_showControls;
    CGbkDecoder m_decoder;             // when controls pass as they are
    CGbkCodePoints m_codePoints;       // when they are shown
    CVisibleControls m_visible;
    CReportBuffer m_report;
    int m_stepCount = kCheckStepCount;
};
