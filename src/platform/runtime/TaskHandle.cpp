#include "platform/runtime/TaskHandle.h"

#include "platform/runtime/Dispatcher.h"

#include <utility>

namespace pivra {

void TaskHandle::cancel() const noexcept
{
    if (state_) {
        state_->cancelled.store(true, std::memory_order_release);
    }
}

bool TaskHandle::isCancelled() const noexcept
{
    return state_ && state_->cancelled.load(std::memory_order_acquire);
}

bool TaskHandle::isDone() const noexcept
{
    return !state_ || state_->done.load();
}

CancelToken TaskHandle::token() const
{
    if (!state_) {
        return {};
    }
    // Aliasing pointer: the token keeps the whole state alive but sees only the flag.
    return CancelToken(std::shared_ptr<const std::atomic<bool>>(state_, &state_->cancelled));
}

namespace detail {

void markDone(TaskState& state)
{
    assertMainThread();
    state.done.store(true);
    state.root = {};
    for (Waiter& waiter : std::exchange(state.waiters, {})) {
        resumeOnMain(std::move(waiter.state), waiter.frame);
    }
}

} // namespace detail

} // namespace pivra
