// The program's one window: domain entry, start and save-as buttons, progress bar,
// status text and the report.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <thread>

#include "app/dialog_base.h"
#include "app/dialog_frontend.h"
#include "app/upload_settings.h"
#include "engine/check_run.h"
#include "engine/report_buffer.h"
#include "platform/mb_string.h"
#include "platform/stop_signal.h"

class CTollvaneDlg : public CDialogBase {
public:
    CTollvaneDlg();
    ~CTollvaneDlg() override;

    // True when the window was closed during a run whose worker did not end in time.
    bool LeftWorkerRunning() const { return m_leftWorkerRunning; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnPaint();
    void OnBnClickedStart();
    void OnBnClickedSaveAs();
    LRESULT OnCheckDone(WPARAM wParam, LPARAM lParam);
    // The status text with the step in progress and its seconds.
    void OnRunStatusTimer();
    // The close box and Escape; during a run only after the user confirms.
    void OnCancel();
    // Handler of WM_APP_APPEND, on the interface thread.
    void AppendOutput(const CString& text);
    // Waits, within the bound, for the run's worker to end, and lets the run go.
    void EndRun();
    // The findings list and the opening of saved reports (tollvane_dlg_report.cpp).
    void ShowRunFindings();
    void ClearRunFindings();
    void OnBnClickedOpen();
    void OnDropFiles(HDROP drop);
    void OpenReport(const std::wstring& path);

    // The upload to the support desk's collector (tollvane_dlg_upload.cpp).
    void ShowUploadButton();
    void OnBnClickedUpload();
    void StartUpload(const std::string& body);
    LRESULT OnUploadDone(LPARAM result);
    // Stops an upload under way and waits for its worker, which ends at once.
    void StopUpload();

    void SetStatus(const char* gbk);
    void EnableStart(bool enable);
    int ShowMessage(const std::wstring& text, UINT type);
    void ShowCompletion();

    HICON m_hIcon;
    CString m_strDomain;  // the cleaned domain of the current or last run
    CReportBuffer m_report;  // what the output area shows, as GBK bytes
    std::unique_ptr<CCheckRun> m_run;
    std::shared_ptr<CDialogFrontEnd> m_frontEnd;  // of the current run
    CString m_shownStatus;
    bool m_closing = false;
    bool m_leftWorkerRunning = false;
    // A run that ends while the user is asked about closing tells so once they answer.
    bool m_askingToClose = false;
    bool m_doneWhileAsking = false;
    CUploadSettings m_upload;
    std::thread m_uploadWorker;
    std::shared_ptr<CStopSignal> m_uploadStop;  // of the upload under way
    bool m_uploading = false;
};
