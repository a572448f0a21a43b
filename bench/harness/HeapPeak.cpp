// Replaces the C allocation functions with glibc's own (__libc_malloc and
// its relatives) plus a count. Defined in the program, they take the place of
// libc's for every shared library the program loads.
#include "HeapPeak.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#include <malloc.h>

extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* block, std::size_t size) noexcept;
void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;
void __libc_free(void* block) noexcept;
}

namespace {

// Constant-initialized, so they are ready before any constructor allocates.
constinit std::atomic<std::int64_t> inUse{0};
constinit std::atomic<std::int64_t> peak{0};

// Each thread gathers its own change and hands it on once it reaches this
// many bytes either way: one shared counter touched by every allocation of
// every thread bounces its cache line between the cores and slows the very
// work being measured. The count and its peak are then off by less than this
// much per thread, a few megabytes against the hundreds measured.
constexpr std::int64_t handOnBytes = 256 * 1024;
constinit thread_local std::int64_t pending = 0;

void raisePeak(std::int64_t value)
{
    std::int64_t seen = peak.load(std::memory_order_relaxed);
    while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

void change(std::int64_t bytes)
{
    pending += bytes;
    if (pending >= handOnBytes || pending <= -handOnBytes) {
        const std::int64_t handed = pending;
        pending = 0;
        raisePeak(inUse.fetch_add(handed, std::memory_order_relaxed) + handed);
    }
}

std::int64_t usable(void* block)
{
    return static_cast<std::int64_t>(malloc_usable_size(block));
}

void* counted(void* block)
{
    if (block != nullptr) {
        change(usable(block));
    }
    return block;
}

void uncount(void* block)
{
    if (block != nullptr) {
        change(-usable(block));
    }
}

bool isPowerOfTwo(std::size_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace

extern "C" {

void* malloc(std::size_t size) noexcept
{
    return counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    return counted(__libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) noexcept
{
    const std::int64_t before = block != nullptr ? usable(block) : 0;
    void* moved = __libc_realloc(block, size);
    // A failed growth leaves the block as it was; realloc(block, 0) frees it.
    if (moved != nullptr || size == 0) {
        change(-before);
        counted(moved);
    }
    return moved;
}

void free(void* block) noexcept
{
    uncount(block);
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    return counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept
{
    if (!isPowerOfTwo(alignment) || alignment % sizeof(void*) != 0) {
        return EINVAL;
    }
    void* block = counted(__libc_memalign(alignment, size));
    if (block == nullptr) {
        return ENOMEM;
    }
    *result = block;
    return 0;
}

} // extern "C"

namespace pivra::bench {

std::int64_t heapInUse()
{
    return inUse.load(std::memory_order_relaxed);
}

std::int64_t heapPeak()
{
    return peak.load(std::memory_order_relaxed);
}

std::int64_t resetHeapPeak()
{
    const std::int64_t now = heapInUse();
    peak.store(now, std::memory_order_relaxed);
    return now;
}

} // namespace pivra::bench
