#include <windows.h>

#include "platform/atomic_file.h"

namespace {

bool Fail(const char* what, DWORD code, CString* error) {
    char message[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   message, sizeof message, nullptr);
    CString reason(message);
    reason.Trim();
    error->Format("%s：%s（错误代码 %lu）", what, reason.GetString(), static_cast<unsigned long>(code));
    return false;
}

// Creates a temporary file of a name no other file has, beside path. The name is new
// each time, so no file of the user's is ever opened over.
HANDLE CreateTemporaryBeside(const CString& path, CString* temp) {
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        temp->Format("%s.%lu-%lu.tmp", path.GetString(), static_cast<unsigned long>(GetCurrentProcessId()),
                     static_cast<unsigned long>(GetTickCount() + attempt));
        HANDLE file = CreateFileA(temp->GetString(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool WriteFileReplacing(const CString& path, const CString& bytes, CString* error) {
    CString temp;
    HANDLE file = CreateTemporaryBeside(path, &temp);
    if (file == INVALID_HANDLE_VALUE) return Fail("无法在目标文件夹中创建文件", GetLastError(), error);
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(bytes.GetLength());
    BOOL ok = size == 0 || WriteFile(file, bytes.GetString(), size, &written, nullptr);
    ok = ok && written == size && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(temp.GetString());
        return Fail("写入文件失败", writeError, error);
    }
    if (!MoveFileExA(temp.GetString(), path.GetString(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveError = GetLastError();
        DeleteFileA(temp.GetString());
        return Fail("无法替换目标文件", moveError, error);
    }
    return true;
}
