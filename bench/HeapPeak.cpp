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

void raisePeak(std::int64_t value)
{
    std::int64_t seen = peak.load(std::memory_order_relaxed);
    while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
    }
}

std::int64_t usable(void* block)
{
    return static_cast<std::int64_t>(malloc_usable_size(block));
}

void* counted(void* block)
{
    if (block != nullptr) {
        const std::int64_t bytes = usable(block);
        raisePeak(inUse.fetch_add(bytes, std::memory_order_relaxed) + bytes);
    }
    return block;
}

void uncount(void* block)
{
    if (block != nullptr) {
        inUse.fetch_sub(usable(block), std::memory_order_relaxed);
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
        inUse.fetch_sub(before, std::memory_order_relaxed);
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
