#include <windows.h>

#include <vector>

#include "platform/program_path.h"
#include "platform/wide_text.h"

CFilePath GetExecutablePath() {
    // The wide call: an ANSI path loses every character outside the system's code page,
    // and a GBK one could not be split at its separators.
    // Grow past MAX_PATH rather than lose the tail of a long path.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return CFilePath();
        if (length < size) return WideToPath(std::wstring(buffer.data(), length));
    }
    return CFilePath();
}

char GetPathSeparator() { return '\\'; }
