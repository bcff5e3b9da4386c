#include "platform/file_read.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_text.h"

CPlatformError ReadWholeFile(const CFilePath& path, size_t maxBytes, std::string* bytes) {
    std::wstring wide;
    if (!PathToWide(path, &wide)) return CPlatformError{EPlatformError::kNotFound, 0};
    CUniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) return TranslateSystemError(static_cast<long>(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size))
        return TranslateSystemError(static_cast<long>(GetLastError()));
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return CPlatformError{EPlatformError::kNoResources, 0};
    }
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(bytes->size() - done);
        if (!ReadFile(file.Get(), &(*bytes)[done], want, &got, nullptr)) {
            return TranslateSystemError(static_cast<long>(GetLastError()));
        }
        if (got == 0) break;  // shrank while we read: keep what there is
        done += got;
    }
    bytes->resize(done);
    return CPlatformError{};
}
