#include "platform/runtime/HeapUpkeep.h"

#include "platform/runtime/Pool.h"

#include <malloc.h>

namespace pivra {

namespace {

// Arenas the threads share. Each keeps its own free memory; four spread the
// locking of a dozen busy threads well enough, where 64 held 50 MB more at
// the peak than four.
constexpr int arenas = 4;
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
    malloc_trim(0);
}

void trimHeapSoon()
{
    detail::startOnPool(PoolPriority::utility, &trimHeap);
}

} // namespace pivra
