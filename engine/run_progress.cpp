#include "engine/run_progress.h"

#include "engine/check_sequence.h"

void CRunProgress::StepStarted(int step, int stepCount) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_step = step;
    m_stepCount = stepCount;
    m_stepStart = std::chrono::steady_clock::now();
    m_commandLine.Empty();
}

void CRunProgress::CommandPrinted(const CString& lastLine) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_commandLine = lastLine;
}

void CRunProgress::Ended() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_step = 0;
    m_commandLine.Empty();
}

int CRunProgress::SecondsAt(std::chrono::steady_clock::time_point now) const {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now - m_stepStart).count();
    return seconds < 0 ? 0 : static_cast<int>(seconds);
}

CString CRunProgress::TerminalStatus(std::chrono::steady_clock::time_point now) const {
    std::lock_guard<std::mutex> guard(m_lock);
    CString text;
    if (m_step > 0) {
        text.Format("[%d/%d] %s %d秒", m_step, m_stepCount, GetCheckStepName(m_step),
                    SecondsAt(now));
    }
    return text;
}

CString CRunProgress::WindowStatus(std::chrono::steady_clock::time_point now) const {
    std::lock_guard<std::mutex> guard(m_lock);
    CString text;
    if (m_step > 0) {
        text.Format("正在检测...请勿关闭窗口！ 第%d步 %s %d秒", m_step, GetCheckStepName(m_step),
                    SecondsAt(now));
    }
    return text;
}

CString CRunProgress::CommandLine() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_commandLine;
}
