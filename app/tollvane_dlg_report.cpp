// The dialog's findings list, and the reports it opens from a file or a drop.
#include "app/findings_list.h"
#include "app/gbk_text.h"
#include "app/output_area.h"
#include "app/path_chart_view.h"
#include "app/report_opening.h"
#include "app/tollvane_dlg.h"
#include "diagnosis/findings.h"
#include "res/resource.h"

// The findings and the picture of the path are made from the same bytes the output area
// shows; a run without the optional steps has no path statistics, and the picture says so.
void CTollvaneDlg::ShowRunFindings() {
    const CString bytes = m_report.Snapshot();
    ShowFindings(GetDlgItem(IDC_EDIT_FINDINGS), AnalyzeReport(bytes.Bytes()));
    ShowReportPathChart(GetDlgItem(IDC_PATH_CHART), bytes.Bytes());
}

void CTollvaneDlg::ClearRunFindings() {
    ClearFindings(GetDlgItem(IDC_EDIT_FINDINGS));
    ClearPathChart(GetDlgItem(IDC_PATH_CHART));
}

void CTollvaneDlg::OnBnClickedOpen() {
    if (m_run) return;  // the report being written stays where it is
    std::wstring path;
    if (ChooseReportToOpen(GetSafeHwnd(), &path)) OpenReport(path);
}

void CTollvaneDlg::OnDropFiles(HDROP drop) {
    const std::wstring path = TakeDroppedFile(drop);
    if (!m_run && !path.empty()) OpenReport(path);
}

// The output area then holds exactly the file's bytes, so saving writes them back
// unchanged; a file that is no report leaves the area as it was.
void CTollvaneDlg::OpenReport(const std::wstring& path) {
    std::string bytes;
    CString error;
    if (!ReadReportFile(path, &bytes, &error)) {
        ShowMessage(GbkToWide("无法打开报告") + L"\r\n" + path + L"\r\n\r\n" + GbkToWide(error),
                    MB_OK | MB_ICONERROR);
        return;
    }
    const CAnalysis analysis = AnalyzeReport(bytes);
    if (!analysis.isReport) {
        ShowMessage(GbkToWide("这个文件不是检测报告：") + L"\r\n" + path, MB_OK | MB_ICONWARNING);
        return;
    }
    HWND output = GetDlgItem(IDC_EDIT_OUTPUT);
    ClearOutputArea(output, &m_report);
    AppendToOutputArea(output, &m_report, CString(bytes));
    SendMessageW(output, EM_SETSEL, 0, 0);
    SendMessageW(output, EM_SCROLLCARET, 0, 0);
    ShowFindings(GetDlgItem(IDC_EDIT_FINDINGS), analysis);
    ShowReportPathChart(GetDlgItem(IDC_PATH_CHART), bytes);
}
