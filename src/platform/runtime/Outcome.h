#pragma once

#include <exception>
#include <optional>
#include <utility>

namespace pivra::detail {

// The value or the exception of one piece of work, whatever its type, so the
// side that takes it can rethrow exactly what was thrown.
template<typename R>
class Outcome {
public:
    template<typename F>
    void capture(F& work) noexcept
    {
        try {
            value_.emplace(work());
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    void setValue(R value) { value_.emplace(std::move(value)); }
    void setError(std::exception_ptr error) noexcept { error_ = std::move(error); }
    const std::exception_ptr& error() const noexcept { return error_; }

    R take()
    {
        if (error_) {
            std::rethrow_exception(error_);
        }
        return std::move(*value_);
    }

private:
    std::optional<R> value_;
    std::exception_ptr error_;
};

template<>
class Outcome<void> {
public:
    template<typename F>
    void capture(F& work) noexcept
    {
        try {
            work();
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    void setError(std::exception_ptr error) noexcept { error_ = std::move(error); }
    const std::exception_ptr& error() const noexcept { return error_; }

    void take() const
    {
        if (error_) {
            std::rethrow_exception(error_);
        }
    }

private:
    std::exception_ptr error_;
};

} // namespace pivra::detail
