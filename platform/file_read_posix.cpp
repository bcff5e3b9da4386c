#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/file_read.h"
#include "platform/unique_fd_posix.h"

CPlatformError ReadWholeFile(const CFilePath& path, size_t maxBytes, std::string* bytes) {
    CUniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return TranslateSystemError(errno);
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) return TranslateSystemError(errno);
    if (!S_ISREG(info.st_mode)) return CPlatformError{EPlatformError::kNotFound, 0};
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        return CPlatformError{EPlatformError::kNoResources, 0};
    }
    bytes->assign(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t got = read(fd.Get(), &(*bytes)[done], bytes->size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return TranslateSystemError(errno);
        if (got == 0) break;  // shrank while we read: keep what there is
        done += static_cast<size_t>(got);
    }
    bytes->resize(done);
    return CPlatformError{};
}
