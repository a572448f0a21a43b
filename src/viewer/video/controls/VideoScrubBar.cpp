#include "viewer/video/controls/VideoScrubBar.h"

#include "style/motion/Motion.h"
#include "viewer/video/controls/VideoControls.h"
#include "viewer/video/hover/VideoHoverBubble.h"
#include "viewer/video/hover/VideoHoverPreview.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace pivra {
namespace {

constexpr qreal trackHeight = 4;
constexpr qreal knobSide = 10;
const MotionCurve progressCurve{QEasingCurve::Linear, 100};

void fillCapsule(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    QPainterPath capsule;
    capsule.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.fillPath(capsule, colour);
}

} // namespace

VideoScrubBar::VideoScrubBar(VideoPlaybackModel& model, VideoHoverPreview& hover, QWidget* parent)
    : QWidget(parent)
    , model_(&model)
    , hover_(hover)
    , bubble_(new VideoHoverBubble(this))
{
    setFixedHeight(barHeight);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    connect(&progressAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shownProgress_ = value.toDouble();
        update();
    });
    connect(&model, &VideoPlaybackModel::currentTimeChanged, this, &VideoScrubBar::followTime);
    connect(&model, &VideoPlaybackModel::durationChanged, this, &VideoScrubBar::followTime);
    connect(&hover, &VideoHoverPreview::imageChanged, bubble_, &VideoHoverBubble::setFrame);
}

VideoScrubBar::~VideoScrubBar()
{
    delete bubble_; // it may live in the host, which outlives the bar
}

double VideoScrubBar::bubbleCentre(double hoverX, double width)
{
    return std::min(std::max(hoverX, double(bubbleMargin)), std::max(width - bubbleMargin, double(bubbleMargin)));
}

void VideoScrubBar::setBubbleHost(QWidget* host)
{
    bubble_->setParent(host != nullptr ? host : this);
    bubble_->hide();
    placeBubble();
}

double VideoScrubBar::progress() const
{
    if (!model_ || model_->duration() <= 0) {
        return 0;
    }
    return std::clamp(model_->currentTime() / model_->duration(), 0.0, 1.0);
}

void VideoScrubBar::followTime()
{
    const double target = progress();
    progressAnimation_.stop();
    if (scrubbing_ || Motion::reduced() || !isVisible()) {
        shownProgress_ = target;
        update();
        return;
    }
    progressAnimation_.setStartValue(shownProgress_);
    progressAnimation_.setEndValue(target);
    Motion::apply(progressAnimation_, progressCurve);
    progressAnimation_.start();
}

void VideoScrubBar::reset()
{
    if (hoverTime_) {
        hoverTime_.reset();
        bubble_->present(false);
    }
    scrubbing_ = false;
    progressAnimation_.stop();
    shownProgress_ = progress();
    update();
}

void VideoScrubBar::hoverAt(double x)
{
    if (!model_ || model_->duration() <= 0) {
        return;
    }
    hoverX_ = std::clamp(x, 0.0, double(width()));
    const double time = hoverX_ / std::max(width(), 1) * model_->duration();
    const bool appearing = !hoverTime_;
    hoverTime_ = time;
    bubble_->setTime(VideoControls::timeLabel(time));
    placeBubble();
    if (appearing) {
        bubble_->present(true);
    }
    hover_.request(time);
    update();
}

void VideoScrubBar::endHover()
{
    hoverTime_.reset();
    bubble_->present(false);
    hover_.cancel();
    update();
}

void VideoScrubBar::scrubTo(double x)
{
    if (!model_) {
        return;
    }
    scrubbing_ = true;
    const double fraction = std::clamp(x / std::max(width(), 1), 0.0, 1.0);
    model_->seek(fraction * model_->duration());
}

void VideoScrubBar::placeBubble()
{
    QWidget* host = bubble_->parentWidget();
    const QPoint centre(int(std::lround(bubbleCentre(hoverX_, width()))), -bubbleRise);
    bubble_->setCentre(host == this ? centre : mapTo(host, centre));
}

void VideoScrubBar::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (rect().contains(event->position().toPoint())) {
        hoverAt(x);
    }
    if (event->buttons() & Qt::LeftButton) {
        scrubTo(x);
    }
}

void VideoScrubBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        scrubTo(event->position().x());
    }
}

void VideoScrubBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        scrubbing_ = false;
        update();
    }
}

void VideoScrubBar::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (hoverTime_) {
        endHover();
    }
}

void VideoScrubBar::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    placeBubble();
}

void VideoScrubBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeBubble();
}

void VideoScrubBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal top = (barHeight - trackHeight) / 2;
    fillCapsule(painter, QRectF(0, top, width(), trackHeight), QColor::fromRgbF(1, 1, 1, 0.42f));
    const qreal played = std::max(0.0, width() * shownProgress_);
    if (played > 0) {
        fillCapsule(painter, QRectF(0, top, played, trackHeight), accent);
    }
    if (hoverTime_ || scrubbing_) {
        const QPointF centre(width() * progress(), barHeight / 2.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent);
        painter.drawEllipse(centre, knobSide / 2, knobSide / 2);
    }
}

} // namespace pivra
