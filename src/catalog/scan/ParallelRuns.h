#pragma once

#include <functional>
#include <vector>

namespace pivra {

// Runs every job, on up to `width` threads, the calling one among them, and
// rethrows the first failure once every job has ended. For work a scan has
// already taken off the GUI thread: reads of many files, or the walk of many
// folders.
void runInParallel(const std::vector<std::function<void()>>& jobs, int width);

} // namespace pivra
