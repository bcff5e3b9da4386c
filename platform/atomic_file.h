// Writing a whole file so that a failure never destroys what the path held before.
#pragma once

#include "platform/mb_string.h"

// Writes the bytes to a temporary file beside path, then puts it in path's place.
// On failure returns false with a short GBK description in *error, and path is left
// as it was.
bool WriteFileReplacing(const CString& path, const CString& bytes, CString* error);
