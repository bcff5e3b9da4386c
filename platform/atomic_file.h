// Writing a whole report to a file the user named, so that a failure never destroys
// what the path held before, and so that saving never turns something that is not a
// plain file into one.
#pragma once

#include <string>

#include "platform/mb_string.h"
#include "platform/platform_error.h"
#include "platform/time_limits.h"
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
// What a failed save was doing when it failed.
enum class ESaveStep {
    kNone,
    kBadName,           // the path is no UTF-8 text (Windows)
    kAccessPath,        // finding out what the path names
    kCreateInFolder,    // making a file in the target's folder
    kOpen,              // opening a stream written in place
    kNoReader,          // a FIFO without a reader
    kWrite,             // writing, syncing or closing; the earlier file is whole
    kWriteInPlace,      // the same while rewriting in place: the earlier file may be damaged
    kStalled,           // a stream's reader took nothing for kSaveStallLimitMs (time_limits.h)
    kReplace,           // putting the new file in the old one's place
    kRefused,           // the path names something that is never written (see refusal)
};

enum class ESaveRefusal { kNone, kDirectory, kBlockDevice, kSocket, kSpecialFile, kReadOnly };

struct CSaveFailure {
    ESaveStep step = ESaveStep::kNone;
    CPlatformError error;  // the system's reason, where it gave one
    ESaveRefusal refusal = ESaveRefusal::kNone;
};

// Returns false with the step that failed and its cause in *failure. A write that
// fails (short, out of space, sync or close failing) always fails the call.
bool WriteFileReplacing(const std::string& path, const CString& bytes, CSaveFailure* failure);
