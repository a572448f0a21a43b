#include "viewer/video/playback/PlayerEngine.h"

#include "media/video/PlaybackDecoders.h"
#include "media/video/StreamsLength.h"
#include "platform/folders/FileNameText.h"

#include <QAudioOutput>

#include <climits>
#include <cstdlib>

namespace pivra {

void PlayerEngine::create(float volume, QVideoSink* sink)
{
    limitPlaybackDecoders();
    player_ = new QMediaPlayer(this);
    output_ = new QAudioOutput(this);
    output_->setVolume(volume);
    player_->setAudioOutput(output_);
    player_->setVideoSink(sink);
    connect(player_, &QMediaPlayer::positionChanged, this,
            [this](qint64 milliseconds) { Q_EMIT positionChanged(load_, milliseconds); });
    connect(player_, &QMediaPlayer::durationChanged, this,
            [this](qint64 milliseconds) { Q_EMIT durationChanged(load_, milliseconds); });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        Q_EMIT statusChanged(load_, int(status), player_->errorString());
    });
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString& text) {
        if (error != QMediaPlayer::NoError && !player_->source().isEmpty()) {
            Q_EMIT failed(load_, text);
        }
    });
}

void PlayerEngine::open(quint64 load, const QUrl& source)
{
    // What the previous video reports while it is taken out is its own.
    player_->pause();
    player_->setSource(QUrl());
    held_.reset(); // the emptied player has let go of it
    load_ = load;
    if (source.isEmpty()) {
        return;
    }
    // Looked for here rather than on the GUI thread: a disk going away can
    // hold a stat for seconds.
    if (source.isLocalFile()) {
        const QString path = pathOfFileUrl(source);
        if (!isReadableFile(path)) {
            Q_EMIT unreadable(load_);
            return;
        }
        char real[PATH_MAX];
        if (::realpath(fileNameBytes(path).constData(), real) != nullptr) {
            Q_EMIT opened(load_, QByteArray(real));
        }
    }
    player_->setSource(playable(source));
    player_->pause();
    Q_EMIT statusChanged(load_, int(player_->mediaStatus()), player_->errorString());
}

QUrl PlayerEngine::playable(const QUrl& source)
{
    const QString path = pathOfFileUrl(source);
    if (!holdsRawBytes(path)) {
        return source;
    }
    held_ = MediaFile::open(path);
    return held_ ? QUrl::fromLocalFile(QString::fromLatin1(held_->descriptorPath())) : source;
}

void PlayerEngine::measureStreams(quint64 load, const QUrl& source)
{
    Q_EMIT streamsMeasured(load, streamsLength(source.isLocalFile() ? pathOfFileUrl(source) : source.toString()));
}

void PlayerEngine::seekTo(qint64 milliseconds)
{
    if (player_->source().isEmpty() || player_->position() == milliseconds) {
        Q_EMIT seekHandled(load_, milliseconds, false);
        return;
    }
    // At the end the player has stopped, and a stopped player only notes the
    // position for its next start: paused, it shows it.
    if (player_->playbackState() == QMediaPlayer::StoppedState) {
        player_->pause();
    }
    player_->setPosition(milliseconds);
    Q_EMIT seekHandled(load_, milliseconds, true);
}

void PlayerEngine::close()
{
    // The player goes here and now, while its thread still turns its event
    // loop, so that its pipeline, bus watch and timers end on the thread
    // they were made on, and before the sink it fed.
    player_->setSource(QUrl());
    held_.reset();
    delete player_;
    delete output_;
    player_ = nullptr;
    output_ = nullptr;
}

} // namespace pivra
