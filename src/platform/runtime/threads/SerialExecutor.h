#pragma once

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/OffThreadCall.h"
#include "platform/runtime/OwnedArguments.h"
#include "platform/runtime/threads/SerialThread.h"

#include <QtGlobal>

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace pivra {

// Confines a Resource that is not thread-safe (a database connection) to one
// thread of its own. The resource is made by `factory` on that thread and
// destroyed there too, and jobs reach it one at a time in the order they were
// queued, so the resource needs no locking and sees its calls in a fixed order.
//
// Jobs should be short: awaiting coroutines interleave freely between jobs, so
// a long operation is written as a sequence of jobs and other callers get
// their turn in between.
//
// If the factory throws, every later job fails with that same exception
// instead of reaching a resource that does not exist.
//
// Destroying the executor runs every job still queued, then destroys the
// resource on its thread and joins. Results of those last jobs are still
// posted; they are dropped if their task's context has gone meanwhile. So
// the owner of the executor is the natural context of the tasks that use it:
// once it is gone, none of them resumes to call the executor again.
template<typename Resource>
class SerialExecutor {
public:
    using Factory = std::function<std::unique_ptr<Resource>()>;

    explicit SerialExecutor(Factory factory)
        : thread_([this, factory = std::move(factory)] { setUp(factory); }, [this] { resource_.reset(); })
    {
    }

    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;

    // `co_await executor.call(job, args...)`: queues job(resource, args...)
    // and continues the awaiting coroutine on the GUI thread with its result,
    // or rethrows the exception it threw, whatever its type. The job must not
    // capture (a captureless lambda, a function or a member function of
    // Resource); the arguments are copied into the queue and handed to the job
    // as rvalues, so it may take them by value or by const reference.
    template<typename F, typename... Args>
    auto call(F job, Args... args)
    {
        detail::requireStatelessJob<F>();
        detail::requireOwnedArguments<Args...>();
        using R = detail::JobResult<F, Resource&, Args...>;
        return detail::OffThreadCall<R>(
            [this](std::function<void()> work) { thread_.enqueue(std::move(work)); },
            [this, job, ... args = std::move(args)]() mutable -> R {
                return std::invoke(job, resource(), std::move(args)...);
            });
    }

    // Queues a job nobody waits for. An exception it throws is logged.
    void post(std::function<void(Resource&)> job)
    {
        detail::workQueued();
        thread_.enqueue([this, job = std::move(job)]() mutable {
            try {
                // Moved out so the job and what it holds are gone by the
                // time it counts as delivered.
                const auto run = std::move(job);
                run(resource());
            } catch (const std::exception& exception) {
                qWarning("pivra: a posted executor job failed: %s", exception.what());
            } catch (...) {
                qWarning("pivra: a posted executor job failed with a non-standard exception");
            }
            detail::workDelivered();
        });
    }

    // Runs job(resource, args...) and waits for it, for tests and
    // benchmarks; the job may capture, since nothing is awaited. Calling it
    // from a job of this executor would wait for itself, so that stops the
    // program.
    template<typename F, typename... Args>
    auto callBlocking(F job, Args... args) -> detail::JobResult<F, Resource&, Args...>
    {
        if (thread_.isCurrentThread()) {
            qFatal("pivra: callBlocking() called from the executor's own thread");
        }
        using R = detail::JobResult<F, Resource&, Args...>;
        detail::Outcome<R> outcome;
        // The promise belongs to the job, so it outlives its own set_value()
        // even though this frame may be gone the moment the wait ends.
        auto finished = std::make_shared<std::promise<void>>();
        std::future<void> waited = finished->get_future();
        thread_.enqueue([&, finished] {
            auto work = [&]() -> R { return std::invoke(job, resource(), std::move(args)...); };
            outcome.capture(work);
            finished->set_value();
        });
        waited.get();
        return outcome.take();
    }

    bool isExecutorThread() const noexcept { return thread_.isCurrentThread(); }

private:
    void setUp(const Factory& factory)
    {
        try {
            resource_ = factory();
            if (!resource_) {
                throw std::logic_error("the executor's factory made no resource");
            }
        } catch (...) {
            startupError_ = std::current_exception();
        }
    }

    Resource& resource()
    {
        if (!resource_) {
            std::rethrow_exception(startupError_);
        }
        return *resource_;
    }

    // Touched only on the executor thread.
    std::unique_ptr<Resource> resource_;
    std::exception_ptr startupError_;
    detail::SerialThread thread_; // last: its thread uses the members above
};

} // namespace pivra
