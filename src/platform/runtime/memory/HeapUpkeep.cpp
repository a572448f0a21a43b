#include "platform/runtime/memory/HeapUpkeep.h"

#include "platform/runtime/threads/Pool.h"

#include <malloc.h>

namespace pivra {

namespace {

// Enough arenas for every thread its own. With fewer, workers share the GUI
// thread's arena, and its mallocs and frees waited on their lock, up to
// 16 ms behind a worker that had lost its processor: the longest hold-ups
// left while a million items scrolled. Each arena keeps its own free memory:
// against four, the launch of a million items peaks ~27 MB higher, indexing
// a thousand photos and twenty clips ~35 MB higher, and holds 14 MB more
// once idle.
constexpr int arenas = 64;
// Blocks from this size up are mapped on their own and unmapped when freed.
constexpr int mappedFrom = 128 * 1024;
// Free memory at the top of a heap beyond this goes back at once.
constexpr int keptAtTop = 1024 * 1024;

} // namespace

void limitHeapRetention()
{
    mallopt(M_ARENA_MAX, arenas);
    mallopt(M_MMAP_THRESHOLD, mappedFrom);
    mallopt(M_TRIM_THRESHOLD, keptAtTop);
}

void trimHeap()
{
#if !defined(__SANITIZE_ADDRESS__)
    // Under AddressSanitizer glibc's arenas are never set up: its own
    // allocator holds the memory, and glibc's trim walks nothing but faults.
    malloc_trim(0);
#endif
}

void trimHeapSoon()
{
    detail::startOnPool(PoolPriority::utility, &trimHeap);
}

} // namespace pivra
