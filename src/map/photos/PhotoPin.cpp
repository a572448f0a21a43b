#include "map/photos/PhotoPin.h"

#include "media/thumbnails/ThumbnailStore.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <vector>

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
// The count badge: 12.5 pixels bold, white over a black shadow at 0.75
// blurred by 3 pixels, one pixel lower. The shadow is cast by the glyphs
// thickened by a pixel, so that a white count reads on a white photo.
constexpr double countPixels = 12.5;
constexpr double countBlur = 3;
constexpr double countShadowOpacity = 0.75;
constexpr double countShadowDrop = 1;
constexpr double countShadowSpread = 1;
// Room around the count for the whole of its blurred shadow, which would
// otherwise end in a hard edge.
constexpr double countMargin = countBlur + countShadowSpread + countShadowDrop + 3;

// Bold at 12.5 device-independent pixels on whatever the pin is drawn on.
QFont countFont(const QPaintDevice& device)
{
    QFont font;
    font.setPointSizeF(countPixels * 72.0 / device.logicalDpiY());
    font.setBold(true);
    return font;
}

// Softens an alpha mask: three box passes each way of `radius` pixels come
// close to a Gaussian. The mask must be clear for 3 · radius pixels along its
// edges, which the passes take as repeating.
void blurAlpha(QImage& mask, int radius)
{
    if (radius < 1) {
        return;
    }
    const int w = mask.width();
    const int h = mask.height();
    std::vector<int> line(std::size_t(std::max(w, h)));
    const auto pass = [&](int count, int lines, auto&& at) {
        for (int l = 0; l < lines; ++l) {
            for (int i = 0; i < count; ++i) {
                line[std::size_t(i)] = at(l, i);
            }
            int sum = 0;
            for (int i = -radius; i <= radius; ++i) {
                sum += line[std::size_t(std::clamp(i, 0, count - 1))];
            }
            for (int i = 0; i < count; ++i) {
                at(l, i) = uchar(sum / (2 * radius + 1));
                sum += line[std::size_t(std::min(i + radius + 1, count - 1))] - line[std::size_t(std::max(i - radius, 0))];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(w, h, [&](int y, int x) -> uchar& { return mask.scanLine(y)[x]; });
        pass(h, w, [&](int x, int y) -> uchar& { return mask.scanLine(y)[x]; });
    }
}

// The count in white over its shadow, at the painter's pixel ratio, made
// once per text: badges are few and painted every frame. The text's origin
// lies countMargin in from the image's left and countMargin above the
// baseline, from its top.
QImage badge(const QString& text, const QPaintDevice& device)
{
    static QHash<QString, QImage> made;
    const qreal ratio = device.devicePixelRatioF();
    const QString key = text + QLatin1Char('@') + QString::number(ratio) + QLatin1Char('/')
                      + QString::number(device.logicalDpiY());
    if (const auto found = made.constFind(key); found != made.cend()) {
        return *found;
    }
    const QFont font = countFont(device);
    const QFontMetricsF metrics(font, &device);
    const QSizeF size(metrics.horizontalAdvance(text) + 2 * countMargin, metrics.height() + 2 * countMargin);
    const QSize pixels = (size * ratio).toSize();
    QImage mask(pixels, QImage::Format_Alpha8);
    mask.fill(0);
    QImage out(pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    for (QImage* image : {&mask, &out}) {
        image->setDevicePixelRatio(ratio);
    }
    QPainterPath glyphs;
    glyphs.addText(QPointF(countMargin, countMargin + metrics.ascent()), font, text);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(0, countShadowDrop);
        painter.fillPath(glyphs, Qt::black);
        painter.strokePath(glyphs, QPen(Qt::black, 2 * countShadowSpread, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    // Three box passes of radius r spread like a Gaussian of about 1.2 r; a
    // blur radius is about two of those.
    blurAlpha(mask, std::max(1, qRound(countBlur / 2 * ratio / 1.2)));
    {
        QPainter painter(&out);
        painter.setOpacity(countShadowOpacity);
        painter.drawImage(QPointF(), mask.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        painter.setOpacity(1);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QPointF(countMargin, countMargin + metrics.ascent()), text);
    }
    if (made.size() > 512) {
        made.clear();
    }
    made.insert(key, out);
    return out;
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
        const QImage text = badge(countText_, *painter.device());
        const QFontMetricsF metrics(countFont(*painter.device()), painter.device());
        // The count's shadow darkens the photo only, never the white frame.
        QPainterPath photo;
        photo.addRoundedRect(inner, imageRadius, imageRadius);
        painter.save();
        painter.setClipPath(photo, Qt::IntersectClip);
        painter.drawImage(topLeft + countOrigin - QPointF(countMargin, countMargin + metrics.ascent()), text);
        painter.restore();
    }
}

} // namespace pivra
