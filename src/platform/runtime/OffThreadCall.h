#pragma once

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/Outcome.h"
#include "platform/runtime/TaskHandle.h"

#include <coroutine>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace pivra::detail {

// What a job returns once it has crossed a thread: references and const are
// dropped, the caller gets a value of its own.
template<typename F, typename... Args>
using JobResult = std::remove_cvref_t<std::invoke_result_t<F, Args...>>;

// Jobs handed to an awaited call are written inside the co_await expression,
// where GCC 12 destroys a lambda's captures twice (see Task.h). Accepting only
// jobs without state turns that crash into a compile error.
template<typename F>
constexpr void requireStatelessJob()
{
    static_assert(std::is_empty_v<F> || std::is_pointer_v<F> || std::is_member_pointer_v<F>,
                  "an awaited job must not capture (GCC 12 destroys captures made inside a co_await "
                  "expression twice); pass the values as further arguments after the job");
}

// Awaiting this runs `work` on another thread (whatever `enqueue` hands it
// to) and continues the awaiting coroutine on the GUI thread with its result,
// through the dispatcher. The outcome lives in shared storage, not in the
// coroutine frame, because the frame may be destroyed (its context died)
// while the work is still running.
template<typename R>
class OffThreadCall {
public:
    using Enqueue = std::function<void(std::function<void()>)>;

    OffThreadCall(Enqueue enqueue, std::function<R()> work)
        : enqueue_(std::move(enqueue)), work_(std::move(work)), outcome_(std::make_shared<Outcome<R>>())
    {
    }

    bool await_ready() const noexcept { return false; }

    template<RuntimePromise Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        // Resumption is posted to the GUI thread; suspending anywhere else
        // could let it run before this function has returned.
        assertMainThread();
        workQueued();
        enqueue_([work = std::move(work_), outcome = outcome_, state = frame.promise().state,
                  frame]() mutable {
            outcome->capture(work);
            // Let go of the job's arguments and of the outcome before the
            // result is delivered, so nothing of this call outlives it here.
            work = nullptr;
            outcome.reset();
            resumeOnMain(std::move(state), frame);
            workDelivered();
        });
    }

    R await_resume() { return outcome_->take(); }

private:
    Enqueue enqueue_;
    std::function<R()> work_;
    std::shared_ptr<Outcome<R>> outcome_;
};

} // namespace pivra::detail
