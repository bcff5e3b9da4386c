// Where the running executable lives.
#pragma once

#include "platform/path_text.h"

// Paths are CFilePath (path_text.h): the bytes the system gives on Linux, UTF-8 on
// Windows, so a folder named in any language survives whatever the ANSI code page is.

// Full path of the running executable, or empty when the system cannot tell.
CFilePath GetExecutablePath();
// The path separator of this system's file names.
char GetPathSeparator();

// The executable's folder, ending in the separator (empty when unknown). Cut after the
// last separator rather than by the length of "<name>.exe": a program without that
// extension would otherwise lose part of its folder.
CFilePath GetExecutableDirectory();
// The executable's file name without its extension: the application's name.
CFilePath GetExecutableBaseName();
