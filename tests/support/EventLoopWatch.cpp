#include "support/EventLoopWatch.h"

#include <QFile>

#include <algorithm>

namespace pivra::test {
namespace {

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

EventLoopWatch::EventLoopWatch()
{
    tick_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick_, &QTimer::timeout, &tick_, [this] {
        const qint64 waited = waitedForProcessor();
        longest_ = std::max(longest_, since_.nsecsElapsed() - (waited - waitedSince_));
        since_.restart();
        waitedSince_ = waited;
        ++ticks_;
    });
    since_.start();
    waitedSince_ = waitedForProcessor();
    tick_.start(1);
}

double EventLoopWatch::slowdown()
{
#if defined(__SANITIZE_ADDRESS__)
    return 4;
#else
    return 1;
#endif
}

} // namespace pivra::test
