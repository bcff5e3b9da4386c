// Reading a whole file the program ships with (a data file beside the executable).
#pragma once

#include <string>

#include "platform/mb_string.h"
#include "platform/platform_error.h"

// The file's bytes, at most maxBytes of them: a larger file fails as kNoResources
// rather than filling memory. The path is in the program's file-name encoding
// (program_path.h).
CPlatformError ReadWholeFile(const CString& path, size_t maxBytes, std::string* bytes);
