#include "viewer/photo/PhotoViewportTransform.h"

#include <algorithm>
#include <cmath>

namespace pivra {
namespace {

double limit(double content, double zoom, double viewport)
{
    return std::max(0.0, (content * zoom - viewport) / 2);
}

double clamped(double value, double bound)
{
    return std::clamp(value, -bound, bound);
}

} // namespace

void PhotoViewportTransform::setZoom(double requested, std::optional<QPointF> anchor)
{
    // A gesture can deliver a non-finite magnification; it must not poison
    // the state.
    if (!std::isfinite(requested)) {
        return;
    }
    const double next = std::clamp(requested, minimumZoom, maximumZoom);
    if (next == zoom) {
        return;
    }
    const QPointF displacement =
        anchor ? *anchor - QPointF(viewport.width() / 2, viewport.height() / 2) : QPointF(0, 0);
    const double ratio = next / zoom;
    zoom = next;
    offset = QSizeF(offset.width() * ratio + displacement.x() * (1 - ratio),
                    offset.height() * ratio + displacement.y() * (1 - ratio));
    clampOffset();
}

void PhotoViewportTransform::pan(QSizeF delta)
{
    offset += delta;
    clampOffset();
}

void PhotoViewportTransform::resize(QSizeF newViewport, QSizeF newContent)
{
    viewport = newViewport;
    content = newContent;
    clampOffset();
}

void PhotoViewportTransform::clampOffset()
{
    offset = QSizeF(clamped(offset.width(), limit(content.width(), zoom, viewport.width())),
                    clamped(offset.height(), limit(content.height(), zoom, viewport.height())));
}

QRectF PhotoViewportTransform::visibleRegion() const
{
    if (content.width() <= 0 || content.height() <= 0) {
        return {0, 0, 1, 1};
    }
    const auto axis = [this](double contentSize, double viewportSize, double shift) {
        const double scaled = contentSize * zoom;
        const double size = std::min(viewportSize / scaled, 1.0);
        const double origin = std::clamp(0.5 - shift / scaled - size / 2, 0.0, 1 - size);
        return std::pair{origin, size};
    };
    const auto [x, width] = axis(content.width(), viewport.width(), offset.width());
    const auto [y, height] = axis(content.height(), viewport.height(), offset.height());
    return {x, y, width, height};
}

double PhotoViewportTransform::aspectRatio() const
{
    return content.height() > 0 ? content.width() / content.height() : 1.0;
}

} // namespace pivra
