#pragma once

#include <exception>

namespace pivra {

// Thrown by work that noticed its CancelToken and stopped, so callers can tell
// a stop they asked for from a failure.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace pivra
