#include "platform/path_walk_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace {

// As many links as the system itself follows before giving up with ELOOP.
const int kMaxLinks = 40;

// The names of path go in front of what is still to walk. A trailing slash asks for a
// folder, which "." then checks.
void PushFront(const std::string& path, std::deque<std::string>* parts) {
    std::deque<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string name = path.substr(start, slash - start);
        if (!name.empty() && name != ".") names.push_back(name);
        start = slash + 1;
    }
    if (!path.empty() && path.back() == '/') names.push_back(".");
    parts->insert(parts->begin(), names.begin(), names.end());
}

int OpenStart(bool absolute, CUniqueFd* folder) {
    folder->Reset(open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder->IsOpen() ? 0 : errno;
}

bool MayFollow(int folder, const struct stat& link) {
    struct stat holder;
    if (fstat(folder, &holder) != 0) return false;
    const bool shared = (holder.st_mode & S_ISVTX) != 0 && (holder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == geteuid() || link.st_uid == holder.st_uid;
}

// The text of the link that fd (opened with O_PATH | O_NOFOLLOW) is.
int ReadLink(int fd, std::string* target) {
    char buffer[PATH_MAX];
    const ssize_t length = readlinkat(fd, "", buffer, sizeof buffer);
    if (length < 0) return errno;
    if (static_cast<size_t>(length) == sizeof buffer) return ENAMETOOLONG;
    target->assign(buffer, static_cast<size_t>(length));
    return target->empty() ? ENOENT : 0;
}

// One link met on the way: its text goes in front of the rest.
int FollowLink(int fd, const struct stat& link, CWalkedPath* walked,
               std::deque<std::string>* parts) {
    if (!MayFollow(walked->folder.Get(), link)) return EACCES;
    std::string target;
    if (const int code = ReadLink(fd, &target)) return code;
    if (target[0] == '/') {
        if (const int code = OpenStart(true, &walked->folder)) return code;
    }
    PushFront(target, parts);
    return 0;
}

}  // namespace

int WalkPath(const std::string& path, CWalkedPath* walked) {
    if (path.empty()) return ENOENT;
    std::deque<std::string> parts;
    PushFront(path, &parts);
    if (const int code = OpenStart(path[0] == '/', &walked->folder)) return code;
    int links = 0;
    while (!parts.empty()) {
        const std::string name = parts.front();
        parts.pop_front();
        const bool last = parts.empty();
        CUniqueFd fd(openat(walked->folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.IsOpen()) {
            if (errno != ENOENT || !last || name == "..") return errno;
            walked->name = name;
            return 0;
        }
        struct stat info;
        if (fstat(fd.Get(), &info) != 0) return errno;
        if (S_ISLNK(info.st_mode)) {
            if (++links > kMaxLinks) return ELOOP;
            if (const int code = FollowLink(fd.Get(), info, walked, &parts)) return code;
        } else if (S_ISDIR(info.st_mode)) {
            walked->folder.Reset(fd.Release());
        } else if (!last) {
            return ENOTDIR;
        } else {
            walked->name = name;
            walked->file.Reset(fd.Release());
            walked->info = info;
            return 0;
        }
    }
    // The path names a folder.
    return fstat(walked->folder.Get(), &walked->info) == 0 ? 0 : errno;
}

bool IsSameFile(int fd, const struct stat& examined) {
    struct stat now;
    return fstat(fd, &now) == 0 && now.st_dev == examined.st_dev && now.st_ino == examined.st_ino;
}
