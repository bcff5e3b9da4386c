#include <windows.h>

#include <string>

#include "platform/atomic_file.h"
#include "platform/unique_handle_win.h"

namespace {

// WriteFile takes a 32-bit count; a report is written in pieces no larger than this.
const DWORD kWritePiece = 1u << 30;

bool Fail(ESaveStep step, DWORD code, CSaveFailure* failure) {
    failure->step = step;
    failure->error = TranslateSystemError(static_cast<long>(code));
    return false;
}

bool Refuse(ESaveRefusal refusal, CSaveFailure* failure) {
    failure->step = ESaveStep::kRefused;
    failure->refusal = refusal;
    return false;
}

// The name about to be written or replaced must still be the file examined, and no link
// or junction (opened as itself, never followed): anything else is another program's
// swap, and the save fails instead of acting on what the name now holds.
bool IsExaminedFile(HANDLE now, const BY_HANDLE_FILE_INFORMATION& examined) {
    BY_HANDLE_FILE_INFORMATION info = {};
    return GetFileInformationByHandle(now, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           info.dwVolumeSerialNumber == examined.dwVolumeSerialNumber &&
           info.nFileIndexHigh == examined.nFileIndexHigh && info.nFileIndexLow == examined.nFileIndexLow;
}

bool StillExamined(const std::wstring& target, const BY_HANDLE_FILE_INFORMATION& examined, DWORD* code) {
    CUniqueHandle now(CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!now.IsOpen()) {
        *code = GetLastError();
        return false;
    }
    *code = ERROR_SHARING_VIOLATION;
    return IsExaminedFile(now.Get(), examined);
}

bool WriteAll(HANDLE file, const CString& bytes, DWORD* code) {
    const char* data = bytes.GetString();
    size_t left = static_cast<size_t>(bytes.GetLength());
    while (left > 0) {
        const DWORD piece = left < kWritePiece ? static_cast<DWORD>(left) : kWritePiece;
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr)) {
            *code = GetLastError();
            return false;
        }
        if (written == 0) {
            *code = ERROR_DISK_FULL;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Creates a temporary file of a name no other file has, beside path. The name is new
// each time, so no file of the user's is ever opened over.
HANDLE CreateTemporaryBeside(const std::wstring& path, std::wstring* temp) {
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        *temp = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount() + attempt) + L".tmp";
        HANDLE file = CreateFileW(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The fallback for a folder that takes no new file: the file itself is rewritten.
// Room is reserved first, so a full disk fails the save before a byte of the earlier
// report is touched.
bool RewriteInPlace(const std::wstring& target, const BY_HANDLE_FILE_INFORMATION& examined,
                    const CString& bytes, DWORD tempError, CSaveFailure* failure) {
    CUniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.IsOpen()) return Fail(ESaveStep::kCreateInFolder, tempError, failure);
    if (!IsExaminedFile(file.Get(), examined)) return Fail(ESaveStep::kAccessPath, ERROR_SHARING_VIOLATION, failure);
    FILE_ALLOCATION_INFO room = {};
    room.AllocationSize.QuadPart = bytes.GetLength();
    if (!SetFileInformationByHandle(file.Get(), FileAllocationInfo, &room, sizeof room) &&
        GetLastError() == ERROR_DISK_FULL) {
        return Fail(ESaveStep::kWrite, ERROR_DISK_FULL, failure);
    }
    DWORD code = 0;
    bool ok = WriteAll(file.Get(), bytes, &code);
    if (ok && !(SetEndOfFile(file.Get()) && FlushFileBuffers(file.Get()))) ok = false, code = GetLastError();
    if (!file.Close() && ok) ok = false, code = GetLastError();
    return ok || Fail(ESaveStep::kWriteInPlace, code, failure);
}

// A new file whose name leaves no room for a temporary name beside it is written
// directly: there is no earlier report to protect, and a failed one is removed again.
bool CreateDirectly(const std::wstring& target, const CString& bytes, DWORD tempError, CSaveFailure* failure) {
    CUniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return Fail(ESaveStep::kCreateInFolder, tempError, failure);
    DWORD code = 0;
    bool ok = WriteAll(file.Get(), bytes, &code);
    if (ok && !FlushFileBuffers(file.Get())) ok = false, code = GetLastError();
    if (!file.Close() && ok) ok = false, code = GetLastError();
    if (!ok) DeleteFileW(target.c_str());
    return ok || Fail(ESaveStep::kWrite, code, failure);
}

// A missing or regular file: a temporary file beside it takes its place. ReplaceFileW
// gives the new file the old one's attributes and security descriptor; the attributes
// are set on the new file beforehand as well, for systems whose ReplaceFileW does not.
bool ReplaceRegular(const std::wstring& target, const BY_HANDLE_FILE_INFORMATION* examined,
                    const CString& bytes, CSaveFailure* failure) {
    const bool exists = examined != nullptr;
    std::wstring temp;
    CUniqueHandle file(CreateTemporaryBeside(target, &temp));
    if (!file.IsOpen()) {
        const DWORD tempError = GetLastError();
        if (!exists) return CreateDirectly(target, bytes, tempError, failure);
        return RewriteInPlace(target, *examined, bytes, tempError, failure);
    }
    DWORD code = 0;
    bool ok = WriteAll(file.Get(), bytes, &code);
    if (ok && !FlushFileBuffers(file.Get())) ok = false, code = GetLastError();
    if (!file.Close() && ok) ok = false, code = GetLastError();
    if (!ok) {
        DeleteFileW(temp.c_str());
        return Fail(ESaveStep::kWrite, code, failure);
    }
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (exists && (examined->dwFileAttributes & kept) != 0) {
        SetFileAttributesW(temp.c_str(), examined->dwFileAttributes & kept);
    }
    if (exists && !StillExamined(target, *examined, &code)) {
        DeleteFileW(temp.c_str());
        return Fail(ESaveStep::kAccessPath, code, failure);
    }
    const BOOL placed =
        exists ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                              nullptr, nullptr)
               : MoveFileExW(temp.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!placed) {
        const DWORD placeError = GetLastError();
        DeleteFileW(temp.c_str());
        return Fail(ESaveStep::kReplace, placeError, failure);
    }
    return true;
}

// A console, NUL or a pipe is written as it is, never replaced by a file.
bool WriteStream(const std::wstring& path, const CString& bytes, CSaveFailure* failure) {
    CUniqueHandle stream(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    if (!stream.IsOpen()) return Fail(ESaveStep::kOpen, GetLastError(), failure);
    DWORD code = 0;
    bool ok = WriteAll(stream.Get(), bytes, &code);
    if (!stream.Close() && ok) ok = false, code = GetLastError();
    return ok || Fail(ESaveStep::kWrite, code, failure);
}

// The file a symbolic link or junction finally names: it is written, the link stays.
// The name comes from the handle already open, so the links are followed once, when it
// was opened, and never looked up by name a second time.
std::wstring FinalPath(HANDLE file, const std::wstring& path) {
    std::wstring final(32768, L'\0');
    const DWORD units = GetFinalPathNameByHandleW(file, &final[0], static_cast<DWORD>(final.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (units == 0 || units >= final.size()) return path;
    final.resize(units);
    return final;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const CString& bytes, CSaveFailure* failure) {
    std::u16string units;
    if (!PathToUtf16(path, &units)) {
        failure->step = ESaveStep::kBadName;
        return false;
    }
    const std::wstring wide(units.begin(), units.end());
    // What the path names now decides how it is written; asking for attributes only
    // takes nothing from a file another program holds open.
    CUniqueHandle probe(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!probe.IsOpen()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return ReplaceRegular(wide, nullptr, bytes, failure);
        if (code == ERROR_PATH_NOT_FOUND) return Fail(ESaveStep::kCreateInFolder, code, failure);
        return Fail(ESaveStep::kAccessPath, code, failure);
    }
    const DWORD type = GetFileType(probe.Get());
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        probe.Close();
        return WriteStream(wide, bytes, failure);
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(probe.Get(), &info)) {
        return Fail(ESaveStep::kAccessPath, GetLastError(), failure);
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return Refuse(ESaveRefusal::kDirectory, failure);
    }
    // Read-only is the user's own word that the file must not change; Windows' own
    // editors refuse to save over it too.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        return Refuse(ESaveRefusal::kReadOnly, failure);
    }
    const std::wstring target = FinalPath(probe.Get(), wide);
    probe.Close();
    return ReplaceRegular(target, &info, bytes, failure);
}
