#pragma once

#include "media/thumbnails/OperationQueue.h"

#include <functional>
#include <memory>

namespace pivra {

// Where the scroll pause reads the time and how it waits. Tests pass a
// hand-driven clock and keep the scheduled calls to run them when they like.
struct PauseClock {
    std::function<double()> uptime; // seconds on a monotonic clock
    // Runs `call` on the GUI thread `delaySeconds` from now.
    std::function<void(double delaySeconds, std::function<void()> call)> schedule;

    static PauseClock system();
};

// Keeps background preparation out of the way while the grid scrolls: every
// scroll suspends the queue, and it resumes once the grid has been quiet for
// `quietSeconds`. At most one resume check is pending at a time; a check that
// finds the last scroll too recent schedules the next one, so the queue
// resumes between one and two quiet periods after the last scroll.
// GUI thread only.
class ScrollPause {
public:
    static constexpr double quietSeconds = 0.35;

    explicit ScrollPause(OperationQueue& queue, PauseClock clock = PauseClock::system());

    ScrollPause(const ScrollPause&) = delete;
    ScrollPause& operator=(const ScrollPause&) = delete;

    // The gallery's scroll handler calls this for a move of the visible area
    // (not for a resize).
    void noteScroll();

    double lastScrollActivity() const { return lastScrollActivity_; }
    bool hasResumePending() const { return resumePending_; }

private:
    void schedulePreparationResume();
    void checkResume();

    OperationQueue& queue_;
    PauseClock clock_;
    double lastScrollActivity_ = 0;
    bool resumePending_ = false;
    // Scheduled checks hold this weakly and do nothing once the pause is gone.
    std::shared_ptr<ScrollPause*> self_;
};

} // namespace pivra
