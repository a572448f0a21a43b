#include "catalog/scan/ParallelRuns.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace pivra {

void runInParallel(const std::vector<std::function<void()>>& jobs, int width)
{
    const std::size_t threadCount = std::min<std::size_t>(static_cast<std::size_t>(std::max(width, 1)), jobs.size());
    if (threadCount <= 1) {
        for (const auto& job : jobs) {
            job();
        }
        return;
    }
    std::atomic<std::size_t> nextJob{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto worker = [&] {
        for (std::size_t index = nextJob++; index < jobs.size(); index = nextJob++) {
            try {
                jobs[index]();
            } catch (...) {
                const std::lock_guard lock(failureLock);
                failure = failure ? failure : std::current_exception();
            }
        }
    };
    {
        std::vector<std::jthread> threads;
        for (std::size_t index = 1; index < threadCount; ++index) {
            threads.emplace_back(worker);
        }
        worker();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace pivra
