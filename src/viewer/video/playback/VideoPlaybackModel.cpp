#include "viewer/video/playback/VideoPlaybackModel.h"

#include "media/camera/CameraItemPaths.h"
#include "media/streaming/StreamRangeServer.h"
#include "platform/AppSettings.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/memory/HeapUpkeep.h"

#include <QAudioOutput>

#include <algorithm>
#include <cmath>
#include <future>
#include <mutex>
#include <utility>

namespace pivra {
namespace {

const QString emptyDeviceVideoText = QStringLiteral("This iPhone video is empty or unavailable.");
const QString unreadableFileText = QStringLiteral("This video is unavailable. Reconnect its folder or drive.");
const QString unplayableText = QStringLiteral("This video could not be played.");
const QString disconnectedText = QStringLiteral("The iPhone is disconnected or the video is unavailable.");

// Playing again from closer to the end than this starts over.
constexpr double restartMargin = 0.15;

// A stored volume; `fallback` when missing or not a number. Kept within the
// slider's range, which a hand-edited file may not be.
double storedVolume(const QString& key, double fallback)
{
    bool ok = false;
    const double value = AppSettings().value(key).toDouble(&ok);
    return ok && std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : fallback;
}

bool readyStatus(QMediaPlayer::MediaStatus status)
{
    switch (status) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
    case QMediaPlayer::StalledMedia:
    case QMediaPlayer::EndOfMedia:
        return true;
    default:
        return false;
    }
}

} // namespace

// The first read of the device that failed, as the stream met it: the player
// only learns that its source broke off, so the device's reason is kept here
// for the message. Written on whatever thread the device answers on.
class VideoPlaybackModel::ReadFailures {
public:
    std::optional<QString> first() const
    {
        std::lock_guard guard(lock_);
        return first_;
    }

    void record(const PivraError& error)
    {
        std::lock_guard guard(lock_);
        if (!first_) {
            // The device's own word for being gone says nothing of the video.
            first_ = error.code == cameraDisconnectedErrorCode && error.domain == cameraDisconnectedError().domain
                         ? disconnectedText
                         : error.description;
        }
    }

private:
    mutable std::mutex lock_;
    std::optional<QString> first_;
};

VideoPlaybackModel::VideoPlaybackModel(QObject* parent)
    : VideoPlaybackModel(CameraVideoStream::managerReader(), parent)
{
}

VideoPlaybackModel::VideoPlaybackModel(CameraVideoStream::Reader cameraReader, QObject* parent)
    : QObject(parent)
    , cameraReader_(std::move(cameraReader))
    , pictures_(std::make_unique<VideoPictureFeed>())
    , playerThread_(std::make_unique<PlayerThread>(QStringLiteral("Pivra video player")))
    , engine_(new PlayerEngine)
    , seeks_([this](qint64 milliseconds) {
        onPlayer([milliseconds](PlayerEngine& engine) { engine.seekTo(milliseconds); });
    })
    , volume_(storedVolume(volumeKey, 1.0))
{
    engine_->moveToThread(playerThread_->thread());
    connect(engine_, &PlayerEngine::positionChanged, this, &VideoPlaybackModel::publishTime);
    connect(engine_, &PlayerEngine::durationChanged, this, &VideoPlaybackModel::publishDuration);
    connect(engine_, &PlayerEngine::statusChanged, this, &VideoPlaybackModel::statusChanged);
    connect(engine_, &PlayerEngine::failed, this, [this](quint64 load, const QString& text) {
        if (load == load_ && hasItem()) {
            failed(text);
        }
    });
    connect(engine_, &PlayerEngine::unreadable, this, [this](quint64 load) {
        if (load == load_ && hasItem()) {
            stop();
            setError(unreadableFileText);
        }
    });
    connect(engine_, &PlayerEngine::seekHandled, this, [this](quint64 load, qint64 milliseconds, bool sought) {
        if (load == load_) {
            seeks_.handled(milliseconds, sought);
        }
    });
    connect(engine_, &PlayerEngine::opened, this, [this](quint64 load, const QByteArray& realPath) {
        if (load == load_ && hasItem()) {
            std::vector<QByteArray> files{fileNameBytes(pathOfFileUrl(source_)), realPath};
            playerThread_->readsFrom(files);
            stalls_.watchReadsOf(std::move(files));
        }
    });
    connect(engine_, &PlayerEngine::streamsMeasured, this, &VideoPlaybackModel::endReached);
    connect(&pictures_->frames(), &LatestFrameSink::frameReady, this, [this](const ConvertedFrame& frame) {
        seeks_.pictureArrived(frame.startMicroseconds);
        movedOn();
    });
    connect(&stalls_, &PlaybackStallWatch::stalled, this, &VideoPlaybackModel::stalled);
    connect(&stalls_, &PlaybackStallWatch::waitingForFile, this, &VideoPlaybackModel::waitForFile);
    // The audio output too is made there, once: loading the audio sink may
    // take a second where no sound device answers.
    onPlayer([volume = float(volume_), sink = pictures_->sink()](PlayerEngine& engine) { engine.create(volume, sink); });
}

// The player lets go of its source before the stream that feeds it ends, and
// goes before its sink and its thread do; nothing here waits for any of it.
VideoPlaybackModel::~VideoPlaybackModel()
{
    onPlayer([stream = cameraStream_, releasePictures = pictures_->release()](PlayerEngine& engine) {
        engine.close();
        delete &engine;
        if (stream) {
            stream->invalidate();
        }
        releasePictures();
    });
}

void VideoPlaybackModel::onPlayer(std::function<void(PlayerEngine&)> job) const
{
    playerThread_->post([engine = engine_, job = std::move(job)] { job(*engine); });
}

template <typename Answer>
Answer VideoPlaybackModel::askPlayer(std::function<Answer(PlayerEngine&)> question) const
{
    auto answer = std::make_shared<std::promise<Answer>>();
    onPlayer([answer, question](PlayerEngine& engine) { answer->set_value(question(engine)); });
    return answer->get_future().get();
}

double VideoPlaybackModel::playerRate() const
{
    return askPlayer<double>([](PlayerEngine& engine) { return engine.player().playbackRate(); });
}

float VideoPlaybackModel::playerVolume() const
{
    return askPlayer<float>([](PlayerEngine& engine) { return engine.output().volume(); });
}

void VideoPlaybackModel::load(const MediaItem& item, bool autoplay)
{
    if (!isCameraItem(item)) {
        load(item.path(), item.duration(), autoplay);
        return;
    }
    stop();
    playsWhenReady_ = autoplay;
    if (item.fileSize() < 1) {
        setError(emptyDeviceVideoText);
        return;
    }
    if (!server_) {
        server_ = std::make_unique<StreamRangeServer>();
    }
    readFailures_ = std::make_shared<ReadFailures>();
    cameraStream_ = std::make_shared<CameraVideoStream>(
        item, [reader = cameraReader_, failures = readFailures_](const QString& path, std::int64_t offset,
                                                                 std::int64_t length, CameraReadCompletion done) {
            reader(path, offset, length,
                   [failures, done = std::move(done)](std::optional<QByteArray> data,
                                                      std::optional<PivraError> error) {
                       if (error) {
                           failures->record(*error);
                       }
                       done(std::move(data), std::move(error));
                   });
        });
    streamUrl_ = server_->registerAsset(cameraStream_);
    if (streamUrl_.isEmpty()) {
        cameraStream_.reset();
        setError(unplayableText);
        return;
    }
    configure(streamUrl_, item.duration());
}

void VideoPlaybackModel::load(const QString& path, std::optional<double> duration, bool autoplay)
{
    stop();
    playsWhenReady_ = autoplay;
    configure(fileUrl(path), duration);
}

void VideoPlaybackModel::configure(const QUrl& source, std::optional<double> expectedDuration)
{
    setDuration(expectedDuration && std::isfinite(*expectedDuration) ? std::max(*expectedDuration, 0.0) : 0.0);
    source_ = source;
    // Until the player tells where the kernel finds it.
    std::vector<QByteArray> files;
    if (source.isLocalFile()) {
        files.push_back(fileNameBytes(pathOfFileUrl(source)));
    }
    playerThread_->readsFrom(files);
    stalls_.watchReadsOf(std::move(files));
    // Paused rather than stopped, so the first picture shows before playing.
    onPlayer([load = load_, source](PlayerEngine& engine) { engine.open(load, source); });
    setError(std::nullopt);
    pictures_->clear();
    Q_EMIT itemChanged();
}

void VideoPlaybackModel::statusChanged(quint64 load, int value, const QString& errorText)
{
    if (load != load_ || !hasItem()) {
        return;
    }
    const auto status = QMediaPlayer::MediaStatus(value);
    status_ = status;
    movedOn();
    // Ready once per load: a streamed video goes on buffering after it is
    // ready, and stays playable meanwhile.
    if (!isReady_ && readyStatus(status)) {
        setReady(true);
        if (playsWhenReady_) {
            playsWhenReady_ = false;
            if (!isPlaying_) {
                toggle();
            }
        }
    }
    if (status == QMediaPlayer::InvalidMedia) {
        failed(errorText);
    } else if (status == QMediaPlayer::EndOfMedia) {
        // A seek to the very end shows no picture of its own.
        seeks_.settle();
        if (endedEarly(duration_)) {
            // Told by the header only, which may state more than the
            // streams hold; they tell for themselves.
            onPlayer([load = load_, source = source_](PlayerEngine& engine) { engine.measureStreams(load, source); });
        } else {
            reachedEnd();
        }
    }
    watchProgress();
}

void VideoPlaybackModel::endReached(quint64 load, std::optional<double> streamsSeconds)
{
    if (load != load_ || !hasItem() || status_ != QMediaPlayer::EndOfMedia) {
        return;
    }
    if (!streamsSeconds || endedEarly(*streamsSeconds)) {
        failed(QString());
        return;
    }
    setDuration(*streamsSeconds);
    Q_EMIT streamsLengthMeasured(*streamsSeconds);
    reachedEnd();
}

void VideoPlaybackModel::failed(const QString& playerText)
{
    stallFailed_ = false;
    std::optional<QString> text = readFailures_ ? readFailures_->first() : std::nullopt;
    if (!text) {
        text = playerText.isEmpty() ? unplayableText : playerText;
    }
    setError(text);
    setPlaying(false);
}

// The player is left as it is: one that gets going after all takes the
// message back (movedOn).
void VideoPlaybackModel::stalled()
{
    const bool wasPlaying = isPlaying_;
    failed(QString());
    stallFailed_ = true;
    playsOnResuming_ = wasPlaying;
}

// Paused while its file keeps it waiting, the player goes on from the
// picture it stopped at; the user's playing stands meanwhile.
void VideoPlaybackModel::waitForFile(bool waiting)
{
    if (waiting == waitingForFile_) {
        return;
    }
    waitingForFile_ = waiting;
    if (!isPlaying_) {
        return;
    }
    if (waiting) {
        onPlayer([](PlayerEngine& engine) { engine.player().pause(); });
    } else {
        startPlayer();
    }
}

void VideoPlaybackModel::movedOn()
{
    stalls_.progressed();
    if (stallFailed_) {
        stallFailed_ = false;
        setError(std::nullopt);
        if (playsOnResuming_) {
            setPlaying(true);
        }
    }
}

// The end came well before `length`: the data stops short, as in a file
// whose copy broke off.
bool VideoPlaybackModel::endedEarly(double length) const
{
    const double reached = double(position_) / 1000;
    return durationKnown_ && reached < length - std::max(1.0, length / 10);
}

// Progress is owed while a video opens, and while it plays with the data it
// needs at hand; a stream waiting for its source owes none.
void VideoPlaybackModel::watchProgress()
{
    const bool hasData = status_ == QMediaPlayer::LoadedMedia || status_ == QMediaPlayer::BufferedMedia;
    stalls_.expect(hasItem() && !error_ && (!isReady_ || (isPlaying_ && hasData)));
}

void VideoPlaybackModel::reachedEnd()
{
    if (!loops_) {
        setPlaying(false);
        return;
    }
    seek(0);
    startPlayer();
}

void VideoPlaybackModel::startPlayer()
{
    seeks_.flush();
    onPlayer([speed = playbackSpeed_](PlayerEngine& engine) {
        engine.player().setPlaybackRate(speed);
        engine.player().play();
    });
}

void VideoPlaybackModel::toggle()
{
    if (!hasItem()) {
        return;
    }
    if (isPlaying_) {
        onPlayer([](PlayerEngine& engine) { engine.player().pause(); });
    } else {
        if (duration_ > 0 && currentTime_ >= duration_ - restartMargin) {
            seek(0);
        }
        startPlayer();
    }
    setPlaying(!isPlaying_);
}

void VideoPlaybackModel::seek(double seconds)
{
    if (!std::isfinite(seconds)) {
        return;
    }
    const double target = std::max(std::min(seconds, duration_), 0.0);
    seeks_.ask(qint64(std::llround(target * 1000)));
    setCurrentTime(target);
}

void VideoPlaybackModel::setPlaybackSpeed(float speed)
{
    playbackSpeed_ = speed;
    Q_EMIT playbackSpeedChanged(speed);
    if (isPlaying_) {
        onPlayer([speed](PlayerEngine& engine) { engine.player().setPlaybackRate(speed); });
    }
}

void VideoPlaybackModel::toggleMute()
{
    setVolume(volume_ == 0 ? storedVolume(audibleVolumeKey, 1.0) : 0.0);
}

void VideoPlaybackModel::setVolume(double volume)
{
    volume_ = volume;
    onPlayer([volume = float(volume)](PlayerEngine& engine) { engine.output().setVolume(volume); });
    AppSettings settings;
    settings.setValue(volumeKey, volume);
    if (volume > 0) {
        settings.setValue(audibleVolumeKey, volume);
    }
    Q_EMIT volumeChanged(volume);
}

void VideoPlaybackModel::stop()
{
    const bool trim = hasItem();
    // A new load number: whatever the emptied player still reports is dropped.
    ++load_;
    source_.clear();
    onPlayer([load = load_, stream = cameraStream_, trim](PlayerEngine& engine) {
        engine.open(load, QUrl());
        if (stream) {
            stream->invalidate();
        }
        // The decoders' pictures of a large video are freed into the
        // allocator's arenas, which keep them unless asked; they are free
        // only now that the player is emptied.
        if (trim) {
            trimHeapSoon();
        }
    });
    if (cameraStream_) {
        server_->unregister(streamUrl_);
        cameraStream_.reset();
    }
    streamUrl_.clear();
    readFailures_.reset();
    seeks_.reset();
    status_ = QMediaPlayer::NoMedia;
    position_ = 0;
    durationKnown_ = false;
    stallFailed_ = false;
    waitingForFile_ = false;
    setPlaying(false);
    setReady(false);
    playsWhenReady_ = false;
    setCurrentTime(0);
    setDuration(0);
    setError(std::nullopt);
    pictures_->clear();
    Q_EMIT itemChanged();
}

void VideoPlaybackModel::publishTime(quint64 load, qint64 milliseconds)
{
    if (load != load_ || !hasItem()) {
        return;
    }
    if (milliseconds != position_) {
        position_ = milliseconds;
        movedOn();
    }
    // While seeking, the target already shown stands.
    if (!seeks_.busy()) {
        setCurrentTime(std::max(double(milliseconds) / 1000, 0.0));
    }
}

void VideoPlaybackModel::publishDuration(quint64 load, qint64 milliseconds)
{
    // An unknown length keeps the catalog's until the video knows its own.
    if (load == load_ && hasItem() && milliseconds > 0) {
        durationKnown_ = true;
        setDuration(double(milliseconds) / 1000);
    }
}

void VideoPlaybackModel::setCurrentTime(double seconds)
{
    currentTime_ = seconds;
    Q_EMIT currentTimeChanged(seconds);
}

void VideoPlaybackModel::setDuration(double seconds)
{
    duration_ = seconds;
    Q_EMIT durationChanged(seconds);
}

void VideoPlaybackModel::setPlaying(bool playing)
{
    isPlaying_ = playing;
    watchProgress();
    Q_EMIT isPlayingChanged(playing);
}

void VideoPlaybackModel::setReady(bool ready)
{
    isReady_ = ready;
    watchProgress();
    Q_EMIT isReadyChanged(ready);
}

void VideoPlaybackModel::setError(std::optional<QString> error)
{
    error_ = std::move(error);
    watchProgress();
    Q_EMIT errorChanged(error_);
}

} // namespace pivra
