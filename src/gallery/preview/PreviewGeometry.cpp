#include "gallery/preview/PreviewGeometry.h"

#include <algorithm>

namespace pivra {

namespace {
constexpr qreal barGap = 8;
} // namespace

std::array<QRectF, 2> skeletonBars(const QSizeF& tile)
{
    const qreal width = tile.width();
    const qreal height = tile.height();
    const qreal inset = std::min(0.08 * width, 15.0);
    const qreal barHeight = std::min(0.1 * height, 12.0);
    const qreal shortTop = height - inset - barHeight;
    return {QRectF(inset, shortTop, std::max(0.48 * width - inset, 0.0), barHeight),
            QRectF(inset, shortTop - barGap - barHeight, std::max(0.7 * width - inset, 0.0), barHeight)};
}

QSizeF fittedImageSize(const QSizeF& tile, const QSize& image, int quarters)
{
    if (image.width() <= 0 || image.height() <= 0) {
        return {};
    }
    const QSizeF fitting = quarters % 2 != 0 ? QSizeF(image.transposed()) : QSizeF(image);
    const qreal scale = std::min(tile.width() / fitting.width(), tile.height() / fitting.height());
    return QSizeF(image) * scale;
}

QRectF aspectFillSource(const QSize& frame, const QSizeF& target)
{
    if (frame.isEmpty() || target.isEmpty()) {
        return {};
    }
    const QSizeF shown = target.scaled(QSizeF(frame), Qt::KeepAspectRatio);
    return {(frame.width() - shown.width()) / 2, (frame.height() - shown.height()) / 2, shown.width(),
            shown.height()};
}

} // namespace pivra
