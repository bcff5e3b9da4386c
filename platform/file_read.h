// Reading a whole file the program ships with (a data file beside the executable).
#pragma once

#include <string>

#include "platform/path_text.h"
#include "platform/platform_error.h"

// The file's bytes, at most maxBytes of them: a larger file fails as kNoResources
// rather than filling memory.
CPlatformError ReadWholeFile(const CFilePath& path, size_t maxBytes, std::string* bytes);
