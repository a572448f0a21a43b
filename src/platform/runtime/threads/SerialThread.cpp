#include "platform/runtime/threads/SerialThread.h"

#include "platform/runtime/threads/Pool.h"

#include <QtGlobal>

#include <utility>

namespace pivra::detail {

SerialThread::SerialThread(std::function<void()> setUp, std::function<void()> tearDown)
    : thread_([this, setUp = std::move(setUp), tearDown = std::move(tearDown)] { run(setUp, tearDown); })
{
}

SerialThread::~SerialThread()
{
    if (isCurrentThread()) {
        qFatal("pivra: a serial executor was destroyed by one of its own jobs");
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialThread::enqueue(std::function<void()> job)
{
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool SerialThread::isCurrentThread() const noexcept
{
    return std::this_thread::get_id() == thread_.get_id();
}

void SerialThread::run(const std::function<void()>& setUp, const std::function<void()>& tearDown)
{
    becomeWorkerThread();
    setUp();
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                break; // stopping, and everything queued has run
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
    tearDown();
}

} // namespace pivra::detail
