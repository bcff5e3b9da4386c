#include <windows.h>

#include <vector>

#include "platform/program_path.h"

CString GetExecutablePath() {
    // Grow past MAX_PATH rather than lose the tail of a long path.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<char> buffer(size);
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) return CString();
        if (length < size) return CString(buffer.data(), static_cast<int>(length));
    }
    return CString();
}

char GetPathSeparator() { return '\\'; }
