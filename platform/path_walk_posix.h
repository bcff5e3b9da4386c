// Finds, once and by descriptors, the folder and the file a path finally stands for, so
// that what a save later does to the file goes to what was examined, whatever another
// user renames in between.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/unique_fd_posix.h"

struct CWalkedPath {
    CUniqueFd folder;     // the folder holding name (O_PATH)
    std::string name;     // the last name, never a link; empty when the path is a folder
    CUniqueFd file;       // what name held when examined (O_PATH), unless it was missing
    struct stat info {};  // of file, or of the folder when name is empty
};

// Follows links the way the kernel does, one name at a time, each relative to the
// descriptor of the folder before it. A link in a sticky folder anyone may write to is
// followed only when it belongs to the caller or to the folder's owner (the kernel's
// protected_symlinks rule, applied whatever the system's setting): anyone else could
// swap it for a link to a file of the caller's between a look and a write.
// Returns 0, or the errno that stopped the walk.
int WalkPath(const std::string& path, CWalkedPath* walked);

// True when fd (opened after the walk) is still the file the walk examined.
bool IsSameFile(int fd, const struct stat& examined);
