#include "app/report_saving.h"

#include <commdlg.h>

#include <string>

#include "app/gbk_text.h"
#include "engine/report_file_text.h"
#include "engine/report_files.h"
#include "model/report_text.h"
#include "platform/wide_text.h"

namespace {

// Room for long paths; the file dialog refuses a choice that does not fit.
const DWORD kPathCapacity = 4096;

// The Unicode dialog, so a folder named in any language can be chosen whatever the
// ANSI code page is. OFN_NOCHANGEDIR: the folder saved into must never become the
// current folder, where programs and libraries could be looked up later.
bool ChooseReportPath(HWND owner, std::wstring* path, DWORD* dialogError) {
    std::wstring file = L"NetTestReport.txt";
    file.resize(kPathCapacity, L'\0');
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    // The text stays the first type and the default; the JSON form is the second.
    choice.lpstrFilter = L"TxtFile (.txt)\0*.txt\0检测报告 JSON (*.json)\0*.json\0AllFile (*.*)\0*.*\0\0";
    choice.nFilterIndex = 1;
    choice.lpstrFile = &file[0];
    choice.nMaxFile = kPathCapacity;
    choice.lpstrDefExt = L"txt";
    choice.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&choice)) {
        *dialogError = CommDlgExtendedError();  // 0 when the user cancelled
        return false;
    }
    *path = file.c_str();
    return true;
}

void ShowMessage(HWND owner, const std::wstring& text, UINT type) {
    MessageBoxW(owner, text.c_str(), L"Tollvane", type);
}

}  // namespace

void SaveReportAs(HWND owner, const CReportBuffer& report) {
    std::wstring path;
    DWORD dialogError = 0;
    if (!ChooseReportPath(owner, &path, &dialogError)) {
        if (dialogError != 0) {
            CString text;
            text.Format("无法打开保存对话框（错误代码 %lu）。", static_cast<unsigned long>(dialogError));
            ShowMessage(owner, GbkToWide(text), MB_OK | MB_ICONERROR);
        }
        return;
    }
    // Taken after the choice, so the file holds the report as it is now. A name ending
    // in .json gets the JSON form of the same records; any other name the text, byte for
    // byte, as before.
    const CString bytes = report.Snapshot();
    EReportFormat format = EReportFormat::kText;
    CString error;
    if (!ReportFormatOfPath(WideToPath(path), &format, &error)) format = EReportFormat::kText;
    const CString saved = format == EReportFormat::kJson
                              ? CString(ReportBytes(ReadReportText(bytes.Bytes()), format))
                              : bytes;
    if (!SaveReportFile(WideToPath(path), saved, &error)) {
        ShowMessage(owner, GbkToWide("检测结果未能保存到") + L"\r\n" + path + L"\r\n\r\n" +
                               GbkToWide(error),
                    MB_OK | MB_ICONERROR);
    }
}
