#include "viewer/video/VideoLayerView.h"

#include "gallery/preview/LatestFrameSink.h"
#include "viewer/video/VideoFrameScaler.h"
#include "viewer/video/VideoPlaybackModel.h"

#include <QPainter>
#include <QVideoSink>

#include <cmath>

namespace pivra {

VideoLayerView::VideoLayerView(VideoPlaybackModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(&model)
    , scaler_(std::make_shared<VideoFrameScaler>())
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    frameThread_.setObjectName(QStringLiteral("Pivra video frames"));
    frameThread_.start();
    frames_ = std::make_unique<LatestFrameSink>(
        frameThread_, [scaler = scaler_](const QVideoFrame& frame) { return scaler->convert(frame); }, true);
    connect(frames_.get(), &LatestFrameSink::frameReady, this, &VideoLayerView::showFrame);
    connect(&model, &VideoPlaybackModel::itemChanged, this, &VideoLayerView::dropFrame);
    attach();
}

VideoLayerView::~VideoLayerView()
{
    if (model_ && model_->player().videoSink() == frames_->sink()) {
        model_->player().setVideoSink(nullptr);
    }
    frames_.reset();
    frameThread_.quit();
    frameThread_.wait();
}

void VideoLayerView::attach()
{
    if (model_) {
        model_->player().setVideoSink(frames_->sink());
    }
}

void VideoLayerView::setRotationQuarters(int quarters)
{
    quarters_ = ((quarters % 4) + 4) % 4;
    scaler_->setTarget(targetSize());
    frames_->reconvert();
    update();
}

QSize VideoLayerView::targetSize() const
{
    const QSize box = size() * devicePixelRatioF();
    return quarters_ % 2 == 1 ? box.transposed() : box;
}

void VideoLayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scaler_->setTarget(targetSize());
    // A paused picture is scaled again for the new size.
    frames_->reconvert();
}

void VideoLayerView::showFrame(const QImage& frame)
{
    frame_ = frame;
    frame_.setDevicePixelRatio(devicePixelRatioF());
    update();
    Q_EMIT frameShown();
}

void VideoLayerView::dropFrame()
{
    frames_->clear();
    frame_ = QImage();
    update();
}

void VideoLayerView::paintEvent(QPaintEvent*)
{
    if (frame_.isNull()) {
        return;
    }
    QPainter painter(this);
    const QSizeF logical = frame_.deviceIndependentSize();
    painter.translate(width() / 2.0, height() / 2.0);
    painter.rotate(90.0 * quarters_);
    // Converted for an earlier size, until the frame for this one arrives.
    const QSizeF box = quarters_ % 2 == 1 ? QSizeF(size()).transposed() : QSizeF(size());
    QSizeF shown = logical.scaled(box, Qt::KeepAspectRatio);
    if (std::abs(shown.width() - logical.width()) < 1 && std::abs(shown.height() - logical.height()) < 1) {
        shown = logical; // painted 1:1
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    painter.drawImage(QRectF(QPointF(-shown.width() / 2, -shown.height() / 2), shown), frame_);
}

} // namespace pivra
