#pragma once

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/TaskHandle.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <coroutine>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace pivra {

namespace detail {

// What the jobs, the deadline and the awaiting coroutine share. Whichever of
// "all answered" and "time is up" comes first resumes the coroutine, exactly
// once; a job answering later finds it resumed and drops its answer.
template<typename R>
struct DeadlineShared {
    std::mutex mutex;
    std::vector<std::optional<R>> answers;
    std::size_t pending = 0;
    bool resumed = false;
    std::shared_ptr<TaskState> state;
    std::coroutine_handle<> frame;

    // Called with the mutex held.
    void resume()
    {
        resumed = true;
        resumeOnMain(state, frame);
        workDelivered();
    }
};

template<typename R>
class EachWithinCall {
public:
    EachWithinCall(std::chrono::milliseconds limit, std::vector<std::function<R()>> jobs)
        : limit_(limit), jobs_(std::move(jobs)), shared_(std::make_shared<DeadlineShared<R>>())
    {
    }

    bool await_ready() const noexcept { return jobs_.empty(); }

    template<RuntimePromise Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        assertMainThread();
        workQueued();
        shared_->answers.resize(jobs_.size());
        shared_->pending = jobs_.size();
        shared_->state = frame.promise().state;
        shared_->frame = frame;
        // Starting a thread takes the caller tens of microseconds, thousands
        // of them most of a second: one thread starts them all instead. A job
        // whose thread cannot be had answers as one that hangs does.
        std::thread(
            [](std::shared_ptr<DeadlineShared<R>> shared, std::vector<std::function<R()>> jobs) {
                for (std::size_t index = 0; index < jobs.size(); ++index) {
                    try {
                        std::thread(&EachWithinCall::answer, shared, index, std::move(jobs[index])).detach();
                    } catch (const std::system_error&) {
                    }
                }
            },
            shared_, std::move(jobs_))
            .detach();
        QTimer::singleShot(limit_, QCoreApplication::instance(), [shared = shared_] {
            const std::lock_guard lock(shared->mutex);
            if (!shared->resumed) {
                shared->resume();
            }
        });
    }

    std::vector<std::optional<R>> await_resume()
    {
        const std::lock_guard lock(shared_->mutex);
        return std::move(shared_->answers);
    }

private:
    static void answer(std::shared_ptr<DeadlineShared<R>> shared, std::size_t index, std::function<R()> job)
    {
        std::optional<R> value;
        try {
            value = job();
        } catch (...) {
            value.reset(); // a job that fails has no answer, as one that hangs
        }
        const std::lock_guard lock(shared->mutex);
        if (shared->resumed) {
            return;
        }
        shared->answers[index] = std::move(value);
        if (--shared->pending == 0) {
            shared->resume();
        }
    }

    std::chrono::milliseconds limit_;
    std::vector<std::function<R()>> jobs_;
    std::shared_ptr<DeadlineShared<R>> shared_;
};

} // namespace detail

// `co_await runEachWithin(limit, jobs)`: runs every job at once, each on a
// thread of its own, and continues the awaiting coroutine on the GUI thread
// once all have answered or `limit` has passed, whichever comes first. The
// answers come in the jobs' order; a job that has not answered in time, or
// threw, gives none. For calls that may never return (a read on a dead
// network share): the thread of a job that hangs is left to it, and what it
// answers later is dropped, so the jobs must own everything they touch.
// GUI thread only.
template<typename R>
detail::EachWithinCall<R> runEachWithin(std::chrono::milliseconds limit, std::vector<std::function<R()>> jobs)
{
    return detail::EachWithinCall<R>(limit, std::move(jobs));
}

} // namespace pivra
