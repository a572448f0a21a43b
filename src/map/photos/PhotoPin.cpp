#include "map/photos/PhotoPin.h"

#include "media/thumbnails/ThumbnailStore.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

// The pin's parts, in pixels from its top left corner; the frame's square
// overlaps the tail's base by a pixel so the two read as one shape.
const QRectF frameRect(0, 0, 62, 62);
constexpr double frameRadius = 11;
constexpr double imageInset = 3;
constexpr double imageRadius = 8.5;
const QPointF tail[] = {{23, 61}, {31, 70}, {39, 61}};
// The badge's text origin (its left edge and baseline) inside the frame's
// bottom left.
const QPointF countOrigin(8, 70 - 14 - 3);
const QColor placeholder = QColor::fromRgbF(0.85f, 0.85f, 0.85f);
constexpr double shadowOpacity = 0.32;
constexpr double shadowRadius = 5;
constexpr double shadowDrop = 2;

QFont countFont()
{
    QFont font;
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

// The frame, its tail and shadow, drawn once per pixel ratio.
const QImage& chrome(qreal ratio)
{
    static QImage image;
    if (image.isNull() || image.devicePixelRatio() != ratio) {
        const QSizeF size(PhotoPin::width + 2 * shadowRadius, PhotoPin::height + 2 * shadowRadius + shadowDrop);
        QImage shadow((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        shadow.setDevicePixelRatio(ratio);
        shadow.fill(Qt::transparent);
        QPainterPath outline;
        outline.addRoundedRect(frameRect, frameRadius, frameRadius);
        outline.addPolygon(QPolygonF({tail[0], tail[1], tail[2]}));
        outline = outline.simplified();
        {
            // A soft shadow: the outline drawn ever wider and fainter.
            QPainter painter(&shadow);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(shadowRadius, shadowRadius + shadowDrop);
            for (int step = int(shadowRadius); step >= 1; --step) {
                painter.setPen(QPen(QColor(0, 0, 0, int(255 * shadowOpacity / shadowRadius)), step * 2.0,
                                    Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.drawPath(outline);
            }
            painter.translate(0, -shadowDrop);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillPath(outline, Qt::white);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.fillPath(outline, Qt::white);
        }
        image = shadow;
    }
    return image;
}

QRectF imageRect()
{
    return frameRect.adjusted(imageInset, imageInset, -imageInset, -imageInset);
}

} // namespace

PhotoPin::PhotoPin(ThumbnailStore& thumbnails, std::function<void()> changed)
    : thumbnails_(thumbnails), changed_(std::move(changed))
{
}

PhotoPin::~PhotoPin()
{
    if (request_) {
        request_->cancel();
    }
}

void PhotoPin::show(const MapPhoto& representative, int count)
{
    count_ = count;
    countText_ = count < 2 ? QString() : QLocale().toString(count);
    const MediaItem& item = representative.item();
    // Told afresh with the badge, so a reader never hears an old count.
    accessibleName_ = count == 1 ? item.name() : QString::number(count) + QStringLiteral(" photos");
    const QString id = item.id();
    if (itemID_ == id) {
        return;
    }
    itemID_ = id;
    image_ = QImage();
    if (request_) {
        request_->cancel();
    }
    ++requests_;
    const std::weak_ptr<PhotoPin> weak = weak_from_this();
    const int rotation = item.rotationQuarters();
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1;
    request_ = thumbnails_.request(item, thumbnailPixels, [weak, id, rotation, ratio](const QImage& image) {
        if (const std::shared_ptr<PhotoPin> pin = weak.lock()) {
            pin->takeImage(id, image, rotation, ratio);
        }
    });
}

// The thumbnail is cut to the inner square once, turned clockwise by the
// photo's quarter turns, so painting only copies it.
void PhotoPin::takeImage(const QString& itemID, const QImage& image, int rotationQuarters, qreal ratio)
{
    if (itemID_ != itemID || image.isNull()) {
        return;
    }
    const QRectF inner = imageRect();
    QImage cut((inner.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    cut.setDevicePixelRatio(ratio);
    cut.fill(Qt::transparent);
    QPainter painter(&cut);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(), inner.size()), imageRadius, imageRadius);
    painter.setClipPath(clip);
    painter.translate(inner.width() / 2, inner.height() / 2);
    painter.rotate(90.0 * rotationQuarters);
    const QSizeF filled = QSizeF(image.size()).scaled(inner.size(), Qt::KeepAspectRatioByExpanding);
    painter.drawImage(QRectF(QPointF(-filled.width() / 2, -filled.height() / 2), filled), image);
    painter.end();
    image_ = std::move(cut);
    if (changed_) {
        changed_();
    }
}

void PhotoPin::paint(QPainter& painter, QPointF place) const
{
    const QPointF topLeft = rectAt(place).topLeft();
    const QImage& frame = chrome(painter.device()->devicePixelRatioF());
    painter.drawImage(topLeft - QPointF(shadowRadius, shadowRadius), frame);
    const QRectF inner = imageRect().translated(topLeft);
    if (image_.isNull()) {
        QPainterPath box;
        box.addRoundedRect(inner, imageRadius, imageRadius);
        painter.fillPath(box, placeholder);
    } else {
        painter.drawImage(inner.topLeft(), image_);
    }
    if (!countText_.isEmpty()) {
        painter.setFont(countFont());
        const QPointF origin = topLeft + countOrigin;
        painter.setPen(QColor(0, 0, 0, 190));
        painter.drawText(origin + QPointF(0, 1), countText_);
        painter.setPen(Qt::white);
        painter.drawText(origin, countText_);
    }
}

} // namespace pivra
