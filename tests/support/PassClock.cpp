#include "support/PassClock.h"

#include <QFile>

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
// processor: the second figure of its schedstat.
qint64 waitedForProcessor()
{
    QFile stats(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stats.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return stats.readAll().split(' ').value(1).toLongLong();
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
