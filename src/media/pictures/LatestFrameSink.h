#pragma once

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QVideoFrame>

#include <functional>
#include <memory>
#include <utility>

class QThread;
class QVideoSink;

namespace pivra {

// A video frame made into an image. `image` holds the part `part` (unit
// coordinates of the upright picture) of a picture `whole` pixels large when
// upright. It is stored as the decoder laid it out: turned clockwise by `turn`
// degrees and then mirrored left to right when `mirrored`, it is upright.
struct ConvertedFrame {
    QImage image;
    QRectF part{0, 0, 1, 1};
    QSize whole;
    int turn = 0;
    bool mirrored = false;
    // Where the frame starts in the video; negative when the player did not say.
    qint64 startMicroseconds = -1;

    // The image turned and mirrored upright (itself when it is already).
    QImage upright() const;
};

// A QVideoSink that lives on a frame thread, where each frame is turned into
// an image, and that hands the GUI thread only the newest image: a slow GUI
// thread skips frames rather than queueing them.
//
// Why the sink is not on the GUI thread: Qt's GStreamer video renderer hands
// every frame to the sink's thread and waits for it there, up to 300 ms,
// while QMediaPlayer changes the pipeline's state synchronously from the GUI
// thread. With both on one thread each stop or change of source stalled the
// GUI for 300 ms, and a GUI thread busy for a second made the renderer give
// up starting. On a thread of its own the sink answers at once, and the
// costly conversion of the frame happens there too, though not while the
// renderer waits: a frame still being taken when its wait ends fails the
// stream ("Internal data stream error"), which a 4K frame on a busy machine
// did. The frame is kept and converted in a call of its own; frames that
// arrive meanwhile replace it, and only the newest is converted.
//
// Give sink() to the player only after this is made (the renderer is then
// made on the sink's thread), and destroy the player, or take the sink from
// it, before this goes. Made and destroyed on the GUI thread, whose event
// loop delivers frameReady(); the frame thread must run an event loop.
class LatestFrameSink final : public QObject {
    Q_OBJECT

public:
    // Turns a valid frame into the image to show; runs on the frame thread.
    // A null image is dropped.
    using Convert = std::function<ConvertedFrame(const QVideoFrame&)>;

    // `keepLast`: the last frame is held so that reconvert() can convert it
    // again (a picture that is resized while paused). Without it no frame is
    // held once converted.
    LatestFrameSink(QThread& frameThread, Convert convert, bool keepLast = false, QObject* parent = nullptr);
    ~LatestFrameSink() override;

    QVideoSink* sink() const { return sink_; }
    // Gives up the sink: its new owner deletes it on the frame thread
    // (deleteLater) once no player uses it. Frames it still gets are dropped.
    QVideoSink* handOverSink() { return std::exchange(sink_, nullptr); }

    // Converts the last frame again on the frame thread, when one is kept.
    void reconvert();
    // Forgets the kept frame and any image not yet handed over.
    void clear();

Q_SIGNALS:
    // The newest image, on the GUI thread.
    void frameReady(const ConvertedFrame& frame);

private:
    struct Mailbox;

    void deliver();

    std::shared_ptr<Mailbox> mailbox_;
    QVideoSink* sink_; // lives on the frame thread, deleted there
};

} // namespace pivra
