#pragma once

#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>

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
    // shows; an empty source empties the player.
    void open(quint64 load, const QUrl& source);
    // Seeks to the newest position asked for, unless it is sought already:
    // seeks asked for while the player was busy with one collapse into one.
    void seekToWanted();
    // The last job: empties and destroys the player; the engine is deleted
    // after it.
    void close();

    // Any thread: asks for a seek to `milliseconds`; a seekToWanted() job
    // carries it out.
    void want(qint64 milliseconds)
    {
        wantedPosition_.store(milliseconds);
        wantedSerial_.fetch_add(1);
    }

Q_SIGNALS:
    void positionChanged(quint64 load, qint64 milliseconds);
    void durationChanged(quint64 load, qint64 milliseconds);
    // A status; `errorText` is the player's error text at that moment.
    void statusChanged(quint64 load, int status, const QString& errorText);
    void failed(quint64 load, const QString& text);
    // A seek job has run (whether it sought or found nothing new).
    void seekHandled(quint64 load);

private:
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* output_ = nullptr;
    quint64 load_ = 0;
    std::atomic<qint64> wantedPosition_{0};
    std::atomic<quint64> wantedSerial_{0};
    quint64 soughtSerial_ = 0;
};

} // namespace pivra
