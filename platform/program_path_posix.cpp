#include <unistd.h>

#include <vector>

#include "platform/program_path.h"

CFilePath GetExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return CFilePath();
    return CFilePath(buffer.data(), static_cast<size_t>(length));
}

char GetPathSeparator() { return '/'; }
