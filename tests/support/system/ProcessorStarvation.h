#pragma once

#include <chrono>

namespace pivra::test {

// Holds the calling thread up as a busy machine would, for at least `atLeast`:
// it spins on one processor shared with a thread that spins at the usual
// priority while the caller runs as an idle-time thread, so it is ready to
// run all that time and gets only a sliver of the processor. Returns the
// processor time the caller had meanwhile. Its scheduling and processors are
// as they were afterwards.
std::chrono::nanoseconds runStarved(std::chrono::milliseconds atLeast);

} // namespace pivra::test
