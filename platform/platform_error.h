// Why an operation of the platform failed, in one vocabulary for every backend, for the
// HTTP layer's connection failures (probes/http_failure_text.cpp) and for the stand-ins.
// Each backend translates its system's error numbers once (platform_error_posix.cpp,
// platform_error_win.cpp); nothing above the platform layer sees a system number
// except as the diagnostic code kept beside the kind.
#pragma once

enum class EPlatformError {
    kNone,
    kRefused,          // the peer turned the connection away
    kTimedOut,         // a time limit of ours or of the system ran out
    kNetworkUnreachable,  // no route to the network
    kHostUnreachable,     // no route to the host
    kNetworkDown,         // the network or the host is down
    kConnectionLost,   // an open connection was reset or broken
    kNotFound,         // no such name, file or program
    kBadName,          // a file name too long or not allowed
    kAccessDenied,     // not allowed
    kDiskFull,         // no space left on the medium
    kNoResources,      // out of memory, threads or handles
    kStopped,          // the run's stop signal was raised
    kOther,
};

struct CPlatformError {
    EPlatformError kind = EPlatformError::kNone;
    long code = 0;  // the system's own number, 0 when the failure had none

    bool Failed() const { return kind != EPlatformError::kNone; }
};

// The failure the system's error number names (errno on POSIX; a Win32 or Winsock
// error on Windows). 0 means no failure.
CPlatformError TranslateSystemError(long code);

// The calling thread's last system error, translated.
CPlatformError LastSystemError();

inline CPlatformError PlatformError(EPlatformError kind) { return {kind, 0}; }
