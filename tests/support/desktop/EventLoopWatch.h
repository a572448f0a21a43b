#pragma once

#include "support/system/PassClock.h"

#include <QTimer>

#include <functional>

namespace pivra::test {

// Watches the event loop of the GUI thread through a precise timer due every
// millisecond, and keeps the longest pass between two of its firings in both
// measures of a PassClock. Bounds on either are to be multiplied by
// slowdown(), since sanitizer builds run several times slower.
class EventLoopWatch {
public:
    EventLoopWatch();

    // The longest the GUI thread was held up: by work it did or by waiting
    // for another thread, but not by a busy machine giving it no processor.
    // A lock holder or the disk is slowed down by a busy machine too, so a
    // bound on it only tells a wait for something slow from none.
    double longestMs() const { return longest_; }
    // The most processor time the GUI thread itself spent between two
    // firings: its own work, which neither a busy machine nor another
    // thread's lock lengthens.
    double longestBusyMs() const { return longestBusy_; }
    // How many times the timer fired: a pass is in the longest ones once the
    // count has moved on after it.
    int ticks() const { return ticks_; }

    // Turns the event loop until `done` holds at a firing, or for
    // `timeoutMs`; whether it held. QTest::qWaitFor sleeps 10 ms between its
    // turns, which a bound on the time held up would count.
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

    static double slowdown();

private:
    QTimer tick_;
    PassClock pass_;
    double longest_ = 0;
    double longestBusy_ = 0;
    int ticks_ = 0;
};

} // namespace pivra::test
