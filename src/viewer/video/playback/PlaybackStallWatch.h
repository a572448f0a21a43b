#pragma once

#include "platform/runtime/threads/ThreadTimes.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

namespace pivra {

// Tells when a player that owes progress (opening a video, or playing one
// whose data it has) has shown none for `limit`: no report, no new
// position, no picture.
//
// Why a player can stall without a word: GStreamer's decodebin drops an
// error its demuxer posts while decodebin is still starting that demuxer,
// which a file with no playable stream does within microseconds; the
// pipeline then waits for ever for streams that never come, and Qt's player
// stays "loading".
//
// The time counted is the time this process was given a processor whenever
// it asked for one: the watching thread's wait in the run queue is left out,
// so a machine too busy to run the player stretches the limit instead of
// failing a video that plays.
//
// GUI thread only.
class PlaybackStallWatch final : public QObject {
    Q_OBJECT

public:
    // Long enough for a slow disk to spin up, far longer than any opening
    // or picture of a video that plays takes.
    static constexpr std::chrono::milliseconds limit{8000};

    explicit PlaybackStallWatch(QObject* parent = nullptr);

    // Whether progress is owed from now on; counting starts afresh when it
    // becomes owed.
    void expect(bool owed);
    // The player moved on: counting starts afresh.
    void progressed();

Q_SIGNALS:
    // Once per stretch of owed progress.
    void stalled();

private:
    void restart();
    void tick();

    QTimer ticks_;
    std::chrono::steady_clock::time_point last_;
    std::optional<ThreadTimes> lastTimes_;
    std::chrono::nanoseconds counted_{0};
};

} // namespace pivra
