#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace pivra {

// How the viewer's photo is zoomed and panned inside its media area. Zoom is
// a magnification over the fitted size (1 = fitted), kept between 1 and 5;
// the offset moves the zoomed photo from the area's centre (y downward) and
// never lets an edge come inside the area while the photo is larger than it
// on that axis. Every operation leaves the value in that state.
struct PhotoViewportTransform {
    static constexpr double minimumZoom = 1;
    static constexpr double maximumZoom = 5;
    // Above this the photo counts as zoomed: it pans instead of dragging out,
    // and the overview shows.
    static constexpr double zoomedThreshold = 1.001;

    double zoom = 1;
    QSizeF offset{0, 0};
    QSizeF viewport{0, 0}; // the media area
    QSizeF content{0, 0};  // the photo fitted at zoom 1, after rotation

    bool isZoomed() const { return zoom > zoomedThreshold; }

    // Zooms to `zoom` (clamped) keeping the photo point under `anchor` (area
    // coordinates, top-left origin; the centre when none) where it is. A zoom
    // that ends where it is changes nothing, not even the offset.
    void setZoom(double zoom, std::optional<QPointF> anchor);
    // Moves the photo by `delta`, stopping at the edges.
    void pan(QSizeF delta);
    // A new area or content size keeps the zoom and pulls the offset back
    // inside the new limits.
    void resize(QSizeF viewport, QSizeF content);
    // The offset brought inside the limits of the current zoom.
    void clampOffset();

    // The part of the photo on screen, in unit coordinates of the photo
    // (origin top-left); the whole photo while its size is not known.
    QRectF visibleRegion() const;
    // Width over height of the content, 1 while its height is unknown.
    double aspectRatio() const;

    bool operator==(const PhotoViewportTransform&) const = default;
};

} // namespace pivra
