#pragma once

#include "media/MediaFile.h"

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QAudioOutput;
class QVideoSink;

namespace pivra {

// The viewer's QMediaPlayer and its audio output, on a thread of their own.
//
// Qt's GStreamer player does its blocking work in the thread that calls it:
// opening a source builds the pipeline, setting the audio output loads the
// audio sink, a seek first waits for the one before it, emptying the player
// takes the pipeline down and joins its threads. On a thread of its own none
// of it holds up the window. Everything here is made, used and destroyed on
// that thread; the owner only posts jobs to it, in order, and hears back
// through its signals, each stamped with the load it belongs to so that the
// owner can drop what a previous video still reports.
class PlayerEngine final : public QObject {
    Q_OBJECT

public:
    PlayerEngine() = default;

    // Player thread only, from here on.

    // The first job: the player, its one audio output at `volume`, the one
    // sink its pictures go to, and its signals.
    void create(float volume, QVideoSink* sink);
    QMediaPlayer& player() { return *player_; }
    QAudioOutput& output() { return *output_; }

    // Opens `source` for load number `load`, paused so its first picture
    // shows; an empty source empties the player. A file that cannot be read
    // is reported as unreadable and not opened.
    void open(quint64 load, const QUrl& source);
    // Measures how long the streams of `source` last by their own index,
    // for load number `load`: told by streamsMeasured.
    void measureStreams(quint64 load, const QUrl& source);
    // An exact seek to `milliseconds`. The player decodes from the key frame
    // before it up to the frame asked for, and only then shows it; a seek
    // asked for before that cancels it and shows nothing, so the owner asks
    // for the next one only once the picture of this one has arrived.
    void seekTo(qint64 milliseconds);
    // The last job: empties and destroys the player; the engine is deleted
    // after it.
    void close();

Q_SIGNALS:
    void positionChanged(quint64 load, qint64 milliseconds);
    void durationChanged(quint64 load, qint64 milliseconds);
    // A status; `errorText` is the player's error text at that moment.
    void statusChanged(quint64 load, int status, const QString& errorText);
    void failed(quint64 load, const QString& text);
    void unreadable(quint64 load);
    // The file of `load` is being played; `realPath` is where the kernel
    // finds it, links and all resolved.
    void opened(quint64 load, const QByteArray& realPath);
    // None when the streams could not be measured.
    void streamsMeasured(quint64 load, std::optional<double> seconds);
    // The seek to `milliseconds` has been taken up; `sought` is false when
    // the player was at that position already and shows no new picture.
    void seekHandled(quint64 load, qint64 milliseconds, bool sought);

private:
    // What the player is given for `source`. Qt passes GStreamer a file
    // URL's path as UTF-8, so a name that is not UTF-8 arrives as U+FFFD and
    // is not found: such a file is opened here and played through its
    // descriptor, held until the next source.
    QUrl playable(const QUrl& source);

    QMediaPlayer* player_ = nullptr;
    std::optional<MediaFile> held_;
    QAudioOutput* output_ = nullptr;
    quint64 load_ = 0;
};

} // namespace pivra
