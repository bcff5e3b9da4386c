#include <unistd.h>

#include <vector>

#include "platform/program_path.h"

CString GetExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return CString();
    return CString(buffer.data(), static_cast<int>(length));
}

char GetPathSeparator() { return '/'; }
