#include "app/tollvane_dlg.h"

#include <commctrl.h>

#include <chrono>

#include "app/app_messages.h"
#include "app/dialog_frontend.h"
#include "app/gbk_text.h"
#include "app/output_area.h"
#include "app/report_saving.h"
#include "engine/check_run.h"
#include "engine/check_sequence.h"
#include "engine/domain_input.h"
#include "platform/net_startup.h"
#include "res/resource.h"

namespace {

const int kProgressStep = 10;
const int kProgressMax = kProgressStep * kCheckStepCount;
const int kExtendedProgressMax = kProgressStep * (kCheckStepCount + kExtendedStepCount);

}  // namespace

CTollvaneDlg::CTollvaneDlg()
    : CDialogBase(IDD_MAIN_DIALOG),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CTollvaneDlg::~CTollvaneDlg() { StopUpload(); }

BOOL CTollvaneDlg::OnInitDialog() {
    HWND self = GetSafeHwnd();
    SendMessageW(self, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(self, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    HWND progress = GetDlgItem(IDC_PROGRESS);
    SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
    SendMessageW(progress, PBM_SETSTEP, kProgressStep, 0);
    SendMessageW(progress, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(CLR_DEFAULT));
    PrepareOutputArea(GetDlgItem(IDC_EDIT_OUTPUT));
    StartNetworking();
    ShowUploadButton();
    return TRUE;
}

bool CTollvaneDlg::OnCommand(int id, int code, HWND) {
    switch (id) {
        case IDC_BUTTON_START:
            if (code == BN_CLICKED) OnBnClickedStart();
            return true;
        case IDC_BUTTON_SAVEAS:
            if (code == BN_CLICKED) OnBnClickedSaveAs();
            return true;
        case IDC_BUTTON_OPEN:
            if (code == BN_CLICKED) OnBnClickedOpen();
            return true;
        case IDC_BUTTON_UPLOAD:
            if (code == BN_CLICKED) OnBnClickedUpload();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        case IDOK:
            // Enter while the start button is disabled: neither a run nor closing.
            return true;
        default:
            return false;
    }
}

bool CTollvaneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_PAINT:
            if (!IsIconic(GetSafeHwnd())) return false;
            OnPaint();
            return true;
        case WM_QUERYDRAGICON:
            *result = reinterpret_cast<LRESULT>(m_hIcon);
            return true;
        case WM_APP_APPEND:
            AppendOutput(*reinterpret_cast<const CString*>(lParam));
            return true;
        case WM_CHECK_DONE:
            *result = OnCheckDone(wParam, lParam);
            return true;
        case WM_UPLOAD_DONE:
            *result = OnUploadDone(lParam);
            return true;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return true;
        case WM_TIMER:
            if (wParam != IDT_RUN_STATUS) return false;
            OnRunStatusTimer();
            return true;
        default:
            return false;
    }
}

void CTollvaneDlg::OnPaint() {
    HWND self = GetSafeHwnd();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(self, &paint);
    SendMessageW(self, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(self, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(self, &paint);
}

void CTollvaneDlg::OnBnClickedStart() {
    if (m_run) return;  // the button is disabled during a run; this guards any other route
    ClearOutputArea(GetDlgItem(IDC_EDIT_OUTPUT), &m_report);
    ClearRunFindings();
    HWND field = GetDlgItem(IDC_EDIT_DOMAIN);
    std::wstring typed(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    typed.resize(static_cast<size_t>(GetWindowTextW(field, &typed[0], static_cast<int>(typed.size()))));
    CString domain;
    const bool representable = TypedTextToGbk(typed, &domain);
    m_strDomain = representable ? CleanDomain(domain) : CString();
    if (!IsDomainAcceptable(m_strDomain)) {
        ShowMessage(GbkToWide(kInvalidDomainMessage), MB_OK);
        return;
    }
    SetStatus("正在检测...请勿关闭窗口！");
    m_shownStatus.Empty();
    EnableStart(false);
    // The bar's range covers the steps this run has.
    const bool extended = IsDlgButtonChecked(GetSafeHwnd(), IDC_CHECK_EXTENDED) == BST_CHECKED;
    SendMessageW(GetDlgItem(IDC_PROGRESS), PBM_SETRANGE, 0,
                 MAKELPARAM(0, extended ? kExtendedProgressMax : kProgressMax));
    m_frontEnd = std::make_shared<CDialogFrontEnd>(GetSafeHwnd(), GetDlgItem(IDC_PROGRESS));
    m_run = CCheckRun::Start(m_frontEnd, m_strDomain,
                             extended ? &RunExtendedCheckSequence : &RunCheckSequence);
    if (m_run) SetTimer(GetSafeHwnd(), IDT_RUN_STATUS, kRunStatusPeriodMs, nullptr);
    if (!m_run) {
        SetStatus("");
        EnableStart(true);
        ShowMessage(GbkToWide("无法启动检测，请稍后重试。"), MB_OK | MB_ICONERROR);
    }
}

void CTollvaneDlg::OnBnClickedSaveAs() {
    const bool redact = IsDlgButtonChecked(GetSafeHwnd(), IDC_CHECK_REDACT) == BST_CHECKED;
    SaveReportAs(GetSafeHwnd(), m_report, redact);
}

void CTollvaneDlg::AppendOutput(const CString& text) {
    if (m_closing) return;
    AppendToOutputArea(GetDlgItem(IDC_EDIT_OUTPUT), &m_report, text);
}

// A worker still running after the wait is cut off from the window and left to end
// with the process.
void CTollvaneDlg::EndRun() {
    KillTimer(GetSafeHwnd(), IDT_RUN_STATUS);
    if (!m_run->WaitForEnd(kWorkerEndWaitMs, &HandleSentMessages)) m_leftWorkerRunning = true;
    m_run.reset();
    m_frontEnd.reset();
}

void CTollvaneDlg::OnRunStatusTimer() {
    if (!m_run || !m_frontEnd) return;
    const CString status = m_frontEnd->Progress().WindowStatus(std::chrono::steady_clock::now());
    // Set only when it changes: the static control repaints on every set.
    if (status.IsEmpty() || status == m_shownStatus) return;
    m_shownStatus = status;
    SetStatus(status.GetString());
}

LRESULT CTollvaneDlg::OnCheckDone(WPARAM, LPARAM) {
    // The worker has written its last line; only its clean-up is left.
    if (m_run) EndRun();
    ShowRunFindings();
    SetStatus("检测完成");
    EnableStart(true);
    if (m_askingToClose) {
        m_doneWhileAsking = true;  // not a second box on top of the question
    } else {
        ShowCompletion();
    }
    return 0;
}

void CTollvaneDlg::ShowCompletion() {
    ShowMessage(GbkToWide("检测完成，请另存为结果发送给我们。"), MB_OK);
}

void CTollvaneDlg::OnCancel() {
    if (m_run) {
        m_askingToClose = true;
        const int answer = ShowMessage(GbkToWide("检测尚未完成，确定要停止检测并关闭窗口吗？"),
                                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        m_askingToClose = false;
        const bool doneMeanwhile = m_doneWhileAsking;
        m_doneWhileAsking = false;
        if (answer != IDYES) {
            if (doneMeanwhile) ShowCompletion();
            return;
        }
    }
    StopUpload();
    // The run may have ended while the question was shown.
    if (m_run) {
        m_closing = true;
        m_run->Stop();
        EndRun();
    }
    EndDialog(IDCANCEL);
}

void CTollvaneDlg::SetStatus(const char* gbk) {
    SetWindowTextW(GetDlgItem(IDC_STATIC_STATUS), GbkToWide(gbk).c_str());
}

void CTollvaneDlg::EnableStart(bool enable) {
    HWND start = GetDlgItem(IDC_BUTTON_START);
    // A disabled button cannot keep the keyboard focus; hand it to the domain field.
    if (!enable && GetFocus() == start) {
        SendMessageW(GetSafeHwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_EDIT_DOMAIN)), TRUE);
    }
    EnableWindow(start, enable ? TRUE : FALSE);
}

int CTollvaneDlg::ShowMessage(const std::wstring& text, UINT type) {
    return MessageBoxW(GetSafeHwnd(), text.c_str(), L"Tollvane", type);
}
