#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/atomic_file.h"

namespace {

bool Fail(const char* what, int code, CString* error) {
    // The English text: a localized one would be UTF-8 inside a GBK message.
    error->Format("%s：%s", what, strerrordesc_np(code));
    return false;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = write(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool WriteFileReplacing(const CString& path, const CString& bytes, CString* error) {
    std::string temp = path.Bytes() + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) return Fail("无法在目标文件夹中创建文件", errno, error);
    // mkstemp makes the file private; a report is an ordinary document.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    const bool written = WriteAll(fd, bytes.Bytes()) && fsync(fd) == 0;
    const int writeError = errno;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        return Fail("写入文件失败", written ? errno : writeError, error);
    }
    if (rename(temp.c_str(), path.GetString()) != 0) {
        const int renameError = errno;
        unlink(temp.c_str());
        return Fail("无法替换目标文件", renameError, error);
    }
    return true;
}
