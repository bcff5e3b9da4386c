#include "app/report_saving.h"

#include <commdlg.h>

#include <string>

#include "app/gbk_text.h"
#include "app/redaction_preview.h"
#include "engine/report_file_text.h"
#include "engine/report_files.h"
#include "model/report_text.h"
#include "platform/wide_text.h"
#include "privacy/redaction.h"

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

// The redacted report the user saw and confirmed in the preview; false when it cannot
// be redacted (told in a message box) or the user cancelled.
bool ConfirmRedacted(HWND owner, const CString& bytes, CRedactedReport* redacted) {
    std::string error;
    if (!RedactReportText(bytes.Bytes(), redacted, &error)) {
        ShowMessage(owner, GbkToWide(CString(error)), MB_OK | MB_ICONERROR);
        return false;
    }
    return ShowRedactionPreview(owner, redacted->text, RedactionCountsLine(redacted->counts));
}

// The previewed report in the form the chosen file's extension asks for: the text the
// preview showed, or the JSON made from the same records.
CString RedactedBytes(const std::wstring& path, const CRedactedReport& redacted) {
    EReportFormat format = EReportFormat::kText;
    CString ignored;
    if (ReportFormatOfPath(WideToPath(path), &format, &ignored) && format == EReportFormat::kJson)
        return CString(ReportBytes(redacted.report, EReportFormat::kJson));
    return CString(redacted.text);
}

}  // namespace

void SaveReportAs(HWND owner, const CReportBuffer& report, bool redact) {
    // A redacted save writes what the preview showed, so the report is taken before it.
    CRedactedReport redacted;
    if (redact && !ConfirmRedacted(owner, report.Snapshot(), &redacted)) return;
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
    // byte, as before. A redacted save writes what the preview showed.
    const CString bytes = report.Snapshot();
    EReportFormat format = EReportFormat::kText;
    CString error;
    if (!ReportFormatOfPath(WideToPath(path), &format, &error)) format = EReportFormat::kText;
    const CString saved = redact ? RedactedBytes(path, redacted)
                          : format == EReportFormat::kJson
                              ? CString(ReportBytes(ReadReportText(bytes.Bytes()), format))
                              : bytes;
    if (!SaveReportFile(WideToPath(path), saved, &error)) {
        ShowMessage(owner, GbkToWide("检测结果未能保存到") + L"\r\n" + path + L"\r\n\r\n" +
                               GbkToWide(error),
                    MB_OK | MB_ICONERROR);
    }
}
