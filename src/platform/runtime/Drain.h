#pragma once

namespace pivra {

// For tests: runs the GUI event loop until this runtime has nothing left in
// flight, meaning no dispatcher post waits in the queue and every executor and
// pool job queued through it has finished and had its result delivered. Tasks
// that wait on something else (a handle that never ends, a signal) do not hold
// it up. Returns false if that takes longer than `timeoutMs` (a negative
// timeout never expires). GUI thread only. The default leaves work that takes
// seconds alone room for a machine running suites side by side, where it
// takes ten times as long; only a hang should reach it.
bool drain(int timeoutMs = 120000);

} // namespace pivra
