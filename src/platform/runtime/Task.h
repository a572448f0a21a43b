#pragma once

// Coroutines on the GUI thread.
//
// A Task is a lazily started coroutine: creating one runs nothing. It runs
// when a coroutine awaits it (it starts at once, and the awaiter continues
// when it returns) or when startTask() makes it the root of a new task. All
// frames of one task share the root's TaskState, so any of them can ask for
// its cancellation flag through `co_await currentTask()`.
//
// Every resumption that crosses a thread or an event-loop turn goes through the
// dispatcher (see Dispatcher.h), so a body always runs on the GUI thread, and a
// task whose context object has been destroyed is never resumed: its frames are
// destroyed instead, running the destructors of their locals.
//
// Coroutine lambdas must not capture. The captures live in the lambda object,
// not in the coroutine frame; once the temporary lambda is gone the body reads
// freed memory, and only when the timing is unlucky. Pass every value as a
// parameter (parameters are copied into the frame), for example of a member
// coroutine or a free function. Likewise, reference parameters must refer to
// something that outlives the task.
//
// GCC 12 destroys the members of an aggregate made inside a co_await
// expression twice: `co_await f([x] {...})` or `co_await g(Options{a, b})`
// double-frees x, a and b. So a co_await expression never contains a
// capturing lambda or a braced aggregate; build such a value in a local first,
// or pass plain values as arguments. executor.call() and runOnPool() enforce
// this by accepting only stateless jobs plus their arguments.

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/Outcome.h"
#include "platform/runtime/TaskHandle.h"

#include <QObject>

#include <coroutine>
#include <exception>
#include <utility>

namespace pivra {

template<typename T = void>
class Task;

namespace detail {

// Ends a root task: logs an exception that escaped it, destroys its frame and
// wakes its waiters.
void finishRoot(std::coroutine_handle<> frame, std::shared_ptr<TaskState> state,
                std::exception_ptr error) noexcept;

// What every frame of this runtime carries, whatever it returns.
class PromiseBase {
public:
    std::suspend_always initial_suspend() const noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }

        template<typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> frame) noexcept
        {
            Promise& promise = frame.promise();
            if (!promise.continuation) {
                finishRoot(frame, promise.state, promise.outcome.error());
                return std::noop_coroutine();
            }
            // A parent still inside its await_suspend() picks the result up
            // itself when resume() returns; only a parent that has really
            // suspended is transferred to.
            return promise.parentSuspended ? promise.continuation : std::noop_coroutine();
        }

        void await_resume() const noexcept {}
    };

    FinalAwaiter final_suspend() const noexcept { return {}; }

    std::shared_ptr<TaskState> state;
    std::coroutine_handle<> continuation; // the awaiting parent; empty for a root
    bool parentSuspended = false;
};

template<typename T>
class Promise : public PromiseBase {
public:
    Task<T> get_return_object() noexcept;
    void return_value(T value) { outcome.setValue(std::move(value)); }
    void unhandled_exception() noexcept { outcome.setError(std::current_exception()); }

    Outcome<T> outcome;
};

template<>
class Promise<void> : public PromiseBase {
public:
    Task<void> get_return_object() noexcept;
    void return_void() const noexcept {}
    void unhandled_exception() noexcept { outcome.setError(std::current_exception()); }

    Outcome<void> outcome;
};

} // namespace detail

// Starts `task` as a task of its own that runs on the GUI thread. Its first
// step is posted to the end of the event queue, never run inline: the caller's
// synchronous work always finishes first, and tasks started in one turn begin
// in the order they were started. `context` bounds the task's life: while it
// exists the task is resumed normally; once it is destroyed the next
// resumption destroys the frames instead. A null context means the
// application. An exception escaping the task is logged and ends it.
// GUI thread only.
TaskHandle startTask(QObject* context, Task<void> task);

// Owns its frame until it is awaited to the end or destroyed; destroying a
// Task destroys the frame wherever it is suspended. Move-only, and awaited at
// most once: the value or exception is taken out by the await.
template<typename T>
class [[nodiscard]] Task {
public:
    using promise_type = detail::Promise<T>;

    Task(Task&& other) noexcept : frame_(std::exchange(other.frame_, {})) {}

    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            destroy();
            frame_ = std::exchange(other.frame_, {});
        }
        return *this;
    }

    ~Task() { destroy(); }

    class Awaiter {
    public:
        explicit Awaiter(std::coroutine_handle<promise_type> child) : child_(child) {}

        bool await_ready() const noexcept { return false; }

        // Runs the child right here. If it ends without suspending, the
        // parent carries on in place (returning false), so a loop awaiting
        // many quick children keeps a flat stack even where GCC does not turn
        // symmetric transfer into a tail call (-O0, sanitizer builds). If it
        // suspends, the parent suspends too and the child transfers back to it
        // from its final suspend point.
        template<detail::RuntimePromise ParentPromise>
        bool await_suspend(std::coroutine_handle<ParentPromise> parent)
        {
            Q_ASSERT(child_ && !child_.done());
            detail::PromiseBase& child = child_.promise();
            child.state = parent.promise().state;
            child.continuation = parent;
            child_.resume();
            if (child_.done()) {
                return false;
            }
            child.parentSuspended = true;
            return true;
        }

        T await_resume() { return child_.promise().outcome.take(); }

    private:
        std::coroutine_handle<promise_type> child_;
    };

    Awaiter operator co_await() & noexcept { return Awaiter(frame_); }
    Awaiter operator co_await() && noexcept { return Awaiter(frame_); }

private:
    friend promise_type;
    friend TaskHandle startTask(QObject* context, Task<void> task);

    explicit Task(std::coroutine_handle<promise_type> frame) : frame_(frame) {}

    void destroy()
    {
        if (frame_) {
            std::exchange(frame_, {}).destroy();
        }
    }

    std::coroutine_handle<promise_type> frame_;
};

namespace detail {

template<typename T>
Task<T> Promise<T>::get_return_object() noexcept
{
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() noexcept
{
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

} // namespace detail

// `co_await currentTask()` gives the handle of the task the coroutine runs in,
// without suspending, so a body can poll isCancelled() or pass token() on.
class CurrentTask {
public:
    bool await_ready() const noexcept { return false; }

    template<detail::RuntimePromise Promise>
    bool await_suspend(std::coroutine_handle<Promise> frame) noexcept
    {
        state_ = frame.promise().state;
        return false; // continue at once
    }

    TaskHandle await_resume() noexcept { return TaskHandle(std::move(state_)); }

private:
    std::shared_ptr<TaskState> state_;
};

inline CurrentTask currentTask() noexcept
{
    return {};
}

// `co_await nextMainTurn()` lets everything already queued on the GUI thread
// run first, then continues (through the dispatcher's context check).
struct NextMainTurn {
    bool await_ready() const noexcept { return false; }

    template<detail::RuntimePromise Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        detail::resumeOnMain(frame.promise().state, frame);
    }

    void await_resume() const noexcept {}
};

inline NextMainTurn nextMainTurn() noexcept
{
    return {};
}

} // namespace pivra
