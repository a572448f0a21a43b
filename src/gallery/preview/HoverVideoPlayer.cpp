#include "gallery/preview/HoverVideoPlayer.h"

#include "gallery/preview/HoverPipeline.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "style/motion/Motion.h"

namespace pivra {

namespace {
// The clip fades in over the thumbnail once its first frame is there.
const MotionCurve videoFade = curves::easeOut(0.2);
} // namespace

HoverVideoPlayer::HoverVideoPlayer(const VideoPreviewStore& clips, const ThumbnailStore& thumbnails,
                                   QObject* parent)
    : QObject(parent), clips_(clips), thumbnails_(thumbnails)
{
    frameThread_.setObjectName(QStringLiteral("Pivra hover frames"));
    frameThread_.start();
    delay_.setSingleShot(true);
    delay_.setInterval(defaultDelayMilliseconds);
    watchdog_.setSingleShot(true);
    watchdog_.setInterval(defaultStallMilliseconds);
    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    connect(&delay_, &QTimer::timeout, this, &HoverVideoPlayer::start);
    connect(&watchdog_, &QTimer::timeout, this, &HoverVideoPlayer::recover);
    connect(&fade_, &QVariantAnimation::valueChanged, this, &HoverVideoPlayer::frameChanged);
}

HoverVideoPlayer::~HoverVideoPlayer()
{
    pipeline_.reset();
    // Ending the thread runs the deletions the pipeline left to it.
    frameThread_.quit();
    frameThread_.wait();
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
    if (!playingID_.isEmpty()) {
        stopPlayback();
    }
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

const QMediaPlayer* HoverVideoPlayer::mediaPlayer() const
{
    return pipeline_ ? &pipeline_->player() : nullptr;
}

void HoverVideoPlayer::start()
{
    MediaItem item = hovered_;
    if (!item.thumbnailKey()) {
        // Listed before preparation wrote its key: the thumbnail store has
        // met the file since, and the clip is filed under that key.
        if (const std::optional<QString> key = thumbnails_.knownKey(item)) {
            item.setThumbnailKey(*key);
        }
    }
    const std::optional<QString> clip = clips_.preview(item);
    if (!clip) {
        return;
    }
    playingID_ = hoveredID_;
    clip_ = QUrl::fromLocalFile(*clip);
    attempts_ = 0;
    build();
}

void HoverVideoPlayer::build()
{
    pipeline_ = std::make_unique<HoverPipeline>(frameThread_);
    const quint64 generation = ++generation_;
    connect(pipeline_.get(), &HoverPipeline::frameReady, this, &HoverVideoPlayer::showFrame);
    // Queued: the pipeline is not torn down inside its own player's signal.
    connect(
        pipeline_.get(), &HoverPipeline::failed, this,
        [this, generation] {
            if (generation == generation_ && pipeline_) {
                recover();
            }
        },
        Qt::QueuedConnection);
    pipeline_->play(clip_);
    watchdog_.start();
}

void HoverVideoPlayer::recover()
{
    if (attempts_ >= maxRebuilds) {
        stopPlayback();
        return;
    }
    ++attempts_;
    ++rebuilds_;
    // The tile keeps its last frame until the new pipeline shows one.
    pipeline_.reset();
    build();
}

void HoverVideoPlayer::showFrame(const QImage& frame)
{
    const bool first = frame_.isNull();
    frame_ = frame;
    watchdog_.start();
    if (first) {
        Motion::apply(fade_, videoFade);
        fade_.start();
    }
    Q_EMIT frameChanged();
}

void HoverVideoPlayer::stopPlayback()
{
    playingID_.clear();
    watchdog_.stop();
    pipeline_.reset();
    fade_.stop();
    frame_ = QImage();
    Q_EMIT frameChanged();
}

} // namespace pivra
