#pragma once

#include "media/pictures/LatestFrameSink.h"

#include <QImage>
#include <QMediaPlayer>
#include <QObject>

#include <memory>

class QThread;
class QUrl;

namespace pivra {

// The playback of one hover clip, made for it and thrown away after it: a
// silent, looping QMediaPlayer on the GUI thread whose frames are made into
// images on the frame thread (LatestFrameSink), the newest handed over.
//
// Nothing of the clip outlives the pipeline: the player, its decoders and
// the sink with its last frame all go with it.
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
    LatestFrameSink frames_;
    std::unique_ptr<QMediaPlayer> player_; // after the frames: goes first
};

} // namespace pivra
