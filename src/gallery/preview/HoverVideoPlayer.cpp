#include "gallery/preview/HoverVideoPlayer.h"

#include "style/Motion.h"
#include "media/video/VideoPreviewStore.h"

#include <QUrl>
#include <QVideoFrame>

namespace pivra {

namespace {
// The clip fades in over the thumbnail once its first frame is there.
const MotionCurve videoFade = curves::easeOut(0.2);
} // namespace

HoverVideoPlayer::HoverVideoPlayer(const VideoPreviewStore& clips, QObject* parent)
    : QObject(parent), clips_(clips)
{
    // No audio output is attached: the player stays silent whatever the clip holds.
    player_.setVideoSink(&sink_);
    player_.setLoops(QMediaPlayer::Infinite);
    delay_.setSingleShot(true);
    delay_.setInterval(defaultDelayMilliseconds);
    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    connect(&delay_, &QTimer::timeout, this, &HoverVideoPlayer::start);
    connect(&sink_, &QVideoSink::videoFrameChanged, this, &HoverVideoPlayer::showFrame);
    connect(&fade_, &QVariantAnimation::valueChanged, this, &HoverVideoPlayer::frameChanged);
}

HoverVideoPlayer::~HoverVideoPlayer()
{
    player_.setVideoSink(nullptr);
}

void HoverVideoPlayer::hover(const MediaItem& item, const QRect& tile)
{
    tile_ = tile;
    const QString id = item.id();
    if (id == hoveredID_) {
        return;
    }
    leave();
    hoveredID_ = id;
    hovered_ = item;
    if (item.kind() == MediaKind::video && !Motion::reduced()) {
        delay_.start();
    }
}

void HoverVideoPlayer::leave()
{
    delay_.stop();
    hoveredID_.clear();
    if (playingID_.isEmpty()) {
        return;
    }
    playingID_.clear();
    player_.stop();
    player_.setSource(QUrl());
    fade_.stop();
    frame_ = QImage();
    Q_EMIT frameChanged();
}

void HoverVideoPlayer::stop(const QString& itemID)
{
    if (itemID == hoveredID_) {
        leave();
    }
}

double HoverVideoPlayer::opacity() const
{
    return frame_.isNull() ? 0.0 : fade_.currentValue().toDouble();
}

void HoverVideoPlayer::start()
{
    const std::optional<QString> clip = clips_.preview(hovered_);
    if (!clip) {
        return;
    }
    playingID_ = hoveredID_;
    player_.setSource(QUrl::fromLocalFile(*clip));
    player_.play();
}

void HoverVideoPlayer::showFrame(const QVideoFrame& frame)
{
    // Frames still in flight from a clip that was stopped are not shown.
    if (playingID_.isEmpty() || !frame.isValid()) {
        return;
    }
    const bool first = frame_.isNull();
    frame_ = frame.toImage();
    if (first && !frame_.isNull()) {
        Motion::apply(fade_, videoFade);
        fade_.start();
    }
    Q_EMIT frameChanged();
}

} // namespace pivra
