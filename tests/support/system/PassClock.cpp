#include "support/system/PassClock.h"

#include "platform/runtime/threads/ThreadTimes.h"

#include <ctime>

namespace pivra::test {
namespace {

// Nanoseconds of processor time the calling thread has used.
qint64 processorTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Nanoseconds the calling thread has spent ready to run, waiting for a
// processor.
qint64 waitedForProcessor()
{
    const std::optional<ThreadTimes> times = threadTimes(currentThreadId());
    return times ? times->waitingNs : 0;
}

} // namespace

void PassClock::restart()
{
    since_.start();
    busySince_ = processorTime();
    waitedSince_ = waitedForProcessor();
}

double PassClock::busyMs() const
{
    return double(processorTime() - busySince_) / 1e6;
}

double PassClock::heldUpMs() const
{
    return double(since_.nsecsElapsed() - (waitedForProcessor() - waitedSince_)) / 1e6;
}

} // namespace pivra::test
