#include "platform/search_path_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FindOnSearchPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && IsExecutableFile(folder + "/" + name)) return folder + "/" + name;
        start = end + 1;
    }
    return std::string();
}
