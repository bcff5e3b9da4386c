// Where the running executable lives.
#pragma once

#include "platform/mb_string.h"

// Full path of the running executable, or empty when the system cannot tell.
CString GetExecutablePath();
// The path separator of this system's file names.
char GetPathSeparator();

// The executable's folder, ending in the separator (empty when unknown). Cut after the
// last separator rather than by the length of "<name>.exe": a program without that
// extension would otherwise lose part of its folder.
CString GetExecutableDirectory();
// The executable's file name without its extension: the application's name.
CString GetExecutableBaseName();
