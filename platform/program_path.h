// Where the running executable lives.
#pragma once

#include "platform/mb_string.h"

// Full path of the running executable, or empty when the system cannot tell.
CString GetExecutablePath();
// The path separator of this system's file names.
char GetPathSeparator();
