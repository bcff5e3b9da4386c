#include "cli/terminal_frontend.h"

#include "engine/check_sequence.h"

CTerminalFrontEnd::CTerminalFrontEnd(const CString& domain, std::FILE* out, std::FILE* progress)
    : m_domain(domain), m_out(out), m_progress(progress) {}

void CTerminalFrontEnd::AppendOutput(const CString& text) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_report += text;
    }
    const std::string shown = m_decoder.Convert(text.Bytes());
    std::fwrite(shown.data(), 1, shown.size(), m_out);
    std::fflush(m_out);
}

void CTerminalFrontEnd::StepProgress(int step, const CString&) {
    if (step < kCheckStepCount) ShowProgress(step + 1);
}

void CTerminalFrontEnd::NotifyCheckDone() {
    const std::string rest = m_decoder.Flush();
    std::fwrite(rest.data(), 1, rest.size(), m_out);
    std::fputs("\n", m_out);
    std::fflush(m_out);
}

void CTerminalFrontEnd::AnnounceFirstStep() { ShowProgress(1); }

CString CTerminalFrontEnd::GetReport() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_report;
}

void CTerminalFrontEnd::ShowProgress(int step) {
    if (!m_progress) return;
    CString line;
    // The report line before it may lack a line end (the separator has none).
    line.Format("%s[%d/%d] %s ...\n", step > 1 ? "\n" : "", step, kCheckStepCount,
                GetCheckStepName(step));
    CGbkDecoder decoder;
    const std::string shown = decoder.Convert(line.Bytes());
    std::fputs(shown.c_str(), m_progress);
    std::fflush(m_progress);
}
