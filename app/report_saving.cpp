#include "app/report_saving.h"

#include <commdlg.h>

#include <cwctype>
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
// The types after the first (the text, which stays the default) and the extension each
// gives a name typed without one: the JSON form, the web page (findings, the path's
// chart and the report's text), then any file.
struct CSaveType {
    const wchar_t* extension;
};
const CSaveType kSaveTypes[] = {{L".txt"}, {L".json"}, {L".html"}, {nullptr}};

bool ChooseReportPath(HWND owner, std::wstring* path, DWORD* type, DWORD* dialogError) {
    std::wstring file = L"NetTestReport.txt";
    file.resize(kPathCapacity, L'\0');
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpstrFilter =
        L"TxtFile (.txt)\0*.txt\0检测报告 JSON (*.json)\0*.json\0网页报告 (*.html)\0*.html\0"
        L"AllFile (*.*)\0*.*\0\0";
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

// The dialog puts its default ".txt" on a name typed without an extension; a JSON or web
// page type chosen in the dialog replaces it with its own.
void FitExtensionToType(std::wstring* path, DWORD type) {
    if (type < 2 || type > 3) return;
    const wchar_t* extension = kSaveTypes[type - 1].extension;
    if (EndsWith(*path, extension) || (type == 3 && EndsWith(*path, L".htm"))) return;
    if (EndsWith(*path, L".txt")) path->resize(path->size() - 4);
    *path += extension;
}

// The report the window shows, in the form the file's name asks for: the text byte for
// byte, or the JSON form or web page of its records, whichever saved form it came from.
CString FormOf(const CString& shown, EReportFormat format) {
    if (format == EReportFormat::kText) return shown;
    CReport report;
    CString ignored;
    if (!ReadReportBytes(shown.Bytes(), &report, &ignored)) report = ReadReportText(shown.Bytes());
    return CString(ReportBytes(report, format));
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

// The previewed report in the form the chosen file asks for: the text the preview
// showed, or the JSON form or web page made from the same records.
CString RedactedBytes(const CRedactedReport& redacted, EReportFormat format) {
    if (format == EReportFormat::kText) return CString(redacted.text);
    return CString(ReportBytes(redacted.report, format));
}

}  // namespace

void SaveReportAs(HWND owner, const CReportBuffer& report, bool redact) {
    // A redacted save writes what the preview showed, so the report is taken before it.
    CRedactedReport redacted;
    if (redact && !ConfirmRedacted(owner, report.Snapshot(), &redacted)) return;
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
    // Taken after the choice, so the file holds the report as it is now. A name ending
    // in .json or .html gets that form of the same records; any other name the text, byte
    // for byte, as before. A redacted save writes what the preview showed.
    FitExtensionToType(&path, type);
    EReportFormat format = EReportFormat::kText;
    CString error;
    if (!ReportFormatOfPath(WideToPath(path), &format, &error)) format = EReportFormat::kText;
    const CString saved =
        redact ? RedactedBytes(redacted, format) : FormOf(report.Snapshot(), format);
    if (!SaveReportFile(WideToPath(path), saved, &error)) {
        ShowMessage(owner, GbkToWide("检测结果未能保存到") + L"\r\n" + path + L"\r\n\r\n" +
                               GbkToWide(error),
                    MB_OK | MB_ICONERROR);
    }
}
