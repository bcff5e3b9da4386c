// The upload of the report shown to the support desk's collector, which answers with a
// ticket the user reads out to the desk. The exchange runs on a worker thread, so the
// window stays alive while it waits; the worker posts its result back.
#include <memory>

#include "app/app_messages.h"
#include "app/gbk_text.h"
#include "app/redaction_preview.h"
#include "app/tollvane_dlg.h"
#include "net/report_upload.h"
#include "privacy/redaction.h"
#include "res/resource.h"

void CTollvaneDlg::ShowUploadButton() {
    m_upload = ReadUploadSettings();
    ShowWindow(GetDlgItem(IDC_BUTTON_UPLOAD), m_upload.url.empty() ? SW_HIDE : SW_SHOW);
}

// What leaves the machine is what the preview showed, unless the provider has turned
// redaction off for uploads.
void CTollvaneDlg::OnBnClickedUpload() {
    if (m_run || m_uploading || m_upload.url.empty()) return;
    std::string body = m_report.Snapshot().Bytes();
    if (body.empty()) {
        ShowMessage(GbkToWide("没有可上传的报告，请先检测或打开报告。"), MB_OK | MB_ICONWARNING);
        return;
    }
    if (m_upload.redact) {
        CRedactedReport redacted;
        std::string error;
        if (!RedactReportText(body, &redacted, &error)) {
            ShowMessage(GbkToWide("无法隐藏个人信息，报告未上传：") + L"\r\n" + GbkToWide(error.c_str()),
                        MB_OK | MB_ICONERROR);
            return;
        }
        if (!ShowRedactionPreview(GetSafeHwnd(), redacted.text, RedactionCountsLine(redacted.counts)))
            return;
        body = redacted.text;
    }
    StartUpload(body);
}

void CTollvaneDlg::StartUpload(const std::string& body) {
    StopUpload();
    m_uploading = true;
    EnableWindow(GetDlgItem(IDC_BUTTON_UPLOAD), FALSE);
    SetStatus("正在上传报告...");
    m_uploadStop = std::make_shared<CStopSignal>();
    const std::shared_ptr<CStopSignal> stop = m_uploadStop;
    const std::string url = m_upload.url;
    const HWND self = GetSafeHwnd();
    m_uploadWorker = std::thread([self, stop, url, body] {
        auto* result = new CReportUpload(UploadReport(url, body, false, NewUploadKey(), stop.get()));
        if (!PostMessageW(self, WM_UPLOAD_DONE, 0, reinterpret_cast<LPARAM>(result))) delete result;
    });
}

LRESULT CTollvaneDlg::OnUploadDone(LPARAM lParam) {
    const std::unique_ptr<CReportUpload> result(reinterpret_cast<CReportUpload*>(lParam));
    if (m_uploadWorker.joinable()) m_uploadWorker.join();
    m_uploading = false;
    EnableWindow(GetDlgItem(IDC_BUTTON_UPLOAD), TRUE);
    if (!result->ok) {
        SetStatus("上传失败");
        ShowMessage(GbkToWide("上传失败：") + GbkToWide(result->error.c_str()), MB_OK | MB_ICONERROR);
        return 0;
    }
    const std::string told = "报告编号：" + result->ticket + "（请把编号告诉客服）";
    SetStatus(told.c_str());
    ShowMessage(GbkToWide(told.c_str()), MB_OK | MB_ICONINFORMATION);
    return 0;
}

void CTollvaneDlg::StopUpload() {
    if (!m_uploadWorker.joinable()) return;
    if (m_uploadStop) m_uploadStop->Raise();
    m_uploadWorker.join();
    // Its result, if posted meanwhile, is no longer wanted.
    MSG message;
    while (PeekMessageW(&message, GetSafeHwnd(), WM_UPLOAD_DONE, WM_UPLOAD_DONE, PM_REMOVE))
        delete reinterpret_cast<CReportUpload*>(message.lParam);
    m_uploading = false;
}
