// Mapping ahead must leave the buffer's pages resident, and must not touch
// memory outside the buffer or fail on a buffer too small to hold a page.
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/memory/Prefault.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace pivra {
namespace {

std::size_t residentPages(void* start, std::size_t bytes)
{
    const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> pages((bytes + pageSize - 1) / pageSize);
    if (mincore(start, bytes, pages.data()) != 0) {
        return 0;
    }
    std::size_t resident = 0;
    for (const unsigned char page : pages) {
        resident += page & 1;
    }
    return resident;
}

TEST(Prefault, MapsTheBuffersPagesAhead)
{
    const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    constexpr std::size_t pages = 4096;
    void* mapping = mmap(nullptr, pages * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
#ifdef MADV_POPULATE_WRITE
    if (madvise(mapping, pageSize, MADV_POPULATE_WRITE) != 0 && errno == EINVAL) {
        munmap(mapping, pages * pageSize);
        GTEST_SKIP() << "this kernel cannot map pages ahead";
    }
#endif
    auto* bytes = static_cast<unsigned char*>(mapping);
    EXPECT_EQ(residentPages(bytes + pageSize, (pages - 1) * pageSize), 0U);

    // A buffer that starts inside page 1 and ends inside the last page: only
    // the whole pages between are mapped.
    prefaultInBackground(bytes + pageSize + 100, (pages - 2) * pageSize);
    prefaultInBackground(bytes + 10, 20); // no whole page: nothing to do
    threadPool(PoolPriority::userInitiated)->waitForDone();

#ifdef MADV_POPULATE_WRITE
    EXPECT_EQ(residentPages(bytes + 2 * pageSize, (pages - 3) * pageSize), pages - 3);
    EXPECT_EQ(residentPages(bytes + pageSize, pageSize), 0U);
    EXPECT_EQ(residentPages(bytes + (pages - 1) * pageSize, pageSize), 0U);
#endif
    munmap(mapping, pages * pageSize);
}

} // namespace
} // namespace pivra
