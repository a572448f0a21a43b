#pragma once

#include <atomic>
#include <memory>

namespace pivra {

// A read-only view of a cancellation flag, meant to be handed to work that
// runs on other threads (a catalog scan on the executor, a walk on the pool),
// which polls it between steps. Cancellation is cooperative: nothing is
// interrupted, the work notices and stops. The flag is set with release and
// read with acquire, so whatever the canceller wrote before cancelling is
// visible to the worker that sees the flag. Copies are cheap and share the flag.
// A default-constructed token is never cancelled.
class CancelToken {
public:
    CancelToken() = default;
    explicit CancelToken(std::shared_ptr<const std::atomic<bool>> flag) : flag_(std::move(flag)) {}

    bool isCancelled() const noexcept { return flag_ && flag_->load(std::memory_order_acquire); }

private:
    std::shared_ptr<const std::atomic<bool>> flag_;
};

// The owner's side of a cancellation flag, for callers that are not tasks
// (tests, benchmarks, plain functions). Tasks get theirs from TaskHandle.
class CancelSource {
public:
    CancelSource() : flag_(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const noexcept { flag_->store(true, std::memory_order_release); }
    bool isCancelled() const noexcept { return flag_->load(std::memory_order_acquire); }
    CancelToken token() const { return CancelToken(flag_); }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

} // namespace pivra
