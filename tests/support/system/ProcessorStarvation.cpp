#include "support/system/ProcessorStarvation.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace pivra::test {
namespace {

std::chrono::nanoseconds ownProcessorTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void pinTo(pthread_t thread, int processor)
{
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    pthread_setaffinity_np(thread, sizeof one, &one);
}

} // namespace

std::chrono::nanoseconds runStarved(std::chrono::milliseconds atLeast)
{
    const pthread_t self = pthread_self();
    cpu_set_t processors;
    pthread_getaffinity_np(self, sizeof processors, &processors);
    int policy = 0;
    sched_param parameters{};
    pthread_getschedparam(self, &policy, &parameters);
    const int shared = sched_getcpu();

    std::atomic<bool> done{false};
    std::thread hog([&done, shared] {
        pinTo(pthread_self(), shared);
        while (!done.load(std::memory_order_relaxed)) {
        }
    });
    pinTo(self, shared);
    const sched_param idle{};
    pthread_setschedparam(self, SCHED_IDLE, &idle);

    const std::chrono::nanoseconds ranBefore = ownProcessorTime();
    const auto until = std::chrono::steady_clock::now() + atLeast;
    while (std::chrono::steady_clock::now() < until) {
    }
    const std::chrono::nanoseconds ran = ownProcessorTime() - ranBefore;

    pthread_setschedparam(self, policy, &parameters);
    pthread_setaffinity_np(self, sizeof processors, &processors);
    done = true;
    hog.join();
    return ran;
}

} // namespace pivra::test
