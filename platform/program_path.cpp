#include "platform/program_path.h"

#include <string>

// The cuts go by bytes, not by GBK characters: a path is UTF-8 on Windows and the
// system's bytes on Linux, in which the separator and the dot never stand inside a
// character, while the GBK rules would read "é\" of a Western name as one character.
CFilePath GetExecutableDirectory() {
    const CFilePath path = GetExecutablePath();
    const size_t last = path.rfind(GetPathSeparator());
    return last == std::string::npos ? CFilePath() : path.substr(0, last + 1);
}

CFilePath GetExecutableBaseName() {
    const CFilePath path = GetExecutablePath();
    const size_t last = path.rfind(GetPathSeparator());
    std::string name = last == std::string::npos ? path : path.substr(last + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}
