#include "gallery/preview/RotatablePreviewView.h"

#include "style/Motion.h"
#include "style/PivraAppearance.h"
#include "gallery/preview/PreviewGeometry.h"
#include "media/thumbnails/ThumbnailStore.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace pivra {

namespace {
const MotionCurve imageFade = curves::easeOut(0.22);
constexpr qreal cornerRadius = 6;
constexpr qreal barRadius = 4;

QColor barColor(bool dark)
{
    return dark ? QColor::fromRgbF(1, 1, 1, 0.085) : QColor::fromRgbF(0, 0, 0, 0.055);
}

// A rectangle of `size` centred on the origin.
QRectF centred(const QSizeF& size)
{
    return {QPointF(-size.width() / 2, -size.height() / 2), size};
}
} // namespace

RotatablePreviewView::RotatablePreviewView(ThumbnailStore& thumbnails, QObject* parent)
    : QObject(parent), thumbnails_(thumbnails)
{
    fade_.setStartValue(0.0);
    fade_.setEndValue(1.0);
    connect(&fade_, &QVariantAnimation::valueChanged, this, &RotatablePreviewView::changed);
}

RotatablePreviewView::~RotatablePreviewView()
{
    cancelRequest();
}

void RotatablePreviewView::configure(const MediaItem& item)
{
    cancelRequest();
    const QString id = item.id();
    const bool keepShown = representedID_ == id && !image_.isNull();
    ++generation_;
    representedID_ = id;
    quarters_ = item.rotationQuarters();
    fadeIn_ = !keepShown;
    if (!keepShown) {
        fade_.stop();
        image_ = QImage();
        scaled_ = QPixmap();
        skeleton_ = true;
    }
    Q_EMIT changed();
    // A memory hit answers inside the call; every other answer comes later
    // and is shown only while no other binding has come in between.
    request_ = thumbnails_.request(item, thumbnailPixels,
                                   [self = QPointer(this), generation = generation_](const QImage& image) {
                                       if (self && self->generation_ == generation) {
                                           self->finishLoading(image);
                                       }
                                   });
}

void RotatablePreviewView::prepareForReuse()
{
    cancelRequest();
    ++generation_;
    representedID_.reset();
}

void RotatablePreviewView::finishLoading(const QImage& image)
{
    request_.reset();
    image_ = image;
    scaled_ = QPixmap();
    skeleton_ = false;
    if (!image_.isNull() && fadeIn_ && !Motion::reduced()) {
        Motion::apply(fade_, imageFade);
        fade_.start();
    }
    Q_EMIT changed();
}

double RotatablePreviewView::opacity() const
{
    return fade_.state() == QAbstractAnimation::Running ? fade_.currentValue().toDouble() : 1.0;
}

void RotatablePreviewView::paint(QPainter& painter, const QRectF& tile, bool dark, const QImage& videoFrame,
                                 double videoOpacity) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(tile, cornerRadius, cornerRadius);
    painter.setClipPath(outline, Qt::IntersectClip);
    painter.fillRect(tile, PivraAppearance::placeholder(dark));
    painter.translate(tile.topLeft());
    if (skeleton_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(barColor(dark));
        for (const QRectF& bar : skeletonBars(tile.size())) {
            painter.drawRoundedRect(bar, barRadius, barRadius);
        }
    }

    // Image and video turn together about the tile's centre; a turned video
    // covers the tile, so it is laid out in the tile's turned size.
    painter.translate(tile.width() / 2, tile.height() / 2);
    painter.rotate(quarters_ * 90.0);
    const QSizeF drawn = fittedImageSize(tile.size(), image_.size(), quarters_);
    if (!drawn.isEmpty()) {
        const QPixmap& pixmap = scaledImage((drawn * painter.device()->devicePixelRatioF()).toSize());
        painter.setOpacity(opacity());
        painter.drawPixmap(centred(drawn), pixmap, QRectF(pixmap.rect()));
    }
    if (!videoFrame.isNull()) {
        const QSizeF covered = quarters_ % 2 != 0 ? tile.size().transposed() : tile.size();
        painter.setOpacity(videoOpacity);
        painter.drawImage(centred(covered), videoFrame, aspectFillSource(videoFrame.size(), covered));
    }
    painter.restore();
}

void RotatablePreviewView::cancelRequest()
{
    if (request_) {
        request_->cancel();
        request_.reset();
    }
}

// Scaling the 420-pixel thumbnail on every paint would cost each scrolled
// frame; it is scaled once per size and drawn unscaled.
const QPixmap& RotatablePreviewView::scaledImage(const QSize& devicePixels) const
{
    if (scaled_.size() != devicePixels) {
        scaled_ = QPixmap::fromImage(
            image_.scaled(devicePixels.expandedTo(QSize(1, 1)), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return scaled_;
}

} // namespace pivra
