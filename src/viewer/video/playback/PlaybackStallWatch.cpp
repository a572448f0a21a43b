#include "viewer/video/playback/PlaybackStallWatch.h"

#include "platform/runtime/threads/FileCallsInFlight.h"

#include <algorithm>

namespace pivra {
namespace {

constexpr std::chrono::milliseconds tickInterval{250};
// Longer than a player's usual gap between two positions (0.1 s) or two
// pictures of a slow video, short enough that little of the clock runs on.
constexpr std::chrono::milliseconds waitAfter{500};

} // namespace

PlaybackStallWatch::PlaybackStallWatch(std::chrono::milliseconds limit, QObject* parent)
    : QObject(parent)
    , limit_(limit)
{
    ticks_.setInterval(tickInterval);
    connect(&ticks_, &QTimer::timeout, this, &PlaybackStallWatch::tick);
}

void PlaybackStallWatch::expect(bool owed)
{
    if (owed == ticks_.isActive()) {
        return;
    }
    if (owed) {
        restart();
        ticks_.start();
    } else {
        ticks_.stop();
        setWaiting(false);
    }
}

void PlaybackStallWatch::progressed()
{
    if (ticks_.isActive()) {
        restart();
    }
}

void PlaybackStallWatch::restart()
{
    last_ = std::chrono::steady_clock::now();
    movedAt_ = last_;
    lastTimes_ = threadTimes(currentThreadId());
    counted_ = std::chrono::nanoseconds(0);
}

void PlaybackStallWatch::tick()
{
    const auto now = std::chrono::steady_clock::now();
    const std::optional<ThreadTimes> times = threadTimes(currentThreadId());
    std::chrono::nanoseconds given = now - last_;
    if (times && lastTimes_) {
        given -= std::chrono::nanoseconds(times->waitingNs - lastTimes_->waitingNs);
    }
    // A read seen waiting now is taken to have waited since the last look:
    // a share that does not answer holds it for the whole stretch, and a
    // slow disk's reads follow one another.
    if (fileCallInFlight(files_)) {
        looksUnheld_ = 0;
        if (now - movedAt_ >= waitAfter) {
            setWaiting(true);
        }
    } else {
        counted_ += std::max(given, std::chrono::nanoseconds(0));
        if (waiting_ && ++looksUnheld_ >= 2) {
            setWaiting(false);
        }
    }
    last_ = now;
    lastTimes_ = times;
    if (counted_ >= limit_) {
        ticks_.stop();
        setWaiting(false);
        Q_EMIT stalled();
    }
}

void PlaybackStallWatch::setWaiting(bool waiting)
{
    looksUnheld_ = 0;
    if (waiting != waiting_) {
        waiting_ = waiting;
        Q_EMIT waitingForFile(waiting);
    }
}

} // namespace pivra
