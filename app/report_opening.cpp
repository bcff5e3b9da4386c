#include "app/report_opening.h"

#include <commdlg.h>

#include "diagnosis/thresholds.h"

namespace {

const DWORD kPathCapacity = 4096;

CString SystemError(const char* what, DWORD code) {
    CString text;
    text.Format("%s（错误代码 %lu）", what, static_cast<unsigned long>(code));
    return text;
}

// Closes the file however the read ends.
struct CFileHandle {
    HANDLE handle;
    ~CFileHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

}  // namespace

// OFN_NOCHANGEDIR: the folder a report is opened from never becomes the current folder.
bool ChooseReportToOpen(HWND owner, std::wstring* path) {
    std::wstring file(kPathCapacity, L'\0');
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpstrFilter = L"TxtFile (.txt)\0*.txt\0AllFile (*.*)\0*.*\0\0";
    choice.nFilterIndex = 1;
    choice.lpstrFile = &file[0];
    choice.nMaxFile = kPathCapacity;
    choice.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&choice)) return false;
    *path = file.c_str();
    return true;
}

std::wstring TakeDroppedFile(HDROP drop) {
    std::wstring path;
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length > 0 && length < kPathCapacity) {
        path.resize(length + 1);
        path.resize(DragQueryFileW(drop, 0, &path[0], length + 1));
    }
    DragFinish(drop);
    return path;
}

bool ReadReportFile(const std::wstring& path, std::string* bytes, CString* error) {
    CFileHandle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) {
        *error = SystemError("无法打开文件", GetLastError());
        return false;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.handle, &size) || size.QuadPart > diagnosis_limits::kMaxReportBytes) {
        *error = "文件过大，不是检测报告";
        return false;
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    size_t at = 0;
    while (at < bytes->size() &&
           ReadFile(file.handle, &(*bytes)[at], static_cast<DWORD>(bytes->size() - at), &got,
                    nullptr) &&
           got > 0) {
        at += got;
    }
    if (at != bytes->size()) {
        *error = SystemError("读取文件失败", GetLastError());
        return false;
    }
    return true;
}
