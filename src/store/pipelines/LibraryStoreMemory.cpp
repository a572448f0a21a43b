// Memory given back once the pipelines rest.
//
// Indexing, thumbnails, clips and location reading free what they allocate,
// but the allocator keeps part of it for the next allocation of the arena
// that freed it (HeapUpkeep.h). A trim when the last pipeline's task ends
// hands that back while the program rests; a trim at each end would only be
// paid for again in page faults by the run that follows.

#include "platform/runtime/threads/Pool.h"
#include "store/LibraryStore.h"

namespace pivra {

namespace {

void release(std::function<void()> releaseMemory)
{
    releaseMemory();
}

} // namespace

bool LibraryStore::pipelinesIdle() const
{
    return !isScanning_ && !thumbnailTask_.isValid() && !videoPreviewTask_.isValid() && !locationTask_.isValid()
        && processes_.running().isEmpty();
}

Task<> LibraryStore::returningMemory(Task<> pipeline)
{
    co_await pipeline;
    if (pipelinesIdle()) {
        co_await runOnPool(PoolPriority::utility, &release, services_.releaseMemory);
    }
}

} // namespace pivra
