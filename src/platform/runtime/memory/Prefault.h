#pragma once

#include <cstddef>

namespace pivra {

// Asks the kernel, from a thread of the user-initiated pool, to map every page
// of a large buffer that was just allocated and is about to be filled. Fresh
// memory is mapped page by page at its first touch, which for a few hundred
// megabytes costs the filling thread a tenth of a second; mapped ahead on
// another thread, the pages are there when it arrives.
//
// Only the mapping is affected, never the contents, so it is harmless while
// the buffer is being written, and if the buffer is gone by the time the
// request runs. Kernels without the request ignore it.
void prefaultInBackground(void* buffer, std::size_t bytes);

} // namespace pivra
