#include "platform/runtime/Pool.h"

#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

namespace pivra {

namespace {

// How far utility threads step back from the rest of the process.
constexpr int UtilityNiceIncrement = 10;

QThreadPool* makePool(QThread::Priority threadPriority)
{
    auto* pool = new QThreadPool;
    pool->setMaxThreadCount(QThread::idealThreadCount());
    pool->setThreadPriority(threadPriority);
    return pool;
}

// On Linux a nice value set with the thread's id applies to that thread
// alone; pool threads serve only their pool, so once per thread is enough.
void lowerThisThread()
{
    thread_local bool lowered = false;
    if (!lowered) {
        const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current + UtilityNiceIncrement);
        lowered = true;
    }
}

} // namespace

QThreadPool* threadPool(PoolPriority priority)
{
    // Never destroyed: jobs may still be finishing when static destructors
    // run, and the pools must not wait on them then.
    static QThreadPool* const userInitiated = makePool(QThread::InheritPriority);
    static QThreadPool* const utility = makePool(QThread::LowPriority);
    return priority == PoolPriority::utility ? utility : userInitiated;
}

namespace detail {

void startOnPool(PoolPriority priority, std::function<void()> job)
{
    if (priority == PoolPriority::utility) {
        threadPool(priority)->start([job = std::move(job)] {
            lowerThisThread();
            job();
        });
    } else {
        threadPool(priority)->start(std::move(job));
    }
}

} // namespace detail

} // namespace pivra
