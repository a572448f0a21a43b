#pragma once

#include <QImage>
#include <QMediaPlayer>
#include <QObject>

#include <memory>

class QThread;
class QUrl;
class QVideoSink;

namespace pivra {

// The playback of one hover clip, made for it and thrown away after it: a
// silent, looping QMediaPlayer on the GUI thread whose video sink lives on
// the frame thread.
//
// Why the sink is not on the GUI thread: Qt's GStreamer video renderer hands
// every frame to the sink's thread and waits for it there, up to 300 ms,
// while QMediaPlayer changes the pipeline's state synchronously from the GUI
// thread. With both on one thread each stop or change of clip stalled the
// GUI for 300 ms, and a GUI thread busy for a second (indexing) made the
// renderer give up starting. On a thread of its own the sink answers at
// once, and the frame is turned into an image there, off the GUI thread.
//
// Only the newest frame is handed over: a slow GUI thread skips frames
// rather than queueing them. Nothing of the clip outlives the pipeline: the
// player, its decoders and the sink with its last frame all go with it.
// Made and destroyed on the GUI thread, whose event loop delivers its
// signals; the frame thread must run an event loop too.
class HoverPipeline final : public QObject {
    Q_OBJECT

public:
    explicit HoverPipeline(QThread& frameThread, QObject* parent = nullptr);
    ~HoverPipeline() override;

    // Starts the clip, looping; called once, after the signals are connected.
    void play(const QUrl& clip);

    const QMediaPlayer& player() const { return *player_; }

Q_SIGNALS:
    // The newest frame, upright, on the GUI thread.
    void frameReady(const QImage& frame);
    // The player reported an error; it shows no more frames.
    void failed();

private:
    struct Mailbox;

    void deliver();

    std::shared_ptr<Mailbox> mailbox_;
    QVideoSink* sink_ = nullptr; // lives on the frame thread, deleted there after the player
    std::unique_ptr<QMediaPlayer> player_;
};

} // namespace pivra
