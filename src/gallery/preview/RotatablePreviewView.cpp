#include "gallery/preview/RotatablePreviewView.h"

#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "style/RecentPictures.h"
#include "media/pictures/OpaqueScaling.h"
#include "media/pictures/PictureBuffers.h"
#include "gallery/preview/PreviewGeometry.h"
#include "media/thumbnails/ThumbnailStore.h"

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>
#include <optional>
#include <utility>

namespace pivra {

namespace {
constexpr qreal cornerRadius = 6;
constexpr qreal barRadius = 4;

QColor barColor(bool dark)
{
    return dark ? QColor::fromRgbF(1, 1, 1, 0.085) : QColor::fromRgbF(0, 0, 0, 0.055);
}

// The whole device pixels a rectangle covers, each edge rounded on its own
// so that neighbouring tiles keep their gaps.
QRect devicePixels(const QRectF& rect)
{
    const int left = qRound(rect.left());
    const int top = qRound(rect.top());
    return {left, top, qRound(rect.right()) - left, qRound(rect.bottom()) - top};
}

// A tile's canvas in the placeholder colour, with the skeleton's bars when
// they are given a colour; its corners are still square.
QImage placeholderCanvas(const QSize& pixels, const QSizeF& tile, QColor placeholder, std::optional<QColor> bars)
{
    QImage canvas = PictureBuffers::image(pixels);
    canvas.fill(placeholder);
    if (bars) {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(pixels.width() / std::max(tile.width(), qreal(1)), pixels.height() / std::max(tile.height(), qreal(1)));
        painter.setPen(Qt::NoPen);
        painter.setBrush(*bars);
        for (const QRectF& bar : skeletonBars(tile)) {
            painter.drawRoundedRect(bar, barRadius, barRadius);
        }
    }
    return canvas;
}

// Everything outside the rounded outline goes transparent.
void cutCorners(QImage& canvas, qreal ratio)
{
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath corners;
    corners.setFillRule(Qt::OddEvenFill);
    corners.addRect(QRectF(canvas.rect()));
    corners.addRoundedRect(QRectF(canvas.rect()), cornerRadius * ratio, cornerRadius * ratio);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(corners, Qt::black);
}

struct BareLook {
    QSize pixels;
    QSizeF tile;
    QRgb placeholder;
    std::optional<QRgb> bars;

    bool operator==(const BareLook&) const = default;
};

// The pictures of tiles without an image, latest first. GUI thread only.
RecentPictures<BareLook>& bareTiles()
{
    static RecentPictures<BareLook> kept(24);
    return kept;
}

// The picture of a tile without an image. Every tile of one size and look
// shows the same, and a jump to another year binds a screenful of them in
// one frame, so each is made once and shared.
QImage bareTile(const QSize& pixels, const QSizeF& tile, QColor placeholder, std::optional<QColor> bars)
{
    const BareLook look{pixels, tile, placeholder.rgba(), bars ? std::optional(bars->rgba()) : std::nullopt};
    return bareTiles().get(look, [&] {
        QImage picture = placeholderCanvas(pixels, tile, placeholder, bars);
        cutCorners(picture, pixels.width() / std::max(tile.width(), qreal(1)));
        return picture;
    });
}

// A rectangle of `size` centred on the origin.
QRectF centred(const QSizeF& size)
{
    return {QPointF(-size.width() / 2, -size.height() / 2), size};
}
} // namespace

void RotatablePreviewView::releaseBareTiles()
{
    bareTiles().clear();
}

std::size_t RotatablePreviewView::bareTileCount()
{
    return bareTiles().size();
}

RotatablePreviewView::RotatablePreviewView(ThumbnailStore& thumbnails, PreviewLook look, QObject* parent)
    : QObject(parent), thumbnails_(thumbnails), look_(std::move(look))
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
        picture_ = QImage();
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
    // A spare tile keeps neither the image (the memory cache may want it
    // gone) nor its picture.
    fade_.stop();
    image_ = QImage();
    picture_ = QImage();
    skeleton_ = true;
}

// A device photo's preview may come twice, sharper the second time; the
// request is kept until the tile is bound anew, so a tile scrolled away
// cancels the sharper drawing.
void RotatablePreviewView::finishLoading(const QImage& image)
{
    image_ = image;
    picture_ = QImage();
    skeleton_ = false;
    if (!image_.isNull() && std::exchange(fadeIn_, false) && !Motion::reduced()) {
        Motion::apply(fade_, curves::easeOut(look_.fadeSeconds));
        fade_.start();
    }
    Q_EMIT changed();
}

double RotatablePreviewView::opacity() const
{
    return fade_.state() == QAbstractAnimation::Running ? fade_.currentValue().toDouble() : 1.0;
}

bool RotatablePreviewView::paint(QPainter& painter, const QRectF& tile, bool dark, Rescale rescale,
                                 const QImage& videoFrame, double videoOpacity) const
{
    const QTransform toDevice = painter.deviceTransform();
    const QRect pixels = devicePixels(toDevice.mapRect(tile));
    if (pixels.isEmpty()) {
        return false;
    }
    const bool sized = picture_.size() == pixels.size();
    const bool stale = picture_.isNull() || pictureDark_ != dark;
    // With no time left in the frame to scale the image, the tile shows what
    // it shows where its fade starts.
    const bool deferred = stale && rescale == Rescale::none && !image_.isNull();
    if (!deferred && (stale || (rescale == Rescale::now && !(sized && pictureSmooth_)))) {
        compose(pixels.size(), tile.size(), dark, rescale == Rescale::now);
    }

    painter.save();
    // At its own size a picture lands on whole device pixels and is copied
    // as it is; at another size the painter scales it, nearest pixel.
    const QRectF onPixels = toDevice.inverted().mapRect(QRectF(pixels));
    const bool exact = picture_.size() == pixels.size();
    const double shown = deferred ? 0 : opacity();
    if (shown < 1) {
        // The placeholder the image fades in over: shared by every tile at
        // rest, drawn anew for one changing size, which would only crowd
        // the shared ones out.
        if (exact || deferred) {
            painter.drawImage(onPixels, bareTile(pixels.size(), tile.size(), look_.placeholder(dark), std::nullopt));
        } else {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(look_.placeholder(dark));
            painter.drawRoundedRect(tile, cornerRadius, cornerRadius);
        }
        painter.setOpacity(shown);
    }
    if (!deferred) {
        painter.drawImage(exact ? onPixels : tile, picture_);
    }
    painter.restore();
    if (!videoFrame.isNull()) {
        paintVideo(painter, tile, videoFrame, videoOpacity);
    }
    return deferred || !(exact && pictureSmooth_);
}

// The tile's picture: placeholder, bars while loading, the image fitted and
// turned on whole pixels, and the corners cut round. Smooth rescaling is
// what a tile at rest shows; a rough one (nearest pixel, at a fraction of
// the cost) stands in until a paint may rescale.
void RotatablePreviewView::compose(const QSize& pixels, const QSizeF& tile, bool dark, bool smooth) const
{
    // A side that falls short of the tile by less than a pixel fills it: the
    // tile has the item's own shape, so no hairline of placeholder shows.
    const bool turned = quarters_ % 2 != 0;
    const QSizeF fitted = fittedImageSize(QSizeF(pixels), image_.size(), quarters_);
    const QSizeF onScreen = turned ? fitted.transposed() : fitted;
    const auto snapped = [](qreal length, int whole) { return length > whole - 1 ? whole : qRound(length); };
    const QSize shown(snapped(onScreen.width(), pixels.width()), snapped(onScreen.height(), pixels.height()));
    const QSize drawn = turned ? shown.transposed() : shown;
    const QPoint at((pixels.width() - shown.width()) / 2, (pixels.height() - shown.height()) / 2);
    const bool imageShown = !fitted.isEmpty() && !drawn.isEmpty();
    ++composes_;
    pictureDark_ = dark;
    if (!imageShown) {
        const bool bars = skeleton_ && look_.skeleton;
        picture_ = bareTile(pixels, tile, look_.placeholder(dark), bars ? std::optional(barColor(dark)) : std::nullopt);
        pictureSmooth_ = true; // nothing to rescale
        return;
    }
    QImage canvas = placeholderCanvas(pixels, tile, look_.placeholder(dark), std::nullopt);
    if (!image_.hasAlphaChannel()) {
        scaleOpaqueInto(scalesOpaque(image_) ? image_ : image_.convertToFormat(QImage::Format_RGB32), drawn,
                        quarters_, smooth, canvas, at);
    } else {
        QImage scaled = image_.scaled(drawn, Qt::IgnoreAspectRatio,
                                      smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
        if (quarters_ % 4 != 0) {
            scaled = scaled.transformed(QTransform().rotate(quarters_ * 90.0));
        }
        QPainter(&canvas).drawImage(at, scaled);
    }
    cutCorners(canvas, pixels.width() / std::max(tile.width(), qreal(1)));
    picture_ = std::move(canvas);
    pictureSmooth_ = smooth;
    rescales_ += smooth ? 1 : 0;
}

// The clip's frame covers the tile, turned like the image: a turned clip is
// laid out in the tile's turned size. Only the hovered tile draws one.
void RotatablePreviewView::paintVideo(QPainter& painter, const QRectF& tile, const QImage& frame,
                                      double opacity) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(tile, cornerRadius, cornerRadius);
    painter.setClipPath(outline, Qt::IntersectClip);
    painter.translate(tile.center());
    painter.rotate(quarters_ * 90.0);
    const QSizeF covered = quarters_ % 2 != 0 ? tile.size().transposed() : tile.size();
    painter.setOpacity(opacity);
    painter.drawImage(centred(covered), frame, aspectFillSource(frame.size(), covered));
    painter.restore();
}

void RotatablePreviewView::cancelRequest()
{
    if (request_) {
        request_->cancel();
        request_.reset();
    }
}

} // namespace pivra
