#pragma once

#include "platform/runtime/CancelToken.h"
#include "platform/runtime/MainThread.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <concepts>
#include <coroutine>
#include <memory>
#include <vector>

namespace pivra {

struct TaskState;

namespace detail {

// A coroutine that sits on top of this runtime: its promise carries the state
// of the root task it runs in, so every awaitable can route its resumption
// through the dispatcher with the right context check.
template<typename Promise>
concept RuntimePromise = requires(Promise& promise) {
    { promise.state } -> std::convertible_to<std::shared_ptr<TaskState>>;
};

// A coroutine parked on a TaskHandle, with the state of its own task so that
// its resumption is checked against its own context, not the awaited one's.
struct Waiter {
    std::shared_ptr<TaskState> state;
    std::coroutine_handle<> frame;
};

} // namespace detail

// What one started task and all the Task frames nested in it share. Only
// `cancelled` may be touched off the GUI thread; everything else belongs to
// the GUI thread.
struct TaskState {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::vector<detail::Waiter> waiters;
    // Resumptions are delivered only while this object lives; once it is gone
    // the task's frames are destroyed at their next resumption.
    QPointer<QObject> context;
    // The outermost frame, owned by the runtime until the task ends.
    std::coroutine_handle<> root;
};

// A copyable reference to a started task. Cancelling only raises the flag the
// task's body (and any work it passed the token to) polls; the task decides
// when to stop. Awaiting a handle waits until the task has ended, by finishing,
// by throwing or by being dropped because its context died; an ended task
// resumes its awaiter immediately, without a turn of the event loop, and any
// number of coroutines may wait on one handle, each resumed by a separate post
// checked against its own context. A default-constructed handle means "no
// task": it is done and never cancelled. Handles compare equal when they refer
// to the same task, which lets a caller check that a stored handle is still
// its own before clearing it.
class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<TaskState> state) : state_(std::move(state)) {}

    void cancel() const noexcept;
    bool isCancelled() const noexcept;
    bool isDone() const noexcept;
    bool isValid() const noexcept { return state_ != nullptr; }
    CancelToken token() const;

    friend bool operator==(const TaskHandle&, const TaskHandle&) = default;

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<TaskState> awaited) : awaited_(std::move(awaited)) {}

        bool await_ready() const noexcept { return !awaited_ || awaited_->done.load(); }

        template<detail::RuntimePromise Promise>
        void await_suspend(std::coroutine_handle<Promise> waiting)
        {
            assertMainThread();
            awaited_->waiters.push_back({waiting.promise().state, waiting});
        }

        void await_resume() const noexcept {}

    private:
        std::shared_ptr<TaskState> awaited_;
    };

    Awaiter operator co_await() const { return Awaiter(state_); }

private:
    std::shared_ptr<TaskState> state_;
};

namespace detail {

// Marks the task ended and posts the resumption of everyone waiting on it.
// GUI thread only.
void markDone(TaskState& state);

} // namespace detail

} // namespace pivra
