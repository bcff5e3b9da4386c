// Writing a whole report to a file the user named, so that a failure never destroys
// what the path held before, and so that saving never turns something that is not a
// plain file into one.
#pragma once

#include <string>

#include "platform/mb_string.h"
#include "platform/path_text.h"

// Writes the bytes to path (see path_text.h for how a path is carried).
//
// - A missing or regular file: the bytes go to a temporary file beside it, which then
//   takes its place; an existing file keeps its permissions (POSIX: mode bits, and owner
//   where the system allows; Windows: attributes and security descriptor). A symbolic
//   link is followed: its target is written and the link stays a link. Where the folder
//   does not let a temporary file be made but the file itself is writable, the file is
//   rewritten in place instead.
// - A stream that exists and is no file (a FIFO, a character device such as /dev/null,
//   Windows' NUL or a console) is written in place, never replaced. A writer that makes
//   no progress for a while fails instead of waiting for ever.
// - Anything else (a directory, a block device, a socket, a read-only Windows file) is
//   refused.
//
// Returns false with a short GBK description, naming the cause, in *error. A write that
// fails (short, out of space, sync or close failing) always fails the call.
bool WriteFileReplacing(const std::string& path, const CString& bytes, CString* error);
