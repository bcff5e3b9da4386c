#include "cli/terminal_frontend.h"

#include "cli/visible_controls.h"
#include "engine/check_sequence.h"

CTerminalFrontEnd::CTerminalFrontEnd(std::FILE* out, std::FILE* progress, bool showControls)
    : m_out(out),
      m_progress(progress),
      m_showControls(showControls) {}

void CTerminalFrontEnd::Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void CTerminalFrontEnd::AppendOutput(const CString& text) {
    m_report.Append(text);
    if (!m_showControls) return Write(m_decoder.Convert(text.Bytes()));
    Write(CodePointsToTerminal(m_visible.Filter(m_codePoints.Convert(text.Bytes()))));
}

void CTerminalFrontEnd::StepProgress(int step, const CString&) {
    if (step < m_stepCount) ShowProgress(step + 1);
}

void CTerminalFrontEnd::NotifyCheckDone() {
    if (!m_showControls) return Write(m_decoder.Flush() + "\n");
    const std::u32string rest = m_visible.Filter(m_codePoints.Flush()) + m_visible.Flush();
    Write(CodePointsToTerminal(rest) + "\n");
}

void CTerminalFrontEnd::AnnounceFirstStep() { ShowProgress(1); }

void CTerminalFrontEnd::ShowProgress(int step) {
    if (!m_progress) return;
    CString line;
    // The report line before it may lack a line end (the separator has none).
    line.Format("%s[%d/%d] %s ...\n", step > 1 ? "\n" : "", step, m_stepCount,
                GetCheckStepName(step));
    CGbkDecoder decoder;
    const std::string shown = decoder.Convert(line.Bytes());
    std::fputs(shown.c_str(), m_progress);
    std::fflush(m_progress);
}
