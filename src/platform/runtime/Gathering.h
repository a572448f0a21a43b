#pragma once

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/TaskHandle.h"

#include <coroutine>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace pivra {

// Answers that come one by one on the GUI thread, each in a slot of its own,
// and one coroutine that awaits them all:
//
//   auto gathering = std::make_shared<Gathering<Answer>>(count);
//   ... hand gathering and a slot to whatever gives each answer ...
//   std::vector<std::optional<Answer>> answers = co_await gathering->all();
//
// The coroutine goes on, in a later turn, once every slot has been given, or
// once finish() says no more will come (the slots not given stay empty). Only
// one coroutine may await, once. GUI thread only.
template<typename T>
class Gathering {
public:
    explicit Gathering(std::size_t count) : answers_(count), pending_(count), finished_(count == 0) {}

    Gathering(const Gathering&) = delete;
    Gathering& operator=(const Gathering&) = delete;

    // Fills `slot` (each at most once; nothing after finish()).
    void give(std::size_t slot, std::optional<T> answer)
    {
        assertMainThread();
        if (finished_) {
            return;
        }
        answers_[slot] = std::move(answer);
        if (--pending_ == 0) {
            finish();
        }
    }

    // No more answers come: the awaiting coroutine goes on with those given.
    void finish()
    {
        assertMainThread();
        finished_ = true;
        if (waiter_.frame) {
            detail::Waiter waiter = std::exchange(waiter_, {});
            detail::resumeOnMain(std::move(waiter.state), waiter.frame);
        }
    }

    bool isFinished() const { return finished_; }

    class Awaiter {
    public:
        explicit Awaiter(Gathering& gathering) : gathering_(gathering) {}

        bool await_ready() const noexcept { return gathering_.finished_; }

        template<detail::RuntimePromise Promise>
        void await_suspend(std::coroutine_handle<Promise> frame)
        {
            assertMainThread();
            gathering_.waiter_ = {frame.promise().state, frame};
        }

        std::vector<std::optional<T>> await_resume() { return std::move(gathering_.answers_); }

    private:
        Gathering& gathering_;
    };

    // The answers in slot order, an empty one for each slot not given.
    Awaiter all() { return Awaiter(*this); }

private:
    std::vector<std::optional<T>> answers_;
    std::size_t pending_;
    bool finished_;
    detail::Waiter waiter_;
};

} // namespace pivra
