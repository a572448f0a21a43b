#include "gallery/preview/HoverPipeline.h"

#include "media/pictures/VideoFrameScaler.h"

#include <QUrl>

namespace pivra {

namespace {

// Converts each frame whole, at the clip's own size, with libswscale.
// QVideoFrame::toImage would do it through a graphics context of its own on
// the frame thread, which with a software renderer held some 100 MB and a
// thread a core for as long as the grid lived.
LatestFrameSink::Convert wholeFrames()
{
    auto scaler = std::make_shared<VideoFrameScaler>();
    scaler->setTarget({.shown = QSizeF(1 << 16, 1 << 16)}); // never enlarged beyond the clip
    return [scaler](const QVideoFrame& frame) { return ConvertedFrame{.image = scaler->convert(frame).upright()}; };
}

} // namespace

HoverPipeline::HoverPipeline(QThread& frameThread, QObject* parent)
    : QObject(parent)
    , frames_(frameThread, wholeFrames())
    , player_(std::make_unique<QMediaPlayer>())
{
    connect(&frames_, &LatestFrameSink::frameReady, this,
            [this](const ConvertedFrame& frame) { Q_EMIT frameReady(frame.image); });
    connect(player_.get(), &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError) {
            Q_EMIT failed();
        }
    });

    // No audio output is attached: the clip plays silent whatever it holds.
    player_->setVideoSink(frames_.sink());
    player_->setLoops(QMediaPlayer::Infinite);
}

HoverPipeline::~HoverPipeline() = default;

void HoverPipeline::play(const QUrl& clip)
{
    player_->setSource(clip);
    player_->play();
}

} // namespace pivra
