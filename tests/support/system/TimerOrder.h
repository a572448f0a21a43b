#pragma once

#include <chrono>

namespace pivra::test {

// Returns once a precise timer of `interval`, started now, has fired. Qt
// fires timers in the order they fall due, and a coarse one at most 5% off
// its interval, so by then every timer already running that falls due well
// before has fired too: a test can then check that what it would have done
// has not happened. False if the timer does not fire.
bool outlastTimers(std::chrono::milliseconds interval);

} // namespace pivra::test
