#include "app/report_saving.h"

#include <commdlg.h>

#include <cwctype>
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
// The third type is the web page: the findings, the path's chart and the report's text.
const DWORD kWebPageType = 3;

bool ChooseReportPath(HWND owner, std::wstring* path, DWORD* type, DWORD* dialogError) {
    std::wstring file = L"NetTestReport.txt";
    file.resize(kPathCapacity, L'\0');
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpstrFilter =
        L"TxtFile (.txt)\0*.txt\0AllFile (*.*)\0*.*\0网页报告 (*.html)\0*.html\0\0";
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
    *type = choice.nFilterIndex;
    return true;
}

bool EndsWith(const std::wstring& text, const wchar_t* end) {
    const std::wstring tail(end);
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (static_cast<wchar_t>(std::towlower(text[text.size() - tail.size() + i])) != tail[i])
            return false;
    }
    return true;
}

// The web page when its type was chosen or the name ends in .html; the dialog may have
// put its default ".txt" on a name typed without one, which the page's type replaces.
bool WantsWebPage(std::wstring* path, DWORD type) {
    if (EndsWith(*path, L".html") || EndsWith(*path, L".htm")) return true;
    if (type != kWebPageType) return false;
    if (EndsWith(*path, L".txt")) path->resize(path->size() - 4);
    *path += L".html";
    return true;
}

// The web page of the report the window shows, whichever saved form it was opened from.
std::string WebPageOf(const std::string& shown) {
    CReport report;
    CString error;
    if (!ReadReportBytes(shown, &report, &error)) report = ReadReportText(shown);
    return ReportBytes(report, EReportFormat::kHtml);
}

void ShowMessage(HWND owner, const std::wstring& text, UINT type) {
    MessageBoxW(owner, text.c_str(), L"Tollvane", type);
}

}  // namespace

void SaveReportAs(HWND owner, const CReportBuffer& report) {
    std::wstring path;
    DWORD type = 1;
    DWORD dialogError = 0;
    if (!ChooseReportPath(owner, &path, &type, &dialogError)) {
        if (dialogError != 0) {
            CString text;
            text.Format("无法打开保存对话框（错误代码 %lu）。",
                        static_cast<unsigned long>(dialogError));
            ShowMessage(owner, GbkToWide(text), MB_OK | MB_ICONERROR);
        }
        return;
    }
    // Taken after the choice, so the file holds the report as it is now.
    const bool webPage = WantsWebPage(&path, type);
    CString bytes = report.Snapshot();
    if (webPage) bytes = CString(WebPageOf(bytes.Bytes()));
    CString error;
    if (!SaveReportFile(WideToPath(path), bytes, &error)) {
        ShowMessage(
            owner,
            GbkToWide("检测结果未能保存到") + L"\r\n" + path + L"\r\n\r\n" + GbkToWide(error),
            MB_OK | MB_ICONERROR);
    }
}
