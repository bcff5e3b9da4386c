// The save-as button: the report, byte for byte, into a file the user picks.
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "app/gbk_text.h"
#include "app/output_area.h"
#include "app/tollvane_dlg.h"
#include "platform/atomic_file.h"
#include "res/resource.h"

namespace {

// Room for long paths; the file dialog refuses a choice that does not fit.
const DWORD kPathCapacity = 4096;

// The path in the ANSI code page, the same one the file functions take it in.
bool ChooseReportPath(HWND owner, CString* path, DWORD* dialogError) {
    std::string file = "NetTestReport.txt";
    file.resize(kPathCapacity, '\0');
    OPENFILENAMEA choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpstrFilter = "TxtFile (.txt)\0*.txt\0AllFile (*.*)\0*.*\0\0";
    choice.nFilterIndex = 1;
    choice.lpstrFile = &file[0];
    choice.nMaxFile = kPathCapacity;
    choice.lpstrDefExt = "txt";
    choice.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER;
    if (!GetSaveFileNameA(&choice)) {
        *dialogError = CommDlgExtendedError();  // 0 when the user cancelled
        return false;
    }
    *path = CString(file.c_str());
    return true;
}

std::wstring AnsiToWide(const CString& text) {
    const int units = MultiByteToWideChar(CP_ACP, 0, text.GetString(), text.GetLength(), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.GetString(), text.GetLength(), &wide[0], units);
    }
    return wide;
}

}  // namespace

void CTollvaneDlg::OnBnClickedSaveAs() {
    CString path;
    DWORD dialogError = 0;
    if (!ChooseReportPath(GetSafeHwnd(), &path, &dialogError)) {
        if (dialogError != 0) {
            CString text;
            text.Format("无法打开保存对话框（错误代码 %lu）。", static_cast<unsigned long>(dialogError));
            ShowMessage(GbkToWide(text), MB_OK | MB_ICONERROR);
        }
        return;
    }
    // Read after the choice, so the file holds the report as it is now.
    const CString report = ReadOutputArea(GetDlgItem(IDC_EDIT_OUTPUT));
    CString error;
    if (!WriteFileReplacing(path, report, &error)) {
        ShowMessage(GbkToWide("检测结果未能保存到") + L"\r\n" + AnsiToWide(path) + L"\r\n\r\n" +
                        GbkToWide(error),
                    MB_OK | MB_ICONERROR);
    }
}
