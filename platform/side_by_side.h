// Runs calls at the same time, each on a thread of its own, and returns once all have
// returned. Each call must be bounded by itself; a call that cannot get a thread runs
// on the caller's, after the others have started.
#pragma once

#include <functional>
#include <vector>

void RunSideBySide(const std::vector<std::function<void()>>& calls);
