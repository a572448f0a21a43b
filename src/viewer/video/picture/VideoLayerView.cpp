#include "viewer/video/picture/VideoLayerView.h"

#include "media/pictures/VideoFrameScaler.h"
#include "viewer/video/playback/VideoPlaybackModel.h"

#include <QPainter>

#include <cmath>

namespace pivra {

VideoLayerView::VideoLayerView(VideoPlaybackModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(&model)
    , scaler_(std::make_shared<VideoFrameScaler>())
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&model.pictures().frames(), &LatestFrameSink::frameReady, this, [this](const ConvertedFrame& frame) {
        // Converted for this view, not one that showed the pictures before.
        if (model_ && model_->pictures().convertsWith(scaler_.get())) {
            showFrame(frame);
        }
    });
    connect(&model, &VideoPlaybackModel::itemChanged, this, &VideoLayerView::dropFrame);
    model.pictures().convertWith(scaler_);
}

VideoLayerView::~VideoLayerView()
{
    if (model_) {
        model_->pictures().stopConvertingWith(scaler_.get());
    }
}

void VideoLayerView::setRotationQuarters(int quarters)
{
    quarters_ = ((quarters % 4) + 4) % 4;
    followsWidget_ = true;
    placeInWidget();
}

void VideoLayerView::setPlacement(const QTransform& toWidget, QSizeF frame)
{
    followsWidget_ = false;
    if (toWidget == toWidget_ && frame == frame_) {
        return;
    }
    toWidget_ = toWidget;
    frame_ = frame;
    retarget();
}

void VideoLayerView::placeInWidget()
{
    toWidget_ = QTransform().translate(width() / 2.0, height() / 2.0).rotate(90.0 * quarters_);
    frame_ = quarters_ % 2 == 1 ? QSizeF(size()).transposed() : QSizeF(size());
    retarget();
}

// The picture fitted into the frame, centred on the origin.
QRectF VideoLayerView::pictureRect() const
{
    const QSizeF fitted = pictureSize_.isEmpty() ? frame_ : QSizeF(pictureSize_).scaled(frame_, Qt::KeepAspectRatio);
    return {-fitted.width() / 2, -fitted.height() / 2, fitted.width(), fitted.height()};
}

// Asks for the part of the picture inside the widget, at the pixels it covers
// on screen, and has the paused picture converted again for it.
void VideoLayerView::retarget()
{
    const QRectF picture = pictureRect();
    VideoFrameScaler::Target target;
    if (!picture.isEmpty() && toWidget_.isInvertible()) {
        const QRectF visible = toWidget_.inverted().mapRect(QRectF(rect())) & picture;
        const double zoom = std::hypot(toWidget_.m11(), toWidget_.m12());
        target.shown = picture.size() * zoom * devicePixelRatioF();
        target.part = visible.isEmpty()
                          ? QRectF()
                          : QRectF((visible.x() - picture.x()) / picture.width(),
                                   (visible.y() - picture.y()) / picture.height(),
                                   visible.width() / picture.width(), visible.height() / picture.height());
    }
    scaler_->setTarget(target);
    if (model_) {
        model_->pictures().reconvert();
    }
    update();
}

void VideoLayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (followsWidget_) {
        placeInWidget();
    } else {
        retarget();
    }
}

void VideoLayerView::showFrame(const ConvertedFrame& frame)
{
    shown_ = frame;
    update();
    if (frame.whole != pictureSize_) {
        // The part asked for was reckoned for a guessed shape.
        pictureSize_ = frame.whole;
        retarget();
    }
    Q_EMIT frameShown();
}

void VideoLayerView::dropFrame()
{
    shown_ = {};
    pictureSize_ = {};
    update();
}

QImage VideoLayerView::currentFrame() const
{
    return shown_.upright();
}

void VideoLayerView::paintEvent(QPaintEvent*)
{
    if (shown_.image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(toWidget_);
    // The part converted for an earlier placement lies where it belongs in
    // the picture until the frame for this one arrives.
    const QRectF picture = pictureRect();
    const QRectF part(picture.x() + shown_.part.x() * picture.width(), picture.y() + shown_.part.y() * picture.height(),
                      shown_.part.width() * picture.width(), shown_.part.height() * picture.height());
    painter.translate(part.center());
    if (shown_.mirrored) {
        painter.scale(-1, 1);
    }
    painter.rotate(shown_.turn);
    const QSizeF stored = shown_.turn % 180 != 0 ? part.size().transposed() : part.size();
    painter.drawImage(QRectF(QPointF(-stored.width() / 2, -stored.height() / 2), stored), shown_.image);
}

} // namespace pivra
