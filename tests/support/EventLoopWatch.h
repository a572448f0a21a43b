#pragma once

#include <QElapsedTimer>
#include <QTimer>

namespace pivra::test {

// How long the GUI thread is held up: by work it does or by waiting for
// another thread, but not by a busy machine giving it no processor. The
// kernel's count of the time the thread sat ready to run is taken off.
//
// Watching the event loop: a precise timer due every millisecond, and the
// longest gap between two of its firings. Bounds on either measure are to be
// multiplied by slowdown(), since sanitizer builds run several times slower.
class EventLoopWatch {
public:
    EventLoopWatch();

    double longestMs() const { return double(longest_) / 1e6; }
    // How many times the timer fired: a pass is in longestMs() once the
    // count has moved on after it.
    int ticks() const { return ticks_; }

    static double slowdown();

private:
    QTimer tick_;
    QElapsedTimer since_;
    qint64 waitedSince_ = 0;
    qint64 longest_ = 0;
    int ticks_ = 0;
};

} // namespace pivra::test
