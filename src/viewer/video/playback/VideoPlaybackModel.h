#pragma once

#include "catalog/model/MediaItem.h"
#include "media/camera/CameraVideoStream.h"

#include "viewer/video/playback/PlaybackStallWatch.h"
#include "viewer/video/playback/PlayerEngine.h"
#include "viewer/video/playback/PlayerThread.h"
#include "viewer/video/playback/SeekPacer.h"
#include "viewer/video/picture/VideoPictureFeed.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace pivra {

class StreamRangeServer;

// The one player of the viewer: a video of a folder source opened by its
// file URL, or a video on a connected phone or camera streamed to the player
// over the loopback range server, which reads it from the device in pieces.
// It publishes what the viewer and the transport bar draw and remembers the
// user's volume across launches.
//
// Every setter of published state emits its signal, also when the value is
// unchanged. `isPlaying` is the model's own flag (flipped by toggle(), ended
// by the end of a video that does not loop or by a failure), never read back
// from the player, which reports "stopped" at the end of a video.
//
// The player itself runs on a thread of its own (PlayerEngine): opening,
// seeking and emptying it never hold up the GUI thread, and going away hands
// its thread to the background releaser. What it reports belongs to one load
// and is dropped once another load or stop() has followed.
//
// A video fails also when the player does not say so: when it ends well
// before the length its streams' index gives (a file cut short plays what it
// has), and when it opens or plays without moving on (PlaybackStallWatch).
// A player that moves on after all, once the disk that held it answers,
// takes that message back and plays on.
//
// GUI thread only.
class VideoPlaybackModel final : public QObject {
    Q_OBJECT

public:
    static inline const QString volumeKey = QStringLiteral("pivra.player.volume");
    static inline const QString audibleVolumeKey = QStringLiteral("pivra.player.audibleVolume");
    // The speeds the transport bar offers, in order.
    static constexpr float speeds[] = {0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 2.0f};

    // Device videos are read through the program's camera source manager.
    explicit VideoPlaybackModel(QObject* parent = nullptr);
    // For tests: device videos are read through `cameraReader`.
    explicit VideoPlaybackModel(CameraVideoStream::Reader cameraReader, QObject* parent = nullptr);
    ~VideoPlaybackModel() override;

    // The player's pictures, for the view that shows them.
    VideoPictureFeed& pictures() { return *pictures_; }

    double currentTime() const { return currentTime_; }
    double duration() const { return duration_; }
    bool isPlaying() const { return isPlaying_; }
    bool isReady() const { return isReady_; }
    float playbackSpeed() const { return playbackSpeed_; }
    double volume() const { return volume_; }
    // Why the current video cannot play; none while all is well.
    const std::optional<QString>& error() const { return error_; }
    bool loops() const { return loops_; }
    // Whether a video is in the player (a refused load leaves none).
    bool hasItem() const { return !source_.isEmpty(); }

    // Opens a catalog item: a device video through its stream (refused with
    // a message when its size is below 1 byte), any other through its file.
    // Playing starts once the video is ready when `autoplay`.
    void load(const MediaItem& item, bool autoplay);
    // Opens the file at `path`; `duration` is the expected length, shown
    // until the video knows its own.
    void load(const QString& path, std::optional<double> duration, bool autoplay);

    // Plays or pauses; playing from within 0.15 s of the end starts over.
    void toggle();
    // An exact seek to `seconds`, clamped to 0 ... duration; the new time is
    // published at once. While the player still seeks to an earlier time,
    // the newest waits for that seek's picture (SeekPacer), so a drag over
    // the bar shows a frame for every seek the player finishes and never
    // queues up seeks the user has already left behind.
    void seek(double seconds);
    // A seek has been asked for whose picture has not yet arrived.
    bool isSeeking() const { return seeks_.busy(); }
    // Used whenever playback starts; changes the rate at once while playing.
    void setPlaybackSpeed(float speed);
    // Mutes, or brings back the last volume above 0.
    void toggleMute();
    // Applied to the output and stored; no clamping here.
    void setVolume(double volume);
    // At the end, start again from 0 instead of stopping.
    void setLoops(bool loops) { loops_ = loops; }
    // Empties the player and closes a device stream.
    void stop();

    // For tests: the URL of the current device video on the range server;
    // empty for a file.
    const QUrl& streamUrl() const { return streamUrl_; }
    // For tests: the engine, to watch its reports as the player thread
    // makes them, before they reach this model.
    const PlayerEngine& engineForTests() const { return *engine_; }
    // For tests: the player's own rate and volume, asked on its thread.
    double playerRate() const;
    float playerVolume() const;

Q_SIGNALS:
    void currentTimeChanged(double seconds);
    void durationChanged(double seconds);
    void isPlayingChanged(bool playing);
    void isReadyChanged(bool ready);
    void playbackSpeedChanged(float speed);
    void volumeChanged(double volume);
    void errorChanged(const std::optional<QString>& error);
    // The video ended where its streams end, before the length its header
    // states: it plays `seconds`, the length the bar now gives.
    void streamsLengthMeasured(double seconds);
    // A load or stop replaced the video: pictures and hover frames of the
    // previous one must go.
    void itemChanged();

private:
    class ReadFailures;

    void configure(const QUrl& source, std::optional<double> expectedDuration);
    void onPlayer(std::function<void(PlayerEngine&)> job) const;
    template <typename Answer>
    Answer askPlayer(std::function<Answer(PlayerEngine&)> question) const;
    void statusChanged(quint64 load, int status, const QString& errorText);
    void failed(const QString& playerText);
    void stalled();
    void movedOn();
    void waitForFile(bool waiting);
    void endReached(quint64 load, std::optional<double> streamsSeconds);
    void reachedEnd();
    bool endedEarly(double length) const;
    void watchProgress();
    void startPlayer();
    void publishTime(quint64 load, qint64 milliseconds);
    void publishDuration(quint64 load, qint64 milliseconds);

    void setCurrentTime(double seconds);
    void setDuration(double seconds);
    void setPlaying(bool playing);
    void setReady(bool ready);
    void setError(std::optional<QString> error);

    CameraVideoStream::Reader cameraReader_;
    std::shared_ptr<ReadFailures> readFailures_; // of the current device stream
    std::unique_ptr<StreamRangeServer> server_;  // made for the first device video
    std::shared_ptr<CameraVideoStream> cameraStream_;
    QUrl streamUrl_;
    std::unique_ptr<VideoPictureFeed> pictures_;
    std::unique_ptr<PlayerThread> playerThread_;
    PlayerEngine* engine_; // lives on playerThread_, which deletes it
    // Moves on with every load and stop; the player's reports carry the
    // number of the load they belong to.
    quint64 load_ = 0;
    QUrl source_;
    SeekPacer seeks_;
    PlaybackStallWatch stalls_;
    QMediaPlayer::MediaStatus status_ = QMediaPlayer::NoMedia; // the last the player reported
    qint64 position_ = 0;                                      // the last the player reported
    bool durationKnown_ = false;                               // told by the player, not the catalog
    bool stallFailed_ = false;     // the error shown is the stall watch's
    bool playsOnResuming_ = false; // it was playing when it stalled
    bool waitingForFile_ = false;  // paused by the stall watch

    double currentTime_ = 0;
    double duration_ = 0;
    bool isPlaying_ = false;
    bool isReady_ = false;
    float playbackSpeed_ = 1.0f;
    double volume_ = 1.0;
    bool playsWhenReady_ = false;
    std::optional<QString> error_;
    bool loops_ = false;
};

} // namespace pivra
