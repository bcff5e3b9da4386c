#include "platform/program_path.h"

CString GetExecutableDirectory() {
    const CString path = GetExecutablePath();
    return path.Left(path.ReverseFind(GetPathSeparator()) + 1);
}

CString GetExecutableBaseName() {
    const CString path = GetExecutablePath();
    CString name = path.Mid(path.ReverseFind(GetPathSeparator()) + 1);
    const int dot = name.ReverseFind('.');
    return dot > 0 ? name.Left(dot) : name;
}
