#include "map/view/MapCamera.h"

#include <algorithm>
#include <cmath>

namespace pivra {

void MapCamera::setViewport(QSizeF size)
{
    viewport_ = size;
    clamp();
}

double MapCamera::scale() const
{
    return tileSize * std::exp2(zoom_) / mapWorldSize;
}

double MapCamera::minimumZoom() const
{
    const double side = std::max({viewport_.width(), viewport_.height(), 1.0});
    return std::max(0.0, std::log2(side / tileSize));
}

MapRect MapCamera::visibleRect() const
{
    const double width = viewport_.width() / scale();
    const double height = viewport_.height() / scale();
    return {center_.x - width / 2, center_.y - height / 2, width, height};
}

QPointF MapCamera::toScreen(MapPoint point) const
{
    return {(point.x - center_.x) * scale() + viewport_.width() / 2,
            (point.y - center_.y) * scale() + viewport_.height() / 2};
}

MapPoint MapCamera::toMap(QPointF screen) const
{
    return {center_.x + (screen.x() - viewport_.width() / 2) / scale(),
            center_.y + (screen.y() - viewport_.height() / 2) / scale()};
}

void MapCamera::setCenter(MapPoint center)
{
    center_ = center;
    clamp();
}

void MapCamera::setZoom(double zoom)
{
    zoom_ = zoom;
    clamp();
}

void MapCamera::zoomAbout(QPointF screen, double zoom)
{
    const MapPoint anchor = toMap(screen);
    zoom_ = std::clamp(zoom, minimumZoom(), maxZoom);
    center_ = {anchor.x - (screen.x() - viewport_.width() / 2) / scale(),
               anchor.y - (screen.y() - viewport_.height() / 2) / scale()};
    clamp();
}

void MapCamera::panBy(QPointF pixels)
{
    center_ = {center_.x - pixels.x() / scale(), center_.y - pixels.y() / scale()};
    clamp();
}

void MapCamera::show(const MapRect& rect, const QMarginsF& padding, double deepest)
{
    if (rect.isNull()) {
        return;
    }
    const double width = std::max(1.0, viewport_.width() - padding.left() - padding.right());
    const double height = std::max(1.0, viewport_.height() - padding.top() - padding.bottom());
    const double fit = std::min(rect.width > 0 ? width / rect.width : HUGE_VAL,
                                rect.height > 0 ? height / rect.height : HUGE_VAL);
    zoom_ = std::clamp(std::log2(fit * mapWorldSize / tileSize), minimumZoom(), std::max(minimumZoom(), std::min(deepest, maxZoom)));
    // The rectangle's centre goes to the middle of the unpadded part.
    const QPointF offset(padding.left() + width / 2 - viewport_.width() / 2,
                         padding.top() + height / 2 - viewport_.height() / 2);
    const MapPoint middle = rect.center();
    center_ = {middle.x - offset.x() / scale(), middle.y - offset.y() / scale()};
    clamp();
}

void MapCamera::clamp()
{
    zoom_ = std::clamp(std::isfinite(zoom_) ? zoom_ : 0.0, minimumZoom(), maxZoom);
    center_.x = std::fmod(center_.x, mapWorldSize);
    if (center_.x < 0) {
        center_.x += mapWorldSize;
    }
    const double halfHeight = viewport_.height() / 2 / scale();
    center_.y = std::clamp(center_.y, std::min(halfHeight, mapWorldSize / 2),
                           std::max(mapWorldSize - halfHeight, mapWorldSize / 2));
}

} // namespace pivra
