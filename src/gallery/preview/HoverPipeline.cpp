#include "gallery/preview/HoverPipeline.h"

#include <QUrl>

namespace pivra {

HoverPipeline::HoverPipeline(QThread& frameThread, QObject* parent)
    : QObject(parent)
    , frames_(frameThread, [](const QVideoFrame& frame) { return ConvertedFrame{.image = frame.toImage()}; })
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
