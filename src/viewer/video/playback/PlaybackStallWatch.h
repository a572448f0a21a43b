#pragma once

#include "platform/runtime/threads/ThreadTimes.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <vector>

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
// Only time in which the player could have moved on is counted. Left out:
// the watching thread's wait in the run queue, so a machine too busy to run
// the player stretches the limit instead of failing a video that plays; and
// any moment at which a thread is held in a call on the video's file, so a
// share that stops answering for a while (a disk spinning up, a network
// share reconnecting) or a disk slower than the video is waited for: the
// pipeline is not silent, its read has not come back.
//
// A player held up that way is told to wait (waitingForFile), and told when
// its reads have caught up: a pipeline left playing meanwhile runs its clock
// on, and drops every picture of the stretch it waited for.
//
// GUI thread only.
class PlaybackStallWatch final : public QObject {
    Q_OBJECT

public:
    // Long enough for a slow disk to spin up, far longer than any opening
    // or picture of a video that plays takes.
    static constexpr std::chrono::milliseconds defaultLimit{8000};

    explicit PlaybackStallWatch(std::chrono::milliseconds limit = defaultLimit, QObject* parent = nullptr);

    // The paths of the file the player reads (as given, and as the kernel
    // resolves it); none for a stream.
    void watchReadsOf(std::vector<QByteArray> paths) { files_ = std::move(paths); }
    // Whether progress is owed from now on; counting starts afresh when it
    // becomes owed.
    void expect(bool owed);
    // The player moved on: counting starts afresh.
    void progressed();

Q_SIGNALS:
    // Once per stretch of owed progress.
    void stalled();
    // Progress is owed and none came for a moment while a call on the file
    // is held (true); no call on it has been held for two looks since, or
    // progress is no longer owed (false).
    void waitingForFile(bool waiting);

private:
    void restart();
    void tick();
    void setWaiting(bool waiting);

    const std::chrono::milliseconds limit_;
    QTimer ticks_;
    std::vector<QByteArray> files_;
    std::chrono::steady_clock::time_point last_;
    std::chrono::steady_clock::time_point movedAt_; // progress last owed afresh
    bool waiting_ = false;
    int looksUnheld_ = 0; // while waiting
    std::optional<ThreadTimes> lastTimes_;
    std::chrono::nanoseconds counted_{0};
};

} // namespace pivra
