#include "cli/terminal_frontend.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "cli/visible_controls.h"

namespace {

// A command's line is shown only when at least this much of it fits.
const int kLeastCommandColumns = 8;

// Columns a GBK character takes: one for ASCII, two for a double-byte character.
int CharBytes(const std::string& gbk, size_t at) {
    return static_cast<unsigned char>(gbk[at]) >= 0x81 && at + 1 < gbk.size() ? 2 : 1;
}

int Columns(const std::string& gbk) {
    int columns = 0;
    for (size_t i = 0; i < gbk.size(); i += static_cast<size_t>(CharBytes(gbk, i))) {
        columns += CharBytes(gbk, i);
    }
    return columns;
}

// The longest whole-character start of the text that takes at most columns columns.
std::string FitColumns(const std::string& gbk, int columns) {
    size_t end = 0;
    int used = 0;
    while (end < gbk.size() && used + CharBytes(gbk, end) <= columns) {
        used += CharBytes(gbk, end);
        end += static_cast<size_t>(CharBytes(gbk, end));
    }
    return gbk.substr(0, end);
}

// Control bytes of a command's line in caret form ("^[" for ESC); GBK's second bytes
// are never below 0x40, so no character is split.
std::string CaretForm(const std::string& gbk) {
    std::string shown;
    for (const char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += '^';
            shown += static_cast<char>(byte == 0x7F ? '?' : byte + 0x40);
        } else {
            shown += c;
        }
    }
    return shown;
}

// The status line's GBK text on this terminal, judged on code points as the report is.
std::string StatusShown(const std::string& gbk) {
    CGbkCodePoints decoder;
    CVisibleControls visible;
    const std::u32string points = visible.Filter(decoder.Convert(gbk) + decoder.Flush());
    return CodePointsToTerminal(points + visible.Flush());
}

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace

std::string CTerminalFrontEnd::ComposeStatus(const CString& step, const CString& commandLine,
                                             int columns) {
    // The last column stays free: a line that fills it leaves some terminals about to wrap.
    const int room = std::max(1, columns - 1);
    std::string line = FitColumns(step.Bytes(), room);
    std::string command = commandLine.Bytes();
    std::replace(command.begin(), command.end(), '\t', ' ');
    const size_t first = command.find_first_not_of(' ');
    command = first == std::string::npos ? std::string()
                                         : command.substr(first, command.find_last_not_of(' ') - first + 1);
    command = CaretForm(command);
    const int left = room - Columns(line) - 2;
    if (!command.empty() && left >= kLeastCommandColumns) line += "  " + FitColumns(command, left);
    return line;
}

CTerminalFrontEnd::CTerminalFrontEnd(std::FILE* out, std::FILE* status, bool showControls)
    : m_out(out),
      m_status(status),
      m_showControls(showControls),
      m_holdPartialLine(status != nullptr && showControls) {}

std::string CTerminalFrontEnd::Shown(const std::string& gbk) {
    if (!m_showControls) return m_decoder.Convert(gbk);
    return CodePointsToTerminal(m_visible.Filter(m_codePoints.Convert(gbk)));
}

std::string CTerminalFrontEnd::ShownRest() {
    if (!m_showControls) return m_decoder.Flush();
    return CodePointsToTerminal(m_visible.Filter(m_codePoints.Flush()) + m_visible.Flush());
}

void CTerminalFrontEnd::Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void CTerminalFrontEnd::AppendOutput(const CString& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_report.Append(text);
    m_held += Shown(text.Bytes());
    const size_t lineEnd = m_holdPartialLine ? m_held.rfind('\n') : m_held.size() - 1;
    if (m_held.empty() || lineEnd == std::string::npos) return;
    EraseStatusLocked();
    Write(m_held.substr(0, lineEnd + 1));
    m_held.erase(0, lineEnd + 1);
    DrawStatusLocked();
}

// The progress bar's step: the status line already says which step runs.
void CTerminalFrontEnd::StepProgress(int, const CString&) {}

void CTerminalFrontEnd::RunRecorded(const CReport& report) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_records = report;
    m_recorded = true;
}

bool CTerminalFrontEnd::Records(CReport* report) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_recorded) *report = m_records;
    return m_recorded;
}

void CTerminalFrontEnd::NotifyCheckDone() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_runProgress.Ended();
    EraseStatusLocked();
    Write(m_held + ShownRest() + "\n");
    m_held.clear();
}

void CTerminalFrontEnd::RefreshStatus() {
    std::lock_guard<std::mutex> guard(m_lock);
    DrawStatusLocked();
}

void CTerminalFrontEnd::EndStatus() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_runProgress.Ended();
    EraseStatusLocked();
    if (!m_held.empty()) Write(m_held);
    m_held.clear();
}

void CTerminalFrontEnd::EraseStatusLocked() {
    if (!m_status || m_shownStatus.empty()) return;
    std::fputs("\r\x1b[K", m_status);
    std::fflush(m_status);
    m_shownStatus.clear();
}

void CTerminalFrontEnd::DrawStatusLocked() {
    if (!m_status) return;
    const CString step = m_runProgress.TerminalStatus(std::chrono::steady_clock::now());
    if (step.IsEmpty()) return EraseStatusLocked();
    const std::string gbk = ComposeStatus(step, m_runProgress.CommandLine(), TerminalColumns(m_status));
    const std::string shown = StatusShown(gbk);
    if (shown == m_shownStatus) return;
    std::fputs(("\r" + shown + "\x1b[K").c_str(), m_status);
    std::fflush(m_status);
    m_shownStatus = shown;
}
