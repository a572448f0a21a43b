#include "platform/runtime/threads/Pool.h"

#include <QThread>

#include <pthread.h>
#include <sched.h>
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

// A pool thread takes its ways on its first job: a worker's scheduling, and
// for utility a raised nice value. On Linux both apply to the one thread;
// pool threads serve only their pool, so once per thread is enough.
void prepareThisThread(PoolPriority priority)
{
    thread_local bool prepared = false;
    if (!prepared) {
        becomeWorkerThread();
        if (priority == PoolPriority::utility) {
            const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current + UtilityNiceIncrement);
        }
        prepared = true;
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

void becomeWorkerThread()
{
    // The nice value stays as it was; SCHED_BATCH only gives up preempting
    // on wake-up.
    const sched_param parameters{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &parameters);
}

namespace detail {

void startOnPool(PoolPriority priority, std::function<void()> job)
{
    threadPool(priority)->start([priority, job = std::move(job)] {
        prepareThisThread(priority);
        job();
    });
}

} // namespace detail

} // namespace pivra
