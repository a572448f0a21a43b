#include "viewer/video/playback/PlaybackStallWatch.h"

#include "platform/runtime/threads/FileCallsInFlight.h"

#include <algorithm>

namespace pivra {
namespace {

constexpr std::chrono::milliseconds tickInterval{250};

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
    if (!fileCallInFlight(files_)) {
        counted_ += std::max(given, std::chrono::nanoseconds(0));
    }
    last_ = now;
    lastTimes_ = times;
    if (counted_ >= limit_) {
        ticks_.stop();
        Q_EMIT stalled();
    }
}

} // namespace pivra
