#include <winsock2.h>
#include <windows.h>

#include "platform/platform_error.h"

namespace {

EPlatformError KindOf(long code) {
    switch (code) {
        case 0:
            return EPlatformError::kNone;
        case WSAECONNREFUSED:
            return EPlatformError::kRefused;
        case WSAETIMEDOUT:
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
        case ERROR_SEM_TIMEOUT:
            return EPlatformError::kTimedOut;
        case WSAENETUNREACH:
        case ERROR_NETWORK_UNREACHABLE:
            return EPlatformError::kNetworkUnreachable;
        case WSAEHOSTUNREACH:
        case ERROR_HOST_UNREACHABLE:
            return EPlatformError::kHostUnreachable;
        case WSAENETDOWN:
        case WSAEHOSTDOWN:
            return EPlatformError::kNetworkDown;
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAENOTCONN:
        case WSAESHUTDOWN:
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPlatformError::kConnectionLost;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_EXE_FORMAT:
        case WSAHOST_NOT_FOUND:
        case WSANO_DATA:
            return EPlatformError::kNotFound;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return EPlatformError::kBadName;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case WSAEACCES:
            return EPlatformError::kAccessDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return EPlatformError::kDiskFull;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_NO_SYSTEM_RESOURCES:
        case ERROR_TOO_MANY_OPEN_FILES:
        case WSAENOBUFS:
        case WSAEMFILE:
            return EPlatformError::kNoResources;
        default:
            return EPlatformError::kOther;
    }
}

}  // namespace

CPlatformError TranslateSystemError(long code) { return {KindOf(code), code}; }

CPlatformError LastSystemError() { return TranslateSystemError(static_cast<long>(GetLastError())); }
