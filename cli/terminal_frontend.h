// Shows a check run on a terminal: the report as it grows on standard output, in the
// terminal's encoding, and, when standard error is a terminal, one status line at the
// bottom ("[5/9] 检测FTP（21）端口 8秒" and the running command's last line), rewritten in
// place and erased before any report text is written, so none of it stays among the
// report's lines. On a terminal, control characters in the report are shown, never
// acted on.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/visible_controls.h"
#include "engine/check_sequence.h"
#include "engine/report_buffer.h"
#include "engine/run_progress.h"
#include "platform/text_encoding.h"

class CTerminalFrontEnd : public CProgressFrontEnd {
public:
    // status: standard error when it is a terminal, else null (no status line).
    // showControls: out is a terminal, so control characters are made visible.
    CTerminalFrontEnd(std::FILE* out, std::FILE* status, bool showControls);

    void AppendOutput(const CString& text) override;
    void StepProgress(int step, const CString& name) override;
    void NotifyCheckDone() override;
    void RunRecorded(const CReport& report) override;

    // Rewrites the status line when its text has changed (its seconds change each
    // second); called by the thread waiting for the run, many times a second.
    void RefreshStatus();
    // The run is over, however it ended: the status line goes, held report text comes.
    void EndStatus();
    // The report's GBK bytes, exactly as appended.
    const CReportBuffer& Report() const { return m_report; }
    // The run's records when it ran to its end; false (and *report untouched) else.
    bool Records(CReport* report);

    // The status line for a terminal of this many columns (GBK): the step text, then
    // the command's line when room is left, each cut to fit.
    static std::string ComposeStatus(const CString& step, const CString& commandLine, int columns);

private:
    void Write(const std::string& text);
    // The report's GBK text as this terminal shows it.
    std::string Shown(const std::string& gbk);
    std::string ShownRest();
    void EraseStatusLocked();
    void DrawStatusLocked();

    std::FILE* m_out;
    std::FILE* m_status;
    const bool m_showControls;
    // Report text after its last line end waits for the line's end while a status line
    // shares the terminal, so the status line always starts a line of its own.
    const bool m_holdPartialLine;
    std::mutex m_lock;
    CGbkDecoder m_decoder;        // when controls pass as they are
    CGbkCodePoints m_codePoints;  // when they are shown
    CVisibleControls m_visible;
    CReportBuffer m_report;
    CReport m_records;
    bool m_recorded = false;
    std::string m_held;
    std::string m_shownStatus;  // what the status line shows now; empty when erased
};
