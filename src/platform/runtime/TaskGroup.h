#pragma once

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/Outcome.h"
#include "platform/runtime/Task.h"

#include <QObject>

#include <coroutine>
#include <deque>
#include <exception>
#include <memory>
#include <utility>

namespace pivra {

// A handful of children that run side by side, each as a task of its own,
// and one coroutine that takes their results in the order they finish.
//
//   TaskGroup<Key> group;
//   group.add(this, render(first));
//   while (group.outstanding() > 0) {
//       const Key key = co_await group.next(); // rethrows what the child threw
//       ... handle it, then maybe add one more child
//   }
//
// The caller bounds the width by how many it adds before taking results.
// Children are not cancelled with the taker's task; the taker drops what it
// no longer wants. Only one coroutine may wait in next() at a time, and only
// while outstanding() > 0. GUI thread only.
template<typename T>
class TaskGroup {
    struct Shared {
        std::deque<detail::Outcome<T>> finished;
        detail::Waiter waiter;
    };

public:
    // Starts `child` under `context` (see startTask); its result joins the
    // finished ones when it returns. A child dropped because its context died
    // never returns, so the group's context should not outlive the children's.
    void add(QObject* context, Task<T> child)
    {
        ++outstanding_;
        startTask(context, run(std::move(child), shared_));
    }

    // Children added and whose result has not been taken yet.
    int outstanding() const { return outstanding_; }

    class NextAwaiter {
    public:
        explicit NextAwaiter(TaskGroup& group) : group_(group) {}
        NextAwaiter(const NextAwaiter&) = delete;
        NextAwaiter& operator=(const NextAwaiter&) = delete;

        // A waiter whose frame is destroyed while it waits must not be resumed.
        ~NextAwaiter()
        {
            if (group_.shared_->waiter.frame == frame_) {
                group_.shared_->waiter = {};
            }
        }

        bool await_ready() const noexcept { return !group_.shared_->finished.empty(); }

        template<detail::RuntimePromise Promise>
        void await_suspend(std::coroutine_handle<Promise> frame)
        {
            assertMainThread();
            Q_ASSERT(!group_.shared_->waiter.frame);
            frame_ = frame;
            group_.shared_->waiter = {frame.promise().state, frame};
        }

        T await_resume()
        {
            frame_ = {};
            detail::Outcome<T> outcome = std::move(group_.shared_->finished.front());
            group_.shared_->finished.pop_front();
            --group_.outstanding_;
            return outcome.take();
        }

    private:
        TaskGroup& group_;
        std::coroutine_handle<> frame_;
    };

    // The result of the child that finished first among those not taken yet.
    NextAwaiter next()
    {
        Q_ASSERT(outstanding_ > 0);
        return NextAwaiter(*this);
    }

private:
    // A child dropped with its context never finishes. When the taker's
    // context went too (one object owning both, gone), the taker is woken,
    // which destroys its frames instead of leaving them to wait for ever.
    class DroppedChild {
    public:
        explicit DroppedChild(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
        DroppedChild(const DroppedChild&) = delete;
        DroppedChild& operator=(const DroppedChild&) = delete;
        ~DroppedChild()
        {
            const detail::Waiter& waiter = shared_->waiter;
            if (!finished && waiter.frame && waiter.state->context.isNull()) {
                detail::Waiter taker = std::exchange(shared_->waiter, {});
                detail::resumeOnMain(std::move(taker.state), taker.frame);
            }
        }

        bool finished = false;

    private:
        std::shared_ptr<Shared> shared_;
    };

    static Task<> run(Task<T> child, std::shared_ptr<Shared> shared)
    {
        DroppedChild dropped(shared);
        detail::Outcome<T> outcome;
        try {
            outcome.setValue(co_await std::move(child));
        } catch (...) {
            outcome.setError(std::current_exception());
        }
        dropped.finished = true;
        shared->finished.push_back(std::move(outcome));
        detail::Waiter waiter = std::exchange(shared->waiter, {});
        if (waiter.frame) {
            detail::resumeOnMain(std::move(waiter.state), waiter.frame);
        }
    }

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    int outstanding_ = 0;
};

} // namespace pivra
