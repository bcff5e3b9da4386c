// Finding a program by its bare name along PATH, as the shell would, minus the
// shell's habit of reading an empty entry as the current folder.
#pragma once

#include <string>

// True for a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

// The first executable regular file called name in the folders of PATH (or of
// "/usr/bin:/bin" when PATH is unset); empty when there is none. Empty entries are
// skipped: read as the current folder, they would run whatever file of that name lies
// where the program happens to be started.
std::string FindOnSearchPath(const std::string& name);
