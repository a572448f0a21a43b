#include "platform/runtime/memory/Prefault.h"

#include "platform/runtime/threads/Pool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace pivra {

void prefaultInBackground(void* buffer, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    // The request takes whole pages, so only the pages that lie inside the
    // buffer are asked for.
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + bytes) & ~(pageSize - 1);
    if (end <= first) {
        return;
    }
    detail::startOnPool(PoolPriority::userInitiated, [first, end] {
        madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
    });
#else
    static_cast<void>(buffer);
    static_cast<void>(bytes);
#endif
}

} // namespace pivra
