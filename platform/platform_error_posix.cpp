#include <cerrno>

#include "platform/platform_error.h"

namespace {

EPlatformError KindOf(long code) {
    switch (code) {
        case 0:
            return EPlatformError::kNone;
        case ECONNREFUSED:
            return EPlatformError::kRefused;
        case ETIMEDOUT:
            return EPlatformError::kTimedOut;
        case ENETUNREACH:
            return EPlatformError::kNetworkUnreachable;
        case EHOSTUNREACH:
            return EPlatformError::kHostUnreachable;
        case ENETDOWN:
        case EHOSTDOWN:
            return EPlatformError::kNetworkDown;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ENOTCONN:
            return EPlatformError::kConnectionLost;
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
            return EPlatformError::kNotFound;
        case ENAMETOOLONG:
        case ELOOP:
            return EPlatformError::kBadName;
        case EACCES:
        case EPERM:
        case EROFS:
            return EPlatformError::kAccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return EPlatformError::kDiskFull;
        case ENOMEM:
        case EAGAIN:
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
            return EPlatformError::kNoResources;
        default:
            return EPlatformError::kOther;
    }
}

}  // namespace

CPlatformError TranslateSystemError(long code) { return {KindOf(code), code}; }

CPlatformError LastSystemError() { return TranslateSystemError(errno); }
